// The program's read loop: the input file read in chunks and fed to the
// segmentation, the periods written to the output file.
#pragma once

#include "platform/platform.hpp"
#include "segmentation/byte_stream.hpp"
#include "segmentation/periods.hpp"

#include <cstddef>
#include <cstdint>

namespace spezzafrasi {

// An output file, as the sink of an OutputStream whose flush is
// flush_to_file; `problem` says why once a write has failed.
struct FileSink {
    FileHandle file;
    FileProblem problem{};
};

bool flush_to_file(OutputStream& output);

// Feeds the whole input, whose identity is `input_identity`, to `state`
// through `buffer`, and finishes it, its periods left in `output` to flush.
// Stops at once when a read or a write fails; returns false when a read
// failed, and why in `problem`: a disk file cut short while it was read
// has failed too. What was read before a read error
// still reaches the output.
bool write_periods(FileHandle input, const FileIdentity& input_identity, unsigned char* buffer,
                   std::size_t capacity, PeriodState& state, OutputStream& output,
                   FileProblem& problem);

// The number of words per period as the C library's atoi reads it, but
// clamped to the 32-bit range instead of overflowing: leading white space,
// an optional sign, digits up to the first other character; 0 for text that
// does not begin with a number.
std::int32_t parse_words_per_period(const char* text);

} // namespace spezzafrasi
