// The rules of the filter written as plainly as possible, one character at
// a time over C streams, with nothing shared with the program. The faster
// program is checked byte for byte against it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// Writes the periods of `input` to `output`. Returns false when a read
// failed; write errors are left in the output stream's error flag.
bool plain_periods(std::FILE* input, std::FILE* output, std::int32_t words_per_period);

// The same over strings in memory, with the given end of a line.
std::string plain_periods_of(const std::string& input, std::int32_t words_per_period,
                             std::string_view line_end = ";\n");

// Where a period comes from: its bytes in the text, [start, end), and the
// end of its line in the periods.
struct PlainSpan {
    std::uint64_t start;
    std::uint64_t end;
    std::uint64_t line_end;
    bool operator==(const PlainSpan&) const = default;
};

// All the model tells of a text: its periods, their spans, and where the
// text first stops being UTF-8 (the first byte of the first sequence that
// is not well-formed, and its line from 1), or fault_offset ~0 and line 0.
struct PlainResult {
    std::string periods;
    std::vector<PlainSpan> spans;
    std::uint64_t fault_offset = ~std::uint64_t{0};
    std::uint64_t fault_line = 0;
};

PlainResult plain_model_of(const std::string& input, std::int32_t words_per_period,
                           std::string_view line_end = ";\n");
