// Cuts the character stream into periods: one phrase a line, at most
// words_per_period words, single spaces between words, ";" at each line end.
#pragma once

#include "segmentation/byte_stream.hpp"
#include "segmentation/utf8_reader.hpp"

#include <array>
#include <cstdint>

enum class CharClass : std::uint8_t { Separator, Terminator, Word };

// The class of every one-byte character; stray bytes 80 to FF are words.
inline constexpr std::array<CharClass, 256> char_classes = [] {
    std::array<CharClass, 256> table{};
    table.fill(CharClass::Word);
    for (std::size_t c : {0x0Au, 0x0Cu, 0x0Du, 0x20u})
        table[c] = CharClass::Separator;
    for (std::size_t c : {0x21u, 0x28u, 0x29u, 0x2Eu, 0x3Au, 0x3Bu, 0x3Fu})
        table[c] = CharClass::Terminator;
    return table;
}();

inline constexpr std::int32_t middle_dot = 0xC2B7; // U+00B7, the only multi-byte terminator

constexpr CharClass char_class(std::int32_t code) {
    if (code >= 0 && code <= 0xFF) return char_classes[static_cast<std::size_t>(code)];
    return code == middle_dot ? CharClass::Terminator : CharClass::Word;
}

// Writes lines until a separator closes the words_per_period-th word of a
// line (returns 1) or the input ends (returns 0, or -1 on a read error).
// Every line, the last one at the end of the input included, ends with ";"
// and a newline. With words_per_period 0 or less it consumes one character
// and writes one empty line. Returns -1 as soon as a write has failed.
int write_period(InputStream& input, OutputStream& output, std::int32_t words_per_period);

// Drops the rest of an over-long phrase up to and including its terminator.
// Returns 1 when a terminator was consumed, otherwise the result of the read
// that met the end of the input.
int skip_sentence_tail(InputStream& input);
