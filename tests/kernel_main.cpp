// The main of the test programs that run the segmentation: with
// SPEZZAFRASI_KERNEL naming a kernel they run it with that kernel, as the
// library does, and end with status 77 (skipped) when this processor does
// not run it; without, with the fastest.
#include "segmentation/kernels.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace spezzafrasi;

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const char* named = std::getenv("SPEZZAFRASI_KERNEL");
    if (named != nullptr && std::strcmp(chosen_kernel().name, named) != 0) {
        std::printf("this processor does not run the kernel %s: skipped\n", named);
        return 77;
    }
    return RUN_ALL_TESTS();
}
