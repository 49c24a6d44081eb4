#include "model/plain_periods.hpp"

#include <string_view>

namespace {

enum class Kind { Separator, Terminator, Word };

constexpr std::uint64_t none = ~std::uint64_t{0};

// A byte source and sink that are either a C stream or a string, so that
// the model runs the same on every system. Over a string, the source also
// follows where each period begins, where the text first stops being
// UTF-8 and its line, and the sink collects the spans.
struct In {
    std::FILE* file = nullptr;
    std::string_view text;
    std::size_t pos = 0;
    std::uint64_t period_start = none; // the first byte of the period that is no separator
    std::uint64_t fault = none;
    std::uint64_t line_feeds = 0; // before the fault
};

struct Out {
    std::FILE* file = nullptr;
    std::string* text = nullptr;
    std::string_view line_end = ";\n";
    std::vector<PlainSpan>* spans = nullptr;
};

int get(In& in) {
    if (in.file != nullptr) return std::getc(in.file);
    return in.pos < in.text.size() ? static_cast<unsigned char>(in.text[in.pos++]) : EOF;
}

// The period ends where the source stands: its span, from its first byte
// that is no separator (or empty, where it ends), to the sink.
void end_span(In& in, Out& out) {
    if (out.spans == nullptr) return;
    const std::uint64_t end = in.pos;
    out.spans->push_back({in.period_start == none ? end : in.period_start, end, out.text->size()});
    in.period_start = none;
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

Kind kind(std::uint32_t code);

// What reading a character at `at` tells of the text: a period that begins
// there, a fault, a line.
void note_char(In& in, std::size_t at, const Char& ch, bool well_formed) {
    if (in.period_start == none && kind(ch.code) != Kind::Separator) in.period_start = at;
    if (in.fault != none) return;
    if (!well_formed) {
        in.fault = at;
    } else if (ch.code == '\n') {
        ++in.line_feeds;
    }
}

// 1 with a character, 0 at the end (a cut sequence is dropped), -1 on error.
int read_char(In& in, Char& ch) {
    const std::size_t at = in.pos;
    const int lead = get(in);
    if (lead == EOF) return failed(in) ? -1 : 0;
    int length = 1;
    if ((lead & 0xE0) == 0xC0)
        length = 2;
    else if ((lead & 0xF0) == 0xE0)
        length = 3;
    else if ((lead & 0xF8) == 0xF0)
        length = 4;
    // A stray continuation byte or F8 to FF stands alone, and is no UTF-8.
    bool well_formed = lead < 0x80 || (lead >= 0xC0 && lead < 0xF8);
    ch.code = static_cast<std::uint32_t>(lead);
    for (int i = 1; i < length; ++i) {
        const int next = get(in);
        if (next == EOF) {
            // Cut short by the end: dropped, but a fault, and in a span.
            if (in.file == nullptr) note_char(in, at, {0xFFFFFFFF, 1}, false);
            return failed(in) ? -1 : 0;
        }
        well_formed = well_formed && (next & 0xC0) == 0x80;
        ch.code = (ch.code << 8) | static_cast<std::uint32_t>(next);
    }
    ch.length = length;
    if (in.file == nullptr) note_char(in, at, ch, well_formed);
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
                end_span(in, out);
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

int skip_sentence_tail(In& in, Out& out) {
    Char ch;
    int result = read_char(in, ch);
    while (result == 1 && kind(ch.code) != Kind::Terminator)
        result = read_char(in, ch);
    if (result == 1) end_span(in, out);
    return result;
}

bool run(In& input, Out& output, std::int32_t words_per_period) {
    int result = 0;
    do {
        result = write_period(input, output, words_per_period);
        if (result == -1 || (output.file != nullptr && std::ferror(output.file))) break;
        result = skip_sentence_tail(input, output);
    } while (result == 1);
    end_span(input, output); // the last period ends with the text
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

PlainResult plain_model_of(const std::string& input, std::int32_t words_per_period,
                           std::string_view line_end) {
    PlainResult result;
    In in{nullptr, input, 0};
    Out out{nullptr, &result.periods, line_end, &result.spans};
    run(in, out, words_per_period);
    if (in.fault != none) {
        result.fault_offset = in.fault;
        result.fault_line = in.line_feeds + 1;
    }
    return result;
}
