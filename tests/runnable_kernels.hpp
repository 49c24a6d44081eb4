// Every kernel this processor runs, the fastest first, the portable one
// last: for the tests and the benchmark, which hold each against the
// others.
#pragma once

#include "segmentation/kernels.hpp"

#include <vector>

namespace spezzafrasi {

inline std::vector<const Kernel*> runnable_kernels() {
    std::vector<const Kernel*> kernels;
    for (const Kernel* kernel : family_kernels()) {
        if (kernel->runs()) kernels.push_back(kernel);
    }
    return kernels;
}

} // namespace spezzafrasi
