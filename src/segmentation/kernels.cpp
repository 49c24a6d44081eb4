#include "segmentation/kernels.hpp"

#include <atomic>
#include <cstring>

// An atomic rather than a guarded static: threads that meet at the first
// call each find the same kernel, and the library needs no C++ runtime.
const Kernel& chosen_kernel() {
    static std::atomic<const Kernel*> chosen{nullptr};
    const Kernel* kernel = chosen.load(std::memory_order_acquire);
    if (kernel != nullptr) return *kernel;
    kernel = &fastest_kernel();
    chosen.store(kernel, std::memory_order_release);
    return *kernel;
}

// The family's kernels come fastest first: this processor runs the
// fastest it can and every one after it.
bool processor_runs(const Kernel& kernel) {
    const Kernel* fastest = &chosen_kernel();
    for (const Kernel* k : family_kernels()) {
        if (k == fastest) return true;
        if (k == &kernel) return false;
    }
    return false;
}

const Kernel* runnable_kernel(const char* name) {
    for (const Kernel* kernel : family_kernels()) {
        if (std::strcmp(kernel->name, name) == 0 && processor_runs(*kernel)) return kernel;
    }
    return nullptr;
}
