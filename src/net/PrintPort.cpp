// The raw print-port channel of CNetIO: one TCP connection to a printer.

#include "net/Exchange.h"

using namespace netio;

int CNetIO::NetworkConnect(const char* host, int port) {
    const int family = AddressFamily(host);
    if (family < 0)
        return -1;
    if (family == AF_INET6)
        return NetworkConnectV6(host, port);
    sockaddr_in to;
    if (!ParseV4(host, to, port))
        return -1;
    if (Open(AF_INET, SOCK_STREAM, IPPROTO_TCP) != 0)
        return -1;
    return Connect(reinterpret_cast<const sockaddr*>(&to), sizeof(to));
}

int CNetIO::NetworkConnectV6(const char* host, int port) {
    sockaddr_in6 to;
    if (!ParseV6(host, to, port, m_nScopeId))
        return -1;
    if (Open(AF_INET6, SOCK_STREAM, IPPROTO_TCP) != 0)
        return -1;
    return Connect(reinterpret_cast<const sockaddr*>(&to), sizeof(to));
}

int CNetIO::NetworkWrite(int, const void* data, unsigned long length) {
    unsigned long count = 0;
    Write(data, length, &count);
    // The count is the only report; it cannot exceed what an int holds for
    // the block sizes callers use, but never let it wrap negative.
    return count > 0x7FFFFFFFul ? 0x7FFFFFFF : static_cast<int>(count);
}

void CNetIO::NetworkClose(int) {
    Close();
}

int CNetIO::NetworkConnectStart(const char* host, int port) {
    const int family = AddressFamily(host);
    if (family < 0)
        return -1;
    if (family == AF_INET6) {
        sockaddr_in6 to;
        if (!ParseV6(host, to, port, m_nScopeId) || Open(AF_INET6, SOCK_STREAM, IPPROTO_TCP) != 0)
            return -1;
        return ConnectStart(reinterpret_cast<const sockaddr*>(&to), sizeof(to));
    }
    sockaddr_in to;
    if (!ParseV4(host, to, port) || Open(AF_INET, SOCK_STREAM, IPPROTO_TCP) != 0)
        return -1;
    return ConnectStart(reinterpret_cast<const sockaddr*>(&to), sizeof(to));
}
