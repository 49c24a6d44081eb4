// The plain version of every piece, in C++ alone: the kernels without
// instructions of their own for a piece take it from here, and every other
// version of a piece is tested against this one. The masks take eight
// bytes at a time in one 64-bit word (SWAR) where it pays: no instruction
// beyond what every processor has, and fast enough that a processor
// without vector instructions is not left behind.
#pragma once

#include "segmentation/kernel_pieces/pieces.hpp"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace spezzafrasi {

namespace swar {

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

// One bit per byte, from the top bits of the eight bytes: each lands in a
// bit of its own of the product's top byte.
constexpr std::uint64_t gather(std::uint64_t top_bits) {
    return ((top_bits >> 7) * 0x0102040810204080) >> 56;
}

} // namespace swar

// Two SWAR passes find the few bytes that matter, those below 0x40 (where
// all separators and terminators are) and those from 0x80; each of them is
// then looked up alone, in the nibble tables that the vector kernels use.
inline ByteMasks byte_masks_portable(const unsigned char* p) {
    using namespace swar;
    constexpr std::uint64_t top_two = 0xC0C0C0C0C0C0C0C0;
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    for (int i = 0; i < 8; ++i) {
        const std::uint64_t word = load(p + std::ptrdiff_t{8} * i);
        low |= gather(~nonzero(word & top_two) & highs) << (8 * i);
        high |= gather(word & highs) << (8 * i);
    }
    const auto when = [](bool yes, std::uint64_t bit) { return yes ? bit : 0; };
    ByteMasks m{};
    for (std::uint64_t rest = low; rest != 0; rest &= rest - 1) {
        const int at = std::countr_zero(rest);
        const std::uint64_t bit = std::uint64_t{1} << at;
        const unsigned char flags =
            nibble_flags::low[p[at] & 0x0F] & nibble_flags::high[p[at] >> 4];
        m.separators |= when((flags & nibble_flags::separators) != 0, bit);
        m.spaces |= when((flags & nibble_flags::space) != 0, bit);
        m.line_feeds |= when(p[at] == '\n', bit);
        m.terminators |= when((flags & nibble_flags::terminators) != 0, bit);
    }
    m.high = high;
    for (std::uint64_t rest = high; rest != 0; rest &= rest - 1) {
        const int at = std::countr_zero(rest);
        const std::uint64_t bit = std::uint64_t{1} << at;
        const unsigned char byte = p[at];
        m.lead2 |= when(byte >= 0xC0, bit);
        m.lead3 |= when(byte >= 0xE0, bit);
        m.lead4 |= when(byte >= 0xF0, bit);
        m.invalid |= when(byte >= 0xF8, bit);
        m.c2 |= when(byte == 0xC2, bit);
    }
    return m;
}

// One set bit cleared at a time, k times.
inline std::uint64_t select_bit_portable(std::uint64_t bits, int k) {
    for (int i = 0; i < k; ++i)
        bits &= bits - 1;
    return bits & (~bits + 1);
}

// The pieces between runs of dropped separators, each in a fixed copy of
// 64 bytes, then a space over each spaced separator.
inline unsigned char* copy_line_portable(unsigned char* out, const unsigned char* source, int count,
                                         std::uint64_t dropped, std::uint64_t /*closers*/,
                                         std::uint64_t spaced) {
    constexpr std::uint64_t top = std::uint64_t{1} << 63;
    const auto below = [](int to) { return (std::uint64_t{1} << to) - 1; };
    unsigned char* const start = out;
    int piece = 0;
    for (;;) {
        const int stop = std::min(std::countr_zero(dropped & ~below(piece)), count);
        std::memcpy(out, source + piece, 64);
        out += stop - piece;
        if (stop == count) break;
        // past the whole run of dropped separators: the line's bits end
        // before 63, so a kept bit follows
        piece = std::countr_zero(~dropped & ~below(stop + 1));
    }
    // The first space is written without a branch: with none, it lands
    // past the line.
    const auto space_at = [&](int at_input) {
        start[at_input - std::popcount(dropped & below(at_input))] = ' ';
    };
    space_at(std::countr_zero(spaced | top));
    for (std::uint64_t rest = spaced & (spaced - 1); rest != 0; rest &= rest - 1)
        space_at(std::countr_zero(rest));
    return out;
}

// Four line starts a block without a branch, more in a loop. The top bit
// keeps the search from an empty mask, which compilers would branch on:
// what the first four write past the block's last start is left over, and
// the next block or the region's end writes over it.
inline void write_line_starts_portable(std::uint16_t* list, std::uint64_t starts, int block) {
    for (int i = 0; i < 4; ++i) {
        list[i] = static_cast<std::uint16_t>(64 * block +
                                             std::countr_zero(starts | std::uint64_t{1} << 63));
        starts &= starts - 1;
    }
    for (int i = 4; starts != 0; ++i) {
        list[i] = static_cast<std::uint16_t>(64 * block + std::countr_zero(starts));
        starts &= starts - 1;
    }
}

} // namespace spezzafrasi
