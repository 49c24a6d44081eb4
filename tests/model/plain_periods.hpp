// The rules of the filter written as plainly as possible, one character at
// a time over C streams, with nothing shared with the program. The faster
// program is checked byte for byte against it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

// Writes the periods of `input` to `output`. Returns false when a read
// failed; write errors are left in the output stream's error flag.
bool plain_periods(std::FILE* input, std::FILE* output, std::int32_t words_per_period);

// The same over strings in memory, with the given end of a line.
std::string plain_periods_of(const std::string& input, std::int32_t words_per_period,
                             std::string_view line_end = ";\n");
