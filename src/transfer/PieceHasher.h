// SHA-256 of a file's pieces on a thread of its own, so that hashing one
// piece overlaps sending it: with both on one thread the hash would cost
// about as much as the sending. The sender hands its pieces over in order
// and writes a piece's buffer again only once the hasher is past it.
#pragma once

#include "settings/Sha256.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

namespace transfer {

class PieceHasher {
public:
    PieceHasher();
    ~PieceHasher();
    PieceHasher(const PieceHasher&) = delete;
    PieceHasher& operator=(const PieceHasher&) = delete;

    // Queues the next piece; its bytes must stay as they are until
    // WaitFor says it is hashed.
    void Add(const unsigned char* data, std::size_t length);
    // Until the first `pieces` pieces added since the last Finish are hashed.
    void WaitFor(uint64_t pieces);
    // The digest of every piece since the last Finish; starts over.
    Sha256Digest Finish();

private:
    struct Piece {
        const unsigned char* data;
        std::size_t length;
    };
    void Work();

    // m_lock guards everything below it; m_hash belongs to the worker while
    // pieces are queued and to Finish once they are all hashed.
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<Piece> m_queue;
    uint64_t m_added = 0;
    uint64_t m_hashed = 0;
    bool m_stop = false;
    Sha256 m_hash;
    std::thread m_worker; // last: started once the rest exists
};

} // namespace transfer
