#include "segmentation/period_writer.hpp"

#if defined(__SSE2__) && !defined(SPEZZAFRASI_PORTABLE)
#include <immintrin.h>
#define SPEZZAFRASI_SSE2 1
#if defined(__x86_64__) && !defined(SPEZZAFRASI_NO_AVX2)
#define SPEZZAFRASI_AVX2 1 // chosen at run time, where the processor has it
#endif
#endif

// Both operations work on the input buffer in blocks of 64 bytes with one
// bit per byte: runs of words separated by single spaces reach the output
// as one copy, words are counted by population count, and a dropped tail is
// searched for its terminator. A block is taken whole only when its bytes
// are well-formed UTF-8, where every byte below 0x80 is a character of its
// own; anything else, and every character that straddles two buffer fills,
// goes one character at a time through read_utf8_char, so that a lead byte
// takes the bytes that follow it exactly as the rules say.

// The block functions are inlined into one copy of the operations for each
// way of taking the masks, so that the copy for AVX2 is compiled for it.
#define INLINE [[gnu::always_inline]] inline

namespace {

constexpr std::ptrdiff_t block_size = 64;

void end_line(OutputStream& output) {
    write_line_end(output);
}

void write_span(OutputStream& output, const unsigned char* from, const unsigned char* to) {
    write_bytes(output, from, static_cast<std::size_t>(to - from));
}

void write_char(OutputStream& output, const Utf8Char& ch) {
    const auto code = static_cast<std::uint32_t>(ch.code);
    for (std::int32_t shift = 8 * (ch.length - 1); shift >= 0; shift -= 8) {
        write_byte(output, static_cast<unsigned char>(code >> shift));
    }
}

int end_of_input(const InputStream& input) {
    return input.state == StreamState::Failed ? -1 : 0;
}

int lowest_bit(std::uint64_t bits) {
    return __builtin_ctzll(bits);
}

// One instruction where the copy is compiled for POPCNT, a library call
// elsewhere.
int count_bits(std::uint64_t bits) {
    return __builtin_popcountll(bits);
}

// Bits from `from` (0 to 64) upwards.
std::uint64_t bits_from(int from) {
    return from >= 64 ? 0 : ~std::uint64_t{0} << from;
}

// Raw byte masks of 64 bytes, one bit per byte.
struct ByteMasks {
    std::uint64_t separators, spaces, terminators, high, lead2, lead3, lead4, invalid, c2;
};

#ifdef SPEZZAFRASI_SSE2

std::uint64_t bits16(__m128i mask) {
    return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(mask)));
}

__m128i equal(__m128i v, int byte) {
    return _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(byte)));
}

__m128i load(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Bytes from `byte` to 0xFF; the high bytes are the negative ones.
std::uint64_t at_least(__m128i v, int byte) {
    return bits16(_mm_cmpgt_epi8(v, _mm_set1_epi8(static_cast<char>(byte - 1)))) & bits16(v);
}

INLINE ByteMasks byte_masks_sse2(const unsigned char* p) {
    ByteMasks m{};
    for (int part = 0; part < 4; ++part) {
        const int shift = 16 * part;
        const __m128i v = load(p + shift);
        const __m128i space = equal(v, 0x20);
        const __m128i separator = _mm_or_si128(_mm_or_si128(space, equal(v, 0x0A)),
                                               _mm_or_si128(equal(v, 0x0C), equal(v, 0x0D)));
        const __m128i terminator = _mm_or_si128(
            _mm_or_si128(_mm_or_si128(equal(v, 0x21), equal(v, 0x28)),
                         _mm_or_si128(equal(v, 0x29), equal(v, 0x2E))),
            _mm_or_si128(_mm_or_si128(equal(v, 0x3A), equal(v, 0x3B)), equal(v, 0x3F)));
        m.separators |= bits16(separator) << shift;
        m.spaces |= bits16(space) << shift;
        m.terminators |= bits16(terminator) << shift;
        m.high |= bits16(v) << shift;
    }
    if (m.high == 0) return m;
    for (int part = 0; part < 4; ++part) {
        const int shift = 16 * part;
        if ((m.high >> shift & 0xFFFF) == 0) continue;
        const __m128i v = load(p + shift);
        m.lead2 |= at_least(v, 0xC0) << shift;
        m.lead3 |= at_least(v, 0xE0) << shift;
        m.lead4 |= at_least(v, 0xF0) << shift;
        m.invalid |= at_least(v, 0xF8) << shift;
        m.c2 |= bits16(equal(v, 0xC2)) << shift;
    }
    return m;
}

#ifdef SPEZZAFRASI_AVX2

#define AVX2 __attribute__((target("avx2,popcnt")))

AVX2 std::uint64_t bits32(__m256i mask) {
    return static_cast<std::uint64_t>(static_cast<unsigned>(_mm256_movemask_epi8(mask)));
}

AVX2 __m256i bytes32(int byte) {
    return _mm256_set1_epi8(static_cast<char>(byte));
}

// Bits of `flags` that are set, one bit per byte: adding the complement of
// the top flag bit carries into the sign bit whenever any of them is set.
AVX2 std::uint64_t any_flag(__m256i flags, int which) {
    return bits32(
        _mm256_add_epi8(_mm256_and_si256(flags, bytes32(which)), bytes32(0x80 - (which & -which))));
}

AVX2 std::uint64_t at_least32(__m256i v, int byte) {
    return bits32(_mm256_cmpgt_epi8(v, bytes32(byte - 1))) & bits32(v);
}

// The separators and terminators are told apart by two table lookups, one
// on each half of the byte: the flags of the low half and of the high half
// share a bit only for the bytes of one class.
AVX2 ByteMasks byte_masks_avx2(const unsigned char* p) {
    constexpr int separator_low = 0x01, space = 0x02, terminator_2x = 0x04, terminator_3x = 0x08;
    const __m256i low_flags =
        _mm256_setr_epi8(space, terminator_2x, 0, 0, 0, 0, 0, 0, terminator_2x, terminator_2x,
                         separator_low | terminator_3x, terminator_3x, separator_low, separator_low,
                         terminator_2x, terminator_3x, space, terminator_2x, 0, 0, 0, 0, 0, 0,
                         terminator_2x, terminator_2x, separator_low | terminator_3x, terminator_3x,
                         separator_low, separator_low, terminator_2x, terminator_3x);
    const __m256i high_flags = _mm256_setr_epi8(
        separator_low, 0, space | terminator_2x, terminator_3x, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        separator_low, 0, space | terminator_2x, terminator_3x, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m256i nibble = bytes32(0x0F);
    ByteMasks m{};
    for (int part = 0; part < 2; ++part) {
        const int shift = 32 * part;
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + shift));
        const __m256i flags = _mm256_and_si256(
            _mm256_shuffle_epi8(low_flags, _mm256_and_si256(v, nibble)),
            _mm256_shuffle_epi8(high_flags, _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble)));
        m.separators |= any_flag(flags, separator_low | space) << shift;
        m.spaces |= any_flag(flags, space) << shift;
        m.terminators |= any_flag(flags, terminator_2x | terminator_3x) << shift;
        const std::uint64_t high = bits32(v);
        m.high |= high << shift;
        if (high == 0) continue;
        m.lead2 |= at_least32(v, 0xC0) << shift;
        m.c2 |= bits32(_mm256_cmpeq_epi8(v, bytes32(0xC2))) << shift;
        const std::uint64_t lead3 = at_least32(v, 0xE0);
        if (lead3 == 0) continue;
        m.lead3 |= lead3 << shift;
        m.lead4 |= at_least32(v, 0xF0) << shift;
        m.invalid |= at_least32(v, 0xF8) << shift;
    }
    return m;
}

