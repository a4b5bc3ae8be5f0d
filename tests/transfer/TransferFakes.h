// Firmware packages held in memory for the tests that drive the transfer
// engine, with the ways a file can fail while it is sent, and the markers as
// a printer must receive them.
#pragma once

#include "TestBytes.h"
#include "transfer/TransferEngine.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using Bytes = std::vector<unsigned char>;

// Literal markers: the expectations must not come from the program.
inline const Bytes kSep = {0xAA, 0x55, 0x55, 0xAA};
inline const Bytes kEnd = {0x00, 0x00, 0x00, 0x00};
inline const Bytes kCancel = {0xFF, 0xFF, 0xFF, 0xFF};

inline Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Its files, whole or failing in one of the ways a file can.
class FakePackage : public transfer::Package {
public:
    std::vector<Bytes> files;
    int unusable = -1;    // this file cannot be opened
    int failingRead = -1; // this file's reads fail after half of it
    int rewritten = -1;   // this file's second half is rewritten while it is sent
    std::vector<std::optional<Sha256Digest>> expected; // per file; none when shorter
    std::vector<std::string>* log = nullptr;           // where each opening is noted, if anywhere

    explicit FakePackage(std::vector<Bytes> files = {}) : files(std::move(files)) {}

    class Mem : public transfer::Source {
    public:
        Mem(const Bytes& b, int64_t failAt, bool rewritten, std::optional<Sha256Digest> expected)
            : m_b(b), m_failAt(failAt), m_rewritten(rewritten), m_expected(expected) {}
        int64_t Size() const override { return int64_t(m_b.size()); }
        long Read(unsigned char* into, std::size_t length) override {
            if (m_failAt >= 0 && m_pos >= std::size_t(m_failAt))
                return -1;
            std::size_t n = std::min(length, m_b.size() - m_pos);
            if (m_failAt >= 0)
                n = std::min(n, std::size_t(m_failAt) - m_pos);
            std::copy_n(m_b.begin() + long(m_pos), n, into);
            for (std::size_t i = 0; i < n && m_rewritten; ++i)
                if (m_pos + i >= m_b.size() / 2)
                    into[i] ^= 0x5A;
            m_pos += n;
            return long(n);
        }
        std::optional<Sha256Digest> Expected() const override { return m_expected; }
        bool Unchanged() override { return !m_rewritten; }

    private:
        const Bytes& m_b;
        int64_t m_failAt;
        bool m_rewritten;
        std::optional<Sha256Digest> m_expected;
        std::size_t m_pos = 0;
    };

    int FileCount() const override { return int(files.size()); }
    std::unique_ptr<transfer::Source> Open(int index) override {
        if (log)
            log->push_back("file " + std::to_string(index));
        if (index == unusable)
            return nullptr;
        const std::size_t i = std::size_t(index);
        return std::make_unique<Mem>(
            files[i], index == failingRead ? int64_t(files[i].size() / 2) : -1, index == rewritten,
            i < expected.size() ? expected[i] : std::nullopt);
    }
};
