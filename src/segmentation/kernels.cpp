#include "segmentation/kernels.hpp"

#include <atomic>
#include <cstring>

// An atomic rather than a guarded static: threads that meet at the first
// call each find the same kernel, and the library needs no C++ runtime.
const Kernel& chosen_kernel() {
    static std::atomic<const Kernel*> chosen{nullptr};
    const Kernel* kernel = chosen.load(std::memory_order_acquire);
    if (kernel != nullptr) return *kernel;
    const std::span<const Kernel* const> kernels = family_kernels();
    kernel = kernels.back();
    for (const Kernel* candidate : kernels) {
        if (processor_runs(*candidate)) {
            kernel = candidate;
            break;
        }
    }
    chosen.store(kernel, std::memory_order_release);
    return *kernel;
}

const Kernel* runnable_kernel(const char* name) {
    for (const Kernel* kernel : family_kernels()) {
        if (std::strcmp(kernel->name, name) == 0 && processor_runs(*kernel)) return kernel;
    }
    return nullptr;
}
