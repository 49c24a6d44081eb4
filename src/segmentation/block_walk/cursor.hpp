// Where the walk stands, which operation it is in, and where the period
// under way began: what every path of the walk shares.
#pragma once

#include "segmentation/byte_stream.hpp"
#include "segmentation/periods.hpp"

#include <cstddef>
#include <cstdint>

namespace spezzafrasi {

namespace block_walk {

struct Cursor {
    const unsigned char* p; // next byte to look at
    std::int32_t words;     // words closed on the current line
    bool in_gap;            // after a separator or a terminator
    // Where the period under way began in the text, or no_offset while
    // only separators have come since the last one ended.
    std::uint64_t period_start;
    // The text's offset of the walk's first byte, and that byte.
    std::uint64_t origin_offset;
    const unsigned char* origin;

    std::uint64_t offset_of(const unsigned char* at) const {
        return origin_offset + static_cast<std::uint64_t>(at - origin);
    }
};

// The bytes of the terminator that begins with `first`: the middle dot
// has two.
inline int terminator_length(unsigned char first) {
    return first == 0xC2 ? 2 : 1;
}

} // namespace block_walk

} // namespace spezzafrasi
