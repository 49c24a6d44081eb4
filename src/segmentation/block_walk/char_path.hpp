// The character-at-a-time path: the last bytes of a chunk, too few for a
// block, go through the class table and read_utf8_char itself.
#pragma once

#include "segmentation/block_walk/cursor.hpp"
#include "segmentation/byte_stream.hpp"
#include "segmentation/period_writer.hpp"
#include "segmentation/utf8_reader.hpp"

#include <cstddef>
#include <cstdint>

namespace block_walk {

// At a terminator that ends just before p and begins at `terminator`: the
// line ends, and the terminator is dropped.
inline void end_phrase(Cursor& c, OutputStream& output, const unsigned char* terminator) {
    write_span(output, c.span, terminator);
    write_line_end(output);
    c.words = 0;
    c.in_gap = true;
    c.span = c.p;
}

// At a separator: dropped after the first of a run, the line's end after
// its n-th word, a space otherwise. Returns Switch when the line is full.
inline Stop take_separator(Cursor& c, unsigned char byte, OutputStream& output,
                           std::int32_t words_per_period) {
    if (c.in_gap) { // a separator after the first of a run is dropped
        write_span(output, c.span, c.p);
        c.span = ++c.p;
        return Stop::Limit;
    }
    if (++c.words >= words_per_period) {
        write_span(output, c.span, c.p);
        write_line_end(output);
        ++c.p;
        return Stop::Switch;
    }
    c.in_gap = true;
    if (byte != ' ') {
        write_span(output, c.span, c.p);
        write_byte(output, ' ');
        c.span = c.p + 1;
    }
    ++c.p;
    return Stop::Limit;
}

// Goes one character at a time up to `end`, the end of the chunk. Returns
// Straddle at a character that the chunk does not hold whole.
inline Stop write_chars(Cursor& c, const unsigned char* end, OutputStream& output,
                        std::int32_t words_per_period) {
    while (c.p < end) {
        const unsigned char byte = *c.p;
        if (byte >= 0x80) {
            Utf8Char ch{};
            const unsigned char* const at = c.p;
            if (read_utf8_char(c.p, end, ch) != 1) return Stop::Straddle;
            note_utf8_fault(c.invalid, at, ch.length);
            if (ch.code == middle_dot) {
                end_phrase(c, output, c.p - ch.length);
            } else {
                c.in_gap = false;
            }
            continue;
        }
        switch (char_classes[byte]) {
        case CharClass::Word:
            c.in_gap = false;
            ++c.p;
            break;
        case CharClass::Separator:
            if (take_separator(c, byte, output, words_per_period) == Stop::Switch) {
                return Stop::Switch;
            }
            break;
        case CharClass::Terminator:
            ++c.p;
            end_phrase(c, output, c.p - 1);
            break;
        }
    }
    return Stop::Limit;
}

// Drops characters one at a time up to `end`, the end of the chunk,
// through the reader, until a terminator.
inline Stop skip_chars(Cursor& c, const unsigned char* end) {
    while (c.p < end) {
        Utf8Char ch{};
        const unsigned char* const at = c.p;
        if (read_utf8_char(c.p, end, ch) != 1) return Stop::Straddle;
        note_utf8_fault(c.invalid, at, ch.length);
        if (char_class(ch.code) == CharClass::Terminator) return Stop::Switch;
    }
    return Stop::Limit;
}

} // namespace block_walk
