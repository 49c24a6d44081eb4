// The output of the segmentation: a buffer that the caller owns, handed on
// whole to wherever the periods go (a file, a caller's function, the rest
// of a caller's buffer) each time it fills; and, when the caller asks,
// where each period comes from, in a second buffer handed on with the
// first. The walk allocates nothing, so its memory does not depend on the
// size of the text.
#pragma once

#include "spezzafrasi.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace spezzafrasi {

// The end of a period's line: ";" and a newline, LF or CR LF. Four bytes
// are kept so that it can be copied in one fixed-size move.
struct LineEnd {
    std::array<unsigned char, 4> bytes;
    std::size_t size;
};

inline constexpr LineEnd lf_line_end{{';', '\n'}, 2};
inline constexpr LineEnd crlf_line_end{{';', '\r', '\n'}, 3};

struct OutputStream;

// A period's span in the text and the end of its line in the periods, as
// the C interface gives them (spezzafrasi.h says what they hold).
using PeriodSpan = spezzafrasi_span;

// Takes the first `used` bytes of the buffer, and the first `span_count`
// spans, where they go and sets both counts to 0; it may move the buffers
// and change their capacities. Returns false when they cannot be taken, or
// when no room is left after them.
using FlushFunction = bool (*)(OutputStream& output);

struct OutputStream {
    unsigned char* buffer;
    std::size_t capacity;
    LineEnd line_end = lf_line_end;
    FlushFunction flush = nullptr;
    void* sink = nullptr; // what the flush function writes to
    std::size_t used = 0;
    bool failed = false;
    std::uint64_t handed = 0; // bytes handed on before the buffer's
    // Where the spans go, when the caller asks for them; nullptr otherwise.
    PeriodSpan* spans = nullptr;
    std::size_t span_capacity = 0;
    std::size_t span_count = 0;
};

// Hands every buffered byte and span on. After a failure the stream stays
// failed and drops whatever it is given.
bool flush_output(OutputStream& output);

// Where the periods written so far end, from the first byte of the first.
inline std::uint64_t output_offset(const OutputStream& output) {
    return output.handed + output.used;
}

// The span of the period whose line the output ends with.
inline void write_period_span(OutputStream& output, std::uint64_t start, std::uint64_t end) {
    if (output.span_count == output.span_capacity && !flush_output(output)) return;
    output.spans[output.span_count++] = {start, end, output_offset(output)};
}

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

// ";" and the line end. Where there is room, one fixed-size copy of the
// whole array: the walk writes one a line.
inline void write_line_end(OutputStream& output) {
    const LineEnd& line_end = output.line_end;
    if (output.capacity - output.used >= line_end.bytes.size()) {
        std::memcpy(output.buffer + output.used, line_end.bytes.data(), line_end.bytes.size());
        output.used += line_end.size;
        return;
    }
    write_bytes_across_flushes(output, line_end.bytes.data(), line_end.size);
}

} // namespace spezzafrasi
