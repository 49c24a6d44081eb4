// The masks in plain C++, eight bytes at a time in one 64-bit word (SWAR):
// no instruction beyond what every processor has, and fast enough that a
// processor without vector instructions is not left behind.
#pragma once

#include "segmentation/block_masks/block_masks.hpp"

#include <bit>
#include <cstdint>
#include <cstring>

namespace swar {

inline constexpr std::uint64_t ones = 0x0101010101010101;
inline constexpr std::uint64_t highs = 0x8080808080808080;
inline constexpr std::uint64_t lows = ~highs;

// Eight bytes, the first in the lowest bits, whatever the byte order.
inline std::uint64_t load(const unsigned char* p) {
    std::uint64_t word = 0;
    std::memcpy(&word, p, sizeof word);
    if constexpr (std::endian::native == std::endian::big) {
        std::uint64_t swapped = 0;
        for (int i = 0; i < 8; ++i)
            swapped = (swapped << 8) | ((word >> (8 * i)) & 0xFF);
        word = swapped;
    }
    return word;
}

// The top bit of each byte of `word` that is not 0, exactly: the low
// seven bits cannot carry into the next byte.
constexpr std::uint64_t nonzero(std::uint64_t word) {
    return ((word & lows) + lows) | word;
}

// The top bit of each byte that equals `byte` (under `mask`).
constexpr std::uint64_t differs(std::uint64_t word, unsigned char byte,
                                std::uint64_t mask = ~std::uint64_t{0}) {
    return nonzero((word & mask) ^ (ones * byte));
}

// One bit per byte, from the top bits of the eight bytes: each lands in a
// bit of its own of the product's top byte.
constexpr std::uint64_t gather(std::uint64_t top_bits) {
    return ((top_bits >> 7) * 0x0102040810204080) >> 56;
}

} // namespace swar

inline ByteMasks byte_masks_portable(const unsigned char* p) {
    using namespace swar;
    constexpr std::uint64_t pair = ~ones; // 0C/0D, 28/29 and 3A/3B in one compare each
    ByteMasks m{};
    std::uint64_t any_high = 0;
    for (int i = 0; i < 8; ++i) {
        const std::uint64_t word = load(p + 8 * i);
        const int shift = 8 * i;
        const std::uint64_t not_space = differs(word, 0x20);
        const std::uint64_t separators =
            ~(not_space & differs(word, 0x0A) & differs(word, 0x0C, pair)) & highs;
        const std::uint64_t terminators =
            ~(differs(word, 0x21) & differs(word, 0x28, pair) & differs(word, 0x2E) &
              differs(word, 0x3A, pair) & differs(word, 0x3F)) &
            highs;
        m.separators |= gather(separators) << shift;
        m.spaces |= gather(~not_space & highs) << shift;
        m.terminators |= gather(terminators) << shift;
        any_high |= word & highs;
    }
    if (any_high == 0) return m;
    for (int i = 0; i < 8; ++i) {
        const std::uint64_t word = load(p + 8 * i);
        const std::uint64_t high = word & highs;
        if (high == 0) continue;
        const int shift = 8 * i;
        // Bit 7 of a byte and, shifted up into it, bits 6, 5, 4 and 3.
        const std::uint64_t lead2 = high & (word << 1);
        const std::uint64_t lead3 = lead2 & (word << 2);
        const std::uint64_t lead4 = lead3 & (word << 3);
        m.high |= gather(high) << shift;
        m.lead2 |= gather(lead2) << shift;
        m.lead3 |= gather(lead3) << shift;
        m.lead4 |= gather(lead4) << shift;
        m.invalid |= gather(lead4 & (word << 4)) << shift;
        m.c2 |= gather(~differs(word, 0xC2) & highs) << shift;
    }
    return m;
}
