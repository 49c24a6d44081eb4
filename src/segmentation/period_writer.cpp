#include "segmentation/period_writer.hpp"

#include "segmentation/kernels.hpp"

int write_period(InputStream& input, OutputStream& output, std::int32_t words_per_period) {
    if (words_per_period <= 0) {
        Utf8Char ch{};
        const int result = read_utf8_char(input, ch);
        write_line_end(output);
        return output.failed ? -1 : result;
    }
    return chosen_kernel().write_period(input, output, words_per_period);
}

int skip_sentence_tail(InputStream& input) {
    return chosen_kernel().skip_tail(input);
}
