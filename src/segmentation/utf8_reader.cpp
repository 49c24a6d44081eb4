#include "segmentation/utf8_reader.hpp"

int read_utf8_char_across_refills(InputStream& input, Utf8Char& ch) {
    unsigned char byte = 0;
    int result = read_byte(input, byte);
    if (result != 1) return result;
    const std::int32_t length = utf8_sequence_length(byte);
    std::uint32_t code = byte;
    for (std::int32_t i = 1; i < length; ++i) {
        result = read_byte(input, byte);
        if (result != 1) return result;
        code = (code << 8) | byte;
    }
    ch.code = static_cast<std::int32_t>(code);
    ch.length = length;
    return 1;
}
