#include "segmentation/kernels.hpp"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace spezzafrasi {

namespace {

// The kernel that SPEZZAFRASI_KERNEL names, where this processor runs it
// (tests, benchmarks and bug reports choose one so), or the fastest.
const Kernel& named_or_fastest() {
    const char* name = std::getenv("SPEZZAFRASI_KERNEL");
    const Kernel* named = name != nullptr ? runnable_kernel(name) : nullptr;
    return named != nullptr ? *named : fastest_kernel();
}

} // namespace

// Looked at once: an atomic rather than a guarded static, so that threads
// that meet at the first call each find the same kernel, and the library
// needs no C++ runtime.
const Kernel& chosen_kernel() {
    static std::atomic<const Kernel*> chosen{nullptr};
    const Kernel* kernel = chosen.load(std::memory_order_acquire);
    if (kernel != nullptr) return *kernel;
    kernel = &named_or_fastest();
    chosen.store(kernel, std::memory_order_release);
    return *kernel;
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
