#include "segmentation/period_writer.hpp"

#if defined(__SSE2__) && !defined(SPEZZAFRASI_PORTABLE)
#include <emmintrin.h>
#define SPEZZAFRASI_SSE2 1
#endif

// Both operations work on runs of bytes inside the input buffer: a run of
// words separated by single spaces reaches the output as one copy, and a
// dropped tail is scanned for its terminator. Multi-byte sequences and
// characters that straddle two buffer fills go through read_utf8_char, so
// that a lead byte takes the bytes that follow it exactly as in one piece.

namespace {

constexpr unsigned char line_end[] = {';', '\n'};

void end_line(OutputStream& output) {
    write_bytes(output, line_end, sizeof line_end);
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

bool is_plain_word_byte(unsigned char byte) {
    return byte < 0x80 && char_classes[byte] == CharClass::Word;
}

bool is_ascii_terminator(unsigned char byte) {
    return byte < 0x80 && char_classes[byte] == CharClass::Terminator;
}

#ifdef SPEZZAFRASI_SSE2

__m128i load16(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

unsigned bits(__m128i mask) {
    return static_cast<unsigned>(_mm_movemask_epi8(mask));
}

// First byte that may end a word. As signed bytes, everything below 0x40
// covers the separators and terminators together with a few word characters
// (digits, the comma, quotes), and every byte of a multi-byte sequence; the
// caller classifies what it finds.
const unsigned char* find_word_stop(const unsigned char* p, const unsigned char* end) {
    const __m128i limit = _mm_set1_epi8(0x40);
    for (; end - p >= 16; p += 16) {
        const unsigned mask = bits(_mm_cmplt_epi8(load16(p), limit));
        if (mask != 0) return p + __builtin_ctz(mask);
    }
    while (p < end && is_plain_word_byte(*p))
        ++p;
    return p;
}

// First ASCII terminator or byte of a multi-byte sequence.
const unsigned char* find_tail_stop(const unsigned char* p, const unsigned char* end) {
    for (; end - p >= 16; p += 16) {
        const __m128i v = load16(p);
        __m128i hit = _mm_cmpeq_epi8(v, _mm_set1_epi8('!'));
        for (char terminator : {'(', ')', '.', ':', ';', '?'}) {
            hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, _mm_set1_epi8(terminator)));
        }
        const unsigned mask = bits(hit) | bits(v);
        if (mask != 0) return p + __builtin_ctz(mask);
    }
    while (p < end && *p < 0x80 && !is_ascii_terminator(*p))
        ++p;
    return p;
}

#else

const unsigned char* find_word_stop(const unsigned char* p, const unsigned char* end) {
    while (p < end && is_plain_word_byte(*p))
        ++p;
    return p;
}

const unsigned char* find_tail_stop(const unsigned char* p, const unsigned char* end) {
    while (p < end && *p < 0x80 && !is_ascii_terminator(*p))
        ++p;
    return p;
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
    std::int32_t words = 0;
    bool in_gap = true;
    int result = 1;
    while (!output.failed) {
        if (input.pos == input.end && !refill(input)) {
            result = end_of_input(input);
            break;
        }
        const unsigned char* const base = input.buffer;
        const unsigned char* const end = base + input.end;
        const unsigned char* p = base + input.pos;
        const unsigned char* span = p; // [span, p) goes to the output unchanged
        while (p < end) {
            const unsigned char* const stop = find_word_stop(p, end);
            if (stop != p) in_gap = false;
            p = stop;
            if (p == end) break;
            const unsigned char byte = *p;
            if (byte >= 0x80) {
                if (static_cast<std::size_t>(utf8_sequence_length(byte)) >
                    static_cast<std::size_t>(end - p)) {
                    break; // the rest of the character is not read yet
                }
                input.pos = static_cast<std::size_t>(p - base);
                Utf8Char ch{};
                read_utf8_char(input, ch);
                p = base + input.pos;
                if (ch.code == middle_dot) {
                    write_span(output, span, p - ch.length);
                    end_line(output);
                    words = 0;
                    in_gap = true;
                    span = p;
                } else {
                    in_gap = false;
                }
                continue;
            }
            switch (char_classes[byte]) {
            case CharClass::Word:
                in_gap = false;
                ++p;
                break;
            case CharClass::Separator:
                if (in_gap) { // a separator after the first of a run is dropped
                    write_span(output, span, p);
                    span = ++p;
                    break;
                }
                if (++words >= words_per_period) {
                    write_span(output, span, p);
                    input.pos = static_cast<std::size_t>(p + 1 - base);
                    end_line(output);
                    return output.failed ? -1 : 1;
                }
                in_gap = true;
                if (byte != ' ') {
                    write_span(output, span, p);
                    write_byte(output, ' ');
                    span = p + 1;
                }
                ++p;
                break;
            case CharClass::Terminator:
                write_span(output, span, p);
                end_line(output);
                words = 0;
                in_gap = true;
                span = ++p;
                break;
            }
        }
        write_span(output, span, p);
        input.pos = static_cast<std::size_t>(p - base);
        if (p != end) { // a character that straddles two buffer fills
            Utf8Char ch{};
            result = read_utf8_char(input, ch);
            if (result != 1) break;
            if (char_class(ch.code) == CharClass::Terminator) {
                end_line(output);
                words = 0;
                in_gap = true;
            } else {
                write_char(output, ch);
                in_gap = false;
            }
        }
    }
    end_line(output);
    return output.failed ? -1 : result;
}

int skip_sentence_tail(InputStream& input) {
    for (;;) {
        if (input.pos == input.end && !refill(input)) return end_of_input(input);
        const unsigned char* const base = input.buffer;
        const unsigned char* const end = base + input.end;
        const unsigned char* const stop = find_tail_stop(base + input.pos, end);
        input.pos = static_cast<std::size_t>(stop - base);
        if (stop == end) continue;
        if (*stop < 0x80) {
            ++input.pos;
            return 1;
        }
        Utf8Char ch{};
        const int result = read_utf8_char(input, ch);
        if (result != 1) return result;
        if (ch.code == middle_dot) return 1;
    }
}
