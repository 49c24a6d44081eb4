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

using namespace spezzafrasi;

// Found by the tests' comparisons, for a type of the C interface.
bool operator==(const spezzafrasi_span& a, const spezzafrasi_span& b) {
    return a.start == b.start && a.end == b.end && a.line_end == b.line_end;
}

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
    // Runs of separators inside lines, which a chunk's end may split.
    {"separator_runs", "uno  due\n\ttre  quattro   cinque  sei sette  otto. nove  dieci\n ", 7,
     SPEZZAFRASI_LF},
    // A lead byte takes line feeds and terminators into its word.
    {"latin1", prose(3000) + "Citt\xE0:\nPerch\xE9 no.\n" + prose(3000), 7, SPEZZAFRASI_LF},
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
    std::vector<spezzafrasi_span> spans;
};

int collect(void* context, const void* bytes, size_t size) {
    auto& collected = *static_cast<Collected*>(context);
    ++collected.calls;
    if (collected.text.size() + size > collected.refuse_after) return 1;
    collected.text.append(static_cast<const char*>(bytes), size);
    return 0;
}

// Spans come after the bytes of their lines.
int collect_spans(void* context, const spezzafrasi_span* spans, size_t count) {
    auto& collected = *static_cast<Collected*>(context);
    for (std::size_t i = 0; i < count; ++i) {
        if (spans[i].line_end > collected.text.size()) return 1;
        collected.spans.push_back(spans[i]);
    }
    return 0;
}

// The spans and the fault of one call are the segmentation's; with a span
// less room than the text needs, ERROR_SPACE and not a span past it.
TEST_P(ApiTest, OneCallGivesSpansAndFaultInsideTheirBuffer) {
    const ApiCase& c = GetParam();
    const Segmented expected =
        segment_in_chunks(c.input, c.words_per_period, std::vector<std::size_t>{4096});
    std::vector<char> out(spezzafrasi_bound(c.input.size()));
    const std::size_t count = expected.spans.size();
    std::vector<spezzafrasi_span> spans(count + 1);
    for (const std::size_t room : {count, count - 1}) {
        std::fill(spans.begin(), spans.end(), spezzafrasi_span{7, 7, 7});
        std::size_t size = 0;
        std::size_t got = 0;
        spezzafrasi_fault fault{1, 1};
        const int result = spezzafrasi_periods_spans(c.input.data(), c.input.size(), out.data(),
                                                     out.size(), &size, spans.data(), room, &got,
                                                     &fault, c.words_per_period, c.line_end);
        EXPECT_EQ(spans[room], (spezzafrasi_span{7, 7, 7})) << "written past the room";
        if (room < count) {
            EXPECT_EQ(result, SPEZZAFRASI_ERROR_SPACE);
            continue;
        }
        ASSERT_EQ(result, SPEZZAFRASI_OK);
        EXPECT_EQ(fault.offset, expected.fault_offset);
        EXPECT_EQ(fault.line, expected.fault_line);
        ASSERT_EQ(got, count);
        for (std::size_t i = 0; i < count; ++i) {
            // The line ends differ with CR LF: the offsets in the text not.
            ASSERT_EQ(spans[i].start, expected.spans[i].start) << i;
            ASSERT_EQ(spans[i].end, expected.spans[i].end) << i;
        }
    }
}

