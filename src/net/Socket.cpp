#include "net/Socket.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

int scope_id = 0;

namespace {
constexpr unsigned char kCancelMessage = 0;
}

CSocket::CSocket()
    : m_nSocket(-1), m_nCancelWrite(-1), m_nCancelRead(-1), m_nMaxFd(-1), m_bCancelled(false) {}

CSocket::~CSocket() {
    Cancel();
    Close();
}

bool CSocket::IsOpen() const {
    return m_nSocket != -1 && m_nCancelWrite != -1 && m_nCancelRead != -1 &&
           m_nSocket <= m_nMaxFd && m_nCancelWrite <= m_nMaxFd && m_nCancelRead <= m_nMaxFd;
}

int CSocket::Open(int family, int type, int protocol) {
    if (IsOpen()) {
        Cancel();
        Close();
    }
    m_nSocket = socket(family, type | SOCK_CLOEXEC, protocol);
    if (m_nSocket < 0) {
        const int err = errno;
        m_nSocket = -1;
        Close();
        return err;
    }
    const int flags = fcntl(m_nSocket, F_GETFL, 0);
    if (flags < 0 || fcntl(m_nSocket, F_SETFL, flags | O_NONBLOCK) < 0) {
        const int err = errno;
        Close();
        return err;
    }
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) < 0) {
        const int err = errno;
        Close();
        return err;
    }
    const std::lock_guard<std::mutex> lock(m_cancelLock);
    m_nCancelWrite = pair[0];
    m_nCancelRead = pair[1];
    m_nMaxFd = m_nSocket;
    if (m_nCancelWrite > m_nMaxFd)
        m_nMaxFd = m_nCancelWrite;
    if (m_nCancelRead > m_nMaxFd)
        m_nMaxFd = m_nCancelRead;
    return 0;
}

int CSocket::Select(SOCKETSELECTMODE mode, bool* ready) {
    if (!IsOpen())
        return EBADF;
    pollfd fds[2];
    fds[0].fd = m_nCancelRead;
    fds[0].events = POLLIN;
    fds[0].revents = 0;
    fds[1].fd = m_nSocket;
    fds[1].revents = 0;
    switch (mode) {
    case SOCKETSELECT_CONNECT:
        fds[1].events = POLLIN | POLLOUT;
        break;
    case SOCKETSELECT_READ:
        fds[1].events = POLLIN;
        break;
    case SOCKETSELECT_WRITE:
    default:
        fds[1].events = POLLOUT;
        break;
    }
    for (;;) {
        if (poll(fds, 2, -1) >= 0)
            break;
        if (errno != EINTR)
            return errno;
    }
    if (fds[0].revents != 0)
        return ECANCELED;
    if (ready != nullptr && mode != SOCKETSELECT_CONNECT) {
        // An error or hang-up also ends the wait: the next call reports it.
        const short answer = (mode == SOCKETSELECT_READ) ? POLLIN : POLLOUT;
        *ready = (fds[1].revents & (answer | POLLERR | POLLHUP)) != 0;
    }
    return 0;
}

int CSocket::ConnectStart(const sockaddr* address, int addressLength) {
    if (address == nullptr)
        return -1;
    if (!IsOpen())
        return EBADF;
    if (connect(m_nSocket, address, static_cast<socklen_t>(addressLength)) == 0)
        return 0;
    if (errno == EINPROGRESS || errno == EINTR)
        return EINPROGRESS;
    return errno;
}

int CSocket::ConnectWait(int waitMs) {
    if (!IsOpen())
        return EBADF;
    pollfd fds[2] = {{m_nCancelRead, POLLIN, 0}, {m_nSocket, POLLIN | POLLOUT, 0}};
    const int ready = poll(fds, 2, waitMs < 0 ? 0 : waitMs);
    if (ready < 0)
        return errno == EINTR ? EINPROGRESS : errno;
    if (fds[0].revents != 0)
        return ECANCELED;
    if (ready == 0)
        return EINPROGRESS;
    const int outcome = ConnectOutcome();
    return outcome != -1 ? outcome : ECONNREFUSED;
}

int CSocket::Connect(const sockaddr* address, int addressLength) {
    if (address == nullptr)
        return -1;
    if (!IsOpen())
        return EBADF;
    if (connect(m_nSocket, address, static_cast<socklen_t>(addressLength)) == 0)
        return 0;
    // An interrupted connect goes on in the background like a pending one.
    if (errno != EINPROGRESS && errno != EINTR)
        return errno;
    const int waited = Select(SOCKETSELECT_CONNECT, nullptr);
    if (waited != 0)
        return waited;
    const int outcome = ConnectOutcome();
    return outcome != -1 ? outcome : 0;
}

