// The walk that every kernel shares: written once, compiled once per
// kernel around its way of taking the masks.
//
// Words, as the walk uses them: a *phrase* is the text's words up to a
// terminator; a *period* is at most the first n words of a phrase, and
// goes out as one *line* (its words, ";" and the line end); the *tail* of
// a phrase longer than n words is dropped up to its terminator. The text's
// own line feeds are only separators. A *block* is 64 bytes, a *region*
// the blocks marked at once, a *chunk* what the caller feeds at once.
//
// The input is walked in two passes over regions of a few kilobytes. The
// first turns each block of 64 bytes into bit masks: separators,
// terminators, separators that close a word, separators that are dropped
// or written as a space, and where each line begins (region_marks.hpp).
// The second goes from line to line on those masks alone (line_path.hpp):
// a line's n-th word and its terminator are bit searches, and its words go
// out as one copy unless a separator has to be dropped; longer lines take
// bit searches phrase by phrase (region_walk.hpp, on bit_search.hpp). In
// well-formed UTF-8 every byte below 0x80 is a character of its own, and
// the vector compares say so for a whole block; elsewhere the lead bytes
// of a block are followed one by one, each taking the bytes it announces
// as read_utf8_char does. The last bytes of a chunk, too few for a block,
// go one character at a time through read_utf8_char itself
// (char_path.hpp). This file drives them over a chunk of the text.
#pragma once

#include "segmentation/block_walk/char_path.hpp"
#include "segmentation/block_walk/cursor.hpp"
#include "segmentation/block_walk/region_marks.hpp"
#include "segmentation/block_walk/region_walk.hpp"
#include "segmentation/byte_stream.hpp"
#include "segmentation/kernel_pieces/portable.hpp"
#include "segmentation/kernels.hpp"
#include "segmentation/periods.hpp"
#include "segmentation/utf8_reader.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace block_walk {

// What a kernel brings to the walk: its masks and, where it has its own,
// the other pieces (kernel_pieces/pieces.hpp), the plain ones otherwise; and
// whether every block goes through the UTF-8 check (mark_region).
template <ByteMasksFunction masks, BitSelectFunction select = select_bit_portable,
          LineCopyFunction copy = copy_line_portable,
          LineStartsFunction starts = write_line_starts_portable, bool every_block = false>
struct KernelPieces {
    static constexpr ByteMasksFunction byte_masks = masks;
    static constexpr BitSelectFunction select_bit = select;
    static constexpr LineCopyFunction copy_line = copy;
    static constexpr LineStartsFunction write_line_starts = starts;
    static constexpr bool utf8_every_block = every_block;
};

// What a walk that more text follows leaves to the caller: enough that
// every line of its last region has the input that the line path reads
// past it, and the line path takes them all.
static_assert(periods_held_back >= line_read_room + block_size + 3,
              "the last region, a block short of a character, and the line path's reading");

// Walks [p, end) for words_per_period of 1 or more: regions through the
// marks, and the last bytes, too few for a block, one character at a time.
// Returns where it stopped: at `end`, at a character that does not end
// before it, or where the output failed. With `goes_on`, the end of the
// chunk is not the text's: only regions with line_read_room bytes after
// them are walked, so no line is left to a slower path for want of bytes
// ahead, and the rest is handed back.
template <typename Pieces>
SPEZZAFRASI_INLINE const unsigned char* walk_chunk(PeriodState& state, const unsigned char* p,
                                                   const unsigned char* end, OutputStream& output,
                                                   bool goes_on) {
    const std::int32_t words_per_period = state.words_per_period;
    Cursor c{p, p, state.words, state.in_gap};
    Operation op = state.op;
    Marks marks;
    while (c.p < end && !output.failed) {
        const std::ptrdiff_t ahead = end - c.p - (goes_on ? line_read_room : 0);
        if (goes_on && ahead < block_size) break;
        const std::ptrdiff_t available =
            std::min<std::ptrdiff_t>(ahead, region_blocks * block_size);
        const int length =
            mark_region<Pieces::byte_masks, Pieces::write_line_starts, Pieces::utf8_every_block>(
                c.p, available, !c.in_gap, op == Operation::WritePeriod && c.words == 0 && c.in_gap,
                marks);
        if (length > 0) {
            if (marks.first_invalid >= 0 && c.invalid == nullptr) {
                c.invalid = utf8_fault_start(c.p + marks.first_invalid, p);
            }
            walk_region<Pieces::select_bit, Pieces::copy_line>(c, op, marks, length, end, output,
                                                               words_per_period);
            c.span = c.p;
            continue;
        }
        const Stop stop = op == Operation::SkipTail ? skip_chars(c, end)
                                                    : write_chars(c, end, output, words_per_period);
        if (stop == Stop::Straddle) break;
        if (stop == Stop::Switch) {
            op = op == Operation::WritePeriod ? Operation::SkipTail : Operation::WritePeriod;
            c.words = 0;
            c.in_gap = true;
            c.span = c.p;
        }
    }
    if (op == Operation::WritePeriod) write_span(output, c.span, c.p);
    state.op = op;
    state.words = c.words;
    state.in_gap = c.in_gap;
    state.invalid = c.invalid;
    return c.p;
}

// The line feeds in [p, p + size): a byte counter a lane, 64 lanes, that
// the compiler turns into vector compares and adds for the kernel's
// instructions; the lanes are summed before any can pass 255.
SPEZZAFRASI_INLINE std::uint64_t count_line_feeds(const unsigned char* p, std::size_t size) {
    std::uint64_t total = 0;
    while (size >= 64) {
        const std::size_t blocks = std::min<std::size_t>(size / 64, 255);
        unsigned char lanes[64] = {};
        for (std::size_t b = 0; b < blocks; ++b, p += 64) {
            for (int i = 0; i < 64; ++i)
                lanes[i] = static_cast<unsigned char>(lanes[i] + (p[i] == '\n' ? 1 : 0));
        }
        for (const unsigned char lane : lanes)
            total += lane;
        size -= 64 * blocks;
    }
    for (; size > 0; --size)
        total += *p++ == '\n' ? 1U : 0U;
    return total;
}

} // namespace block_walk

// Defines `name`_kernel from `pieces`, a KernelPieces, with `entry` the
// attributes of its entry point (which cannot stand in parentheses).
// NOLINTBEGIN(bugprone-macro-parentheses)
#define SPEZZAFRASI_DEFINE_KERNEL(name, pieces, entry)                                             \
    namespace {                                                                                    \
    entry const unsigned char* walk_##name(PeriodState& state, const unsigned char* p,             \
                                           const unsigned char* end, OutputStream& output,         \
                                           bool goes_on) {                                         \
        return block_walk::walk_chunk<pieces>(state, p, end, output, goes_on);                     \
    }                                                                                              \
    entry std::uint64_t line_feeds_##name(const unsigned char* p, std::size_t size) {              \
        return block_walk::count_line_feeds(p, size);                                              \
    }                                                                                              \
    const Kernel name##_kernel{#name,                                                              \
                               pieces::byte_masks,                                                 \
                               pieces::select_bit,                                                 \
                               pieces::copy_line,                                                  \
                               pieces::write_line_starts,                                          \
                               walk_##name,                                                        \
                               line_feeds_##name};                                                 \
    }
// NOLINTEND(bugprone-macro-parentheses)
