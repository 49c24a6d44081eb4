// The masks with AVX-512 (BW): the whole block is one register, and every
// compare gives its mask of 64 bits directly. Processors with VBMI2 too
// also list a block's line starts in one compress.
#pragma once

#include "segmentation/kernel_pieces/pieces.hpp"
#include "segmentation/kernel_pieces/x86_sets.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <immintrin.h>

namespace spezzafrasi {

namespace avx512 {

// A nibble table in each of the four lanes that the byte shuffle looks up.
constexpr std::array<unsigned char, 64> in_every_lane(const unsigned char (&half)[16]) {
    std::array<unsigned char, 64> lanes{};
    for (std::size_t i = 0; i < lanes.size(); ++i)
        lanes[i] = half[i % 16];
    return lanes;
}

inline constexpr std::array<unsigned char, 64> low_flags = in_every_lane(nibble_flags::low);
inline constexpr std::array<unsigned char, 64> high_flags = in_every_lane(nibble_flags::high);

// The positions of a block's bytes, 0 to 63.
constexpr std::array<unsigned char, 64> positions() {
    std::array<unsigned char, 64> all{};
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<unsigned char>(i);
    return all;
}
inline constexpr std::array<unsigned char, 64> byte_positions = positions();

[[gnu::target(SPEZZAFRASI_AVX512_TARGET)]] inline __m512i
table(const std::array<unsigned char, 64>& lanes) {
    return _mm512_loadu_si512(lanes.data());
}

[[gnu::target(SPEZZAFRASI_AVX512_TARGET)]] inline __m512i bytes(int byte) {
    return _mm512_set1_epi8(static_cast<char>(byte));
}

// The bytes of one half of `packed`, widened to 16 bits, plus `first`. The
// half is taken under a mask: the plain extract leaves lanes undefined,
// which GCC 12 warns about.
template <int half>
[[gnu::target(SPEZZAFRASI_AVX512_TARGET)]] inline __m512i widened(__m512i packed, __m512i first) {
    return _mm512_add_epi16(
        _mm512_cvtepu8_epi16(_mm512_maskz_extracti64x4_epi64(0xF, packed, half)), first);
}

} // namespace avx512

[[gnu::target(SPEZZAFRASI_AVX512_TARGET)]] inline ByteMasks
byte_masks_avx512(const unsigned char* p) {
    using namespace avx512;
    namespace f = nibble_flags;
    const __m512i v = _mm512_loadu_si512(p);
    const __m512i nibble = bytes(0x0F);
    const __m512i flags = _mm512_and_si512(
        _mm512_shuffle_epi8(table(low_flags), _mm512_and_si512(v, nibble)),
        _mm512_shuffle_epi8(table(high_flags), _mm512_and_si512(_mm512_srli_epi16(v, 4), nibble)));
    ByteMasks m{};
    m.separators = _mm512_test_epi8_mask(flags, bytes(f::separators));
    m.spaces = _mm512_test_epi8_mask(flags, bytes(f::space));
    m.line_feeds = _mm512_cmpeq_epi8_mask(v, bytes('\n'));
    m.terminators = _mm512_test_epi8_mask(flags, bytes(f::terminators));
    m.high = _mm512_movepi8_mask(v);
    m.lead2 = _mm512_cmpge_epu8_mask(v, bytes(0xC0));
    m.lead3 = _mm512_cmpge_epu8_mask(v, bytes(0xE0));
    m.lead4 = _mm512_cmpge_epu8_mask(v, bytes(0xF0));
    m.invalid = _mm512_cmpge_epu8_mask(v, bytes(0xF8));
    m.c2 = _mm512_cmpeq_epi8_mask(v, bytes(0xC2));
    return m;
}

// One instruction with BMI2, which every processor with AVX-512 runs fast.
[[gnu::target(SPEZZAFRASI_AVX512_TARGET)]] inline std::uint64_t
select_bit_avx512(std::uint64_t bits, int k) {
    return _pdep_u64(std::uint64_t{1} << k, bits);
}

// The spaces go in with each piece's copy, blended where the mask says:
// no branch for them, whatever their number. They go over every closer,
// whose bits the line's length has already read. A run of dropped
// separators is passed over at once.
[[gnu::target(SPEZZAFRASI_AVX512_TARGET)]] inline unsigned char*
copy_line_avx512(unsigned char* out, const unsigned char* source, int count, std::uint64_t dropped,
                 std::uint64_t closers, std::uint64_t /*spaced*/) {
    const __m512i spaces = avx512::bytes(' ');
    int piece = 0;
    for (;;) {
        const std::uint64_t from_piece = ~((std::uint64_t{1} << piece) - 1);
        const int stop = std::min(static_cast<int>(_tzcnt_u64(dropped & from_piece)), count);
        const __m512i bytes = _mm512_loadu_si512(source + piece);
        _mm512_storeu_si512(out, _mm512_mask_mov_epi8(bytes, closers >> piece, spaces));
        out += stop - piece;
        if (stop == count) return out;
        // past the whole run of dropped separators
        piece = static_cast<int>(_tzcnt_u64(~dropped & ~((std::uint64_t{2} << stop) - 1)));
    }
}

// The line starts of the block in one move, whatever their number up to
// 32: the positions that the bits select, packed to the front, then
// widened to positions in the region. A second move takes the rest.
[[gnu::target(SPEZZAFRASI_AVX512_VBMI2_TARGET)]] inline void
write_line_starts_vbmi2(std::uint16_t* list, std::uint64_t starts, int block) {
    const __m512i first = _mm512_set1_epi16(static_cast<short>(64 * block));
    const __m512i packed =
        _mm512_maskz_compress_epi8(starts, avx512::table(avx512::byte_positions));
    _mm512_storeu_si512(list, avx512::widened<0>(packed, first));
    if (std::popcount(starts) > 32) [[unlikely]]
        _mm512_storeu_si512(list + 32, avx512::widened<1>(packed, first));
}

} // namespace spezzafrasi
