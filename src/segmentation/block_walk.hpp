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

// Reads the 64 bytes at p, which begin a character, as a block. Returns false
// unless every lead byte is followed by exactly its continuation bytes and
// every continuation byte follows its lead.
template <ByteMasksFunction byte_masks>
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

// Why a step stopped: at its limit; at a switch from one operation to the
// other (the line is full, or the dropped tail has met its terminator); at
// a character that the buffer does not hold whole.
enum class Stop { Limit, Switch, Straddle };

// Output room that a block needs to be written without checks: a line end
// of at most three bytes for each of its bytes, and the slack of a
// fixed-size copy.
constexpr std::size_t direct_room = 3 * 64 + 64;

// Goes through the block that begins at `base`, from c.p on. Returns
// Switch, with p after the separator that closed the last word of the line
// and the line ended, or Limit. When `direct`, the output buffer has
// direct_room bytes free and 128 bytes can be read from the block's start,
// and every span written starts in the block: the writes then need no
// checks, and a span goes out as one copy of 64 bytes of which only its
// own count.
template <bool direct>
INLINE Stop write_block(Cursor& c, const Block& block, const unsigned char* base,
                        OutputStream& output, std::int32_t words_per_period) {
    const int from = static_cast<int>(c.p - base);
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
            write_line_end(output);
        }
    };
    const auto done = [&](Stop stop) {
        if constexpr (direct) output.used = static_cast<std::size_t>(out - output.buffer);
        return stop;
    };
    // Mid-block the line has just begun after a terminator of this block.
    const std::uint64_t start = bits_from(from);
    const std::uint64_t after_word =
        ((block.words << 1) & bits_from(from + 1)) | (c.in_gap ? 0 : std::uint64_t{1} << from);
    const std::uint64_t closers = block.separators & after_word & start;
    // Bytes where the output is not a copy of the input: line ends,
    // separators dropped in a gap, separators other than a space.
    const std::uint64_t events =
        (block.terminators | (block.separators & ~after_word) | (closers & ~block.spaces)) & start;
    int at = from;
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
            return done(Stop::Switch);
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
                return done(Stop::Switch);
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
    write_line_end(output);
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

// Drops characters one at a time up to `limit`, through the reader, until
// a terminator; `end` is the end of the buffer.
inline Stop skip_chars(Cursor& c, const unsigned char* limit, const unsigned char* end,
                       InputStream& input) {
    while (c.p < limit) {
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

enum class Operation { WritePeriod, SkipTail };

// Does `op` from the reading position on: write_period when it is
// WritePeriod, skip_sentence_tail when it is SkipTail. With `once` it
// returns as they do; otherwise it goes on with the other operation in
// turn, as the run loop calls them, until the input ends or a write fails,
// and a block that holds the end of one operation serves the next one too.
template <ByteMasksFunction byte_masks>
INLINE int walk_with(InputStream& input, OutputStream& output, std::int32_t words_per_period,
                     Operation op, bool once) {
    Cursor c{nullptr, nullptr, 0, true};
    int result = 1;
    for (;;) {
        if (op == Operation::WritePeriod && output.failed) return -1;
        if (input.pos == input.end && !refill(input)) {
            result = end_of_input(input);
            break;
        }
        const unsigned char* const end = input.buffer + input.end;
        c.p = c.span = input.buffer + input.pos;
        Block block{};
        const unsigned char* base = nullptr; // where `block` begins, while c.p is in it
        Stop stop = Stop::Limit;
        while (c.p < end) {
            if (base == nullptr || c.p >= base + block.length) {
                base =
                    end - c.p >= block_size && read_block<byte_masks>(c.p, block) ? c.p : nullptr;
            }
            // Without a block, at least a block's worth of characters one
            // at a time before the next try.
            const auto limit = [&] { return end - c.p > block_size ? c.p + block_size : end; };
            if (op == Operation::SkipTail && base != nullptr) {
                const std::uint64_t ahead =
                    block.terminators & bits_from(static_cast<int>(c.p - base));
                if (ahead == 0) {
                    c.p = base + block.length;
                    continue;
                }
                const int at = lowest_bit(ahead);
                c.p = base + at + ((block.dot_tails >> at >> 1 & 1) != 0 ? 2 : 1);
                stop = Stop::Switch;
            } else if (op == Operation::SkipTail) {
                stop = skip_chars(c, limit(), end, input);
            } else if (base != nullptr) {
                // What stands before goes out first, so that the block's
                // own writes are bounded.
                write_span(output, c.span, c.p);
                c.span = c.p;
                if (end - base >= 2 * block_size && output.capacity - output.used >= direct_room) {
                    stop = write_block<true>(c, block, base, output, words_per_period);
                } else {
                    stop = write_block<false>(c, block, base, output, words_per_period);
                }
            } else {
                stop = write_chars(c, limit(), end, input, output, words_per_period);
            }
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

template <ByteMasksFunction byte_masks>
INLINE void run_with(InputStream& input, OutputStream& output, std::int32_t words_per_period) {
    walk_with<byte_masks>(input, output, words_per_period, Operation::WritePeriod, false);
}

} // namespace block_walk

// Defines `name`_kernel from byte_masks_`name`, with `entry` the attributes
// of its entry points (which cannot stand in parentheses).
// NOLINTBEGIN(bugprone-macro-parentheses)
#define SPEZZAFRASI_DEFINE_KERNEL(name, entry)                                                     \
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
        block_walk::run_with<byte_masks_##name>(input, output, words_per_period);                  \
    }                                                                                              \
    const Kernel name##_kernel{#name, byte_masks_##name, write_period_##name, skip_tail_##name,    \
                               run_##name};                                                        \
    }
// NOLINTEND(bugprone-macro-parentheses)
