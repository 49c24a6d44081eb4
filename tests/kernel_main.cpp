// The main of the test programs that run the segmentation: with
// `--kernel NAME` they run it with that kernel, and end with status 77
// (skipped) when this processor does not run it; without, with the fastest.
#include "memory_streams.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string_view>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string_view(argv[i]) != "--kernel") continue;
        if (!choose_tested_kernel(argv[i + 1])) {
            std::printf("this processor does not run the kernel %s: skipped\n", argv[i + 1]);
            return 77;
        }
    }
    return RUN_ALL_TESTS();
}
