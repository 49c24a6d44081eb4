// The masks with NEON, which every AArch64 processor has: 16 bytes a
// lookup, and the masks of four registers folded into 64 bits.
#pragma once

#include "segmentation/kernel_pieces/pieces.hpp"

#include <arm_neon.h>
#include <cstddef>

namespace spezzafrasi {

namespace neon {

// One bit per byte from four compare results, byte i of `v[k]` to bit
// 16k + i: each byte keeps its own bit, and pairwise adds fold them.
inline std::uint64_t bits(const uint8x16_t (&v)[4]) {
    static constexpr unsigned char weights[16] = {1, 2, 4, 8, 16, 32, 64, 128,
                                                  1, 2, 4, 8, 16, 32, 64, 128};
    const uint8x16_t w = vld1q_u8(weights);
    const uint8x16_t a = vpaddq_u8(vandq_u8(v[0], w), vandq_u8(v[1], w));
    const uint8x16_t b = vpaddq_u8(vandq_u8(v[2], w), vandq_u8(v[3], w));
    const uint8x16_t ab = vpaddq_u8(a, b);
    const uint8x16_t folded = vpaddq_u8(ab, ab);
    return vgetq_lane_u64(vreinterpretq_u64_u8(folded), 0);
}

} // namespace neon

inline ByteMasks byte_masks_neon(const unsigned char* p) {
    namespace f = nibble_flags;
    const uint8x16_t low_flags = vld1q_u8(f::low);
    const uint8x16_t high_flags = vld1q_u8(f::high);
    uint8x16_t v[4];
    uint8x16_t separators[4];
    uint8x16_t spaces[4];
    uint8x16_t line_feeds[4];
    uint8x16_t terminators[4];
    uint8x16_t high[4];
    for (int k = 0; k < 4; ++k) {
        v[k] = vld1q_u8(p + std::ptrdiff_t{16} * k);
        const uint8x16_t flags = vandq_u8(vqtbl1q_u8(low_flags, vandq_u8(v[k], vdupq_n_u8(0x0F))),
                                          vqtbl1q_u8(high_flags, vshrq_n_u8(v[k], 4)));
        separators[k] = vtstq_u8(flags, vdupq_n_u8(f::separators));
        spaces[k] = vtstq_u8(flags, vdupq_n_u8(f::space));
        line_feeds[k] = vceqq_u8(v[k], vdupq_n_u8('\n'));
        terminators[k] = vtstq_u8(flags, vdupq_n_u8(f::terminators));
        high[k] = vcgeq_u8(v[k], vdupq_n_u8(0x80));
    }
    ByteMasks m{};
    m.separators = neon::bits(separators);
    m.spaces = neon::bits(spaces);
    m.line_feeds = neon::bits(line_feeds);
    m.terminators = neon::bits(terminators);
    m.high = neon::bits(high);
    if (m.high == 0) return m;
    const auto at_least = [&](unsigned char byte) {
        uint8x16_t r[4];
        for (int k = 0; k < 4; ++k)
            r[k] = vcgeq_u8(v[k], vdupq_n_u8(byte));
        return neon::bits(r);
    };
    m.lead2 = at_least(0xC0);
    m.lead3 = at_least(0xE0);
    m.lead4 = at_least(0xF0);
    m.invalid = at_least(0xF8);
    uint8x16_t c2[4];
    for (int k = 0; k < 4; ++k)
        c2[k] = vceqq_u8(v[k], vdupq_n_u8(0xC2));
    m.c2 = neon::bits(c2);
    return m;
}

} // namespace spezzafrasi
