// Prints the kernels this processor runs, one a line, for the benchmark.
#include "segmentation/kernels.hpp"

#include <cstdio>

int main() {
    for (const Kernel* kernel : runnable_kernels())
        std::puts(kernel->name);
    return 0;
}
