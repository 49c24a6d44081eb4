#include "run_loop.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

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

namespace {

// The line feeds of a disk file before `end`, read again: only when the
// text breaks UTF-8, so that valid text costs nothing. False on an error.
bool count_again(const Kernel& kernel, FileHandle input, std::uint64_t end, unsigned char* buffer,
                 std::size_t capacity, std::uint64_t& lines) {
    for (std::uint64_t at = 0; at < end;) {
        const std::ptrdiff_t got =
            read_file_at(input, at, buffer,
                         static_cast<std::size_t>(std::min<std::uint64_t>(capacity, end - at)));
        if (got <= 0) return false;
        lines += kernel.line_feeds(buffer, static_cast<std::size_t>(got));
        at += static_cast<std::uint64_t>(got);
    }
    return true;
}

} // namespace

bool write_periods(FileHandle input, unsigned char* buffer, std::size_t capacity,
                   PeriodState& state, OutputStream& output, FileProblem& problem,
                   Utf8Fault& fault) {
    // A pipe cannot be read again: its line feeds are counted as they go by,
    // up to the first fault.
    const bool again = file_has_positions(input);
    std::uint64_t lines = 0;
    bool read_ok = true;
    // The bytes that the walk handed back are moved to the buffer's front,
    // and the next read goes after them: the walk's blocks stay as aligned
    // as the buffer, which it reads faster than the system copies into it.
    std::size_t held = 0;
    for (bool at_end = false; !at_end && !output.failed;) {
        const std::ptrdiff_t got = read_file(input, buffer + held, capacity - periods_held_back);
        if (got < 0) {
            problem = read_problem();
            read_ok = false;
        }
        at_end = got <= 0;
        const std::size_t size = held + static_cast<std::size_t>(std::max<std::ptrdiff_t>(got, 0));
        const std::uint64_t start = state.fed;
        const bool counting = !again && state.first_invalid == no_fault;
        std::size_t taken = size;
        if (at_end) {
            feed_periods(state, buffer, size, output);
        } else {
            taken = feed_some_periods(state, buffer, size, output);
        }
        if (counting) {
            const std::uint64_t end = std::min(state.first_invalid, state.fed);
            lines += state.kernel->line_feeds(
                buffer, static_cast<std::size_t>(std::max(end, start) - start));
        }
        held = size - taken;
        std::memmove(buffer, buffer + taken, held);
    }
    finish_periods(state, output);
    if (state.first_invalid != no_fault) {
        if (again &&
            !count_again(*state.kernel, input, state.first_invalid, buffer, capacity, lines)) {
            return read_ok;
        }
        fault.byte = state.first_invalid + 1;
        fault.line = lines + 1;
    }
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
