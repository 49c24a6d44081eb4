#include "segmentation/byte_stream.hpp"

#include <algorithm>

bool refill(InputStream& input) {
    if (input.state != StreamState::Open) return false;
    const std::ptrdiff_t got = read_file(input.file, input.buffer, input.capacity);
    if (got <= 0) {
        input.state = got == 0 ? StreamState::Ended : StreamState::Failed;
        if (got < 0) input.problem = read_problem();
        return false;
    }
    input.pos = 0;
    input.end = static_cast<std::size_t>(got);
    return true;
}

bool flush_output(OutputStream& output) {
    if (output.failed) return false;
    std::size_t done = 0;
    while (done < output.used) {
        const std::ptrdiff_t put =
            write_file(output.file, output.buffer + done, output.used - done);
        if (put < 0) {
            output.problem = write_problem();
            output.failed = true;
            output.used = 0;
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    output.used = 0;
    return true;
}

void write_bytes_across_flushes(OutputStream& output, const unsigned char* bytes,
                                std::size_t count) {
    while (count != 0) {
        if (output.used == output.capacity && !flush_output(output)) return;
        const std::size_t part = std::min(count, output.capacity - output.used);
        std::memcpy(output.buffer + output.used, bytes, part);
        output.used += part;
        bytes += part;
        count -= part;
    }
}
