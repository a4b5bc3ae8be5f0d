#include "settings/Sha256.h"

#include <openssl/evp.h>

#include <cstdlib>

Sha256::Sha256() : m_context(EVP_MD_CTX_new()) {
    // Without a context nothing can be hashed, and a firmware file must never
    // pass unhashed.
    if (m_context == nullptr || EVP_DigestInit_ex(m_context, EVP_sha256(), nullptr) != 1)
        std::abort();
}

Sha256::~Sha256() {
    EVP_MD_CTX_free(m_context);
}

void Sha256::Add(const void* data, std::size_t length) {
    if (length > 0 && EVP_DigestUpdate(m_context, data, length) != 1)
        std::abort();
}

Sha256Digest Sha256::Finish() {
    Sha256Digest digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(m_context, digest.data(), &length) != 1 || length != digest.size() ||
        EVP_DigestInit_ex(m_context, EVP_sha256(), nullptr) != 1)
        std::abort();
    return digest;
}

std::string DigestHex(const Sha256Digest& digest) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(digest.size() * 2);
    for (const unsigned char byte : digest) {
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0x0F]);
    }
    return text;
}

std::optional<Sha256Digest> ParseDigestHex(std::string_view text) {
    if (text.size() != 64)
        return std::nullopt;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    Sha256Digest digest{};
    for (std::size_t i = 0; i < digest.size(); ++i) {
        const int high = nibble(text[2 * i]);
        const int low = nibble(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        digest[i] = static_cast<unsigned char>(high << 4 | low);
    }
    return digest;
}
