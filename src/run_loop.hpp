// The program's read loop: the input file read in chunks and fed to the
// segmentation, the periods written to the output file.
#pragma once

#include "platform/platform.hpp"
#include "segmentation/byte_stream.hpp"
#include "segmentation/periods.hpp"

#include <cstddef>
#include <cstdint>

// An output file, as the sink of an OutputStream whose flush is
// flush_to_file; `problem` says why once a write has failed.
struct FileSink {
    FileHandle file;
    FileProblem problem{};
};

bool flush_to_file(OutputStream& output);

// Where the input first stops being UTF-8, as its user counts: the byte
// and the line, both from 1; byte 0 when it never does.
struct Utf8Fault {
    std::uint64_t byte = 0;
    std::uint64_t line = 1;
};

// Feeds the whole input to `state` through `buffer`, which has room for
// periods_held_back bytes more than it reads at once, and finishes it, its
// periods left in `output` to flush, and says in `fault` where the input
// first breaks UTF-8. Stops at once when a read or a write fails; returns
// false when a read failed, and why in `problem`. What was read before a
// read error still reaches the output.
bool write_periods(FileHandle input, unsigned char* buffer, std::size_t capacity,
                   PeriodState& state, OutputStream& output, FileProblem& problem,
                   Utf8Fault& fault);

// The number of words per period as the C library's atoi reads it, but
// clamped to the 32-bit range instead of overflowing: leading white space,
// an optional sign, digits up to the first other character; 0 for text that
// does not begin with a number.
std::int32_t parse_words_per_period(const char* text);
