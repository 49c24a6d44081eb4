#include "segmentation/kernels.hpp"

#include <cstring>

std::vector<const Kernel*> runnable_kernels() {
    std::vector<const Kernel*> kernels;
    for (const Kernel* kernel : family_kernels()) {
        if (processor_runs(*kernel)) kernels.push_back(kernel);
    }
    return kernels;
}

const Kernel& chosen_kernel() {
    static const Kernel& chosen = []() -> const Kernel& {
        const std::span<const Kernel* const> kernels = family_kernels();
#ifdef SPEZZAFRASI_KERNEL
        for (const Kernel* kernel : kernels) {
            if (std::strcmp(kernel->name, SPEZZAFRASI_KERNEL) == 0 && processor_runs(*kernel)) {
                return *kernel;
            }
        }
#endif
        for (const Kernel* kernel : kernels) {
            if (processor_runs(*kernel)) return *kernel;
        }
        return *kernels.back();
    }();
    return chosen;
}
