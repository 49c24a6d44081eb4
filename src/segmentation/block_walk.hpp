// The logic of phrases, words and lines that every kernel shares: written
// once, compiled once per kernel around its way of taking the masks.
#pragma once

#include "segmentation/block_masks/block_masks.hpp"
#include "segmentation/byte_stream.hpp"
#include "segmentation/kernels.hpp"
#include "segmentation/period_writer.hpp"
#include "segmentation/utf8_reader.hpp"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

// The input is walked in two passes over regions of a few kilobytes. The
// first turns each block of 64 bytes into bit masks: separators,
// terminators, separators that close a word, separators that are dropped
// or written as a space, and where each line begins. The second goes from
// line to line on those masks alone: a line's n-th word and its terminator
// are bit searches, and its words go out as one copy unless a separator
// has to be dropped. In well-formed UTF-8 every byte below 0x80 is a
// character of its own, and the vector compares say so for a whole block;
// elsewhere the lead bytes of a block are followed one by one, each taking
// the bytes it announces as read_utf8_char does. The last bytes of a buffer
// fill, and a character that straddles two fills, go one character at a
// time through read_utf8_char itself.

// The functions are inlined into one copy of the operations for each
// kernel, so that each copy is compiled for its kernel's instructions.
#if defined(__GNUC__)
#define INLINE [[gnu::always_inline]] inline
#else
#define INLINE inline
#endif

