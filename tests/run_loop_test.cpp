#include "memory_streams.hpp"
#include "platform/write_retry.hpp"
#include "run_loop.hpp"
#include "segmentation/kernels.hpp"
#include "segmentation/periods.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <vector>

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

// A write that takes nothing is retried, eight times at most, then fails
// with EIO; an interrupted one is retried without counting; any other
// error is the cause. Past its script a write takes 1 byte, so that a
// retry gone wrong ends.
TEST(WriteRetryingTest, RetriesWhatMayStillSucceed) {
    const WriteAttempt nothing{0, 0};
    const WriteAttempt interrupted{-1, EINTR};
    const struct {
        const char* name;
        std::vector<WriteAttempt> attempts;
        std::ptrdiff_t put;
        int error;
    } cases[] = {
        {"takes at once", {{5, 0}}, 5, 0},
        {"nothing, then something", {nothing, nothing, {3, 0}}, 3, 0},
        {"nothing beside a stale error", {{0, ENOSPC}, {2, 0}}, 2, 0},
        {"interrupted, not counted", {9, interrupted}, 1, 0},
        {"fails", {{-1, ENOSPC}}, -1, ENOSPC},
        {"nothing eight times", {8, nothing}, -1, EIO},
    };
    for (const auto& c : cases) {
        std::size_t calls = 0;
        int error = 0;
        const std::ptrdiff_t put = write_retrying(
            [&] {
                return calls < c.attempts.size() ? c.attempts[calls++] : WriteAttempt{1, 0};
            },
            error);
        EXPECT_EQ(put, c.put) << c.name;
        if (c.put < 0) {
            EXPECT_EQ(error, c.error) << c.name;
        }
    }
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
