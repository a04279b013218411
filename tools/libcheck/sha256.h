#ifndef BRELO_SHA256_H
#define BRELO_SHA256_H

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// SHA-256 (FIPS 180-4), fed in pieces.
class Sha256
{
public:
    Sha256();
    void add(std::string_view bytes);
    // The digest in lower-case hex; the object is spent afterwards.
    std::string hexDigest();

private:
    void block(const unsigned char *data);

    std::array<std::uint32_t, 8> m_state;
    std::array<unsigned char, 64> m_buffer {};
    std::size_t m_buffered = 0;
    std::uint64_t m_length = 0;
};

#endif // BRELO_SHA256_H