int CSocket::ConnectOutcome() {
    // A real address buffer: Linux answers a null one with EFAULT even when
    // the connection is up.
    sockaddr_storage peer;
    socklen_t peerLength = sizeof(peer);
    if (getpeername(m_nSocket, reinterpret_cast<sockaddr*>(&peer), &peerLength) == 0)
        return 0;
    if (errno != ENOTCONN)
        return errno;
    int pending = 0;
    socklen_t pendingLength = sizeof(pending);
    if (getsockopt(m_nSocket, SOL_SOCKET, SO_ERROR, &pending, &pendingLength) < 0)
        return errno;
    return pending != 0 ? pending : -1;
}

int CSocket::Write(const void* data, unsigned long length, unsigned long* written) {
    if (!IsOpen())
        return -1;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    unsigned long done = 0;
    int result = 0;
    if (length > 0 && data == nullptr)
        result = EFAULT;
    while (result == 0 && done < length) {
        // MSG_NOSIGNAL: a peer that went away must give EPIPE, never SIGPIPE.
        const ssize_t n = send(m_nSocket, bytes + done, length - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<unsigned long>(n);
        } else if (n == 0) {
            result = EPIPE;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            result = Select(SOCKETSELECT_WRITE, nullptr);
        } else if (errno != EINTR) {
            result = errno;
        }
    }
    if (written != nullptr)
        *written = done;
    return result;
}

int CSocket::WriteSome(const void* data, unsigned long length, int waitMs, unsigned long* written) {
    if (written != nullptr)
        *written = 0;
    if (!IsOpen())
        return -1;
    if (length == 0)
        return 0;
    if (data == nullptr)
        return EFAULT;
    for (int turn = 0; turn < 2; ++turn) {
        const ssize_t n = send(m_nSocket, data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            if (written != nullptr)
                *written = static_cast<unsigned long>(n);
            return 0;
        }
        if (n == 0)
            return EPIPE;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return errno;
        if (turn == 1)
            break;
        // One bounded wait for room, then one more try.
        pollfd fds[2] = {{m_nCancelRead, POLLIN, 0}, {m_nSocket, POLLOUT, 0}};
        const int ready = poll(fds, 2, waitMs < 0 ? 0 : waitMs);
        if (ready < 0 && errno != EINTR)
            return errno;
        if (fds[0].revents != 0)
            return ECANCELED;
        if (ready <= 0)
            return 0;
    }
    return 0;
}

int CSocket::Unacknowledged(long* pending) {
    if (pending != nullptr)
        *pending = 0;
    if (!IsOpen())
        return -1;
    int error = 0;
    socklen_t length = sizeof(error);
    if (getsockopt(m_nSocket, SOL_SOCKET, SO_ERROR, &error, &length) < 0)
        return errno;
    if (error != 0)
        return error;
    // A reset empties the queue: an empty queue on a dead connection is
    // not a delivery.
    tcp_info info{};
    length = sizeof(info);
    if (getsockopt(m_nSocket, IPPROTO_TCP, TCP_INFO, &info, &length) == 0 &&
        info.tcpi_state == TCP_CLOSE)
        return ECONNRESET;
    int queued = 0;
    if (ioctl(m_nSocket, SIOCOUTQ, &queued) < 0)
        return errno;
    if (pending != nullptr)
        *pending = queued;
    return 0;
}

void CSocket::Abort() {
    if (m_nSocket != -1) {
        const linger drop = {1, 0};
        setsockopt(m_nSocket, SOL_SOCKET, SO_LINGER, &drop, sizeof(drop));
    }
    Close();
}

int CSocket::Cancel() {
    const std::lock_guard<std::mutex> lock(m_cancelLock);
    if (m_bCancelled)
        return 0;
    if (m_nCancelWrite == -1)
        return EBADF;
    for (;;) {
        if (send(m_nCancelWrite, &kCancelMessage, 1, MSG_NOSIGNAL) == 1)
            break;
        if (errno != EINTR)
            return errno;
    }
    m_bCancelled = true;
    return 0;
}

void CSocket::Close() {
    const std::lock_guard<std::mutex> lock(m_cancelLock);
    if (m_nSocket != -1)
        close(m_nSocket);
    if (m_nCancelWrite != -1)
        close(m_nCancelWrite);
    if (m_nCancelRead != -1)
        close(m_nCancelRead);
    m_nSocket = -1;
    m_nCancelWrite = -1;
    m_nCancelRead = -1;
    m_nMaxFd = -1;
    m_bCancelled = false;
}
