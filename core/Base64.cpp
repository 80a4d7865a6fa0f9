#include "core/Base64.h"

#include <array>
#include <cstdint>

namespace
{

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Six-bit value of each byte; characters outside the alphabet have all bits set.
constexpr std::array<uint32_t, 256> MakeDecodeTable()
{
    std::array<uint32_t, 256> table{};
    for (auto& entry : table)
        entry = 0xFFFFFFFFu;
    for (uint32_t i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(kAlphabet[i])] = i;
    return table;
}

constexpr std::array<uint32_t, 256> kDecode = MakeDecodeTable();

} // namespace

namespace Base64
{

std::string encode(const std::string& bytes)
{
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    const size_t n = bytes.size();
    for (size_t i = 0; i < n; i += 3)
    {
        const uint32_t b1 = static_cast<unsigned char>(bytes[i]);
        const uint32_t b2 = i + 1 < n ? static_cast<unsigned char>(bytes[i + 1]) : 0u;
        const uint32_t b3 = i + 2 < n ? static_cast<unsigned char>(bytes[i + 2]) : 0u;
        out.push_back(kAlphabet[b1 >> 2]);
        out.push_back(kAlphabet[((b1 & 0x03) << 4) | (b2 >> 4)]);
        out.push_back(i + 1 < n ? kAlphabet[((b2 & 0x0F) << 2) | (b3 >> 6)] : '=');
        out.push_back(i + 2 < n ? kAlphabet[b3 & 0x3F] : '=');
    }
    return out;
}

std::string decode(const std::string& text)
{
    std::string out;
    const size_t n = text.size();
    out.reserve(n / 4 * 3 + 3);

    // A missing character reads like one outside the alphabet.
    auto value = [&](size_t i) { return i < n ? kDecode[static_cast<unsigned char>(text[i])] : 0xFFFFFFFFu; };

    for (size_t i = 0; i < n; i += 4)
    {
        const uint32_t v1 = value(i);
        const uint32_t v2 = value(i + 1);
        out.push_back(static_cast<char>(((v1 << 2) + ((v2 & 0x30) >> 4)) & 0xFF));

        if (i + 2 >= n || text[i + 2] == '=')
            break;
        const uint32_t v3 = value(i + 2);
        out.push_back(static_cast<char>((((v2 & 0x0F) << 4) | ((v3 & 0x3C) >> 2)) & 0xFF));

        if (i + 3 >= n || text[i + 3] == '=')
            break;
        const uint32_t v4 = value(i + 3);
        out.push_back(static_cast<char>((((v3 & 0x03) << 6) | v4) & 0xFF));
    }
    return out;
}

} // namespace Base64
