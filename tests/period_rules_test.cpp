#include "memory_streams.hpp"
#include "model/plain_periods.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

using namespace spezzafrasi;

namespace {

struct PeriodCase {
    const char* name;
    std::string input;
    std::int32_t words_per_period;
    std::string output;
};

const std::vector<PeriodCase> period_cases = {
    {"empty", "", 7, ";\n"},
    {"phrase_with_stop", "Ciao mondo.", 7, "Ciao mondo;\n;\n"},
    {"phrase_with_stop_and_newline", "Ciao mondo.\n", 7, "Ciao mondo;\n;\n"},
    {"no_terminator", "Ciao mondo", 7, "Ciao mondo;\n"},
    {"trailing_newline_leaves_space", "Ciao mondo\n", 7, "Ciao mondo ;\n"},
    {"long_phrase_cut", "a b c d e f g h i j. k l.", 7, "a b c d e f g;\nk l;\n;\n"},
    {"exactly_n_words_then_stop", "a b c d e f g. h", 7, "a b c d e f g;\nh;\n"},
    {"space_before_stop_skips_it", "a b c d e f g .x y", 7, "a b c d e f g;\nx y;\n"},
    {"ellipsis", "...", 7, ";\n;\n;\n;\n"},
    {"middle_dot",
     "Uno\xC2\xB7"
     "due",
     7, "Uno;\ndue;\n"},
    {"parentheses", "otto (nove) dieci.", 7, "otto ;\nnove;\ndieci;\n;\n"},
    {"comma_and_tab_are_word_chars", "uno,  due\ttre", 7, "uno, due\ttre;\n"},
    {"one_word", "Ciao mondo.", 1, "Ciao;\n;\n"},
    {"three_words", "a b c d e f g h i j. k l.", 3, "a b c;\nk l;\n;\n"},
    {"zero_words", "Ciao mondo.", 0, ";\n;\n"},
    {"negative_words", "ab. c", -2, ";\n;\n"},
    {"huge_words", "a b c.", std::numeric_limits<std::int32_t>::max(), "a b c;\n;\n"},
    {"rest_dropped_without_terminator", "a b c d e f g h i j k", 7, "a b c d e f g;\n"},
    {"newline_is_only_a_separator", "a b c d e f g\nh i. j", 7, "a b c d e f g;\nj;\n"},
    {"nth_word_closed_by_trailing_space", "a b c d e f g ", 7, "a b c d e f g;\n"},
    {"trailing_space_before_end", "a b c d e f ", 7, "a b c d e f ;\n"},
    {"ellipsis_after_long_phrase", "a b c d e f g h...", 7, "a b c d e f g;\n;\n;\n;\n"},
    {"byte_order_mark_is_a_word", "\xEF\xBB\xBF Ciao mondo.", 1, "\xEF\xBB\xBF;\n;\n"},
    {"worked_example", "Oggi piove molto forte. Domani no.", 3,
     "Oggi piove molto;\nDomani no;\n;\n"},
    {"crlf_like_lf", "uno\r\ndue\r\n\r\ntre.", 7, "uno due tre;\n;\n"},
    {"leading_separators_dropped", " \n\f\r uno", 7, "uno;\n"},
    {"emoji_copied_whole", "ciao \xF0\x9F\x98\x80!", 7, "ciao \xF0\x9F\x98\x80;\n;\n"},
    {"look_alike_terminators_are_words",
     "a\xE2\x80\xA6 \xC2\xBF"
     "b\xC2\xA1 \xC2\xAB"
     "c\xC2\xBB [d] {e}",
     7,
     "a\xE2\x80\xA6 \xC2\xBF"
     "b\xC2\xA1 \xC2\xAB"
     "c\xC2\xBB [d] {e};\n"},
    {"no_break_space_is_a_word_char",
     "a\xC2\xA0"
     "b c",
     7,
     "a\xC2\xA0"
     "b c;\n"},
    // Every byte of a word reaches the output, including bytes that begin
    // no UTF-8 sequence.
    {"stray_bytes_are_words", "\x80 \xFF\xF8.", 7, "\x80 \xFF\xF8;\n;\n"},
    // A lead byte swallows what follows it, terminators included.
    {"lead_swallows_terminator", "a\xC3. b", 7, "a\xC3. b;\n"},
    {"lead_swallows_separator", "a\xC3 b", 7, "a\xC3 b;\n"},
    {"middle_dot_inside_a_sequence", "a\xE2\xC2\xB7 b", 7, "a\xE2\xC2\xB7 b;\n"},
    {"cut_sequence_dropped", "ciao\xE2\x82", 7, "ciao;\n"},
    {"tail_skip_steps_over_sequences", "a b\xC3. c.d", 1, "a;\nd;\n"},
    {"stray_byte_in_tail", "a b \x80 c. d", 1, "a;\nd;\n"},
    {"nul_and_tab_are_words", std::string("a\0b\tc", 5), 7, std::string("a\0b\tc;\n", 7)},
    // A region of marks is 8 KiB: its only line start, after the
    // terminator at 8190, falls on the character that the region's end
    // cuts, and belongs to the next region.
    {"only_line_start_of_a_region_cut_by_its_end",
     [] {
         std::string text;
         while (text.size() < 8190)
             text += "parola ";
         return text + ".\xC3\xA9 fine.";
     }(),
     7, "parola parola parola parola parola parola parola;\n\xC3\xA9 fine;\n;\n"},
};

void PrintTo(const PeriodCase& c, std::ostream* os) {
    *os << c.name;
}

class PeriodTest : public testing::TestWithParam<PeriodCase> {};

TEST_P(PeriodTest, WritesTheExpectedPeriodsWhateverTheChunkSize) {
    const PeriodCase& c = GetParam();
    for (std::size_t buffer_size : std::initializer_list<std::size_t>{1, 2, 3, 5, 4096}) {
        EXPECT_EQ(periods_of(c.input, c.words_per_period, buffer_size), c.output)
            << "chunk size " << buffer_size;
        EXPECT_EQ(periods_of(c.input, c.words_per_period, buffer_size, crlf_line_end),
                  with_crlf(c.output))
            << "CR LF, chunk size " << buffer_size;
    }
}

// The same rule in the middle of text long enough for the vector paths, at
// every offset in a block and across the end of a region of marks, against
// the plain model.
TEST_P(PeriodTest, HoldsAtEveryOffsetOfABlockAndARegion) {
    const PeriodCase& c = GetParam();
    const std::string around = "Oggi piove molto forte, e domani? Chi sa: forse no. ";
    std::string before;
    while (before.size() < 8300)
        before += around;
    std::vector<std::size_t> offsets;
    for (std::size_t at = 0; at < 64; ++at)
        offsets.push_back(at);
    for (std::size_t at = 8192 - 70; at < 8192 + 6; ++at)
        offsets.push_back(at);
    for (const std::size_t at : offsets) {
        const std::string text = before.substr(0, at) + c.input + " " + before.substr(0, 300);
        ASSERT_EQ(periods_of(text, c.words_per_period, 1 << 16),
                  plain_periods_of(text, c.words_per_period))
            << "at " << at;
    }
}

INSTANTIATE_TEST_SUITE_P(Rules, PeriodTest, testing::ValuesIn(period_cases),
                         [](const auto& test) { return std::string(test.param.name); });

} // namespace
