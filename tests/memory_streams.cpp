#include "memory_streams.hpp"

#include "memory_file.hpp"
#include "run_loop.hpp"

#include <cstdio>
#include <cstdlib>

MemoryInput::MemoryInput(std::string_view bytes, std::size_t buffer_size)
    : buffer(buffer_size), stream{anonymous_file(), buffer.data(), buffer.size()} {
    fill_file(stream.file, bytes);
}

MemoryInput::~MemoryInput() {
    close_file(stream.file);
}

MemoryOutput::MemoryOutput(std::size_t buffer_size, LineEnd line_end)
    : buffer(buffer_size), stream{anonymous_file(), buffer.data(), buffer.size(), line_end} {}

MemoryOutput::~MemoryOutput() {
    close_file(stream.file);
}

std::string MemoryOutput::contents() {
    if (!flush_output(stream)) {
        std::fputs("writing the output failed\n", stderr);
        std::abort();
    }
    return file_contents(stream.file);
}

std::string periods_of(std::string_view input, std::int32_t words_per_period,
                       std::size_t buffer_size, LineEnd line_end) {
    MemoryInput in(input, buffer_size);
    MemoryOutput out(buffer_size, line_end);
    write_periods(in.stream, out.stream, words_per_period);
    return out.contents();
}

std::string with_crlf(std::string_view text) {
    std::string crlf;
    for (const char c : text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    return crlf;
}