namespace block_walk {

constexpr std::ptrdiff_t block_size = 64;
// 8 KiB of input a region: its masks stay in the first-level cache.
constexpr int region_blocks = 128;

inline void write_span(OutputStream& output, const unsigned char* from, const unsigned char* to) {
    write_bytes(output, from, static_cast<std::size_t>(to - from));
}

inline void write_char(OutputStream& output, const Utf8Char& ch) {
    const auto code = static_cast<std::uint32_t>(ch.code);
    for (std::int32_t shift = 8 * (ch.length - 1); shift >= 0; shift -= 8) {
        write_byte(output, static_cast<unsigned char>(code >> shift));
    }
}

inline int end_of_input(const InputStream& input) {
    return input.state == StreamState::Failed ? -1 : 0;
}

inline int lowest_bit(std::uint64_t bits) {
    return std::countr_zero(bits);
}

// One instruction where the copy is compiled for POPCNT.
inline int count_bits(std::uint64_t bits) {
    return std::popcount(bits);
}

// Bits below `to`, 0 to 63.
inline std::uint64_t bits_below(int to) {
    return (std::uint64_t{1} << to) - 1;
}

// Positions in a region are never negative: their word and their bit.
inline unsigned word_of(int at) {
    return static_cast<unsigned>(at) / 64;
}
inline int bit_of(int at) {
    return static_cast<int>(static_cast<unsigned>(at) % 64);
}
inline int position(unsigned word, std::uint64_t bits) {
    return static_cast<int>(64 * word) + lowest_bit(bits);
}

// The masks of a region, one bit per byte, a word of 64 bits per block.
// Two words more than the blocks hold the bits just past the region's end,
// so that 64 bits can be read from anywhere in it.
constexpr int marks_words = region_blocks + 2;
struct Marks {
    std::uint64_t separators[marks_words];
    std::uint64_t terminators[marks_words]; // first byte of each; one more at the end
    std::uint64_t closers[marks_words];     // separators right after a word byte
    std::uint64_t dropped[marks_words];     // separators after a separator or a terminator
    std::uint64_t spaced[marks_words];      // closers other than a space, written as one
    // Where each line begins: the first byte after a terminator and its
    // gap, in order, and how many there are.
    std::uint16_t line_starts[64 * region_blocks + 4];
    int lines;
};

// Marks the region that begins at p, a character's start, with `available`
// bytes from p in the buffer; `after_word` says whether the byte before p
// belongs to a word, `line_start` whether a line begins at p. Returns the
// region's length: whole blocks, less a character that the last one does
// not hold whole; 0 when there is no whole block. Past the region nothing
// is marked but a terminator at its end, so that every search stops there.
template <ByteMasksFunction byte_masks>
INLINE int mark_region(const unsigned char* p, std::ptrdiff_t available, bool after_word,
                       bool line_start, Marks& marks) {
    const int blocks = static_cast<int>(std::min<std::ptrdiff_t>(region_blocks, available / 64));
    std::uint64_t pending = 0; // bytes that lead bytes of the block before announce
    int straddler = 0;         // the lead byte that announces them
    std::uint64_t word_before = after_word ? 1 : 0;
    std::uint64_t dot_tail = 0; // a middle dot's second byte at the start of the block
    std::uint64_t after_terminator = line_start ? 1 : 0;
    std::uint64_t gap_goes_on = 0; // a gap after a terminator runs into the block
    marks.lines = 0;
    int b = 0;
    for (; b < blocks; ++b) {
        const unsigned char* const q = p + std::ptrdiff_t{64} * b;
        const ByteMasks m = byte_masks(q);
        // The bytes that lead bytes take: in well-formed UTF-8 exactly the
        // continuation bytes, found for the whole block at once.
        std::uint64_t taken = pending | (m.lead2 << 1) | (m.lead3 << 2) | (m.lead4 << 3);
        std::uint64_t announced = (m.lead2 >> 63) | (m.lead3 >> 62) | (m.lead4 >> 61);
        if ((m.invalid | (taken ^ (m.high & ~m.lead2))) == 0) {
            straddler = 63 - std::countl_zero(m.lead2);
        } else {
            // Otherwise each lead byte, in turn, takes the bytes that it
            // announces, whatever they are, as read_utf8_char does.
            taken = pending;
            announced = 0;
            for (std::uint64_t leads = m.high & ~pending; leads != 0; leads &= leads - 1) {
                const int at = lowest_bit(leads);
                const std::uint64_t run = bits_below(utf8_sequence_length(q[at]) - 1);
                taken |= (run << at) << 1;
                leads &= ~((run << at) << 1);
                if ((run >> (63 - at)) != 0) {
                    announced = run >> (63 - at);
                    straddler = at;
                }
            }
        }
        pending = announced;
        const std::uint64_t separators = m.separators & ~taken;
        std::uint64_t dots = 0;
        // C2 is rare: the lead of the middle dot and a few symbols.
        const std::ptrdiff_t room = available - std::ptrdiff_t{64} * b - 1;
        for (std::uint64_t c2 = m.c2 & ~taken; c2 != 0; c2 &= c2 - 1) {
            const int at = lowest_bit(c2);
            if (at < room && q[at + 1] == 0xB7) dots |= std::uint64_t{1} << at;
        }
        const std::uint64_t one_byte_terminators = m.terminators & ~taken;
        const std::uint64_t terminators = one_byte_terminators | dots;
        const std::uint64_t dot_tails = (dots << 1) | dot_tail;
        const std::uint64_t words = ~(separators | terminators | dot_tails);
        const std::uint64_t closers = separators & ((words << 1) | word_before);
        // Adding a bit after each terminator to the separators carries it
        // over the gap that follows, to where the next line begins.
        const std::uint64_t terminator_ends = one_byte_terminators | dot_tails;
        const std::uint64_t after = (terminator_ends << 1) | after_terminator;
        const std::uint64_t partial = separators + after;
        const std::uint64_t sum = partial + gap_goes_on;
        marks.separators[b] = separators;
        marks.terminators[b] = terminators;
        marks.closers[b] = closers;
        marks.dropped[b] = separators & ~closers;
        marks.spaced[b] = closers & ~m.spaces;
        // Four line starts a block without a branch, more in a loop.
        std::uint64_t starts = sum & ~separators;
        std::uint16_t* const list = marks.line_starts + marks.lines;
        marks.lines += count_bits(starts);
        for (int i = 0; i < 4 || starts != 0; ++i) {
            list[i] = static_cast<std::uint16_t>(64 * b + lowest_bit(starts));
            starts &= starts - 1;
        }
        word_before = words >> 63;
        dot_tail = dots >> 63;
        after_terminator = terminator_ends >> 63;
        gap_goes_on = (partial < after || sum < partial) ? 1 : 0;
    }
    int length = 64 * b;
    if (b != 0 && pending != 0) length = 64 * (b - 1) + straddler;
    const int end_word = length / 64;
    for (int w = end_word; w < end_word + 2; ++w) {
        const std::uint64_t kept = bits_below(bit_of(length));
        for (std::uint64_t* bits :
             {marks.separators, marks.terminators, marks.closers, marks.dropped, marks.spaced}) {
            bits[w] = w < b ? bits[w] & kept : 0;
        }
    }
    marks.terminators[end_word] |= std::uint64_t{1} << bit_of(length);
    while (marks.lines > 0 && marks.line_starts[marks.lines - 1] >= length)
        --marks.lines;
    return length;
}

// The 64 bits from `from` on.
inline std::uint64_t bits_from(const std::uint64_t* bits, int from) {
    const unsigned w = word_of(from);
    const int shift = bit_of(from);
    return bits[w] >> shift | (bits[w + 1] << 1) << (63 - shift);
}

// The first bit set from `from` on; the marks make sure there is one.
inline int next_bit(const std::uint64_t* bits, int from) {
    unsigned w = word_of(from);
    std::uint64_t word = bits[w] & ~bits_below(bit_of(from));
    while (word == 0)
        word = bits[++w];
    return position(w, word);
}

// The first bit clear from `from` on.
inline int next_clear_bit(const std::uint64_t* bits, int from) {
    unsigned w = word_of(from);
    std::uint64_t word = ~bits[w] & ~bits_below(bit_of(from));
    while (word == 0)
        word = ~bits[++w];
    return position(w, word);
}

// The first bit set in [from, to), or `to`.
inline int next_bit_before(const std::uint64_t* bits, int from, int to) {
    unsigned w = word_of(from);
    const unsigned last = word_of(to - 1);
    std::uint64_t word = bits[w] & ~bits_below(bit_of(from));
    while (word == 0) {
        if (w >= last) return to;
        word = bits[++w];
    }
    return std::min(position(w, word), to);
}

// The k-th bit set in [from, to), or `to` with `count` the bits set in that
// range.
inline int nth_bit_before(const std::uint64_t* bits, int from, int to, std::int32_t k,
                          std::int32_t& count) {
    unsigned w = word_of(from);
    const unsigned last = word_of(to);
    std::uint64_t word = bits[w] & ~bits_below(bit_of(from));
    count = 0;
    for (;;) {
        if (w == last) word &= bits_below(bit_of(to));
        const int here = count_bits(word);
        if (here >= k - count) {
            return position(w, select_bit_portable(word, static_cast<int>(k - count - 1)));
        }
        count += here;
        if (w == last) return to;
        word = bits[++w];
    }
}

// Where the walk stands inside the buffer.
struct Cursor {
    const unsigned char* p;    // next byte to look at
    const unsigned char* span; // [span, p) goes to the output unchanged
    std::int32_t words;        // words closed on the current line
    bool in_gap;               // after a separator or a terminator
};

// Why a step stopped: at its limit; at a switch from one operation to the
// other (the line is full, or the dropped tail has met its terminator); at
// a character that the buffer does not hold whole.
enum class Stop { Limit, Switch, Straddle };

enum class Operation { WritePeriod, SkipTail };

inline bool bit_at(const std::uint64_t* bits, int at) {
    return (bits[word_of(at)] >> bit_of(at) & 1) != 0;
}

// Copies `count` bytes from `from`, in one fixed-size copy of 64 bytes of
// which only `count` are kept where the output has the room and the input
// the bytes (it ends at `end`).
INLINE void copy_out(OutputStream& output, const unsigned char* from, int count,
                     const unsigned char* end) {
    if (count <= 64 && output.capacity - output.used >= 64 && end - from >= 64) {
        std::memcpy(output.buffer + output.used, from, 64);
        output.used += static_cast<std::size_t>(count);
    } else {
        write_bytes(output, from, static_cast<std::size_t>(count));
    }
}

INLINE void end_line(OutputStream& output) {
    if (output.capacity - output.used >= output.line_end.bytes.size()) {
        std::memcpy(output.buffer + output.used, output.line_end.bytes.data(),
                    output.line_end.bytes.size());
        output.used += output.line_end.size;
    } else {
        write_line_end(output);
    }
}

inline int terminator_length(unsigned char first) {
    return first == 0xC2 ? 2 : 1; // the middle dot
}

// Writes the words in [from, to) of the region at `base`: copies of the
// input between the separators that are dropped or written as a space.
INLINE void write_words(OutputStream& output, const unsigned char* base, int from, int to,
                        const Marks& marks, const unsigned char* end) {
    while (from < to) {
        const int change = std::min(next_bit_before(marks.dropped, from, to),
                                    next_bit_before(marks.spaced, from, to));
        copy_out(output, base + from, change - from, end);
        if (change == to) return;
        if (bit_at(marks.spaced, change)) write_byte(output, ' ');
        from = change + 1;
    }
}

// Room that write_phrases needs in the output for a line: the fixed copies
// of its pieces, a space written past its end, a line end.
constexpr std::size_t line_room = std::size_t{3} * 64;

// Writes line after line from `at`, a line's start, as long as each line
// ends less than 63 bytes after its first word: the case of nearly every
// line of real text, done without a loop over words or bytes and nearly
// without a branch that depends on the text. The lines begin where the
// marks say, one after each terminator, so that one line does not wait for
// the one before. Returns where it stopped, at a line's start, or the
// region's end with op SkipTail when a dropped tail goes on past it.
template <BitSelectFunction select_bit>
INLINE int write_phrases(int at, int& line, Operation& op, const Marks& marks,
                         const unsigned char* base, int length, const unsigned char* end,
                         OutputStream& output, std::int32_t words_per_period) {
    constexpr std::uint64_t top = std::uint64_t{1} << 63;
    if (output.capacity < 2 * line_room) return at;
    // The fixed copies read up to 128 bytes from a line's first word.
    const int last = static_cast<int>(std::min<std::ptrdiff_t>(length, end - base - 128));
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
    const auto stop_at = [&](int where) {
        output.used = static_cast<std::size_t>(out - output.buffer);
        return where;
    };
    for (; line < marks.lines; ++line) {
        const int next = marks.line_starts[line];
        if (next >= last) return stop_at(next);
        if (out > out_limit) {
            stop_at(next);
            if (!flush_output(output)) return next;
            out = output.buffer + output.used;
        }
        from = next;
        // The terminator, when it is less than 63 bytes away; 63 otherwise.
        const int to_near = lowest_bit(bits_from(marks.terminators, from) | top);
        std::uint64_t closers = bits_from(marks.closers, from) & bits_below(to_near);
        closers = may_be_full ? select_bit(closers, closers_before_cut) : 0;
        // The line ends at its last word's closer or at the terminator; a
        // longer line, or one that goes on past the region, is left to the
        // general walk.
        const int count = lowest_bit(closers | std::uint64_t{1} << to_near);
        if (count >= 63 || from + count >= length) return stop_at(from);
        const std::uint64_t in_line = bits_below(count);
        const std::uint64_t dropped = bits_from(marks.dropped, from) & in_line;
        const std::uint64_t spaced = bits_from(marks.spaced, from) & in_line;
        const unsigned char* const source = base + from;
        unsigned char* const start = out;
        // The pieces between dropped separators.
        int piece = 0;
        for (std::uint64_t rest = dropped;;) {
            const int stop = std::min(lowest_bit(rest), count);
            std::memcpy(out, source + piece, 64);
            out += stop - piece;
            if (stop == count) break;
            piece = stop + 1;
            rest &= rest - 1;
        }
        // Separators other than a space become one. The first is written
        // without a branch: with none, a space lands past the line.
        const auto space_at = [&](int at_input) {
            start[at_input - count_bits(dropped & bits_below(at_input))] = ' ';
        };
        space_at(lowest_bit(spaced | top));
        for (std::uint64_t rest = spaced & (spaced - 1); rest != 0; rest &= rest - 1)
            space_at(lowest_bit(rest));
        std::memcpy(out, line_end.bytes.data(), line_end.bytes.size());
        out += line_end.size;
    }
    // Only a gap follows the last line's terminator, unless the terminator
    // is past the region.
    if (from >= 0 && next_bit(marks.terminators, from) == length) op = Operation::SkipTail;
    return stop_at(length);
}

// Goes through the marked region that begins at c.p, phrase by phrase, and
// leaves c.p at its end. With `once` it returns Switch at the first switch
// from one operation to the other instead, with c.p after the separator
// that closed the line's last word or after the dropped tail's terminator.
template <BitSelectFunction select_bit>
INLINE Stop walk_region(Cursor& c, Operation& op, const Marks& marks, int length,
                        const unsigned char* end, OutputStream& output,
                        std::int32_t words_per_period, bool once) {
    const unsigned char* const base = c.p;
    int at = 0;
    int line = 0; // the first line start that write_phrases has not passed
    for (;;) {
        if (op == Operation::SkipTail) {
            const int terminator = next_bit(marks.terminators, at);
            if (terminator == length) break;
            at = terminator + terminator_length(base[terminator]);
            op = Operation::WritePeriod;
            c.words = 0;
            c.in_gap = true;
            if (once) {
                c.p = base + at;
                return Stop::Switch;
            }
            continue;
        }
        if (c.words == 0 && c.in_gap && !once) {
            at = write_phrases<select_bit>(at, line, op, marks, base, length, end, output,
                                           words_per_period);
            if (at == length) break;
        }
        // A line's separators before its first word are dropped.
        const int from = c.in_gap ? next_clear_bit(marks.separators, at) : at;
        const int terminator = next_bit(marks.terminators, from);
        std::int32_t closed = 0;
        const int last_closer =
            nth_bit_before(marks.closers, from, terminator, words_per_period - c.words, closed);
        write_words(output, base, from, last_closer, marks, end);
        if (last_closer < terminator) { // the line is full: the rest of the phrase is dropped
            end_line(output);
            at = last_closer + 1;
            op = Operation::SkipTail;
            if (once) {
                c.p = base + at;
                return Stop::Switch;
            }
            continue;
        }
        if (terminator == length) { // the phrase goes on past the region
            c.words += closed;
            c.in_gap = from == length || bit_at(marks.separators, length - 1);
            break;
        }
        end_line(output);
        at = terminator + terminator_length(base[terminator]);
        c.words = 0;
        c.in_gap = true;
    }
    c.p = base + length;
    return Stop::Limit;
}

// At a terminator that ends just before p and begins at `terminator`: the
// line ends, and the terminator is dropped.
inline void end_phrase(Cursor& c, OutputStream& output, const unsigned char* terminator) {
    write_span(output, c.span, terminator);
    write_line_end(output);
    c.words = 0;
    c.in_gap = true;
    c.span = c.p;
}

// Goes one character at a time up to `end`, the end of the buffer. Returns
// Straddle at a character that the buffer does not hold whole.
inline Stop write_chars(Cursor& c, const unsigned char* end, InputStream& input,
                        OutputStream& output, std::int32_t words_per_period) {
    while (c.p < end) {
        const unsigned char byte = *c.p;
        if (byte >= 0x80) {
            if (static_cast<std::ptrdiff_t>(utf8_sequence_length(byte)) > end - c.p) {
                return Stop::Straddle;
            }
            input.pos = static_cast<std::size_t>(c.p - input.buffer);
            Utf8Char ch{};
            read_utf8_char(input, ch);
            c.p = input.buffer + input.pos;
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
            if (c.in_gap) { // a separator after the first of a run is dropped
                write_span(output, c.span, c.p);
                c.span = ++c.p;
                break;
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
            break;
        case CharClass::Terminator:
            ++c.p;
            end_phrase(c, output, c.p - 1);
            break;
        }
    }
    return Stop::Limit;
}

// Drops characters one at a time up to `end`, the end of the buffer,
// through the reader, until a terminator.
inline Stop skip_chars(Cursor& c, const unsigned char* end, InputStream& input) {
    while (c.p < end) {
        if (static_cast<std::ptrdiff_t>(utf8_sequence_length(*c.p)) > end - c.p) {
            return Stop::Straddle;
        }
        input.pos = static_cast<std::size_t>(c.p - input.buffer);
        Utf8Char ch{};
        read_utf8_char(input, ch);
        c.p = input.buffer + input.pos;
        if (char_class(ch.code) == CharClass::Terminator) return Stop::Switch;
    }
    return Stop::Limit;
}

// Does `op` from the reading position on: write_period when it is
// WritePeriod, skip_sentence_tail when it is SkipTail. With `once` it
// returns as they do; otherwise it goes on with the other operation in
// turn, as the run loop calls them, until the input ends or a write fails.
template <ByteMasksFunction byte_masks, BitSelectFunction select_bit = select_bit_portable>
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
        const unsigned char* const end = input.buffer + input.end;
        c.p = c.span = input.buffer + input.pos;
        Stop stop = Stop::Limit;
        while (c.p < end) {
            const std::ptrdiff_t available =
                std::min<std::ptrdiff_t>(end - c.p, blocks * block_size);
            const int length = mark_region<byte_masks>(
                c.p, available, !c.in_gap, op == Operation::WritePeriod && c.words == 0 && c.in_gap,
                marks);
            if (length > 0) {
                if (op == Operation::WritePeriod) write_span(output, c.span, c.p);
                stop = walk_region<select_bit>(c, op, marks, length, end, output, words_per_period,
                                               once);
                c.span = c.p;
                if (stop == Stop::Switch) {
                    input.pos = static_cast<std::size_t>(c.p - input.buffer);
                    return output.failed ? -1 : 1;
                }
                continue;
            }
            // The last bytes of the buffer, one character at a time.
            stop = op == Operation::SkipTail ? skip_chars(c, end, input)
                                             : write_chars(c, end, input, output, words_per_period);
            if (stop == Stop::Straddle) break;
            if (stop == Stop::Limit) continue;
            if (once || output.failed) {
                input.pos = static_cast<std::size_t>(c.p - input.buffer);
                return op == Operation::WritePeriod && output.failed ? -1 : 1;
            }
            op = op == Operation::WritePeriod ? Operation::SkipTail : Operation::WritePeriod;
            c.words = 0;
            c.in_gap = true;
            c.span = c.p;
            stop = Stop::Limit;
        }
        input.pos = static_cast<std::size_t>(c.p - input.buffer);
        if (op == Operation::WritePeriod) write_span(output, c.span, c.p);
        if (stop != Stop::Straddle) continue;
        // A character that straddles two buffer fills, read whole.
        Utf8Char ch{};
        result = read_utf8_char(input, ch);
        if (result != 1) break;
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
        } else if (terminator) {
            if (once) return 1;
            op = Operation::WritePeriod;
            c.words = 0;
            c.in_gap = true;
        }
    }
    if (op == Operation::SkipTail) return result;
    write_line_end(output);
    return output.failed ? -1 : result;
}

