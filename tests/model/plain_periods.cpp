#include "model/plain_periods.hpp"

#include <string_view>

namespace {

enum class Kind { Separator, Terminator, Word };

// A byte source and sink that are either a C stream or a string, so that
// the model runs the same on every system.
struct In {
    std::FILE* file = nullptr;
    std::string_view text;
    std::size_t pos = 0;
};

struct Out {
    std::FILE* file = nullptr;
    std::string* text = nullptr;
    std::string_view line_end = ";\n";
};

int get(In& in) {
    if (in.file != nullptr) return std::getc(in.file);
    return in.pos < in.text.size() ? static_cast<unsigned char>(in.text[in.pos++]) : EOF;
}

bool failed(const In& in) {
    return in.file != nullptr && std::ferror(in.file) != 0;
}

void put(Out& out, int byte) {
    if (out.file != nullptr) {
        std::putc(byte, out.file);
    } else {
        *out.text += static_cast<char>(byte);
    }
}

void put_line_end(Out& out) {
    for (const char c : out.line_end)
        put(out, static_cast<unsigned char>(c));
}

struct Char {
    std::uint32_t code = 0;
    int length = 0;
};

// 1 with a character, 0 at the end (a cut sequence is dropped), -1 on error.
int read_char(In& in, Char& ch) {
    const int lead = get(in);
    if (lead == EOF) return failed(in) ? -1 : 0;
    int length = 1;
    if ((lead & 0xE0) == 0xC0)
        length = 2;
    else if ((lead & 0xF0) == 0xE0)
        length = 3;
    else if ((lead & 0xF8) == 0xF0)
        length = 4;
    ch.code = static_cast<std::uint32_t>(lead);
    for (int i = 1; i < length; ++i) {
        const int next = get(in);
        if (next == EOF) return failed(in) ? -1 : 0;
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

void put_char(Out& out, const Char& ch) {
    for (int i = ch.length - 1; i >= 0; --i)
        put(out, static_cast<int>((ch.code >> (8 * i)) & 0xFF));
}

int write_period(In& in, Out& out, std::int32_t n) {
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
                    if (words < n) put(out, ' ');
                    in_gap = true;
                }
                break;
            case Kind::Terminator:
                put_line_end(out);
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
    put_line_end(out);
    return result;
}

int skip_sentence_tail(In& in) {
    Char ch;
    int result = read_char(in, ch);
    while (result == 1 && kind(ch.code) != Kind::Terminator)
        result = read_char(in, ch);
    return result;
}

bool run(In& input, Out& output, std::int32_t words_per_period) {
    int result = 0;
    do {
        result = write_period(input, output, words_per_period);
        if (result == -1 || (output.file != nullptr && std::ferror(output.file))) break;
        result = skip_sentence_tail(input);
    } while (result == 1);
    return result != -1;
}

} // namespace

bool plain_periods(std::FILE* input, std::FILE* output, std::int32_t words_per_period) {
    In in{input, {}, 0};
    Out out{output, nullptr, ";\n"};
    return run(in, out, words_per_period);
}

std::string plain_periods_of(const std::string& input, std::int32_t words_per_period,
                             std::string_view line_end) {
    std::string text;
    In in{nullptr, input, 0};
    Out out{nullptr, &text, line_end};
    run(in, out, words_per_period);
    return text;
}
