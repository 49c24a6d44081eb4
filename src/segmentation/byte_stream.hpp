// The output of the segmentation: a buffer that the caller owns, handed on
// whole to wherever the periods go (a file, a caller's function, the rest
// of a caller's buffer) each time it fills. The walk allocates nothing, so
// its memory does not depend on the size of the text.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>

// The end of a period's line: ";" and a newline, LF or CR LF. Four bytes
// are kept so that it can be copied in one fixed-size move.
struct LineEnd {
    std::array<unsigned char, 4> bytes;
    std::size_t size;
};

inline constexpr LineEnd lf_line_end{{';', '\n'}, 2};
inline constexpr LineEnd crlf_line_end{{';', '\r', '\n'}, 3};

struct OutputStream;

// Takes the first `used` bytes of the buffer where they go and sets `used`
// to 0; it may move the buffer and change its capacity. Returns false when
// they cannot be taken, or when no room is left after them.
using FlushFunction = bool (*)(OutputStream& output);

struct OutputStream {
    unsigned char* buffer;
    std::size_t capacity;
    LineEnd line_end = lf_line_end;
    FlushFunction flush = nullptr;
    void* sink = nullptr; // what the flush function writes to
    std::size_t used = 0;
    bool failed = false;
};

// Hands every buffered byte on. After a failure the stream stays failed
// and drops whatever it is given.
bool flush_output(OutputStream& output);

inline void write_byte(OutputStream& output, unsigned char byte) {
    if (output.used == output.capacity && !flush_output(output)) return;
    output.buffer[output.used++] = byte;
}

// Copies `count` bytes through the buffer, flushing it as often as needed.
void write_bytes_across_flushes(OutputStream& output, const unsigned char* bytes,
                                std::size_t count);

inline void write_bytes(OutputStream& output, const unsigned char* bytes, std::size_t count) {
    if (count <= output.capacity - output.used) {
        if (count != 0) std::memcpy(output.buffer + output.used, bytes, count);
        output.used += count;
        return;
    }
    write_bytes_across_flushes(output, bytes, count);
}

inline void write_line_end(OutputStream& output) {
    write_bytes(output, output.line_end.bytes.data(), output.line_end.size);
}