template <ByteMasksFunction byte_masks>
INLINE int write_period_with(InputStream& input, OutputStream& output,
                             std::int32_t words_per_period) {
    return walk_with<byte_masks>(input, output, words_per_period, Operation::WritePeriod, true);
}

template <ByteMasksFunction byte_masks>
INLINE int skip_tail_with(InputStream& input) {
    OutputStream unused{no_file, nullptr, 0}; // a dropped tail writes nothing
    return walk_with<byte_masks>(input, unused, 0, Operation::SkipTail, true);
}

template <ByteMasksFunction byte_masks, BitSelectFunction select_bit>
INLINE void run_with(InputStream& input, OutputStream& output, std::int32_t words_per_period) {
    walk_with<byte_masks, select_bit>(input, output, words_per_period, Operation::WritePeriod,
                                      false);
}

} // namespace block_walk

// Defines `name`_kernel from byte_masks_`name` and `select`, with `entry`
// the attributes of its entry points (which cannot stand in parentheses).
// NOLINTBEGIN(bugprone-macro-parentheses)
#define SPEZZAFRASI_DEFINE_KERNEL(name, select, entry)                                             \
    namespace {                                                                                    \
    entry int write_period_##name(InputStream& input, OutputStream& output,                        \
                                  std::int32_t words_per_period) {                                 \
        return block_walk::write_period_with<byte_masks_##name>(input, output, words_per_period);  \
    }                                                                                              \
    entry int skip_tail_##name(InputStream& input) {                                               \
        return block_walk::skip_tail_with<byte_masks_##name>(input);                               \
    }                                                                                              \
    entry void run_##name(InputStream& input, OutputStream& output,                                \
                          std::int32_t words_per_period) {                                         \
        block_walk::run_with<byte_masks_##name, select>(input, output, words_per_period);          \
    }                                                                                              \
    const Kernel name##_kernel{#name, byte_masks_##name, write_period_##name, skip_tail_##name,    \
                               run_##name};                                                        \
    }
// NOLINTEND(bugprone-macro-parentheses)
