// The second pass over a region: phrase by phrase on its marks, taking the
// line-at-a-time path wherever it can and bit searches elsewhere (long
// lines, lines that go on past the region).
#pragma once

#include "segmentation/block_walk/bit_search.hpp"
#include "segmentation/block_walk/cursor.hpp"
#include "segmentation/block_walk/line_path.hpp"
#include "segmentation/block_walk/region_marks.hpp"
#include "segmentation/byte_stream.hpp"
#include "segmentation/kernel_pieces/pieces.hpp"

#include <algorithm>
#include <cstdint>

namespace spezzafrasi {

namespace block_walk {

// Writes the words in [from, to) of the region at `base`: copies of the
// input between the separators that are dropped or written as a space. A
// run of dropped separators (an indentation, a column's alignment) is
// passed over at once.
SPEZZAFRASI_INLINE void write_words(OutputStream& output, const unsigned char* base, int from,
                                    int to, const Marks& marks, const unsigned char* end) {
    while (from < to) {
        const int change = std::min(next_bit_before(marks.dropped, from, to),
                                    next_bit_before(marks.spaced, from, to));
        copy_out(output, base + from, change - from, end);
        if (change == to) return;
        if (bit_at(marks.spaced, change)) write_byte(output, ' ');
        from = change + 1;
        if (from < to && bit_at(marks.dropped, from)) {
            from = std::min(next_clear_bit(marks.dropped, from), to);
        }
    }
}

// Goes through the marked region that begins at c.p, phrase by phrase, and
// leaves c.p at its end; with `spans`, each period that ends in it gives
// its span. Bytes up to `end` can be read.
template <BitSelectFunction select_bit, LineCopyFunction copy_line, bool spans>
SPEZZAFRASI_INLINE void walk_region(Cursor& c, Operation& op, const Marks& marks, int length,
                                    const unsigned char* end, OutputStream& output,
                                    std::int32_t words_per_period) {
    const unsigned char* const base = c.p;
    int at = 0;
    int line = 0; // the first line start that write_short_lines has not passed
    for (;;) {
        if (op == Operation::SkipTail) {
            const int terminator = next_bit(marks.terminators, at);
            if (terminator == length) break;
            c.words = 0;
            c.in_gap = true;
            at = terminator + terminator_length(base[terminator]);
            op = Operation::WritePeriod;
            if constexpr (spans) end_period(c.period_start, output, c.offset_of(base + at));
            continue;
        }
        if (c.words == 0 && c.in_gap) {
            at = write_short_lines<select_bit, copy_line, spans>(c, at, line, op, marks, length,
                                                                 end, output, words_per_period);
            if (at == length) break;
        }
        // Where the line stops: its terminator, or the closer of its last
        // word when it is full. A line under way when the region begins
        // (words closed or a word begun) is tried the line path's way, its
        // period begun and its separators before a word dropped marks; a
        // line that begins here is one the line path left (long, or short
        // of room for its copies).
        const std::int32_t wanted = words_per_period - c.words;
        std::int32_t closed = 0;
        int from = at;
        int stop = c.words != 0 || !c.in_gap ? write_line_rest<copy_line, select_bit>(
                                                   output, base, from, marks, end, wanted, closed)
                                             : -1;
        if (stop < 0) {
            // A line's separators before its first word are dropped.
            if (c.in_gap) from = next_clear_bit(marks.separators, at);
            if constexpr (spans) {
                if (c.period_start == no_offset && from < length)
                    c.period_start = c.offset_of(base + from);
            }
            const int terminator = next_bit(marks.terminators, from);
            stop = nth_bit_before(marks.closers, from, terminator, wanted, closed);
            write_words(output, base, from, stop, marks, end);
        }
        // A full line: the rest of its phrase is dropped.
        if (!bit_at(marks.terminators, stop)) {
            write_line_end(output);
            at = stop + 1;
            op = Operation::SkipTail;
            continue;
        }
        if (stop == length) { // the phrase goes on past the region
            c.words += closed;
            c.in_gap = from == length || bit_at(marks.separators, length - 1);
            break;
        }
        write_line_end(output);
        at = stop + terminator_length(base[stop]);
        if constexpr (spans) end_period(c.period_start, output, c.offset_of(base + at));
        c.words = 0;
        c.in_gap = true;
    }
    c.p = base + length;
}

} // namespace block_walk

} // namespace spezzafrasi
