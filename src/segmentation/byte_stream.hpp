// Buffered byte streams over the system's files. The buffers belong to the
// caller, so a run allocates nothing and its memory does not depend on the
// size of the input.
#pragma once

#include "platform/platform.hpp"

#include <array>
#include <cstddef>
#include <cstring>

enum class StreamState { Open, Ended, Failed };

struct InputStream {
    FileHandle file;
    unsigned char* buffer;
    std::size_t capacity;
    std::size_t pos = 0; // next unread byte
    std::size_t end = 0; // one past the last buffered byte
    StreamState state = StreamState::Open;
    FileProblem problem{}; // why, once Failed
};

// The end of a period's line: ";" and a newline, LF or CR LF. Four bytes
// are kept so that it can be copied in one fixed-size move.
struct LineEnd {
    std::array<unsigned char, 4> bytes;
    std::size_t size;
};

inline constexpr LineEnd lf_line_end{{';', '\n'}, 2};
inline constexpr LineEnd crlf_line_end{{';', '\r', '\n'}, 3};

struct OutputStream {
    FileHandle file;
    unsigned char* buffer;
    std::size_t capacity;
    LineEnd line_end = lf_line_end;
    std::size_t used = 0;
    bool failed = false;
    FileProblem problem{}; // why, once failed
};

// Replaces the consumed buffer with fresh bytes. Returns false at the end of
// the input or on a read error (then state says which).
bool refill(InputStream& input);

// Hands every buffered byte to the file. After a failure the stream stays
// failed and drops whatever it is given.
bool flush_output(OutputStream& output);

// Reads one byte into `byte`; returns 1, or 0 at the end of the input, or -1
// on a read error.
inline int read_byte(InputStream& input, unsigned char& byte) {
    if (input.pos == input.end && !refill(input)) {
        return input.state == StreamState::Failed ? -1 : 0;
    }
    byte = input.buffer[input.pos++];
    return 1;
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

inline void write_line_end(OutputStream& output) {
    write_bytes(output, output.line_end.bytes.data(), output.line_end.size);
}
