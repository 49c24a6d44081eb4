#include "segmentation/kernels.hpp"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace spezzafrasi {

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

const Kernel& fastest_kernel() {
    for (const Kernel* kernel : family_kernels()) {
        if (kernel->runs()) return *kernel;
    }
    return *family_kernels().back();
}

const Kernel* runnable_kernel(const char* name) {
    for (const Kernel* kernel : family_kernels()) {
        if (std::strcmp(kernel->name, name) == 0 && kernel->runs()) return kernel;
    }
    return nullptr;
}

} // namespace spezzafrasi
