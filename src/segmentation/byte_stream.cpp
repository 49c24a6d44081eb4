#include "segmentation/byte_stream.hpp"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

bool refill(InputStream& input) {
    if (input.state != StreamState::Open) return false;
    for (;;) {
        ssize_t got = read(input.fd, input.buffer, input.capacity);
        if (got > 0) {
            input.pos = 0;
            input.end = static_cast<std::size_t>(got);
            return true;
        }
        if (got == 0) {
            input.state = StreamState::Ended;
            return false;
        }
        if (errno != EINTR) {
            input.error = errno;
            input.state = StreamState::Failed;
            return false;
        }
    }
}

bool flush_output(OutputStream& output) {
    if (output.failed) return false;
    std::size_t done = 0;
    while (done < output.used) {
        ssize_t put = write(output.fd, output.buffer + done, output.used - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            output.error = put < 0 ? errno : EIO;
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
