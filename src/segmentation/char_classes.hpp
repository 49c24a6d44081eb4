// The classes of characters that cut a text into periods: separators
// between words, terminators at the end of a phrase, and words.
#pragma once

#include <array>
#include <cstdint>

namespace spezzafrasi {

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

} // namespace spezzafrasi
