// Searches on the masks of a region: one bit per byte, a word of 64 bits
// per block. Every position in a region is a bit index from its start.
#pragma once

#include "segmentation/kernel_pieces/portable.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>

namespace spezzafrasi {

namespace block_walk {

inline int lowest_bit(std::uint64_t bits) {
    return std::countr_zero(bits);
}

// One instruction where the copy is compiled for POPCNT.
inline int count_bits(std::uint64_t bits) {
    return std::popcount(bits);
}

// Bits below `to`, 0 to 63.
inline std::uint64_t bits_below(int to) {
    return (std::uint64_t{1} << to) - 1;
}

// Positions in a region are never negative: their word and their bit.
inline unsigned word_of(int at) {
    return static_cast<unsigned>(at) / 64;
}
inline int bit_of(int at) {
    return static_cast<int>(static_cast<unsigned>(at) % 64);
}
inline int position(unsigned word, std::uint64_t bits) {
    return static_cast<int>(64 * word) + lowest_bit(bits);
}

inline bool bit_at(const std::uint64_t* bits, int at) {
    return (bits[word_of(at)] >> bit_of(at) & 1) != 0;
}

// The 64 bits from `from` on.
inline std::uint64_t bits_from(const std::uint64_t* bits, int from) {
    const unsigned w = word_of(from);
    const int shift = bit_of(from);
    return bits[w] >> shift | (bits[w + 1] << 1) << (63 - shift);
}

// The bits set below `to`.
inline std::uint64_t count_bits_before(const std::uint64_t* bits, int to) {
    std::uint64_t count = 0;
    for (unsigned w = 0; w < word_of(to); ++w)
        count += static_cast<std::uint64_t>(count_bits(bits[w]));
    return count +
           static_cast<std::uint64_t>(count_bits(bits[word_of(to)] & bits_below(bit_of(to))));
}

// The first bit set from `from` on; the marks make sure there is one.
inline int next_bit(const std::uint64_t* bits, int from) {
    unsigned w = word_of(from);
    std::uint64_t word = bits[w] & ~bits_below(bit_of(from));
    while (word == 0)
        word = bits[++w];
    return position(w, word);
}

// The first bit clear from `from` on.
inline int next_clear_bit(const std::uint64_t* bits, int from) {
    unsigned w = word_of(from);
    std::uint64_t word = ~bits[w] & ~bits_below(bit_of(from));
    while (word == 0)
        word = ~bits[++w];
    return position(w, word);
}

// The first bit set in [from, to), or `to`.
inline int next_bit_before(const std::uint64_t* bits, int from, int to) {
    unsigned w = word_of(from);
    const unsigned last = word_of(to - 1);
    std::uint64_t word = bits[w] & ~bits_below(bit_of(from));
    while (word == 0) {
        if (w >= last) return to;
        word = bits[++w];
    }
    return std::min(position(w, word), to);
}

// Where the run of set bits that ends just below `to` begins: `to` itself
// when the bit below it is clear. The run must not reach position 0.
inline int run_start_before(const std::uint64_t* bits, int to) {
    for (;;) {
        const int top = bit_of(to - 1);
        const int ones = std::countl_one(bits[word_of(to - 1)] << (63 - top));
        if (ones <= top) return to - ones;
        to -= top + 1;
    }
}

// The k-th bit set in [from, to), or `to` with `count` the bits set in that
// range.
inline int nth_bit_before(const std::uint64_t* bits, int from, int to, std::int32_t k,
                          std::int32_t& count) {
    unsigned w = word_of(from);
    const unsigned last = word_of(to);
    std::uint64_t word = bits[w] & ~bits_below(bit_of(from));
    count = 0;
    for (;;) {
        if (w == last) word &= bits_below(bit_of(to));
        const int here = count_bits(word);
        if (here >= k - count) {
            return position(w, select_bit_portable(word, static_cast<int>(k - count - 1)));
        }
        count += here;
        if (w == last) return to;
        word = bits[++w];
    }
}

} // namespace block_walk

} // namespace spezzafrasi
