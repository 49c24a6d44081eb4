// The first pass over a region: each block of 64 bytes, through the
// kernel's byte masks, becomes the marks that the second pass walks on.
#pragma once

#include "segmentation/block_walk/bit_search.hpp"
#include "segmentation/kernel_pieces/pieces.hpp"
#include "segmentation/utf8_reader.hpp"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>

namespace spezzafrasi {

namespace block_walk {

constexpr std::ptrdiff_t block_size = 64;
// 8 KiB of input a region: its marks stay in the first-level cache.
constexpr int region_blocks = 128;

// The marks of a region, one bit per byte, a word of 64 bits per block.
// Words past the blocks hold the bits just past the region's end: the
// first its sentinel terminator (close_region), the second what bits_from
// reads of the word after any position up to the end.
constexpr int spare_mark_words = 2;
constexpr int marks_words = region_blocks + spare_mark_words;
// A block's list of line starts is written in fixed moves of up to 64
// entries (write_line_starts), which may go past the last start.
constexpr int spare_line_starts = 64;
// A line start is a position in the region, kept in 16 bits.
static_assert(std::int64_t{64} * region_blocks <= 0xFFFF, "line starts must fit in 16 bits");
struct Marks {
    std::uint64_t separators[marks_words];
    std::uint64_t terminators[marks_words]; // first byte of each; one more at the end
    std::uint64_t closers[marks_words];     // separators right after a word byte
    std::uint64_t dropped[marks_words];     // separators after a separator or a terminator
    std::uint64_t spaced[marks_words];      // closers other than a space, written as one
    std::uint64_t line_feeds[marks_words];  // for the line of a fault
    std::uint64_t line_feed_count;          // in the region
    // Where each line begins: the first byte after a terminator and its
    // gap, in order, and how many there are; a block's list may write 64
    // entries past its first.
    std::uint16_t line_starts[64 * region_blocks + spare_line_starts];
    int lines;
    int first_invalid; // the first byte that breaks UTF-8, or -1
};

// The bytes that lead bytes announce past the end of a block, and the lead
// byte that announces them.
struct Leads {
    std::uint64_t pending = 0;
    int straddler = 0;
    int first_invalid = -1; // in the region: a byte that breaks UTF-8
};

// The bytes of block b, at q, that lead bytes take, whatever they are, as
// read_utf8_char does. In well-formed UTF-8 they are exactly the
// continuation bytes, found for the whole block at once; otherwise each
// lead byte, in turn, takes the bytes that it announces, and the first
// byte that is not where UTF-8 wants it is noted (a continuation byte
// that no lead takes, a byte that a lead takes but is none, F8 to FF).
SPEZZAFRASI_INLINE std::uint64_t taken_by_leads(const ByteMasks& m, const unsigned char* q, int b,
                                                Leads& leads) {
    const std::uint64_t continuations = m.high & ~m.lead2;
    std::uint64_t taken = leads.pending | (m.lead2 << 1);
    std::uint64_t announced = m.lead2 >> 63;
    std::uint64_t wrong = taken ^ continuations;
    // Text in Latin letters rarely has a character longer than two bytes:
    // without a lead byte from E0 on, the longer leads and the invalid
    // bytes, all above it, need not be looked at.
    if (m.lead3 != 0) {
        taken |= (m.lead3 << 2) | (m.lead4 << 3);
        announced |= (m.lead3 >> 62) | (m.lead4 >> 61);
        wrong = m.invalid | (taken ^ continuations);
    }
    if (wrong == 0) [[likely]] {
        leads.straddler = 63 - std::countl_zero(m.lead2);
    } else {
        if (leads.first_invalid < 0) leads.first_invalid = 64 * b + lowest_bit(wrong);
        taken = leads.pending;
        announced = 0;
        for (std::uint64_t starts = m.high & ~leads.pending; starts != 0; starts &= starts - 1) {
            const int at = lowest_bit(starts);
            const std::uint64_t run = bits_below(utf8_sequence_length(q[at]) - 1);
            taken |= (run << at) << 1;
            starts &= ~((run << at) << 1);
            if ((run >> (63 - at)) != 0) {
                announced = run >> (63 - at);
                leads.straddler = at;
            }
        }
    }
    leads.pending = announced;
    return taken;
}

// What one block tells the next: whether its last byte belongs to a word,
// is the first byte of a middle dot, or ends a terminator, and whether the
// gap after a terminator runs on into the next block.
struct Carry {
    std::uint64_t word_before;
    std::uint64_t dot_tail;
    std::uint64_t after_terminator;
    std::uint64_t gap_goes_on;
};

// Marks block b of the region, at q, whose bytes and the one after it can
// all be read; its line starts go to the list after the `lines` before it.
template <LineStartsFunction write_line_starts>
SPEZZAFRASI_INLINE void mark_block(const ByteMasks& m, std::uint64_t taken, const unsigned char* q,
                                   int b, Carry& carry, Marks& marks, int& lines) {
    const std::uint64_t separators = m.separators & ~taken;
    std::uint64_t dots = 0;
    // C2 is rare: the lead of the middle dot and a few symbols.
    for (std::uint64_t c2 = m.c2 & ~taken; c2 != 0; c2 &= c2 - 1) {
        const int at = lowest_bit(c2);
        if (q[at + 1] == 0xB7) dots |= std::uint64_t{1} << at;
    }
    const std::uint64_t one_byte_terminators = m.terminators & ~taken;
    const std::uint64_t terminators = one_byte_terminators | dots;
    const std::uint64_t dot_tails = (dots << 1) | carry.dot_tail;
    const std::uint64_t words = ~(separators | terminators | dot_tails);
    const std::uint64_t closers = separators & ((words << 1) | carry.word_before);
    // Adding a bit after each terminator to the separators carries it over
    // the gap that follows, to where the next line begins.
    const std::uint64_t terminator_ends = one_byte_terminators | dot_tails;
    const std::uint64_t after = (terminator_ends << 1) | carry.after_terminator;
    const std::uint64_t partial = separators + after;
    const std::uint64_t sum = partial + carry.gap_goes_on;
    marks.separators[b] = separators;
    marks.terminators[b] = terminators;
    marks.closers[b] = closers;
    marks.dropped[b] = separators & ~closers;
    marks.spaced[b] = closers & ~m.spaces;
    marks.line_feeds[b] = m.line_feeds;
    const std::uint64_t starts = sum & ~separators;
    write_line_starts(marks.line_starts + lines, starts, b);
    lines += count_bits(starts);
    carry.word_before = words >> 63;
    carry.dot_tail = dots >> 63;
    carry.after_terminator = terminator_ends >> 63;
    carry.gap_goes_on = (partial < after || sum < partial) ? 1 : 0;
}

// Ends the region at `length`, inside or just past its `blocks` marked
// blocks: past it nothing is marked but a terminator, so that every search
// stops there, and its line feeds are not counted.
inline void close_region(int length, int blocks, Marks& marks) {
    const int end_word = length / 64;
    const std::uint64_t kept = bits_below(bit_of(length));
    for (int w = end_word; w < end_word + 2; ++w) {
        const std::uint64_t keep = w == end_word && w < blocks ? kept : 0;
        if (w < blocks) {
            marks.line_feed_count -=
                static_cast<std::uint64_t>(count_bits(marks.line_feeds[w] & ~keep));
        }
        for (std::uint64_t* bits : {marks.separators, marks.terminators, marks.closers,
                                    marks.dropped, marks.spaced, marks.line_feeds}) {
            bits[w] = w < blocks ? bits[w] & keep : 0;
        }
    }
    marks.terminators[end_word] |= std::uint64_t{1} << bit_of(length);
    while (marks.lines > 0 && marks.line_starts[marks.lines - 1] >= length)
        --marks.lines;
}

// Where the region of `blocks` blocks ends when its text stops `available`
// bytes in, inside the last block: there, or before the character that the
// end cuts (whose lead byte takes the byte at `available`: `last_taken` is
// what the leads took of the last block, `straddler` the lead before it
// that reaches into it).
inline int region_length(std::ptrdiff_t available, int blocks, std::uint64_t last_taken,
                         int straddler) {
    const int last = 64 * (blocks - 1);
    const int stop = static_cast<int>(available) - last; // 1 to 63
    if (((last_taken >> stop) & 1) == 0) return static_cast<int>(available);
    const std::uint64_t starts = ~last_taken & bits_below(stop);
    return starts != 0 ? last + 63 - std::countl_zero(starts) : last - 64 + straddler;
}

// Marks the region that begins at p, a character's start, where the text
// has `available` bytes: whole blocks, the last of which may go past the
// text into bytes that can be read but are not the text's. `after_word`
// says whether the byte before p belongs to a word, `line_start` whether a
// line begins at p. Returns the region's length: up to the end of its last
// block or of the text, less a character that the end cuts; 0 when that
// leaves nothing. With `utf8_every_block` every block goes through the
// UTF-8 check, for kernels whose lead masks cost next to nothing: the
// branch that leaves out blocks of ASCII alone is often mispredicted in
// text that mixes them with accented ones.
template <ByteMasksFunction byte_masks, LineStartsFunction write_line_starts, bool utf8_every_block>
SPEZZAFRASI_INLINE int mark_region(const unsigned char* p, std::ptrdiff_t available,
                                   bool after_word, bool line_start, Marks& marks) {
    const int blocks =
        static_cast<int>(std::min<std::ptrdiff_t>(region_blocks, (available + 63) / 64));
    Leads leads;
    Carry carry{after_word ? 1U : 0U, 0, line_start ? 1U : 0U, 0};
    // Counted apart from marks.lines, which the list's stores might change
    // as far as the compiler knows: it would be read back every block.
    int lines = 0;
    std::uint64_t line_feeds = 0;
    // Marks block b; returns what the leads took of it.
    const auto mark = [&](int b) {
        const unsigned char* const q = p + std::ptrdiff_t{64} * b;
        const ByteMasks m = byte_masks(q);
        // A block of ASCII alone, with no character going on into it,
        // takes nothing: the UTF-8 work can be left out where most text in
        // Latin letters spends most of its blocks.
        const bool ascii = !utf8_every_block && (m.high | leads.pending) == 0;
        const std::uint64_t taken = ascii ? 0 : taken_by_leads(m, q, b, leads);
        mark_block<write_line_starts>(m, taken, q, b, carry, marks, lines);
        line_feeds += static_cast<std::uint64_t>(count_bits(m.line_feeds));
        return taken;
    };
    // The last block apart, for where a character that the text's end cuts
    // begins: the loop keeps no more than it needs.
    const int full = blocks - (available < std::ptrdiff_t{64} * blocks ? 1 : 0);
    for (int b = 0; b < full; ++b)
        mark(b);
    int length = 64 * blocks;
    if (full < blocks) {
        const int straddler = leads.straddler;
        length = region_length(available, blocks, mark(full), straddler);
    } else if (blocks != 0 && leads.pending != 0) {
        length = 64 * (blocks - 1) + leads.straddler;
    }
    marks.lines = lines;
    marks.line_feed_count = line_feeds;
    close_region(length, blocks, marks);
    // A character that the region cuts is looked at again with the next.
    marks.first_invalid = leads.first_invalid < length ? leads.first_invalid : -1;
    return length;
}

} // namespace block_walk

} // namespace spezzafrasi
