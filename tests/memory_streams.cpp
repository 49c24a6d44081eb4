#include "memory_streams.hpp"

#include "segmentation/periods.hpp"

#include <algorithm>
#include <vector>

namespace {

const Kernel*& kernel_under_test() {
    static const Kernel* kernel = &chosen_kernel();
    return kernel;
}

struct StringSink {
    std::string text;
};

bool append_to_string(OutputStream& output) {
    static_cast<StringSink*>(output.sink)
        ->text.append(reinterpret_cast<const char*>(output.buffer), output.used);
    output.used = 0;
    return true;
}

} // namespace

bool choose_tested_kernel(const char* name) {
    const Kernel* kernel = runnable_kernel(name);
    if (kernel != nullptr) kernel_under_test() = kernel;
    return kernel != nullptr;
}

const Kernel& tested_kernel() {
    return *kernel_under_test();
}

std::string periods_in_chunks(std::string_view input, std::int32_t words_per_period,
                              std::span<const std::size_t> chunk_sizes, LineEnd line_end,
                              std::uint64_t* first_invalid) {
    std::vector<unsigned char> buffer(std::max<std::size_t>(chunk_sizes[0], 1));
    StringSink sink;
    OutputStream output{buffer.data(), buffer.size(), line_end, append_to_string, &sink};
    PeriodState state{};
    start_periods(state, words_per_period, tested_kernel());
    const auto* bytes = reinterpret_cast<const unsigned char*>(input.data());
    // Every other chunk is fed as the program feeds a file, the bytes that
    // the walk hands back given again at the front of the next chunk.
    for (std::size_t at = 0, i = 0, held = 0; at < input.size(); ++i) {
        const std::size_t size =
            std::min(chunk_sizes[i % chunk_sizes.size()] + held, input.size() - at);
        std::size_t taken = size;
        if (i % 2 == 0) {
            feed_periods(state, bytes + at, size, output);
        } else {
            taken = feed_some_periods(state, bytes + at, size, output);
        }
        held = size - taken;
        at += taken;
    }
    finish_periods(state, output);
    flush_output(output);
    if (first_invalid != nullptr) *first_invalid = state.first_invalid;
    return sink.text;
}

std::string periods_of(std::string_view input, std::int32_t words_per_period,
                       std::size_t chunk_size, LineEnd line_end) {
    return periods_in_chunks(input, words_per_period, std::span(&chunk_size, 1), line_end);
}

std::string with_crlf(std::string_view text) {
    std::string crlf;
    for (const char c : text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    return crlf;
}
