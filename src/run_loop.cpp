#include "run_loop.hpp"

#include "segmentation/kernels.hpp"
#include "segmentation/period_writer.hpp"

#include <cstdlib>
#include <limits>

void write_periods(InputStream& input, OutputStream& output, std::int32_t words_per_period) {
    if (words_per_period > 0) {
        chosen_kernel().run(input, output, words_per_period);
        return;
    }
    while (write_period(input, output, words_per_period) != -1 && skip_sentence_tail(input) == 1) {
    }
}

std::int32_t parse_words_per_period(const char* text) {
    const long long value = std::strtoll(text, nullptr, 10);
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(value);
}
