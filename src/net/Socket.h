// A non-blocking stream socket with a cancel channel: every wait watches a
// local socket pair as well, so that Cancel() from another thread ends it at
// once. Results are errno values, 0 for success, -1 for our own refusals.
#pragma once

#include <mutex>
#include <sys/socket.h>

enum SOCKETSELECTMODE {
    SOCKETSELECT_CONNECT = 0, // end of a pending connect
    SOCKETSELECT_READ = 1,
    SOCKETSELECT_WRITE = 2,
};

// The IPv6 interface index the wizard found printers on, handed to every
// later IPv6 exchange it makes (queries, probes, print-port connections) as
// the interface of its CNetIO, and written back from the CNetIO of each
// discovery or probe. Only the wizard's thread reads or writes it; the
// network core never does, so other programs keep their own.
extern int scope_id;

class CSocket {
public:
    CSocket();
    ~CSocket();
    CSocket(const CSocket&) = delete;
    CSocket& operator=(const CSocket&) = delete;

    int Open(int family, int type, int protocol);
    int Connect(const sockaddr* address, int addressLength);
    // A connect in bounded steps: ConnectStart returns 0 when connected,
    // EINPROGRESS while pending, or an error number; ConnectWait waits at
    // most waitMs and answers the same way (ECANCELED after Cancel).
    int ConnectStart(const sockaddr* address, int addressLength);
    int ConnectWait(int waitMs);
    int Select(SOCKETSELECTMODE mode, bool* ready);
    int Write(const void* data, unsigned long length, unsigned long* written);
    // One slice of a write: what the socket takes of the bytes, waiting at
    // most waitMs for room. 0 with *written the count (0 when the wait ended
    // first), ECANCELED, an error number, or -1 when not open.
    int WriteSome(const void* data, unsigned long length, int waitMs, unsigned long* written);
    // Bytes written but not yet acknowledged by the peer (sent or not): 0
    // with *pending set, or the connection's error number once it is lost.
    int Unacknowledged(long* pending);
    // Closes with a reset instead of an orderly end.
    void Abort();
    int Cancel();
    void Close();

    bool IsOpen() const;

protected:
    // After a connect's wait: 0 when connected, the connection's error
    // number, or -1 when it is neither connected nor failed.
    int ConnectOutcome();

    int m_nSocket;
    int m_nCancelWrite;
    int m_nCancelRead;
    int m_nMaxFd;
    bool m_bCancelled;
    // Cancel may come from another thread than the one that opens, waits
    // and closes: the cancel pair and m_bCancelled change only under this
    // lock, so Cancel never writes to a pair being opened or closed (or to a
    // descriptor number already given to another file).
    std::mutex m_cancelLock;
};
