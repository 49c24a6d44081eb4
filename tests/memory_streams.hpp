// The segmentation fed from strings in memory, as the program and the
// library feed it, with the kernel that the library chose (the one that
// SPEZZAFRASI_KERNEL names).
#pragma once

#include "segmentation/byte_stream.hpp"
#include "segmentation/kernels.hpp"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace spezzafrasi {

// The periods of `input` fed in chunks of `chunk_size` bytes, collected
// through an output buffer of the same size.
std::string periods_of(std::string_view input, std::int32_t words_per_period,
                       std::size_t chunk_size = 4096, LineEnd line_end = lf_line_end);

// The same with chunks of the sizes given, in turn, over and over; and
// where the text first breaks UTF-8, if `first_invalid` is given.
std::string periods_in_chunks(std::string_view input, std::int32_t words_per_period,
                              std::span<const std::size_t> chunk_sizes,
                              LineEnd line_end = lf_line_end,
                              std::uint64_t* first_invalid = nullptr);

// Everything the segmentation tells of a text.
struct Segmented {
    std::string periods;
    std::vector<PeriodSpan> spans;
    std::uint64_t fault_offset; // or no_offset
    std::uint64_t fault_line;
};

// The periods, their spans (through a buffer of a few, handed on as often
// as it fills) and the first fault of `input`, fed in chunks as above.
Segmented segment_in_chunks(std::string_view input, std::int32_t words_per_period,
                            std::span<const std::size_t> chunk_sizes);

// `text` with CR LF line ends. Periods have no other line feeds: one in the
// input is a separator.
std::string with_crlf(std::string_view text);

} // namespace spezzafrasi
