#include "segmentation/kernels.hpp"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

// Looked at once: atomics rather than guarded statics, so that threads
// that meet at the first call each find the same kernel, and the library
// needs no C++ runtime.
const Kernel& once(std::atomic<const Kernel*>& cached, const Kernel& (*find)()) {
    const Kernel* kernel = cached.load(std::memory_order_acquire);
    if (kernel != nullptr) return *kernel;
    kernel = &find();
    cached.store(kernel, std::memory_order_release);
    return *kernel;
}

const Kernel& fastest_runnable() {
    static std::atomic<const Kernel*> fastest{nullptr};
    return once(fastest, fastest_kernel);
}

// The kernel that SPEZZAFRASI_KERNEL names, where this processor runs it:
// tests, benchmarks and bug reports choose one so.
const Kernel& named_or_fastest() {
    const char* name = std::getenv("SPEZZAFRASI_KERNEL");
    const Kernel* named = name != nullptr ? runnable_kernel(name) : nullptr;
    return named != nullptr ? *named : fastest_runnable();
}

} // namespace

const Kernel& chosen_kernel() {
    static std::atomic<const Kernel*> chosen{nullptr};
    return once(chosen, named_or_fastest);
}

// The family's kernels come fastest first: this processor runs the
// fastest it can and every one after it.
bool processor_runs(const Kernel& kernel) {
    const Kernel* fastest = &fastest_runnable();
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
