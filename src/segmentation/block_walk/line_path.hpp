// The line-at-a-time path: from one line's start to the next on the marks
// alone, for lines that end less than 63 bytes after their first word,
// which is nearly every line of real text.
#pragma once

#include "segmentation/block_walk/bit_search.hpp"
#include "segmentation/block_walk/cursor.hpp"
#include "segmentation/block_walk/region_marks.hpp"
#include "segmentation/byte_stream.hpp"
#include "segmentation/kernel_pieces/pieces.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace spezzafrasi {

namespace block_walk {

// Copies `count` bytes from `from`, in one fixed-size copy of 64 bytes of
// which only `count` are kept where the output has the room and the input
// the bytes (it ends at `end`).
SPEZZAFRASI_INLINE void copy_out(OutputStream& output, const unsigned char* from, int count,
                                 const unsigned char* end) {
    if (count <= 64 && output.capacity - output.used >= 64 && end - from >= 64) {
        std::memcpy(output.buffer + output.used, from, 64);
        output.used += static_cast<std::size_t>(count);
    } else {
        write_bytes(output, from, static_cast<std::size_t>(count));
    }
}

// Room that write_short_lines needs in the output for a line: the fixed copies
// of its pieces, a space written past its end, a line end.
constexpr std::size_t line_room = std::size_t{3} * 64;
// Input that the fixed copies of a line may read past its first word: a
// line is shorter than 63 bytes, and each copy reads 64 from a piece's
// start inside it.
constexpr std::ptrdiff_t line_read_room = 128;
static_assert(line_read_room >= 63 + 64, "a line's last piece is read 64 bytes at a time");
static_assert(line_room >= 64 + 64 + 4, "a line's copy, a space past it and its end");

// The length of the line that begins at `from`, whose closers from there
// on are `closers`: up to its last word's closer, the
// `closers_before_cut`-th, or to its terminator, whichever comes first; 63
// or more when neither is less than 63 bytes away.
template <BitSelectFunction select_bit>
SPEZZAFRASI_INLINE int line_length(const Marks& marks, int from, std::uint64_t closers,
                                   bool may_be_full, int closers_before_cut) {
    constexpr std::uint64_t top = std::uint64_t{1} << 63;
    // The terminator, when it is less than 63 bytes away; 63 otherwise.
    const int to_near = lowest_bit(bits_from(marks.terminators, from) | top);
    closers &= bits_below(to_near);
    closers = may_be_full ? select_bit(closers, closers_before_cut) : 0;
    return lowest_bit(closers | std::uint64_t{1} << to_near);
}

// Where the span of the line_starts[line]-th line of the region at `base`,
// which stops at `stop`, ends: each terminator is followed by a line start,
// past its gap, so where the gap before the next line begins; where the
// next line is past the region, past its terminator, searched (which may
// end the region); -1 when that terminator is past the region too.
SPEZZAFRASI_INLINE int line_span_end(const Marks& marks, const unsigned char* base, int line,
                                     int stop, int length) {
    if (line + 1 < marks.lines)
        return run_start_before(marks.separators, marks.line_starts[line + 1]);
    const int terminator = next_bit(marks.terminators, stop);
    return terminator < length ? terminator + terminator_length(base[terminator]) : -1;
}

// Copies the line of `count` bytes (less than 63) at `from` in the region
// at `base`, whose closers from there on are `closers`, to `out` in the
// line path's fixed copies; returns where the output goes on.
template <LineCopyFunction copy_line>
SPEZZAFRASI_INLINE unsigned char* copy_short_line(unsigned char* out, const unsigned char* base,
                                                  int from, int count, std::uint64_t closers,
                                                  const Marks& marks) {
    const std::uint64_t in_line = bits_below(count);
    return copy_line(out, base + from, count, bits_from(marks.dropped, from) & in_line,
                     closers & in_line, bits_from(marks.spaced, from) & in_line);
}

// Whether the output, with `count` spans in it, has no room for one more.
template <bool spans>
SPEZZAFRASI_INLINE bool spans_full(const OutputStream& output, std::size_t count) {
    return spans && count == output.span_capacity;
}

// Writes line after line of the region at c.p from `at`, a line's start,
// as long as each line ends less than 63 bytes after its first word,
// without a loop over words or bytes and nearly without a branch that
// depends on the text. The lines begin where the marks say, one after each
// terminator, so that one line does not wait for the one before; with
// `spans`, each is a period's span. Returns where it stopped, at a line's
// start, or the region's end when a line goes on past it: with op SkipTail
// when that is a dropped tail, with the line's words so far written and
// counted otherwise (its period's start, either way, in c.period_start).
template <BitSelectFunction select_bit, LineCopyFunction copy_line, bool spans>
SPEZZAFRASI_INLINE int write_short_lines(Cursor& c, int at, int& line, Operation& op,
                                         const Marks& marks, int length, const unsigned char* end,
                                         OutputStream& output, std::int32_t words_per_period) {
    const unsigned char* const base = c.p;
    if (output.capacity < 2 * line_room) return at;
    // The fixed copies read up to line_read_room bytes from a line's start.
    const int last =
        static_cast<int>(std::min<std::ptrdiff_t>(length, end - base - line_read_room));
    // A word and its closer take two bytes, so fewer than 63 bytes hold at
    // most 31 closers: with more words a line here is never full.
    const bool may_be_full = words_per_period <= 31;
    const int closers_before_cut = static_cast<int>(words_per_period) - 1;
    const LineEnd line_end = output.line_end;
    while (line < marks.lines && marks.line_starts[line] < at)
        ++line;
    int from = -1; // the last line written
    // The output is written through `out` and `used` set when this returns.
    unsigned char* out = output.buffer + output.used;
    const unsigned char* out_limit = output.buffer + (output.capacity - line_room);
    // So are the spans, through `span_count`: kept in memory, the count
    // would chain each line to the one before.
    std::size_t span_count = output.span_count;
    const auto stop_at = [&](int where) {
        output.used = static_cast<std::size_t>(out - output.buffer);
        if constexpr (spans) output.span_count = span_count;
        return where;
    };
    for (; line < marks.lines; ++line) {
        const int next = marks.line_starts[line];
        if (next >= last) return stop_at(next);
        if (out > out_limit || spans_full<spans>(output, span_count)) {
            stop_at(next);
            // A flush may leave less room than a line needs (the end of a
            // caller's buffer): the general walk takes the rest.
            if (!flush_output(output) || output.capacity - output.used < line_room ||
                spans_full<spans>(output, output.span_count)) {
                return next;
            }
            out = output.buffer + output.used;
            span_count = output.span_count;
            out_limit = output.buffer + (output.capacity - line_room);
        }
        from = next;
        // A longer line is left to the general walk.
        const std::uint64_t closers = bits_from(marks.closers, from);
        const int count =
            line_length<select_bit>(marks, from, closers, may_be_full, closers_before_cut);
        if (count >= 63) return stop_at(from);
        out = copy_short_line<copy_line>(out, base, from, count, closers, marks);
        if (from + count >= length) {
            // The line goes on past the region, with fewer words than a
            // full one: they are written, and the next region goes on.
            c.words = count_bits(closers & bits_below(count));
            c.in_gap = bit_at(marks.separators, length - 1);
            if constexpr (spans) c.period_start = c.offset_of(base + from);
            return stop_at(length);
        }
        std::memcpy(out, line_end.bytes.data(), line_end.bytes.size());
        out += line_end.size;
        if constexpr (spans) {
            const int span_end = line_span_end(marks, base, line, from + count, length);
            if (span_end >= 0) {
                output.spans[span_count++] = {
                    c.offset_of(base + from), c.offset_of(base + span_end),
                    output.handed + static_cast<std::uint64_t>(out - output.buffer)};
            } else {
                c.period_start = c.offset_of(base + from);
            }
        }
    }
    // Only a gap follows the last line's terminator, unless the terminator
    // is past the region.
    if (from >= 0 && next_bit(marks.terminators, from) == length) op = Operation::SkipTail;
    return stop_at(length);
}

// The rest of the line under way from `from`, which lacks `wanted` words,
// written as write_short_lines writes a line when it stops less than 63
// bytes on and the output and the input have the room of its fixed
// copies: where a text comes in chunks, each begins inside such a line.
// Returns where it stops, at its terminator or, when it is full, at the
// closer of its last word, with `closed` its closers; -1 when it is left
// to the bit searches.
template <LineCopyFunction copy_line, BitSelectFunction select_bit>
SPEZZAFRASI_INLINE int write_line_rest(OutputStream& output, const unsigned char* base, int from,
                                       const Marks& marks, const unsigned char* end,
                                       std::int32_t wanted, std::int32_t& closed) {
    if (output.capacity - output.used < line_room || end - (base + from) < line_read_room)
        return -1;
    const std::uint64_t closers = bits_from(marks.closers, from);
    const int count = line_length<select_bit>(marks, from, closers, wanted <= 31, wanted - 1);
    if (count >= 63) return -1;
    const unsigned char* const out =
        copy_short_line<copy_line>(output.buffer + output.used, base, from, count, closers, marks);
    output.used = static_cast<std::size_t>(out - output.buffer);
    closed = count_bits(closers & bits_below(count));
    return from + count;
}

} // namespace block_walk

} // namespace spezzafrasi
