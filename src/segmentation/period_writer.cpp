#include "segmentation/period_writer.hpp"

namespace {

void end_line(OutputStream& output) {
    write_byte(output, ';');
    write_byte(output, '\n');
}

void write_char(OutputStream& output, const Utf8Char& ch) {
    const auto code = static_cast<std::uint32_t>(ch.code);
    for (std::int32_t shift = 8 * (ch.length - 1); shift >= 0; shift -= 8) {
        write_byte(output, static_cast<unsigned char>(code >> shift));
    }
}

} // namespace

int write_period(InputStream& input, OutputStream& output, std::int32_t words_per_period) {
    std::int32_t words = 0;
    bool in_gap = true;
    Utf8Char ch{};
    int result = read_utf8_char(input, ch);
    while (result == 1 && words < words_per_period && !output.failed) {
        switch (char_class(ch.code)) {
        case CharClass::Separator:
            if (!in_gap) {
                ++words;
                if (words < words_per_period) write_byte(output, ' ');
                in_gap = true;
            }
            break;
        case CharClass::Terminator:
            end_line(output);
            words = 0;
            in_gap = true;
            break;
        case CharClass::Word:
            in_gap = false;
            write_char(output, ch);
            break;
        }
        if (words < words_per_period) result = read_utf8_char(input, ch);
    }
    end_line(output);
    return output.failed ? -1 : result;
}

int skip_sentence_tail(InputStream& input) {
    Utf8Char ch{};
    int result = read_utf8_char(input, ch);
    while (result == 1 && char_class(ch.code) != CharClass::Terminator) {
        result = read_utf8_char(input, ch);
    }
    return result;
}
