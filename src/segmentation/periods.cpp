#include "segmentation/periods.hpp"

#include "segmentation/period_writer.hpp"
#include "segmentation/utf8_reader.hpp"

#include <algorithm>

namespace {

void write_char(OutputStream& output, const Utf8Char& ch) {
    const auto code = static_cast<std::uint32_t>(ch.code);
    for (std::int32_t shift = 8 * (ch.length - 1); shift >= 0; shift -= 8)
        write_byte(output, static_cast<unsigned char>(code >> shift));
}

void end_line(PeriodState& state, OutputStream& output) {
    write_line_end(output);
    state.words = 0;
    state.in_gap = true;
}

// One character, outside the kernel's walk: a character that two chunks
// cut, or any character when every period takes one (words_per_period 0 or
// less). Only a separator can close a word, and a separator is one byte,
// never cut: a character here ends a line or belongs to a word.
void take_char(PeriodState& state, const Utf8Char& ch, OutputStream& output) {
    const bool terminator = char_class(ch.code) == CharClass::Terminator;
    if (state.op == Operation::SkipTail) {
        if (terminator) {
            state.op = Operation::WritePeriod;
            state.words = 0;
            state.in_gap = true;
        }
    } else if (state.words_per_period <= 0) {
        end_line(state, output);
        state.op = Operation::SkipTail;
    } else if (terminator) {
        end_line(state, output);
    } else {
        write_char(output, ch);
        state.in_gap = false;
    }
}

// With words_per_period 0 or less: a character at a time.
const unsigned char* take_chars(PeriodState& state, const unsigned char* p,
                                const unsigned char* end, OutputStream& output) {
    Utf8Char ch{};
    for (const unsigned char* at = p; !output.failed && read_utf8_char(p, end, ch) == 1; at = p) {
        note_utf8_fault(state.invalid, at, ch.length);
        take_char(state, ch, output);
    }
    return p;
}

void note_fault(PeriodState& state, std::uint64_t at) {
    if (state.first_invalid == no_fault) state.first_invalid = at;
}

// feed_periods, or with `goes_on` feed_some_periods.
std::size_t feed(PeriodState& state, const unsigned char* bytes, std::size_t size,
                 OutputStream& output, bool goes_on) {
    const unsigned char* p = bytes;
    const unsigned char* const end = bytes + size;
    if (state.cut_size != 0) {
        const std::size_t missing = std::min<std::size_t>(state.cut_length - state.cut_size, size);
        std::copy_n(p, missing, state.cut + state.cut_size);
        const std::size_t had = state.cut_size;
        state.cut_size = static_cast<std::uint8_t>(had + missing);
        p += missing;
        if (state.cut_size < state.cut_length) {
            state.fed += size;
            return size;
        }
        state.cut_size = 0;
        if (!utf8_well_formed(state.cut, state.cut_length)) note_fault(state, state.fed - had);
        take_char(state, packed_utf8_char(state.cut, state.cut_length), output);
    }
    state.invalid = nullptr;
    p = state.words_per_period > 0 ? state.kernel->walk(state, p, end, output, goes_on)
                                   : take_chars(state, p, end, output);
    if (state.invalid != nullptr) {
        note_fault(state, state.fed + static_cast<std::uint64_t>(state.invalid - bytes));
    }
    const auto taken = static_cast<std::size_t>(p - bytes);
    if (goes_on && !output.failed) {
        state.fed += taken;
        return taken;
    }
    state.fed += size;
    if (output.failed || p == end) return size;
    // Fewer bytes than the character's length: kept for the next chunk.
    state.cut_length = static_cast<std::uint8_t>(utf8_sequence_length(*p));
    state.cut_size = static_cast<std::uint8_t>(end - p);
    std::copy(p, end, state.cut);
    return size;
}

} // namespace

void start_periods(PeriodState& state, std::int32_t words_per_period, const Kernel& kernel) {
    state = PeriodState{};
    state.first_invalid = no_fault;
    state.kernel = &kernel;
    state.words_per_period = words_per_period;
    state.op = Operation::WritePeriod;
    state.in_gap = true;
}

void feed_periods(PeriodState& state, const unsigned char* bytes, std::size_t size,
                  OutputStream& output) {
    feed(state, bytes, size, output, false);
}

std::size_t feed_some_periods(PeriodState& state, const unsigned char* bytes, std::size_t size,
                              OutputStream& output) {
    return feed(state, bytes, size, output, true);
}

void finish_periods(PeriodState& state, OutputStream& output) {
    if (state.op == Operation::WritePeriod) write_line_end(output);
    if (state.cut_size != 0) note_fault(state, state.fed - state.cut_size);
    state.cut_size = 0;
    state.op = Operation::SkipTail; // a second finish writes nothing more
}
