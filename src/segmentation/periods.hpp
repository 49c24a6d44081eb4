// A text cut into periods, given in chunks of any size: one phrase a line,
// at most words_per_period words, single spaces between words, ";" at each
// line end. Everything the cut needs to go on with the next chunk is kept
// in one PeriodState, so the chunks may be of any size, one byte included,
// and the periods are the same bytes as those of the whole text at once.
//
// Two operations take turns over the text: writing a period (WritePeriod),
// up to the separator that closes the line's n-th word; and dropping the
// rest of that phrase up to its terminator (SkipTail).
#pragma once

#include "segmentation/byte_stream.hpp"
#include "segmentation/kernels.hpp"

#include <cstddef>
#include <cstdint>

enum class Operation { WritePeriod, SkipTail };

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
    std::uint64_t first_invalid; // the first byte that breaks UTF-8, or no_fault
    // Where a walk found the chunk's first such byte, or nullptr.
    const unsigned char* invalid;
};

inline constexpr std::uint64_t no_fault = ~std::uint64_t{0};

// A new text, with the kernel given (the fastest this processor runs,
// unless a test or the benchmark names another). With words_per_period 0
// or less every period takes one character and is an empty line.
void start_periods(PeriodState& state, std::int32_t words_per_period,
                   const Kernel& kernel = chosen_kernel());

// The next `size` bytes of the text. Their periods go to `output`, but for
// the bytes of a character that the chunk does not hold whole, kept for the
// next one. Stops at once when the output has failed.
void feed_periods(PeriodState& state, const unsigned char* bytes, std::size_t size,
                  OutputStream& output);

// The most bytes that feed_some_periods hands back.
inline constexpr std::size_t periods_held_back = 256;

// The next `size` bytes of a text that goes on after them, for a caller
// that can give them again: their periods up to where fewer than
// periods_held_back bytes are left, where the walk would go on more slowly
// with so little ahead. Returns how many bytes it took; the caller gives
// the rest again, followed by the next bytes. Ends as feed_periods does.
std::size_t feed_some_periods(PeriodState& state, const unsigned char* bytes, std::size_t size,
                              OutputStream& output);

// The end of the text: the last line is ended, unless a dropped tail was
// going on, and a character cut short is dropped (and is the first fault
// if there was none before). Does not flush.
void finish_periods(PeriodState& state, OutputStream& output);
