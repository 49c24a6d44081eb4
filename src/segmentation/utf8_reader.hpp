// Turns input bytes into characters. A character is not decoded into a code
// point: it stays the bytes of one UTF-8 sequence, packed into one integer,
// so that it can be compared with a few fixed values and written back as it
// came.
#pragma once

#include "segmentation/byte_stream.hpp"

#include <cstdint>

struct Utf8Char {
    // The bytes of the sequence, lead byte most significant. Four-byte
    // characters come out negative; nothing compares them by sign.
    std::int32_t code;
    std::int32_t length; // 1 to 4
};

// Length of the sequence that `lead` begins. The lead byte alone decides it:
// the bytes that follow are not checked for the continuation form. A byte
// that begins no sequence (a stray continuation byte, F8 to FF) stands alone.
constexpr std::int32_t utf8_sequence_length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 1;
}

// Byte by byte, for a character that straddles two buffer fills.
int read_utf8_char_across_refills(InputStream& input, Utf8Char& ch);

// Reads exactly the bytes of one character. Returns 1 with the character in
// `ch`; 0 at the end of the input, also when the input ends inside a
// sequence (the incomplete character is dropped); -1 on a read error.
inline int read_utf8_char(InputStream& input, Utf8Char& ch) {
    if (input.pos < input.end) {
        const unsigned char* bytes = input.buffer + input.pos;
        const std::int32_t length = utf8_sequence_length(bytes[0]);
        if (static_cast<std::size_t>(length) <= input.end - input.pos) {
            std::uint32_t code = bytes[0];
            for (std::int32_t i = 1; i < length; ++i)
                code = (code << 8) | bytes[i];
            ch.code = static_cast<std::int32_t>(code);
            ch.length = length;
            input.pos += static_cast<std::size_t>(length);
            return 1;
        }
    }
    return read_utf8_char_across_refills(input, ch);
}
