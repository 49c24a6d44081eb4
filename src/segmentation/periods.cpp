#include "segmentation/periods.hpp"

#include "segmentation/char_classes.hpp"
#include "segmentation/utf8_reader.hpp"

#include <algorithm>
#include <cstring>

namespace spezzafrasi {

namespace {

void write_char(OutputStream& output, const Utf8Char& ch) {
    const auto code = static_cast<std::uint32_t>(ch.code);
    for (std::int32_t shift = 8 * (ch.length - 1); shift >= 0; shift -= 8)
        write_byte(output, static_cast<unsigned char>(code >> shift));
}

// The period's line ends; the next one starts with no word.
void end_period_line(PeriodState& state, OutputStream& output) {
    write_line_end(output);
    state.words = 0;
    state.in_gap = true;
}

// The period under way ends at `end`, when the output takes spans.
void end_span(PeriodState& state, OutputStream& output, std::uint64_t end) {
    if (output.spans != nullptr) end_period(state.period_start, output, end);
}

void note_fault(PeriodState& state, std::uint64_t at) {
    if (state.first_invalid == no_offset) state.first_invalid = at;
}

// One character at `at` in the text, outside the kernel's walk: a
// character that two chunks cut, or any character when every period takes
// one (words_per_period 0 or less). Only a separator can close a word, and
// a separator is one byte, never cut: a character here ends a line or
// belongs to a word.
void take_char(PeriodState& state, const Utf8Char& ch, std::uint64_t at, OutputStream& output) {
    const CharClass kind = char_class(ch.code);
    if (kind != CharClass::Separator && state.period_start == no_offset) state.period_start = at;
    const std::uint64_t end = at + static_cast<std::uint64_t>(ch.length);
    if (state.op == Operation::SkipTail) {
        if (kind == CharClass::Terminator) {
            state.op = Operation::WritePeriod;
            state.words = 0;
            state.in_gap = true;
            end_span(state, output, end);
        }
    } else if (state.words_per_period <= 0) {
        end_period_line(state, output);
        state.op = Operation::SkipTail;
    } else if (kind == CharClass::Terminator) {
        end_period_line(state, output);
        end_span(state, output, end);
    } else {
        write_char(output, ch);
        state.in_gap = false;
    }
}

// With words_per_period 0 or less: a character at a time, from `p` at
// `offset` in the text; the line feeds counted up to the first fault.
const unsigned char* take_chars(PeriodState& state, const unsigned char* p,
                                const unsigned char* end, std::uint64_t offset,
                                OutputStream& output) {
    const unsigned char* const first = p;
    Utf8Char ch{};
    for (const unsigned char* at = p; !output.failed && read_utf8_char(p, end, ch) == 1; at = p) {
        const std::uint64_t here = offset + static_cast<std::uint64_t>(at - first);
        if (state.first_invalid == no_offset) {
            if (!utf8_well_formed(at, ch.length)) {
                state.first_invalid = here;
            } else if (ch.code == '\n') {
                ++state.lines;
            }
        }
        take_char(state, ch, here, output);
    }
    return p;
}

// Completes a character that the last chunk cut with the first bytes of
// this one, and takes it once whole. Returns how many bytes it took.
std::size_t complete_cut(PeriodState& state, const unsigned char* bytes, std::size_t size,
                         OutputStream& output) {
    const std::size_t missing = std::min<std::size_t>(state.cut_length - state.cut_size, size);
    std::copy_n(bytes, missing, state.cut + state.cut_size);
    const std::size_t had = state.cut_size;
    state.cut_size = static_cast<std::uint8_t>(had + missing);
    if (state.cut_size < state.cut_length) return missing;
    state.cut_size = 0;
    const std::uint64_t at = state.fed - had;
    if (!utf8_well_formed(state.cut, state.cut_length)) note_fault(state, at);
    take_char(state, packed_utf8_char(state.cut, state.cut_length), at, output);
    return missing;
}

// Walks [p, end), at `offset` in the text: where it lies as far as the walk
// can read ahead, the rest copied into the carry, which has the room.
// Returns where it stopped: `end`, or a character that `end` cuts.
const unsigned char* walk(PeriodState& state, const unsigned char* p, const unsigned char* end,
                          std::uint64_t offset, OutputStream& output) {
    // Each walk compiled apart, so that the plain one is as it was.
    const Kernel::WalkFunction walk_chunk =
        output.spans != nullptr ? state.kernel->walk_spans : state.kernel->walk;
    if (static_cast<std::size_t>(end - p) >= carry_size) {
        const unsigned char* const start = p;
        p = walk_chunk(state, p, end, end, offset, output);
        offset += static_cast<std::uint64_t>(p - start);
    }
    const auto rest = static_cast<std::size_t>(end - p);
    if (rest == 0 || output.failed) return p;
    std::memcpy(state.carry, p, rest);
    // Only the text decides the walk; the bytes past it are only read.
    // Cleared in fixed pieces: a memset of unknown alignment becomes a
    // `rep stos`, whose start costs a fifth of a short text's whole cut.
    static_assert(carry_room % 64 == 0, "the carry's room in pieces of 64 bytes");
    for (std::size_t at = 0; at < carry_room; at += 64)
        std::memset(state.carry + rest + at, 0, 64);
    const unsigned char* const stop = walk_chunk(state, state.carry, state.carry + rest,
                                                 state.carry + rest + carry_room, offset, output);
    return p + (stop - state.carry);
}

} // namespace

void start_periods(PeriodState& state, std::int32_t words_per_period, const Kernel& kernel) {
    state.kernel = &kernel;
    state.words_per_period = words_per_period;
    state.op = Operation::WritePeriod;
    state.words = 0;
    state.in_gap = true;
    state.cut_size = 0;
    state.cut_length = 0;
    state.fed = 0;
    state.first_invalid = no_offset;
    state.lines = 0;
    state.period_start = no_offset;
}

void feed_periods(PeriodState& state, const unsigned char* bytes, std::size_t size,
                  OutputStream& output) {
    std::size_t done = state.cut_size != 0 ? complete_cut(state, bytes, size, output) : 0;
    if (state.cut_size != 0) {
        state.fed += size;
        return;
    }
    const unsigned char* const end = bytes + size;
    const std::uint64_t offset = state.fed + done;
    const unsigned char* const p = state.words_per_period > 0
                                       ? walk(state, bytes + done, end, offset, output)
                                       : take_chars(state, bytes + done, end, offset, output);
    state.fed += size;
    if (output.failed || p == end) return;
    // Fewer bytes than the character's length: kept for the next chunk.
    state.cut_length = static_cast<std::uint8_t>(utf8_sequence_length(*p));
    state.cut_size = static_cast<std::uint8_t>(end - p);
    std::copy(p, end, state.cut);
}

void finish_periods(PeriodState& state, OutputStream& output) {
    if (state.cut_size != 0) {
        const std::uint64_t at = state.fed - state.cut_size;
        note_fault(state, at);
        if (state.period_start == no_offset) state.period_start = at;
        state.cut_size = 0;
    }
    if (state.op == Operation::WritePeriod) write_line_end(output);
    end_span(state, output, state.fed);
    state.op = Operation::SkipTail;
}

bool first_fault(const PeriodState& state, std::uint64_t& offset, std::uint64_t& line) {
    offset = state.first_invalid;
    line = state.lines + 1;
    return state.first_invalid != no_offset;
}

} // namespace spezzafrasi
