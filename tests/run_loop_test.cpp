#include "run_loop.hpp"
#include "segmentation/kernels.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>

namespace {

// Each of these test programs is built for one kernel: it must run that
// kernel, and not the processor's best in its place.
TEST(ChosenKernelTest, IsTheOneThisProgramIsBuiltFor) {
    for (const Kernel* kernel : family_kernels()) {
        if (std::strcmp(kernel->name, SPEZZAFRASI_TEST_KERNEL) != 0) continue;
        if (!processor_runs(*kernel)) GTEST_SKIP() << "this processor has no " << kernel->name;
        EXPECT_STREQ(chosen_kernel().name, SPEZZAFRASI_TEST_KERNEL);
        return;
    }
    FAIL() << "no kernel named " << SPEZZAFRASI_TEST_KERNEL;
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
