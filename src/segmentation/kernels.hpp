// A kernel is one way of turning blocks of 64 bytes into masks, with the
// two operations of the period writer compiled around it for the
// processor that runs it. Which kernels exist depends on the processor
// family, which of them run on the processor in hand; both are decided in
// one file per family, and the processor is looked at once.
#pragma once

#include "segmentation/block_masks/block_masks.hpp"
#include "segmentation/byte_stream.hpp"

#include <cstdint>
#include <span>
#include <vector>

struct Kernel {
    const char* name;
    ByteMasksFunction byte_masks;
    // write_period, for words_per_period of 1 or more
    int (*write_period)(InputStream& input, OutputStream& output, std::int32_t words_per_period);
    int (*skip_tail)(InputStream& input);
    // the two in turn over the whole input, for words_per_period of 1 or
    // more: what the run loop does, without a call per period
    void (*run)(InputStream& input, OutputStream& output, std::int32_t words_per_period);
};

// Every kernel this processor can run, the fastest first, the portable
// one last.
std::vector<const Kernel*> runnable_kernels();

// The fastest runnable kernel, or the one a build asks for by name with
// SPEZZAFRASI_KERNEL (the benchmark's and the tests' builds), where this
// processor can run it.
const Kernel& chosen_kernel();

// What the file of the processor family says: its kernels, the fastest
// first and the portable one last, and whether this processor runs one.
std::span<const Kernel* const> family_kernels();
bool processor_runs(const Kernel& kernel);

// The entry points of a kernel: the operations and everything they call
// compiled into one copy for the kernel's instructions.
#if defined(__GNUC__)
#define SPEZZAFRASI_KERNEL_ENTRY(isa) [[gnu::flatten]] __attribute__((target(isa)))
#define SPEZZAFRASI_PLAIN_KERNEL_ENTRY [[gnu::flatten]]
#else
#define SPEZZAFRASI_KERNEL_ENTRY(isa)
#define SPEZZAFRASI_PLAIN_KERNEL_ENTRY
#endif
