// SHA-256 over OpenSSL's libcrypto, in pieces: a firmware file is hashed as
// it is read for sending, at the speed the machine hashes (several times
// Qt's own implementation where the processor has SHA instructions).
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

using Sha256Digest = std::array<unsigned char, 32>;

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Add(const void* data, std::size_t length);
    // The digest of everything added; the hash starts over afterwards.
    Sha256Digest Finish();

private:
    struct evp_md_ctx_st* m_context;
};

// 64 lowercase hexadecimal digits.
std::string DigestHex(const Sha256Digest& digest);
// The digest written as 64 hexadecimal digits (either case); none otherwise.
std::optional<Sha256Digest> ParseDigestHex(std::string_view text);
