// The masks with SSE2, which every x86-64 processor has: 16 bytes a
// compare.
#pragma once

#include "segmentation/kernel_pieces/pieces.hpp"

#include <emmintrin.h>

namespace spezzafrasi {

namespace sse2 {

inline std::uint64_t bits(__m128i mask) {
    return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(mask)));
}

inline __m128i equal(__m128i v, int byte) {
    return _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(byte)));
}

inline __m128i load(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Bytes from `byte` to 0xFF; the high bytes are the negative ones.
inline std::uint64_t at_least(__m128i v, int byte) {
    return bits(_mm_cmpgt_epi8(v, _mm_set1_epi8(static_cast<char>(byte - 1)))) & bits(v);
}

} // namespace sse2

inline ByteMasks byte_masks_sse2(const unsigned char* p) {
    using namespace sse2;
    ByteMasks m{};
    for (int part = 0; part < 4; ++part) {
        const int shift = 16 * part;
        const __m128i v = load(p + shift);
        const __m128i space = equal(v, 0x20);
        const __m128i line_feed = equal(v, 0x0A);
        const __m128i separator = _mm_or_si128(_mm_or_si128(space, line_feed),
                                               _mm_or_si128(equal(v, 0x0C), equal(v, 0x0D)));
        const __m128i terminator = _mm_or_si128(
            _mm_or_si128(_mm_or_si128(equal(v, 0x21), equal(v, 0x28)),
                         _mm_or_si128(equal(v, 0x29), equal(v, 0x2E))),
            _mm_or_si128(_mm_or_si128(equal(v, 0x3A), equal(v, 0x3B)), equal(v, 0x3F)));
        m.separators |= bits(separator) << shift;
        m.spaces |= bits(space) << shift;
        m.line_feeds |= bits(line_feed) << shift;
        m.terminators |= bits(terminator) << shift;
        m.high |= bits(v) << shift;
    }
    if (m.high == 0) return m;
    for (int part = 0; part < 4; ++part) {
        const int shift = 16 * part;
        if ((m.high >> shift & 0xFFFF) == 0) continue;
        const __m128i v = load(p + shift);
        m.lead2 |= at_least(v, 0xC0) << shift;
        m.lead3 |= at_least(v, 0xE0) << shift;
        m.lead4 |= at_least(v, 0xF0) << shift;
        m.invalid |= at_least(v, 0xF8) << shift;
        m.c2 |= bits(equal(v, 0xC2)) << shift;
    }
    return m;
}

} // namespace spezzafrasi
