// The pieces each kernel brings to the walk, with the instructions of its
// processor: the masks of a block of 64 bytes, one bit per byte, bit i for
// byte i; the search for the k-th bit of a mask; the copy of a short line;
// the list of a block's line starts. One file per instruction set holds
// the pieces that set has; portable.hpp holds the plain version of every
// piece, which the other kernels take where they have none of their own:
//
//   piece                 portable  sse2  avx2  avx512     neon
//   byte masks            yes       yes   yes   yes        yes
//   select_bit            yes                   yes (BMI2)
//   copy_line             yes                   yes
//   write_line_starts     yes                   yes (VBMI2)
//
// Every piece gives what its plain version gives, bit for bit and byte
// for byte; the class table and the UTF-8 lead ranges say what the masks
// must be.
#pragma once

#include <cstdint>

namespace spezzafrasi {

// The walk's functions are inlined into one copy of the operations for each
// kernel, so that each copy is compiled for its kernel's instructions.
#define SPEZZAFRASI_INLINE [[gnu::always_inline]] inline

struct ByteMasks {
    std::uint64_t separators;  // 0A 0C 0D 20
    std::uint64_t line_feeds;  // 0A
    std::uint64_t spaces;      // 20
    std::uint64_t terminators; // 21 28 29 2E 3A 3B 3F
    std::uint64_t high;        // 80 to FF
    std::uint64_t lead2;       // C0 to FF
    std::uint64_t lead3;       // E0 to FF
    std::uint64_t lead4;       // F0 to FF
    std::uint64_t invalid;     // F8 to FF
    std::uint64_t c2;          // C2, the lead of the middle dot
};

using ByteMasksFunction = ByteMasks (*)(const unsigned char* block);

// The bit set in `bits` that has k bits set below it (k from 0 to 63),
// alone; 0 when `bits` has no more than k.
using BitSelectFunction = std::uint64_t (*)(std::uint64_t bits, int k);

// Writes at `out` the `count` bytes at `source` (fewer than 63) less the
// dropped separators, with a space for each spaced one: the bits given,
// bit i for byte i. The spaced separators are the closers that are not a
// space, so a copy may as well write a space over every closer. Returns
// the end of what it wrote. It reads and writes in fixed copies of 64
// bytes, a copy for each piece between dropped separators, and writes past
// its end.
using LineCopyFunction = unsigned char* (*)(unsigned char* out, const unsigned char* source,
                                            int count, std::uint64_t dropped, std::uint64_t closers,
                                            std::uint64_t spaced);

// Writes at `list` the positions 64 * block + i of the bits i set in
// `starts`, lowest first. It may write past them, up to 64 entries.
using LineStartsFunction = void (*)(std::uint16_t* list, std::uint64_t starts, int block);

// The nibble tables of the kernels that look bytes up by their two
// halves: a byte is of a class when the flags of its low half and of its
// high half share that class's bit.
namespace nibble_flags {
inline constexpr unsigned char separator_low = 0x01; // 0A 0C 0D
inline constexpr unsigned char space = 0x02;         // 20
inline constexpr unsigned char terminator_2x = 0x04; // 21 28 29 2E
inline constexpr unsigned char terminator_3x = 0x08; // 3A 3B 3F
inline constexpr unsigned char separators = separator_low | space;
inline constexpr unsigned char terminators = terminator_2x | terminator_3x;

// clang-format off
// Indexed by the low half of a byte:
inline constexpr unsigned char low[16] = {
    space,         terminator_2x,                 0,             0,             // x0 x1 x2 x3
    0,             0,                             0,             0,             // x4 x5 x6 x7
    terminator_2x, terminator_2x,                 separator_low | terminator_3x, // x8 x9 xA
    terminator_3x, separator_low,                 separator_low, terminator_2x, // xB xC xD xE
    terminator_3x};                                                            // xF
// Indexed by the high half:
inline constexpr unsigned char high[16] = {
    separator_low, 0, space | terminator_2x, terminator_3x, // 0x 1x 2x 3x
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};                    // 4x to Fx
// clang-format on
} // namespace nibble_flags

} // namespace spezzafrasi
