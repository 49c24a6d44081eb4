// Prints the kernels this processor runs, one a line, for the benchmark.
#include "runnable_kernels.hpp"
#include "segmentation/kernels.hpp"

#include <cstdio>

using namespace spezzafrasi;

int main() {
    for (const Kernel* kernel : runnable_kernels())
        std::puts(kernel->name);
    return 0;
}
