#pragma once

#include "segmentation/byte_stream.hpp"

#include <cstdint>

// Writes the whole input as periods: write_period and skip_sentence_tail in
// turn until the input ends. Stops at once when a read or a write fails;
// the streams say which. The output is left buffered.
void write_periods(InputStream& input, OutputStream& output, std::int32_t words_per_period);

// The number of words per period as the C library's atoi reads it, but
// clamped to the 32-bit range instead of overflowing: leading white space,
// an optional sign, digits up to the first other character; 0 for text that
// does not begin with a number.
std::int32_t parse_words_per_period(const char* text);
