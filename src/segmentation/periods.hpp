// A text cut into periods, given in chunks of any size: one phrase a line,
// at most words_per_period words, single spaces between words, ";" at each
// line end. Everything the cut needs to go on with the next chunk is kept
// in one PeriodState, so the chunks may be of any size, one byte included,
// and the periods are the same bytes as those of the whole text at once.
// The state also tells where the text first stops being UTF-8, and the
// output, when asked, where each period comes from (its span).
//
// Two operations take turns over the text: writing a period (WritePeriod),
// up to the separator that closes the line's n-th word; and dropping the
// rest of that phrase up to its terminator (SkipTail).
#pragma once

#include "segmentation/byte_stream.hpp"
#include "segmentation/kernels.hpp"

#include <cstddef>
#include <cstdint>

namespace spezzafrasi {

enum class Operation { WritePeriod, SkipTail };

inline constexpr std::uint64_t no_offset = ~std::uint64_t{0};

// The walk reads ahead of where it stands: the fixed copies of a line up
// to 128 bytes past the line's start, the marks a whole block of 64. The
// last bytes of each chunk are therefore walked in the state's own carry,
// with that much room after them; a chunk smaller than carry_size goes
// there whole.
inline constexpr std::size_t carry_size = 1024;
inline constexpr std::size_t carry_room = 192;

struct PeriodState {
    const Kernel* kernel;
    std::int32_t words_per_period;
    Operation op;
    std::int32_t words; // words closed on the current line
    bool in_gap;        // after a separator or a terminator
    // A character cut by the end of the last chunk: its bytes so far and
    // how many it has in all.
    unsigned char cut[4];
    std::uint8_t cut_size;
    std::uint8_t cut_length;
    std::uint64_t fed;           // bytes of the text before this chunk
    std::uint64_t first_invalid; // the first byte that breaks UTF-8, or no_offset
    std::uint64_t lines;         // the line feeds before it, or so far
    std::uint64_t period_start;  // where the period under way begins, or no_offset
    // Left uninitialised until used: a text of a few hundred bytes should
    // not pay for clearing it.
    unsigned char carry[carry_size + carry_room];
};

// The period under way, begun at `period_start` (or no_offset while only
// separators came), ends at `end`, an offset in the text, and its line is
// the last one written: its span goes to the output.
inline void end_period(std::uint64_t& period_start, OutputStream& output, std::uint64_t end) {
    write_period_span(output, period_start == no_offset ? end : period_start, end);
    period_start = no_offset;
}

// A new text, with the kernel given (the fastest this processor runs,
// unless a test or the benchmark names another). With words_per_period 0
// or less every period takes one character and is an empty line.
void start_periods(PeriodState& state, std::int32_t words_per_period,
                   const Kernel& kernel = chosen_kernel());

// The next `size` bytes of the text. Their periods go to `output`, and
// the spans of the periods they end to its spans when it has any, all but
// the bytes of a character that the chunk does not hold whole, kept for the
// next one. Stops at once when the output has failed.
void feed_periods(PeriodState& state, const unsigned char* bytes, std::size_t size,
                  OutputStream& output);

// The end of the text: the last line is ended, unless a dropped tail was
// going on, the last span given, and a character cut short is dropped (and
// is the first fault if there was none before). Does not flush.
void finish_periods(PeriodState& state, OutputStream& output);

// Where the text first stops being UTF-8, from 0, and its line, from 1;
// false when it does not (so far).
bool first_fault(const PeriodState& state, std::uint64_t& offset, std::uint64_t& line);

} // namespace spezzafrasi