#endif // SPEZZAFRASI_AVX2

#else

ByteMasks byte_masks_portable(const unsigned char* p) {
    ByteMasks m{};
    for (int i = 0; i < 64; ++i) {
        const unsigned char byte = p[i];
        const std::uint64_t bit = std::uint64_t{1} << i;
        if (byte < 0x80) {
            if (char_classes[byte] == CharClass::Separator) m.separators |= bit;
            if (char_classes[byte] == CharClass::Terminator) m.terminators |= bit;
            if (byte == ' ') m.spaces |= bit;
            continue;
        }
        m.high |= bit;
        if (byte >= 0xC0) m.lead2 |= bit;
        if (byte >= 0xE0) m.lead3 |= bit;
        if (byte >= 0xF0) m.lead4 |= bit;
        if (byte >= 0xF8) m.invalid |= bit;
        if (byte == 0xC2) m.c2 |= bit;
    }
    return m;
}

#endif // SPEZZAFRASI_SSE2

// The characters of a block, one bit per byte.
struct Block {
    std::uint64_t separators;
    std::uint64_t spaces;
    std::uint64_t terminators; // first byte of each terminator
    std::uint64_t dot_tails;   // second byte of each middle dot
    std::uint64_t words;
    int length; // the block ends before a character that it does not hold whole
};

using ByteMasksOf = ByteMasks (*)(const unsigned char*);

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
void end_phrase(Cursor& c, OutputStream& output, const unsigned char* terminator) {
    write_span(output, c.span, terminator);
    end_line(output);
    c.words = 0;
    c.in_gap = true;
    c.span = c.p;
}

// Goes one character at a time up to `limit`; `end` is the end of the
// buffer. Returns Straddle at a character that the buffer does not hold
// whole.
Stop write_chars(Cursor& c, const unsigned char* limit, const unsigned char* end,
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

#ifdef SPEZZAFRASI_AVX2
[[gnu::flatten]] AVX2 int write_periods_avx2(InputStream& input, OutputStream& output,
                                             std::int32_t words_per_period) {
    return write_periods_with<byte_masks_avx2>(input, output, words_per_period);
}

[[gnu::flatten]] AVX2 int skip_tail_avx2(InputStream& input) {
    return skip_tail_with<byte_masks_avx2>(input);
}
#endif

} // namespace

int write_period(InputStream& input, OutputStream& output, std::int32_t words_per_period) {
    if (words_per_period <= 0) {
        Utf8Char ch{};
        const int result = read_utf8_char(input, ch);
        end_line(output);
        return output.failed ? -1 : result;
    }
#ifdef SPEZZAFRASI_AVX2
    if (__builtin_cpu_supports("avx2")) return write_periods_avx2(input, output, words_per_period);
#endif
#ifdef SPEZZAFRASI_SSE2
    return write_periods_with<byte_masks_sse2>(input, output, words_per_period);
#else
    return write_periods_with<byte_masks_portable>(input, output, words_per_period);
#endif
}

int skip_sentence_tail(InputStream& input) {
#ifdef SPEZZAFRASI_AVX2
    if (__builtin_cpu_supports("avx2")) return skip_tail_avx2(input);
#endif
#ifdef SPEZZAFRASI_SSE2
    return skip_tail_with<byte_masks_sse2>(input);
#else
    return skip_tail_with<byte_masks_portable>(input);
#endif
}
