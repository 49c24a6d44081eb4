// A kernel is one set of pieces (kernel_pieces/pieces.hpp), with the walk
// of the periods compiled around it for the processor that runs it.
// Which kernels exist depends on the processor family, which of them run
// on the processor in hand; both are decided in one file per family, and
// the processor is looked at once.
#pragma once

#include "segmentation/byte_stream.hpp"
#include "segmentation/kernel_pieces/pieces.hpp"

#include <cstdint>
#include <span>
#include <vector>

struct PeriodState;

struct Kernel {
    const char* name;
    // Its pieces, for the tests that hold each against its plain version.
    ByteMasksFunction byte_masks;
    BitSelectFunction select_bit;
    LineCopyFunction copy_line;
    LineStartsFunction write_line_starts;
    // Walks [p, end) of the text, at `offset` in it, for words_per_period
    // of 1 or more, reading up to `readable`; returns where it stopped
    // (block_walk.hpp says where).
    using WalkFunction = const unsigned char* (*)(PeriodState& state, const unsigned char* p,
                                                  const unsigned char* end,
                                                  const unsigned char* readable,
                                                  std::uint64_t offset, OutputStream& output);
    WalkFunction walk;
    WalkFunction walk_spans; // the same, giving the spans of the periods
};

// The fastest kernel this processor runs, or the one that the environment
// variable SPEZZAFRASI_KERNEL names if this processor runs it. Chosen at
// the first call, safely from any thread; the only state the library
// keeps.
const Kernel& chosen_kernel();

// The kernel of that name if this processor runs it, else nullptr.
const Kernel* runnable_kernel(const char* name);

// What the file of the processor family says: its kernels, the fastest
// first and the portable one last, and the fastest this processor runs
// (looked at anew at each call).
std::span<const Kernel* const> family_kernels();
const Kernel& fastest_kernel();

// Whether this processor runs the kernel.
bool processor_runs(const Kernel& kernel);

// Every kernel this processor can run, the fastest first, the portable
// one last: for the tests and the benchmark, whose C++ runtime the
// library's users need not link.
inline std::vector<const Kernel*> runnable_kernels() {
    std::vector<const Kernel*> kernels;
    for (const Kernel* kernel : family_kernels()) {
        if (processor_runs(*kernel)) kernels.push_back(kernel);
    }
    return kernels;
}

// The entry points of a kernel: the walk and everything it calls compiled
// into one copy for the kernel's instructions.
#if defined(__GNUC__)
#define SPEZZAFRASI_KERNEL_ENTRY(isa) [[gnu::flatten]] __attribute__((target(isa)))
#define SPEZZAFRASI_PLAIN_KERNEL_ENTRY [[gnu::flatten]]
#else
#define SPEZZAFRASI_KERNEL_ENTRY(isa)
#define SPEZZAFRASI_PLAIN_KERNEL_ENTRY
#endif
