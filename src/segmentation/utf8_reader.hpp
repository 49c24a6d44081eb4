// Turns input bytes into characters. A character is not decoded into a code
// point: it stays the bytes of one UTF-8 sequence, packed into one integer,
// so that it can be compared with a few fixed values and written back as it
// came.
#pragma once

#include <cstddef>
#include <cstdint>

namespace spezzafrasi {

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

// Whether the `length` bytes of the character at `bytes` are well-formed
// UTF-8: a lead that begins a sequence (not 80 to BF, not F8 to FF) and
// bytes that continue it. The form only: an overlong sequence or a
// surrogate is taken as it comes.
inline bool utf8_well_formed(const unsigned char* bytes, std::int32_t length) {
    if (bytes[0] >= 0x80 && (bytes[0] < 0xC0 || bytes[0] >= 0xF8)) return false;
    for (std::int32_t i = 1; i < length; ++i) {
        if ((bytes[i] & 0xC0) != 0x80) return false;
    }
    return true;
}

// The start of the sequence that breaks UTF-8 at `at`, a byte that no lead
// takes as its own (a stray continuation, F8 to FF) or that a lead takes
// but does not continue it: the lead then, when it stands after `begin`.
inline const unsigned char* utf8_fault_start(const unsigned char* at, const unsigned char* begin) {
    if ((*at & 0xC0) == 0x80) return at;
    for (std::ptrdiff_t back = 1; back <= 3 && at - back >= begin; ++back) {
        const unsigned char lead = at[-back];
        if (lead >= 0xC0 && utf8_sequence_length(lead) > back) return at - back;
    }
    return at;
}

// The character whose `length` bytes are at `bytes`.
inline Utf8Char packed_utf8_char(const unsigned char* bytes, std::int32_t length) {
    std::uint32_t code = bytes[0];
    for (std::int32_t i = 1; i < length; ++i)
        code = (code << 8) | bytes[i];
    return {static_cast<std::int32_t>(code), length};
}

// Reads exactly the bytes of one character from `p`, before `end`. Returns
// 1 with the character in `ch` and `p` past it; 0 when the bytes before
// `end` do not hold it whole (then `p` stays where it was: the rest comes
// with the next chunk of the text, or never, and then it is dropped).
inline int read_utf8_char(const unsigned char*& p, const unsigned char* end, Utf8Char& ch) {
    if (p == end) return 0;
    const std::int32_t length = utf8_sequence_length(*p);
    if (static_cast<std::ptrdiff_t>(length) > end - p) return 0;
    ch = packed_utf8_char(p, length);
    p += length;
    return 1;
}

} // namespace spezzafrasi
