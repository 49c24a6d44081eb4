// The logic of blocks, words and lines that every kernel shares: written
// once, compiled once per kernel around its way of taking the masks.
#pragma once

#include "segmentation/block_masks/block_masks.hpp"
#include "segmentation/byte_stream.hpp"
#include "segmentation/kernels.hpp"
#include "segmentation/period_writer.hpp"
#include "segmentation/utf8_reader.hpp"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Both operations work on the input buffer in blocks of 64 bytes with one
// bit per byte: runs of words separated by single spaces reach the output
// as one copy, words are counted by population count, and a dropped tail is
// searched for its terminator. A block is taken whole only when its bytes
// are well-formed UTF-8, where every byte below 0x80 is a character of its
// own; anything else, and every character that straddles two buffer fills,
// goes one character at a time through read_utf8_char, so that a lead byte
// takes the bytes that follow it exactly as the rules say.

// The block functions are inlined into one copy of the operations for each
// kernel, so that each copy is compiled for its kernel's instructions.
#if defined(__GNUC__)
#define INLINE [[gnu::always_inline]] inline
#else
#define INLINE inline
#endif

namespace block_walk {

constexpr std::ptrdiff_t block_size = 64;

inline void end_line(OutputStream& output) {
    write_line_end(output);
}

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

// Bits from `from` (0 to 64) upwards.
inline std::uint64_t bits_from(int from) {
    return from >= 64 ? 0 : ~std::uint64_t{0} << from;
}

// The characters of a block, one bit per byte.
struct Block {
    std::uint64_t separators;
    std::uint64_t spaces;
    std::uint64_t terminators; // first byte of each terminator
    std::uint64_t dot_tails;   // second byte of each middle dot
    std::uint64_t words;
    int length; // the block ends before a character that it does not hold whole
};

using ByteMasksOf = ByteMasksFunction;

// Reads the 64 bytes at p, which begin a character, as a block. Returns false
// unless every lead byte is followed by exactly its continuation bytes and
// every continuation byte follows its lead.
template <ByteMasksOf byte_masks>
INLINE bool read_block(const unsigned char* p, Block& block) {
    const ByteMasks m = byte_masks(p);
    if (m.invalid != 0) return false;
    const std::uint64_t continuations = m.high & ~m.lead2;
    const std::uint64_t expected = (m.lead2 << 1) | (m.lead3 << 2) | (m.lead4 << 3);
    if (expected != continuations) return false;
    const std::uint64_t last = std::uint64_t{1} << 63;
    const std::uint64_t cut = (m.lead2 & last) | (m.lead3 & (last >> 1 | last)) |
                              (m.lead4 & (last >> 2 | last >> 1 | last));
    block.length = cut != 0 ? lowest_bit(cut) : 64;
    const std::uint64_t inside = ~bits_from(block.length);
    std::uint64_t dots = 0; // C2 is rare: the lead of the middle dot and a few symbols
    for (std::uint64_t c2 = m.c2 & inside; c2 != 0; c2 &= c2 - 1) {
        const int at = lowest_bit(c2);
        if (p[at + 1] == 0xB7) dots |= std::uint64_t{1} << at;
    }
    block.separators = m.separators & inside;
    block.spaces = m.spaces & inside;
    block.terminators = (m.terminators | dots) & inside;
    block.dot_tails = dots << 1;
    block.words = inside & ~(block.separators | block.terminators | block.dot_tails);
    return true;
}

// Where write_period stands inside the buffer.
struct Cursor {
    const unsigned char* p;    // next byte to look at
    const unsigned char* span; // [span, p) goes to the output unchanged
    std::int32_t words;        // words closed on the current line
    bool in_gap;               // after a separator or a terminator
};

enum class Stop { Limit, LineFull, Straddle };

// Output room that a block needs to be written without checks: a line end
// of at most three bytes for each of its bytes, and the slack of a
// fixed-size copy.
constexpr std::size_t direct_room = 3 * 64 + 64;

// Goes through one block. Returns LineFull, with p after the separator
// that closed the last word of the line and the line ended, or Limit.
// When `direct`, the output buffer has direct_room bytes free and 128
// bytes can be read from the block's start, and every span written starts
// in the block: the writes then need no checks, and a span goes out as one
// copy of 64 bytes of which only its own count.
template <bool direct>
INLINE Stop write_block(Cursor& c, const Block& block, OutputStream& output,
                        std::int32_t words_per_period) {
    const unsigned char* const base = c.p;
    unsigned char* out = output.buffer + output.used;
    const auto span_to = [&](const unsigned char* to) {
        if constexpr (direct) {
            std::memcpy(out, c.span, 64);
            out += to - c.span;
        } else {
            write_span(output, c.span, to);
        }
    };
    const auto line_end_out = [&] {
        if constexpr (direct) {
            std::memcpy(out, output.line_end.bytes.data(), output.line_end.bytes.size());
            out += output.line_end.size;
        } else {
            end_line(output);
        }
    };
    const auto done = [&](Stop stop) {
        if constexpr (direct) output.used = static_cast<std::size_t>(out - output.buffer);
        return stop;
    };
    const std::uint64_t after_word = (block.words << 1) | (c.in_gap ? 0 : 1);
    const std::uint64_t closers = block.separators & after_word;
    // Bytes where the output is not a copy of the input: line ends,
    // separators dropped in a gap, separators other than a space.
    const std::uint64_t events =
        block.terminators | (block.separators & ~after_word) | (closers & ~block.spaces);
    int at = 0;
    while (at < block.length) {
        const std::uint64_t ahead = events & bits_from(at);
        const int event = ahead != 0 ? lowest_bit(ahead) : block.length;
        std::uint64_t counted = closers & bits_from(at) & ~bits_from(event) & block.spaces;
        const int count = count_bits(counted);
        if (std::int64_t{c.words} + count >= words_per_period) {
            for (std::int32_t k = words_per_period - c.words; k > 1; --k)
                counted &= counted - 1;
            const int closer = lowest_bit(counted);
            span_to(base + closer);
            line_end_out();
            c.p = base + closer + 1;
            return done(Stop::LineFull);
        }
        c.words += count;
        if (event == block.length) break;
        const std::uint64_t bit = std::uint64_t{1} << event;
        const unsigned char* const byte = base + event;
        span_to(byte);
        at = event + 1;
        if (block.terminators & bit) {
            line_end_out();
            c.words = 0;
            if (block.dot_tails & (bit << 1)) ++at;
        } else if (closers & bit) {
            if (++c.words >= words_per_period) {
                line_end_out();
                c.p = byte + 1;
                return done(Stop::LineFull);
            }
            if constexpr (direct) {
                *out++ = ' ';
            } else {
                write_byte(output, ' ');
            }
        }
        // After each of these events the output is in a gap: the separators
        // that follow are dropped with it.
        if (at < 64) {
            const std::uint64_t not_separators = ~(block.separators >> at);
            at = not_separators != 0 ? at + lowest_bit(not_separators) : 64;
        }
        c.span = base + at;
    }
    c.in_gap = (block.words & (std::uint64_t{1} << (block.length - 1))) == 0;
    c.p = base + block.length;
    return done(Stop::Limit);
}

// At a terminator that ends just before p and begins at `terminator`: the
// line ends, and the terminator is dropped.
inline void end_phrase(Cursor& c, OutputStream& output, const unsigned char* terminator) {
    write_span(output, c.span, terminator);
    end_line(output);
    c.words = 0;
    c.in_gap = true;
    c.span = c.p;
}

// Goes one character at a time up to `limit`; `end` is the end of the
// buffer. Returns Straddle at a character that the buffer does not hold
// whole.
inline Stop write_chars(Cursor& c, const unsigned char* limit, const unsigned char* end,
                        InputStream& input, OutputStream& output, std::int32_t words_per_period) {
    while (c.p < limit) {
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
                end_line(output);
                ++c.p;
                return Stop::LineFull;
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

template <ByteMasksOf byte_masks>
INLINE int write_periods_with(InputStream& input, OutputStream& output,
                              std::int32_t words_per_period) {
    Cursor c{nullptr, nullptr, 0, true};
    int result = 1;
    while (!output.failed) {
        if (input.pos == input.end && !refill(input)) {
            result = end_of_input(input);
            break;
        }
        const unsigned char* const end = input.buffer + input.end;
        c.p = c.span = input.buffer + input.pos;
        Stop stop = Stop::Limit;
        while (stop == Stop::Limit && c.p < end) {
            Block block{};
            if (end - c.p >= block_size && read_block<byte_masks>(c.p, block)) {
                // What stands before the block goes out first, so that the
                // block's own writes are bounded.
                write_span(output, c.span, c.p);
                c.span = c.p;
                if (end - c.p >= 2 * block_size && output.capacity - output.used >= direct_room) {
                    stop = write_block<true>(c, block, output, words_per_period);
                } else {
                    stop = write_block<false>(c, block, output, words_per_period);
                }
            } else {
                const unsigned char* limit = end - c.p > block_size ? c.p + block_size : end;
                stop = write_chars(c, limit, end, input, output, words_per_period);
            }
        }
        input.pos = static_cast<std::size_t>(c.p - input.buffer);
        if (stop == Stop::LineFull) return output.failed ? -1 : 1;
        write_span(output, c.span, c.p);
        if (stop == Stop::Straddle) {
            Utf8Char ch{};
            result = read_utf8_char(input, ch);
            if (result != 1) break;
            if (char_class(ch.code) == CharClass::Terminator) {
                end_line(output);
                c.words = 0;
                c.in_gap = true;
            } else {
                write_char(output, ch);
                c.in_gap = false;
            }
        }
    }
    end_line(output);
    return output.failed ? -1 : result;
}

template <ByteMasksOf byte_masks>
INLINE int skip_tail_with(InputStream& input) {
    for (;;) {
        if (input.pos == input.end && !refill(input)) return end_of_input(input);
        const unsigned char* const end = input.buffer + input.end;
        const unsigned char* p = input.buffer + input.pos;
        Block block{};
        if (end - p >= block_size && read_block<byte_masks>(p, block)) {
            if (block.terminators != 0) {
                const int at = lowest_bit(block.terminators);
                const bool dot = (block.dot_tails >> at >> 1 & 1) != 0;
                input.pos = static_cast<std::size_t>(p + at + (dot ? 2 : 1) - input.buffer);
                return 1;
            }
            input.pos += static_cast<std::size_t>(block.length);
            continue;
        }
        // At least a block's worth of bytes before the next try, so that
        // text that is not UTF-8 costs one look at each block only.
        for (std::ptrdiff_t i = 0; i < block_size; ++i) {
            Utf8Char ch{};
            const int result = read_utf8_char(input, ch);
            if (result != 1) return result;
            if (char_class(ch.code) == CharClass::Terminator) return 1;
        }
    }
}

} // namespace block_walk

// Defines `name`_kernel from byte_masks_`name`, with `entry` the attributes
// of its entry points.
#define SPEZZAFRASI_DEFINE_KERNEL(name, entry)                                                     \
    namespace {                                                                                    \
    entry int write_periods_##name(InputStream& input, OutputStream& output,                       \
                                   std::int32_t words_per_period) {                                \
        return block_walk::write_periods_with<byte_masks_##name>(input, output, words_per_period); \
    }                                                                                              \
    entry int skip_tail_##name(InputStream& input) {                                               \
        return block_walk::skip_tail_with<byte_masks_##name>(input);                               \
    }                                                                                              \
    const Kernel name##_kernel{#name, byte_masks_##name, write_periods_##name, skip_tail_##name};  \
    }
