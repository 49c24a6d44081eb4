// Where the walk stands, which operation it is in, and why a step of it
// stopped: what every path of the walk shares.
#pragma once

#include "segmentation/byte_stream.hpp"
#include "segmentation/periods.hpp"

#include <cstddef>
#include <cstdint>

namespace block_walk {

// Where the walk stands inside the buffer.
struct Cursor {
    const unsigned char* p;                 // next byte to look at
    const unsigned char* span;              // [span, p) goes to the output unchanged
    std::int32_t words;                     // words closed on the current line
    bool in_gap;                            // after a separator or a terminator
    const unsigned char* invalid = nullptr; // the first byte that breaks UTF-8
};

// Why a step of the character path stopped: at its limit; at a switch
// from one operation to the other (the line is full, or the dropped tail
// has met its terminator); at a character that the chunk does not hold
// whole.
enum class Stop { Limit, Switch, Straddle };

inline void write_span(OutputStream& output, const unsigned char* from, const unsigned char* to) {
    write_bytes(output, from, static_cast<std::size_t>(to - from));
}

} // namespace block_walk
