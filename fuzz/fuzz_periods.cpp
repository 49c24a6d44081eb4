// libFuzzer target: the first byte chooses words_per_period, the second how
// the text is cut into chunks, the rest is the text. The output of the
// chunks must be that of one pass over the whole text, and both the plain
// model's, byte for byte; on well-formed UTF-8 it must also keep the shape
// that the rules promise.
#include "memory_streams.hpp"
#include "model/plain_periods.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::int32_t words_per_period_of(std::uint8_t byte) {
    switch (byte) {
    case 0x7F:
        return std::numeric_limits<std::int32_t>::max();
    case 0x80:
        return std::numeric_limits<std::int32_t>::min();
    default:
        return static_cast<std::int8_t>(byte);
    }
}

// Chunk sizes from one byte: a few small ones in turn, from 1 to 130 bytes,
// or one of 64 KiB.
std::vector<std::size_t> chunking_of(std::uint8_t byte) {
    if (byte == 0xFF) return {std::size_t{1} << 16};
    std::vector<std::size_t> sizes;
    std::uint32_t state = byte;
    for (int i = 0; i < 1 + byte % 7; ++i) {
        state = state * 1103515245 + 12345;
        sizes.push_back(1 + (state >> 16) % 130);
    }
    return sizes;
}

// Every lead byte followed by exactly its continuation bytes.
bool well_formed(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        if (lead < 0x80)
            length = 1;
        else if ((lead & 0xE0) == 0xC0)
            length = 2;
        else if ((lead & 0xF0) == 0xE0)
            length = 3;
        else if ((lead & 0xF8) == 0xF0)
            length = 4;
        else
            return false;
        if (i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return true;
}

void fail(const char* what) {
    std::fprintf(stderr, "fuzz_periods: %s\n", what);
    std::abort();
}

void check_shape(std::string_view input, std::string_view output, std::int32_t n) {
    if (output.size() < 2 || output.substr(output.size() - 2) != ";\n") fail("no last line");
    std::string words; // the output without spaces, line ends and ";"
    for (std::size_t start = 0; start < output.size();) {
        const std::size_t end = output.find('\n', start);
        const std::string_view line = output.substr(start, end - start);
        if (line.empty() || line.back() != ';') fail("a line that does not end with ;");
        std::int64_t count = 0;
        bool in_word = false;
        for (char c : line.substr(0, line.size() - 1)) {
            if (c == ';') fail("a ; inside a line");
            if (c != ' ') words += c;
            if (c != ' ' && !in_word) ++count;
            in_word = c != ' ';
        }
        if (n > 0 && count > n) fail("a line with more than n words");
        if (n <= 0 && count > 0) fail("a word with n <= 0");
        start = end + 1;
    }
    std::size_t at = 0;
    for (char c : input) {
        if (at < words.size() && words[at] == c) ++at;
    }
    if (at != words.size()) fail("output words that are not in the input in order");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::int32_t n = words_per_period_of(data[0]);
    const std::string input(reinterpret_cast<const char*>(data + 2), size - 2);
    const std::string output = periods_of(input, n, std::max<std::size_t>(input.size(), 1));
    if (periods_in_chunks(input, n, chunking_of(data[1])) != output) {
        fail("output in chunks differs from one pass");
    }
    if (output != plain_periods_of(input, n)) fail("output differs from the plain model");
    if (well_formed(input)) check_shape(input, output, n);
    return 0;
}
