// The masks with AVX2: 32 bytes a step, and the separators and
// terminators told apart by two table lookups, one on each half of a byte.
#pragma once

#include "segmentation/kernel_pieces/pieces.hpp"
#include "segmentation/kernel_pieces/x86_sets.hpp"

#include <immintrin.h>

namespace spezzafrasi {

namespace avx2 {

[[gnu::target(SPEZZAFRASI_AVX2_TARGET)]] inline std::uint64_t bits(__m256i mask) {
    return static_cast<std::uint64_t>(static_cast<unsigned>(_mm256_movemask_epi8(mask)));
}

[[gnu::target(SPEZZAFRASI_AVX2_TARGET)]] inline __m256i bytes(int byte) {
    return _mm256_set1_epi8(static_cast<char>(byte));
}

// Bytes that have any of the flags in `which`: adding the complement of
// its top flag bit carries into the sign bit whenever any of them is set.
[[gnu::target(SPEZZAFRASI_AVX2_TARGET)]] inline std::uint64_t any_flag(__m256i flags, int which) {
    return bits(
        _mm256_add_epi8(_mm256_and_si256(flags, bytes(which)), bytes(0x80 - (which & -which))));
}

[[gnu::target(SPEZZAFRASI_AVX2_TARGET)]] inline std::uint64_t at_least(__m256i v, int byte) {
    return bits(_mm256_cmpgt_epi8(v, bytes(byte - 1))) & bits(v);
}

[[gnu::target(SPEZZAFRASI_AVX2_TARGET)]] inline __m256i table(const unsigned char (&half)[16]) {
    const __m128i lane = _mm_loadu_si128(reinterpret_cast<const __m128i*>(half));
    return _mm256_broadcastsi128_si256(lane);
}

} // namespace avx2

[[gnu::target(SPEZZAFRASI_AVX2_TARGET)]] inline ByteMasks byte_masks_avx2(const unsigned char* p) {
    using namespace avx2;
    namespace f = nibble_flags;
    const __m256i low_flags = table(f::low);
    const __m256i high_flags = table(f::high);
    const __m256i nibble = bytes(0x0F);
    ByteMasks m{};
    for (int part = 0; part < 2; ++part) {
        const int shift = 32 * part;
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + shift));
        const __m256i flags = _mm256_and_si256(
            _mm256_shuffle_epi8(low_flags, _mm256_and_si256(v, nibble)),
            _mm256_shuffle_epi8(high_flags, _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble)));
        m.separators |= any_flag(flags, f::separators) << shift;
        m.spaces |= any_flag(flags, f::space) << shift;
        m.line_feeds |= bits(_mm256_cmpeq_epi8(v, bytes('\n'))) << shift;
        m.terminators |= any_flag(flags, f::terminators) << shift;
        m.high |= bits(v) << shift;
        m.lead2 |= at_least(v, 0xC0) << shift;
        m.c2 |= bits(_mm256_cmpeq_epi8(v, bytes(0xC2))) << shift;
        m.lead3 |= at_least(v, 0xE0) << shift;
        m.lead4 |= at_least(v, 0xF0) << shift;
        m.invalid |= at_least(v, 0xF8) << shift;
    }
    return m;
}

} // namespace spezzafrasi
