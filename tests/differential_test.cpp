// The segmentation against the plain model, byte for byte, on random
// inputs fed in chunks of every small size and of random sizes.
#include "memory_streams.hpp"
#include "model/plain_periods.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

using namespace spezzafrasi;

namespace {

// Pieces that random inputs are made of, chosen to meet every rule: word
// bytes, every separator and terminator, the middle dot and its halves,
// lead bytes that swallow what follows, stray and invalid bytes.
const std::vector<std::string_view> pieces = {
    // well-formed
    "a", "b", "parola", "x", "1", ",", "'", "\t", "\v", std::string_view("\0", 1), " ", " ", " ",
    "\n", "\r\n", "\f", "  ", ".", "!", "?", ":", ";", "(", ")", "...", "\xC2\xB7", "\xC3\xA8",
    "\xE2\x80\xA6", "\xF0\x9F\x98\x80", "\xC2\xA0", "\xEF\xBB\xBF",
    // not: halves of sequences, stray and impossible bytes
    "\xC2", "\xB7", "\xC3", "\xE2", "\xE2\x82", "\xF0", "\xF0\x9F", "\x80", "\xBF", "\xF8", "\xFF"};

const std::vector<std::int32_t> word_counts = {
    -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 1000, std::numeric_limits<std::int32_t>::max()};

// The first `well_formed_pieces` pieces are well-formed UTF-8: text made of
// them alone takes the fast paths that whole blocks of such text allow.
const std::size_t well_formed_pieces = 31;

// Any code point, as UTF-8: every lead and continuation byte appears.
std::string random_char(std::mt19937& rng) {
    const std::uint32_t limits[] = {0x80, 0x800, 0x10000, 0x110000};
    const std::uint32_t cp = static_cast<std::uint32_t>(rng()) % limits[rng() % 4];
    std::string bytes;
    const auto add = [&](std::uint32_t b) { bytes += static_cast<char>(b); };
    if (cp < 0x80) {
        add(cp);
    } else if (cp < 0x800) {
        add(0xC0 | cp >> 6);
        add(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        add(0xE0 | cp >> 12);
        add(0x80 | (cp >> 6 & 0x3F));
        add(0x80 | (cp & 0x3F));
    } else {
        add(0xF0 | cp >> 18);
        add(0x80 | (cp >> 12 & 0x3F));
        add(0x80 | (cp >> 6 & 0x3F));
        add(0x80 | (cp & 0x3F));
    }
    return bytes;
}

// A word as real text has them: letters of both cases, accents, digits,
// and often punctuation after it.
std::string random_word(std::mt19937& rng) {
    static const std::vector<std::string_view> letters = {
        "a",        "e",        "i",        "o",        "u",        "l",        "n",        "r",
        "s",        "t",        "c",        "d",        "p",        "m",        "v",        "g",
        "z",        "b",        "f",        "h",        "q",        "E",        "I",        "L",
        "M",        "N",        "P",        "Q",        "A",        "J",        "0",        "7",
        "\xC3\xA0", "\xC3\xA8", "\xC3\xA9", "\xC3\xAC", "\xC3\xB2", "\xC3\xB9", "\xC3\x88", "'"};
    static const std::vector<std::string_view> after = {" ",
                                                        " ",
                                                        " ",
                                                        " ",
                                                        " ",
                                                        ", ",
                                                        ". ",
                                                        "; ",
                                                        ": ",
                                                        "! ",
                                                        "? ",
                                                        "\n",
                                                        "\r\n",
                                                        " (",
                                                        ") ",
                                                        "\xE2\x80\xA6 ",
                                                        " \xC2\xAB",
                                                        "\xC2\xBB ",
                                                        " \xE2\x80\x94 ",
                                                        "\xC2\xB7",
                                                        "  "};
    std::string word;
    for (std::size_t n = 1 + rng() % 12; n > 0; --n)
        word += letters[rng() % letters.size()];
    return word + std::string(after[rng() % after.size()]);
}

std::string random_input(std::mt19937& rng, std::size_t max_pieces, bool well_formed) {
    const std::size_t choices = well_formed ? well_formed_pieces : pieces.size();
    std::string text;
    const std::size_t count = rng() % (max_pieces + 1);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t kind = rng() % 20;
        if (kind == 0) { // a long run of one piece
            const std::string piece(pieces[rng() % choices]);
            for (std::size_t r = rng() % 40; r > 0; --r)
                text += piece;
        } else if (kind == 1 && !well_formed) {
            text += static_cast<char>(rng() % 256);
        } else if (kind <= 3) {
            text += random_char(rng);
        } else if (kind <= 11) {
            text += random_word(rng);
        } else {
            text += pieces[rng() % choices];
        }
    }
    return text;
}

// Chunks of random sizes, from one byte to a few regions of marks.
std::vector<std::size_t> random_chunking(std::mt19937& rng) {
    std::vector<std::size_t> sizes(1 + rng() % 16);
    for (std::size_t& size : sizes)
        size = 1 + (rng() % 3 == 0 ? rng() % 20000 : rng() % 70);
    return sizes;
}

// Every words_per_period, every chunk size and the random chunking: the
// same bytes as the model, with either line end; and in the random
// chunking the model's spans and first fault.
void expect_as_model(const std::string& input, const std::vector<std::size_t>& buffer_sizes,
                     const std::vector<std::size_t>& chunking = {4096}) {
    for (std::int32_t n : word_counts) {
        const PlainResult model = plain_model_of(input, n);
        const std::string& expected = model.periods;
        for (std::size_t buffer_size : buffer_sizes) {
            ASSERT_EQ(periods_of(input, n, buffer_size), expected)
                << "n " << n << ", chunk " << buffer_size << ", input "
                << testing::PrintToString(input);
        }
        const Segmented got = segment_in_chunks(input, n, chunking);
        const std::string where = "n " + std::to_string(n) + ", chunks " +
                                  testing::PrintToString(chunking) + ", input " +
                                  testing::PrintToString(input);
        ASSERT_EQ(got.periods, expected) << where;
        ASSERT_EQ(got.spans.size(), model.spans.size()) << where;
        for (std::size_t i = 0; i < got.spans.size(); ++i) {
            const PeriodSpan& span = got.spans[i];
            ASSERT_EQ((PlainSpan{span.start, span.end, span.line_end}), model.spans[i])
                << "span " << i << ", " << where;
        }
        ASSERT_EQ(got.fault_offset, model.fault_offset) << where;
        ASSERT_EQ(got.fault_line, model.fault_line) << where;
        const std::size_t buffer_size =
            buffer_sizes[static_cast<std::size_t>(n & 0xFF) % buffer_sizes.size()];
        ASSERT_EQ(periods_of(input, n, buffer_size, crlf_line_end),
                  plain_periods_of(input, n, ";\r\n"))
            << "CR LF, n " << n << ", buffer " << buffer_size << ", input "
            << testing::PrintToString(input);
    }
}

TEST(DifferentialTest, ShortInputsEveryBufferSize) {
    std::mt19937 rng(20261208);
    const std::vector<std::size_t> sizes = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    for (int round = 0; round < 400; ++round) {
        expect_as_model(random_input(rng, 30, round % 2 == 0), sizes, random_chunking(rng));
        if (HasFatalFailure()) return;
    }
}

// Buffers around the sizes where blocks of 64 bytes, the room for the
// fixed-size copies of whole lines, and more than one region of marks
// begin to fit.
TEST(DifferentialTest, LongInputsAcrossManyFills) {
    std::mt19937 rng(8122026);
    const std::vector<std::size_t> sizes = {2,   63,  64,  65,  127,  128,  129,
                                            255, 256, 300, 400, 4096, 20000};
    for (int round = 0; round < 40; ++round) {
        expect_as_model(random_input(rng, 3000, round % 2 == 0), sizes, random_chunking(rng));
        if (HasFatalFailure()) return;
    }
}

// A character that straddles the end of a region of marks (8 KiB into a
// buffer fill) is marked whole with the next region: the middle dot still
// ends a phrase, the others stay word bytes.
TEST(DifferentialTest, CharactersAcrossBlockAndRegionEnds) {
    constexpr std::size_t block = 64;
    constexpr std::size_t region = 8192;
    // The last one is cut short: it takes the terminator that follows, in
    // a block of ASCII alone.
    const std::string_view characters[] = {"\xC2\xB7", "\xE2\x80\xA6", "\xF0\x9F\x98\x80", "\xC3"};
    const std::string_view after =
        ". Poi domani piove ancora, e dopodomani anche: qui piove sempre. Fine.";
    for (const std::string_view ch : characters) {
        for (const std::size_t end : {3 * block, region}) {
            for (std::size_t before = end - ch.size(); before < end; ++before) {
                std::string text;
                while (text.size() < before)
                    text += "Oggi piove forte. ";
                text.resize(before);
                text += std::string(ch) + std::string(after);
                expect_as_model(text, {20000});
                if (HasFatalFailure()) return;
            }
        }
    }
}

} // namespace
