#include "transfer/PieceHasher.h"

namespace transfer {

PieceHasher::PieceHasher() : m_worker([this] { Work(); }) {}

PieceHasher::~PieceHasher() {
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        m_stop = true;
    }
    m_changed.notify_all();
    m_worker.join();
}

void PieceHasher::Add(const unsigned char* data, std::size_t length) {
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        m_queue.push_back({data, length});
        ++m_added;
    }
    m_changed.notify_all();
}

void PieceHasher::WaitFor(uint64_t pieces) {
    std::unique_lock<std::mutex> lock(m_lock);
    m_changed.wait(lock, [&] { return m_hashed >= pieces || m_hashed >= m_added; });
}

Sha256Digest PieceHasher::Finish() {
    std::unique_lock<std::mutex> lock(m_lock);
    m_changed.wait(lock, [&] { return m_hashed >= m_added; });
    m_added = 0;
    m_hashed = 0;
    return m_hash.Finish();
}

void PieceHasher::Work() {
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_changed.wait(lock, [&] { return m_stop || !m_queue.empty(); });
        if (m_stop)
            return;
        const Piece piece = m_queue.front();
        lock.unlock();
        // The sender only reads these bytes meanwhile, and m_hash is ours
        // while a piece is queued.
        m_hash.Add(piece.data, piece.length);
        lock.lock();
        m_queue.pop_front();
        ++m_hashed;
        m_changed.notify_all();
    }
}

} // namespace transfer
