// Streams over anonymous files, so that the segmentation runs on the same
// file path as the program, with any buffer size.
#pragma once

#include "segmentation/byte_stream.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct MemoryInput {
    explicit MemoryInput(std::string_view bytes, std::size_t buffer_size = 4096);
    ~MemoryInput();
    MemoryInput(const MemoryInput&) = delete;
    MemoryInput& operator=(const MemoryInput&) = delete;

    std::vector<unsigned char> buffer;
    InputStream stream;
};

struct MemoryOutput {
    explicit MemoryOutput(std::size_t buffer_size = 4096, LineEnd line_end = lf_line_end);
    ~MemoryOutput();
    MemoryOutput(const MemoryOutput&) = delete;
    MemoryOutput& operator=(const MemoryOutput&) = delete;

    std::string contents(); // flushes first

    std::vector<unsigned char> buffer;
    OutputStream stream;
};

// The whole run loop over `input`, as the program does it.
std::string periods_of(std::string_view input, std::int32_t words_per_period,
                       std::size_t buffer_size = 4096, LineEnd line_end = lf_line_end);

// `text` with CR LF line ends. Periods have no other line feeds: one in the
// input is a separator.
std::string with_crlf(std::string_view text);
