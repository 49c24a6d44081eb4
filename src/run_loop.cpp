#include "run_loop.hpp"

#include <cstdlib>
#include <limits>

namespace spezzafrasi {

bool flush_to_file(OutputStream& output) {
    auto& sink = *static_cast<FileSink*>(output.sink);
    std::size_t done = 0;
    while (done < output.used) {
        const std::ptrdiff_t put = write_file(sink.file, output.buffer + done, output.used - done);
        if (put < 0) {
            sink.problem = write_problem();
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    output.used = 0;
    return true;
}

bool write_periods(FileHandle input, const FileIdentity& input_identity, unsigned char* buffer,
                   std::size_t capacity, PeriodState& state, OutputStream& output,
                   FileProblem& problem) {
    bool read_ok = true;
    while (!output.failed) {
        const std::ptrdiff_t got = read_file(input, buffer, capacity);
        if (got < 0) {
            problem = read_problem();
            read_ok = false;
        }
        if (got <= 0) break;
        feed_periods(state, buffer, static_cast<std::size_t>(got), output);
    }
    // Without this check a file cut short while it is read would pass for
    // a whole one: its last periods lost, and nothing said.
    if (read_ok && !output.failed && file_cut_short(input, input_identity, state.fed)) {
        problem = {FileError::Shrunk, 0};
        read_ok = false;
    }
    finish_periods(state, output);
    return read_ok;
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

} // namespace spezzafrasi
