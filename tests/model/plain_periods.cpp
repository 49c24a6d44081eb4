#include "model/plain_periods.hpp"

#include <cstdlib>

namespace {

enum class Kind { Separator, Terminator, Word };

struct Char {
    std::uint32_t code = 0;
    int length = 0;
};

// 1 with a character, 0 at the end (a cut sequence is dropped), -1 on error.
int read_char(std::FILE* in, Char& ch) {
    const int lead = std::getc(in);
    if (lead == EOF) return std::ferror(in) ? -1 : 0;
    int length = 1;
    if ((lead & 0xE0) == 0xC0)
        length = 2;
    else if ((lead & 0xF0) == 0xE0)
        length = 3;
    else if ((lead & 0xF8) == 0xF0)
        length = 4;
    ch.code = static_cast<std::uint32_t>(lead);
    for (int i = 1; i < length; ++i) {
        const int next = std::getc(in);
        if (next == EOF) return std::ferror(in) ? -1 : 0;
        ch.code = (ch.code << 8) | static_cast<std::uint32_t>(next);
    }
    ch.length = length;
    return 1;
}

Kind kind(std::uint32_t code) {
    switch (code) {
    case '\n':
    case '\f':
    case '\r':
    case ' ':
        return Kind::Separator;
    case '!':
    case '(':
    case ')':
    case '.':
    case ':':
    case ';':
    case '?':
    case 0xC2B7:
        return Kind::Terminator;
    default:
        return Kind::Word;
    }
}

void put_char(std::FILE* out, const Char& ch) {
    for (int i = ch.length - 1; i >= 0; --i)
        std::putc(static_cast<int>((ch.code >> (8 * i)) & 0xFF), out);
}

int write_period(std::FILE* in, std::FILE* out, std::int32_t n) {
    std::int32_t words = 0;
    bool in_gap = true;
    Char ch;
    int result = read_char(in, ch);
    if (result == 1) {
        while (words < n) {
            switch (kind(ch.code)) {
            case Kind::Separator:
                if (!in_gap) {
                    words++;
                    if (words < n) std::putc(' ', out);
                    in_gap = true;
                }
                break;
            case Kind::Terminator:
                std::fputs(";\n", out);
                words = 0;
                in_gap = true;
                break;
            case Kind::Word:
                in_gap = false;
                put_char(out, ch);
                break;
            }
            if (words < n) {
                result = read_char(in, ch);
                if (result != 1) break;
            }
        }
    }
    std::fputs(";\n", out);
    return result;
}

int skip_sentence_tail(std::FILE* in) {
    Char ch;
    int result = read_char(in, ch);
    while (result == 1 && kind(ch.code) != Kind::Terminator)
        result = read_char(in, ch);
    return result;
}

} // namespace

bool plain_periods(std::FILE* input, std::FILE* output, std::int32_t words_per_period) {
    int result = 0;
    do {
        result = write_period(input, output, words_per_period);
        if (result == -1 || std::ferror(output)) break;
        result = skip_sentence_tail(input);
    } while (result == 1);
    return result != -1;
}

std::string plain_periods_of(const std::string& input, std::int32_t words_per_period) {
    std::string bytes = input.empty() ? std::string(1, '\0') : input; // fmemopen wants a buffer
    std::FILE* in = fmemopen(bytes.data(), input.size(), "r");
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    if (in == nullptr || out == nullptr || !plain_periods(in, out, words_per_period)) std::abort();
    std::fclose(in);
    std::fclose(out);
    std::string result(text, size);
    std::free(text);
    return result;
}
