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
// as read_utf8_char does. Both passes read ahead of the text they walk (a
// block, a line's fixed copies): a chunk is walked where it lies up to
// where that would read past it, and its last bytes in the state's carry,
// which has the room (periods.cpp). This file drives them over a buffer.
#pragma once

#include "segmentation/block_walk/bit_search.hpp"
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

namespace spezzafrasi {

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

// The carry holds what a walk in place leaves, with the room that the
// walk reads past it: a block, and a line's copies from a start before its
// end.
static_assert(carry_size >= line_read_room + block_size + 3,
              "what a walk in place leaves: a line's reading, a block, a character");
static_assert(carry_room >= line_read_room && carry_room >= block_size,
              "the carry's room past its text");

// Where the text stops being UTF-8 in the region at c.p, if it does, and
// the line feeds before that; false once the fault is known.
SPEZZAFRASI_INLINE bool count_to_fault(const Cursor& c, const Marks& marks, int length,
                                       std::uint64_t& fault, std::uint64_t& lines) {
    if (marks.first_invalid < 0) {
        lines += marks.line_feed_count;
        return true;
    }
    const unsigned char* const start = utf8_fault_start(c.p + marks.first_invalid, c.p);
    fault = c.offset_of(start);
    lines += count_bits_before(marks.line_feeds,
                               static_cast<int>(std::min<std::ptrdiff_t>(start - c.p, length)));
    return false;
}

// Walks the text in [p, end), at `offset` in the whole text, for
// words_per_period of 1 or more; bytes up to `readable` can be read. Where
// fewer than that reading needs are left, it stops and returns where: at a
// character's start, the walk to go on in the carry. It also stops at a
// character that `end` cuts, and anywhere once the output has failed. With
// `spans`, the periods that end give their spans.
template <typename Pieces, bool spans>
SPEZZAFRASI_INLINE const unsigned char*
walk_chunk(PeriodState& state, const unsigned char* p, const unsigned char* end,
           const unsigned char* readable, std::uint64_t offset, OutputStream& output) {
    const std::int32_t words_per_period = state.words_per_period;
    Cursor c{p, state.words, state.in_gap, state.period_start, offset, p};
    Operation op = state.op;
    std::uint64_t fault = state.first_invalid;
    std::uint64_t lines = state.lines;
    bool counting = fault == no_offset;
    Marks marks;
    while (c.p < end && !output.failed) {
        // Whole blocks whose lines can all be read from their start on.
        std::ptrdiff_t available = end - c.p;
        const std::ptrdiff_t room = readable - c.p - line_read_room;
        if (available > room) available = room - room % block_size;
        if (available < block_size && available < end - c.p) break;
        const int length =
            mark_region<Pieces::byte_masks, Pieces::write_line_starts, Pieces::utf8_every_block>(
                c.p, available, !c.in_gap, op == Operation::WritePeriod && c.words == 0 && c.in_gap,
                marks);
        if (length == 0) break;
        if (counting) counting = count_to_fault(c, marks, length, fault, lines);
        walk_region<Pieces::select_bit, Pieces::copy_line, spans>(c, op, marks, length, readable,
                                                                  output, words_per_period);
    }
    state.op = op;
    state.words = c.words;
    state.in_gap = c.in_gap;
    state.period_start = c.period_start;
    state.first_invalid = fault;
    state.lines = lines;
    return c.p;
}

} // namespace block_walk

// Defines `name`_kernel from `pieces`, a KernelPieces, with `entry` the
// attributes of its entry point (which cannot stand in parentheses) and
// `runs` whether this processor runs it.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define SPEZZAFRASI_DEFINE_KERNEL(name, pieces, entry, runs)                                       \
    namespace {                                                                                    \
    entry const unsigned char* walk_##name(PeriodState& state, const unsigned char* p,             \
                                           const unsigned char* end,                               \
                                           const unsigned char* readable, std::uint64_t offset,    \
                                           OutputStream& output) {                                 \
        return block_walk::walk_chunk<pieces, false>(state, p, end, readable, offset, output);     \
    }                                                                                              \
    entry const unsigned char* walk_spans_##name(PeriodState& state, const unsigned char* p,       \
                                                 const unsigned char* end,                         \
                                                 const unsigned char* readable,                    \
                                                 std::uint64_t offset, OutputStream& output) {     \
        return block_walk::walk_chunk<pieces, true>(state, p, end, readable, offset, output);      \
    }                                                                                              \
    const Kernel name##_kernel{#name,                                                              \
                               pieces::byte_masks,                                                 \
                               pieces::select_bit,                                                 \
                               pieces::copy_line,                                                  \
                               pieces::write_line_starts,                                          \
                               walk_##name,                                                        \
                               walk_spans_##name,                                                  \
                               runs};                                                              \
    }
// NOLINTEND(bugprone-macro-parentheses)

} // namespace spezzafrasi
