#include "memory_streams.hpp"
#include "run_loop.hpp"
#include "segmentation/kernels.hpp"
#include "segmentation/periods.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <limits>

using namespace spezzafrasi;

namespace {

// The tests run once per kernel, named on their command line: each run
// must walk with that kernel, and not the processor's best in its place.
TEST(TestedKernelTest, IsTheOneNamed) {
    const char* named = std::getenv("SPEZZAFRASI_KERNEL");
    if (named == nullptr) GTEST_SKIP() << "no kernel named";
    EXPECT_STREQ(chosen_kernel().name, named);
    PeriodState state{};
    start_periods(state, 7);
    EXPECT_STREQ(state.kernel->name, named);
}

TEST(ParseWordsPerPeriodTest, ReadsLikeAtoiButClamps) {
    constexpr auto max = std::numeric_limits<std::int32_t>::max();
    constexpr auto min = std::numeric_limits<std::int32_t>::min();
    const struct {
        const char* text;
        std::int32_t value;
    } cases[] = {
        {"3", 3},
        {"  \t\n12", 12},
        {"+5", 5},
        {"-2", -2},
        {"abc", 0},
        {"", 0},
        {"4parole", 4},
        {"0x10", 0},
        {"- 3", 0},
        {"2147483647", max},
        {"2147483648", max},
        {"99999999999999999999", max},
        {"-2147483648", min},
        {"-2147483649", min},
        {"-99999999999999999999", min},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_words_per_period(c.text), c.value) << '"' << c.text << '"';
    }
}

} // namespace
