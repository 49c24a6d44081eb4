// The C interface against the segmentation it wraps: the same bytes from
// one call into a caller's buffer and from a stream fed in chunks, never a
// byte outside the caller's buffer, and errors as return codes.
#include "memory_streams.hpp"
#include "spezzafrasi.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

std::string prose(std::size_t size) {
    std::string text;
    while (text.size() < size)
        text += "Oggi piove molto forte, e domani? Chi sa: forse no.\n  Poi (dicono) il sole. ";
    text.resize(size);
    return text;
}

struct ApiCase {
    const char* name;
    std::string input;
    int words_per_period;
    int line_end;
};

const std::vector<ApiCase> api_cases = {
    {"empty", "", 7, SPEZZAFRASI_LF},
    {"prose", prose(20000), 7, SPEZZAFRASI_LF},
    {"prose_crlf", prose(20000), 3, SPEZZAFRASI_CRLF},
    {"zero_words", "Ciao mondo. Altro.", 0, SPEZZAFRASI_LF},
    // The outputs that come closest to the bound: a line end a byte.
    {"terminators_crlf", std::string(5000, '.'), 7, SPEZZAFRASI_CRLF},
    {"one_char_periods_crlf", std::string(5000, 'a'), -1, SPEZZAFRASI_CRLF},
    {"one_word_lines", std::string(3000, 'a') + prose(3000), 1, SPEZZAFRASI_CRLF},
    {"cut_character", "ciao\xE2\x82", 7, SPEZZAFRASI_LF},
};

void PrintTo(const ApiCase& c, std::ostream* os) {
    *os << c.name;
}

LineEnd line_end_of(int line_end) {
    return line_end == SPEZZAFRASI_CRLF ? crlf_line_end : lf_line_end;
}

class ApiTest : public testing::TestWithParam<ApiCase> {};

// The whole output fits in the bound, and in exactly its own size; with
// less room, ERROR_SPACE and not a byte past the room given.
TEST_P(ApiTest, OneCallWritesThePeriodsInsideTheBuffer) {
    const ApiCase& c = GetParam();
    const std::string expected =
        periods_of(c.input, c.words_per_period, 4096, line_end_of(c.line_end));
    const std::size_t bound = spezzafrasi_bound(c.input.size());
    ASSERT_LE(expected.size(), bound);
    constexpr std::size_t guard = 256;
    std::vector<unsigned char> buffer(bound + guard);
    const std::size_t last = expected.size();
    const std::size_t first = last > 300 ? last - 300 : 0;
    for (std::size_t room = last + 1; room-- > first;) {
        std::fill(buffer.begin(), buffer.end(), 0xA5);
        std::size_t size = 12345;
        const int result = spezzafrasi_periods(c.input.data(), c.input.size(), buffer.data(), room,
                                               &size, c.words_per_period, c.line_end);
        if (room == last) {
            ASSERT_EQ(result, SPEZZAFRASI_OK);
            ASSERT_EQ(std::string(buffer.begin(), buffer.begin() + static_cast<long>(size)),
                      expected);
        } else {
            ASSERT_EQ(result, SPEZZAFRASI_ERROR_SPACE) << "room " << room;
            ASSERT_LE(size, room);
        }
        for (std::size_t i = room; i < room + guard; ++i)
            ASSERT_EQ(buffer[i], 0xA5) << "written at " << i << " with room " << room;
    }
}

struct Collected {
    std::string text;
    std::size_t refuse_after = SIZE_MAX; // bytes taken before the sink refuses
    int calls = 0;
};

int collect(void* context, const void* bytes, size_t size) {
    auto& collected = *static_cast<Collected*>(context);
    ++collected.calls;
    if (collected.text.size() + size > collected.refuse_after) return 1;
    collected.text.append(static_cast<const char*>(bytes), size);
    return 0;
}

