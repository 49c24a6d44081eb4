#include "memory_streams.hpp"

#include "memory_file.hpp"
#include "run_loop.hpp"

#include <cstdio>
#include <cstdlib>

namespace {

// Files are made once and used again: making one costs far more than a
// test case, above all under an emulator.
std::vector<FileHandle>& spare_files() {
    static std::vector<FileHandle> files;
    return files;
}

FileHandle take_file(std::string_view contents) {
    std::vector<FileHandle>& spare = spare_files();
    FileHandle file = no_file;
    if (spare.empty()) {
        file = anonymous_file();
    } else {
        file = spare.back();
        spare.pop_back();
    }
    fill_file(file, contents);
    return file;
}

} // namespace

MemoryInput::MemoryInput(std::string_view bytes, std::size_t buffer_size)
    : buffer(buffer_size), stream{take_file(bytes), buffer.data(), buffer.size()} {}

MemoryInput::~MemoryInput() {
    spare_files().push_back(stream.file);
}

MemoryOutput::MemoryOutput(std::size_t buffer_size, LineEnd line_end)
    : buffer(buffer_size), stream{take_file({}), buffer.data(), buffer.size(), line_end} {}

MemoryOutput::~MemoryOutput() {
    spare_files().push_back(stream.file);
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
