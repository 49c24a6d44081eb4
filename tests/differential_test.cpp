// The program against the plain model, byte for byte, on random inputs cut
// into buffer fills of every small size.
#include "memory_streams.hpp"
#include "model/plain_periods.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Pieces that random inputs are made of, chosen to meet every rule: word
// bytes, every separator and terminator, the middle dot and its halves,
// lead bytes that swallow what follows, stray and invalid bytes.
const std::vector<std::string_view> pieces = {
    "a",
    "b",
    "parola",
    "x",
    "1",
    ",",
    "'",
    "\t",
    "\v",
    std::string_view("\0", 1),
    " ",
    " ",
    " ",
    "\n",
    "\r\n",
    "\f",
    "  ",
    ".",
    "!",
    "?",
    ":",
    ";",
    "(",
    ")",
    "...",
    "\xC2\xB7",
    "\xC2",
    "\xB7",
    "\xC3\xA8",
    "\xE2\x80\xA6",
    "\xF0\x9F\x98\x80",
    "\xC2\xA0",
    "\xC3",
    "\xE2",
    "\xE2\x82",
    "\xF0",
    "\xF0\x9F",
    "\x80",
    "\xBF",
    "\xF8",
    "\xFF",
    "\xEF\xBB\xBF",
};

std::string random_input(std::mt19937& rng, std::size_t max_pieces) {
    std::string text;
    const std::size_t count = rng() % (max_pieces + 1);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t kind = rng() % 20;
        if (kind == 0) { // a long run of one piece
            const std::string piece(pieces[rng() % pieces.size()]);
            for (std::size_t r = rng() % 40; r > 0; --r)
                text += piece;
        } else if (kind == 1) {
            text += static_cast<char>(rng() % 256);
        } else {
            text += pieces[rng() % pieces.size()];
        }
    }
    return text;
}

const std::vector<std::int32_t> word_counts = {
    -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 1000, std::numeric_limits<std::int32_t>::max()};

TEST(DifferentialTest, ShortInputsEveryBufferSize) {
    std::mt19937 rng(20261208);
    for (int round = 0; round < 400; ++round) {
        const std::string input = random_input(rng, 30);
        for (std::int32_t n : word_counts) {
            const std::string expected = plain_periods_of(input, n);
            for (std::size_t buffer_size = 1; buffer_size <= 9; ++buffer_size) {
                ASSERT_EQ(periods_of(input, n, buffer_size), expected)
                    << "n " << n << ", buffer " << buffer_size << ", input "
                    << testing::PrintToString(input);
            }
        }
    }
}

TEST(DifferentialTest, LongInputsAcrossManyFills) {
    std::mt19937 rng(8122026);
    for (int round = 0; round < 30; ++round) {
        const std::string input = random_input(rng, 3000);
        for (std::int32_t n : word_counts) {
            const std::string expected = plain_periods_of(input, n);
            for (std::size_t buffer_size : {std::size_t{2}, std::size_t{15}, std::size_t{16},
                                            std::size_t{17}, std::size_t{63}, std::size_t{4096}}) {
                ASSERT_EQ(periods_of(input, n, buffer_size), expected)
                    << "n " << n << ", buffer " << buffer_size << ", input "
                    << testing::PrintToString(input);
            }
        }
    }
}

} // namespace