// Chunks of random sizes, one byte included, give the bytes of one call.
TEST_P(ApiTest, StreamInRandomChunksGivesTheSameBytes) {
    const ApiCase& c = GetParam();
    std::vector<unsigned char> whole(spezzafrasi_bound(c.input.size()));
    std::size_t size = 0;
    ASSERT_EQ(spezzafrasi_periods(c.input.data(), c.input.size(), whole.data(), whole.size(), &size,
                                  c.words_per_period, c.line_end),
              SPEZZAFRASI_OK);
    std::mt19937 rng(21);
    for (int round = 0; round < 4; ++round) {
        Collected collected;
        spezzafrasi_stream* stream =
            spezzafrasi_stream_new(c.words_per_period, c.line_end, collect, &collected);
        ASSERT_NE(stream, nullptr);
        for (std::size_t at = 0; at < c.input.size();) {
            const std::size_t chunk =
                std::min<std::size_t>(round == 0 ? 1 : 1 + rng() % 5000, c.input.size() - at);
            ASSERT_EQ(spezzafrasi_stream_feed(stream, c.input.data() + at, chunk), SPEZZAFRASI_OK);
            at += chunk;
        }
        ASSERT_EQ(spezzafrasi_stream_finish(stream), SPEZZAFRASI_OK);
        EXPECT_EQ(spezzafrasi_stream_finish(stream), SPEZZAFRASI_ERROR_FINISHED);
        EXPECT_EQ(spezzafrasi_stream_feed(stream, "a", 1), SPEZZAFRASI_ERROR_FINISHED);
        spezzafrasi_stream_free(stream);
        ASSERT_EQ(collected.text,
                  std::string(whole.begin(), whole.begin() + static_cast<long>(size)))
            << "round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, ApiTest, testing::ValuesIn(api_cases),
                         [](const auto& test) { return std::string(test.param.name); });

// Errors are results, never a crash or a partial success.
TEST(ApiErrorTest, ArgumentsAndSinkFailures) {
    std::size_t size = 0;
    char out[16];
    EXPECT_EQ(spezzafrasi_periods(nullptr, 1, out, sizeof out, &size, 7, SPEZZAFRASI_LF),
              SPEZZAFRASI_ERROR_ARGUMENT);
    EXPECT_EQ(spezzafrasi_periods("a", 1, nullptr, 4, &size, 7, SPEZZAFRASI_LF),
              SPEZZAFRASI_ERROR_ARGUMENT);
    EXPECT_EQ(spezzafrasi_periods("a", 1, out, sizeof out, nullptr, 7, SPEZZAFRASI_LF),
              SPEZZAFRASI_ERROR_ARGUMENT);
    EXPECT_EQ(spezzafrasi_periods("a", 1, out, sizeof out, &size, 7, 2),
              SPEZZAFRASI_ERROR_ARGUMENT);
    EXPECT_EQ(spezzafrasi_periods(nullptr, 0, out, sizeof out, &size, 7, SPEZZAFRASI_LF),
              SPEZZAFRASI_OK);
    EXPECT_EQ(spezzafrasi_stream_new(7, 2, collect, nullptr), nullptr);
    EXPECT_EQ(spezzafrasi_stream_new(7, SPEZZAFRASI_LF, nullptr, nullptr), nullptr);
    EXPECT_EQ(spezzafrasi_stream_feed(nullptr, "a", 1), SPEZZAFRASI_ERROR_ARGUMENT);
    EXPECT_EQ(spezzafrasi_bound(SIZE_MAX / 2), 0U);

    // A sink that refuses stops the stream for good: the walk neither
    // writes nor asks the sink again.
    Collected collected{{}, 100};
    spezzafrasi_stream* stream = spezzafrasi_stream_new(7, SPEZZAFRASI_LF, collect, &collected);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(spezzafrasi_stream_feed(stream, nullptr, 0), SPEZZAFRASI_OK);
    const std::string text = prose(100000);
    EXPECT_EQ(spezzafrasi_stream_feed(stream, text.data(), text.size()), SPEZZAFRASI_ERROR_SINK);
    EXPECT_EQ(spezzafrasi_stream_feed(stream, "a.", 2), SPEZZAFRASI_ERROR_SINK);
    EXPECT_EQ(spezzafrasi_stream_finish(stream), SPEZZAFRASI_ERROR_SINK);
    EXPECT_EQ(collected.text, "");
    EXPECT_EQ(collected.calls, 1);
    spezzafrasi_stream_free(stream);
    spezzafrasi_stream_free(nullptr);
}

} // namespace
