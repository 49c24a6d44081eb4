#include "segmentation/byte_stream.hpp"

#include <algorithm>

namespace spezzafrasi {

bool flush_output(OutputStream& output) {
    if (output.failed) return false;
    const std::size_t used = output.used;
    if (output.flush != nullptr && output.flush(output)) {
        output.handed += used;
        return true;
    }
    output.failed = true;
    output.used = 0;
    output.span_count = 0;
    return false;
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

} // namespace spezzafrasi
