// The walk that every kernel shares: written once, compiled once per
// kernel around its way of taking the masks.
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
// as read_utf8_char does. The last bytes of a buffer fill, and a character
// that straddles two fills, go one character at a time through
// read_utf8_char itself (char_path.hpp). This file drives them over the
// buffer fills.
#pragma once

#include "segmentation/block_masks/block_masks.hpp"
#include "segmentation/block_walk/char_path.hpp"
#include "segmentation/block_walk/cursor.hpp"
#include "segmentation/block_walk/region_marks.hpp"
#include "segmentation/block_walk/region_walk.hpp"
#include "segmentation/byte_stream.hpp"
#include "segmentation/kernels.hpp"
#include "segmentation/period_writer.hpp"
#include "segmentation/utf8_reader.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace block_walk {

inline int end_of_input(const InputStream& input) {
    return input.state == StreamState::Failed ? -1 : 0;
}

// What a kernel brings to the walk: its masks and, where it has its own,
// the other pieces (block_masks.hpp), the portable ones otherwise; and
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

// How the walk of one buffer fill ended: at the fill's end (Limit), at a
// character that the fill does not hold whole (Straddle), or with the
// operation's result to return (Switch: a single operation is done, or a
// write failed).
struct FillEnd {
    Stop stop;
    int result;
};

// Walks the buffer fill from the reading position: regions through the
// marks, and the last bytes, too few for a block, one character at a time.
template <typename Pieces>
INLINE FillEnd walk_fill(Cursor& c, Operation& op, Marks& marks, int blocks, InputStream& input,
                         OutputStream& output, std::int32_t words_per_period, bool once) {
    const unsigned char* const end = input.buffer + input.end;
    c.p = c.span = input.buffer + input.pos;
    const auto leave = [&](int result) {
        input.pos = static_cast<std::size_t>(c.p - input.buffer);
        return FillEnd{Stop::Switch, result};
    };
    Stop stop = Stop::Limit;
    while (c.p < end) {
        const std::ptrdiff_t available = std::min<std::ptrdiff_t>(end - c.p, blocks * block_size);
        const int length =
            mark_region<Pieces::byte_masks, Pieces::write_line_starts, Pieces::utf8_every_block>(
                c.p, available, !c.in_gap, op == Operation::WritePeriod && c.words == 0 && c.in_gap,
                marks);
        if (length > 0) {
            if (op == Operation::WritePeriod) write_span(output, c.span, c.p);
            stop = walk_region<Pieces::select_bit, Pieces::copy_line>(
                c, op, marks, length, end, output, words_per_period, once);
            c.span = c.p;
            if (stop == Stop::Switch) return leave(output.failed ? -1 : 1);
            continue;
        }
        stop = op == Operation::SkipTail ? skip_chars(c, end, input)
                                         : write_chars(c, end, input, output, words_per_period);
        if (stop == Stop::Straddle) break;
        if (stop == Stop::Limit) continue;
        if (once || output.failed) {
            return leave(op == Operation::WritePeriod && output.failed ? -1 : 1);
        }
        op = op == Operation::WritePeriod ? Operation::SkipTail : Operation::WritePeriod;
        c.words = 0;
        c.in_gap = true;
        c.span = c.p;
        stop = Stop::Limit;
    }
    input.pos = static_cast<std::size_t>(c.p - input.buffer);
    if (op == Operation::WritePeriod) write_span(output, c.span, c.p);
    return {stop, 1};
}

// A character that straddles two buffer fills, read whole. Returns true
// when it is the terminator that ends a dropped tail.
inline bool take_straddler(Cursor& c, Operation& op, const Utf8Char& ch, OutputStream& output) {
    const bool terminator = char_class(ch.code) == CharClass::Terminator;
    if (op == Operation::WritePeriod) {
        if (terminator) {
            write_line_end(output);
            c.words = 0;
            c.in_gap = true;
        } else {
            write_char(output, ch);
            c.in_gap = false;
        }
        return false;
    }
    if (!terminator) return false;
    op = Operation::WritePeriod;
    c.words = 0;
    c.in_gap = true;
    return true;
}

// Does `op` from the reading position on: write_period when it is
// WritePeriod, skip_sentence_tail when it is SkipTail. With `once` it
// returns as they do; otherwise it goes on with the other operation in
// turn, as the run loop calls them, until the input ends or a write fails.
template <typename Pieces>
INLINE int walk_with(InputStream& input, OutputStream& output, std::int32_t words_per_period,
                     Operation op, bool once) {
    Cursor c{nullptr, nullptr, 0, true};
    Marks marks;
    // A single operation rarely goes far: it marks little at a time.
    const int blocks = once ? 2 : region_blocks;
    int result = 1;
    for (;;) {
        if (op == Operation::WritePeriod && output.failed) return -1;
        if (input.pos == input.end && !refill(input)) {
            result = end_of_input(input);
            break;
        }
        const FillEnd fill =
            walk_fill<Pieces>(c, op, marks, blocks, input, output, words_per_period, once);
        if (fill.stop == Stop::Switch) return fill.result;
        if (fill.stop != Stop::Straddle) continue;
        Utf8Char ch{};
        result = read_utf8_char(input, ch);
        if (result != 1) break;
        if (take_straddler(c, op, ch, output) && once) return 1;
    }
    if (op == Operation::SkipTail) return result;
    write_line_end(output);
    return output.failed ? -1 : result;
}

template <typename Pieces>
INLINE int write_period_with(InputStream& input, OutputStream& output,
                             std::int32_t words_per_period) {
    return walk_with<Pieces>(input, output, words_per_period, Operation::WritePeriod, true);
}

template <typename Pieces>
INLINE int skip_tail_with(InputStream& input) {
    OutputStream unused{no_file, nullptr, 0}; // a dropped tail writes nothing
    return walk_with<Pieces>(input, unused, 0, Operation::SkipTail, true);
}

template <typename Pieces>
INLINE void run_with(InputStream& input, OutputStream& output, std::int32_t words_per_period) {
    walk_with<Pieces>(input, output, words_per_period, Operation::WritePeriod, false);
}

} // namespace block_walk

// Defines `name`_kernel from `pieces`, a KernelPieces, with `entry` the
// attributes of its entry points (which cannot stand in parentheses).
// NOLINTBEGIN(bugprone-macro-parentheses)
#define SPEZZAFRASI_DEFINE_KERNEL(name, pieces, entry)                                             \
    namespace {                                                                                    \
    entry int write_period_##name(InputStream& input, OutputStream& output,                        \
                                  std::int32_t words_per_period) {                                 \
        return block_walk::write_period_with<pieces>(input, output, words_per_period);             \
    }                                                                                              \
    entry int skip_tail_##name(InputStream& input) {                                               \
        return block_walk::skip_tail_with<pieces>(input);                                          \
    }                                                                                              \
    entry void run_##name(InputStream& input, OutputStream& output,                                \
                          std::int32_t words_per_period) {                                         \
        block_walk::run_with<pieces>(input, output, words_per_period);                             \
    }                                                                                              \
    const Kernel name##_kernel{#name, pieces::byte_masks, write_period_##name, skip_tail_##name,   \
                               run_##name};                                                        \
    }
// NOLINTEND(bugprone-macro-parentheses)