// Chunks of random sizes, one byte included, give the bytes, the spans and
// the fault of one call.
TEST_P(ApiTest, StreamInRandomChunksGivesTheSameBytes) {
    const ApiCase& c = GetParam();
    std::vector<unsigned char> whole(spezzafrasi_bound(c.input.size()));
    std::vector<spezzafrasi_span> spans(spezzafrasi_span_bound(c.input.size()));
    std::size_t size = 0;
    std::size_t count = 0;
    spezzafrasi_fault fault{};
    ASSERT_EQ(spezzafrasi_periods_spans(c.input.data(), c.input.size(), whole.data(), whole.size(),
                                        &size, spans.data(), spans.size(), &count, &fault,
                                        c.words_per_period, c.line_end),
              SPEZZAFRASI_OK);
    spans.resize(count);
    std::mt19937 rng(21);
    for (int round = 0; round < 4; ++round) {
        Collected collected;
        spezzafrasi_stream* stream =
            spezzafrasi_stream_new(c.words_per_period, c.line_end, collect, &collected);
        ASSERT_NE(stream, nullptr);
        ASSERT_EQ(spezzafrasi_stream_spans(stream, collect_spans), SPEZZAFRASI_OK);
        ASSERT_EQ(spezzafrasi_stream_feed(stream, nullptr, 0), SPEZZAFRASI_OK);
        for (std::size_t at = 0; at < c.input.size();) {
            const std::size_t chunk =
                std::min<std::size_t>(round == 0 ? 1 : 1 + rng() % 5000, c.input.size() - at);
            ASSERT_EQ(spezzafrasi_stream_feed(stream, c.input.data() + at, chunk), SPEZZAFRASI_OK);
            at += chunk;
        }
        EXPECT_EQ(spezzafrasi_stream_spans(stream, collect_spans), SPEZZAFRASI_ERROR_ARGUMENT);
        ASSERT_EQ(spezzafrasi_stream_finish(stream), SPEZZAFRASI_OK);
        EXPECT_EQ(spezzafrasi_stream_finish(stream), SPEZZAFRASI_ERROR_FINISHED);
        EXPECT_EQ(spezzafrasi_stream_feed(stream, "a", 1), SPEZZAFRASI_ERROR_FINISHED);
        spezzafrasi_fault streamed{};
        EXPECT_EQ(spezzafrasi_stream_fault(stream, &streamed),
                  fault.offset == SPEZZAFRASI_NO_FAULT ? 0 : 1);
        EXPECT_EQ(streamed.offset, fault.offset);
        EXPECT_EQ(streamed.line, fault.line);
        spezzafrasi_stream_free(stream);
        ASSERT_EQ(collected.text,
                  std::string(whole.begin(), whole.begin() + static_cast<long>(size)))
            << "round " << round;
        ASSERT_EQ(collected.spans, spans) << "round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, ApiTest, testing::ValuesIn(api_cases),
                         [](const auto& test) { return std::string(test.param.name); });

// The example that the header and the manual give.
TEST(ApiSpanTest, TheDocumentedExample) {
    const std::string text = "Oggi piove molto forte. Domani no.";
    char out[64];
    spezzafrasi_span spans[4];
    std::size_t size = 0;
    std::size_t count = 0;
    ASSERT_EQ(spezzafrasi_periods_spans(text.data(), text.size(), out, sizeof out, &size, spans, 4,
                                        &count, nullptr, 3, SPEZZAFRASI_LF),
              SPEZZAFRASI_OK);
    EXPECT_EQ(std::string(out, size), "Oggi piove molto;\nDomani no;\n;\n");
    ASSERT_EQ(count, 3U);
    EXPECT_EQ(spans[0], (spezzafrasi_span{0, 23, 18}));
    EXPECT_EQ(spans[1], (spezzafrasi_span{24, 34, 29}));
    EXPECT_EQ(spans[2], (spezzafrasi_span{34, 34, 31}));
}

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
    spezzafrasi_span span{};
    EXPECT_EQ(spezzafrasi_periods_spans("a", 1, out, sizeof out, &size, &span, 1, nullptr, nullptr,
                                        7, SPEZZAFRASI_LF),
              SPEZZAFRASI_ERROR_ARGUMENT);
    EXPECT_EQ(spezzafrasi_stream_fault(nullptr, nullptr), SPEZZAFRASI_ERROR_ARGUMENT);

    // A sink that refuses stops the stream for good: the walk neither
    // writes nor asks the sink again.
    Collected collected{{}, 100, 0, {}};
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

// A sink that calls its own stream is refused, and the text goes on whole:
// a finish from inside the sink once wrote into the buffer being handed on.
TEST(ApiErrorTest, SinkCallingItsOwnStreamIsRefused) {
    struct Reentering {
        spezzafrasi_stream* stream;
        std::string text;
        std::vector<int> answers;
    } r{nullptr, {}, {}};
    const auto sink = [](void* context, const void* bytes, size_t size) {
        auto& self = *static_cast<Reentering*>(context);
        self.text.append(static_cast<const char*>(bytes), size);
        self.answers.push_back(spezzafrasi_stream_feed(self.stream, "a. ", 3));
        self.answers.push_back(spezzafrasi_stream_finish(self.stream));
        return 0;
    };
    r.stream = spezzafrasi_stream_new(7, SPEZZAFRASI_LF, sink, &r);
    ASSERT_NE(r.stream, nullptr);
    const std::string text = prose(100000);
    EXPECT_EQ(spezzafrasi_stream_feed(r.stream, text.data(), text.size()), SPEZZAFRASI_OK);
    EXPECT_EQ(spezzafrasi_stream_finish(r.stream), SPEZZAFRASI_OK);
    spezzafrasi_stream_free(r.stream);
    const std::string expected = periods_of(text, 7);
    EXPECT_TRUE(r.text == expected) << r.text.size() << " bytes, not " << expected.size();
    ASSERT_FALSE(r.answers.empty());
    for (const int answer : r.answers)
        EXPECT_EQ(answer, SPEZZAFRASI_ERROR_BUSY);
}

} // namespace
