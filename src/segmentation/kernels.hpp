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

namespace spezzafrasi {

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
    // Whether this processor runs it: has every instruction set it was
    // compiled for, and the system saves their registers.
    bool (*runs)();
};

// The fastest kernel this processor runs, or the one that the environment
// variable SPEZZAFRASI_KERNEL names if this processor runs it. Chosen at
// the first call, safely from any thread; the only state the library
// keeps.
const Kernel& chosen_kernel();

// The kernel of that name if this processor runs it, else nullptr.
const Kernel* runnable_kernel(const char* name);

// The processor family's kernels, the fastest first and the portable one
// (which every processor runs) last: its file says which exist.
std::span<const Kernel* const> family_kernels();

// The first of the family that this processor runs.
const Kernel& fastest_kernel();

// The entry points of a kernel: the walk and everything it calls compiled
// into one copy for the kernel's instructions.
#define SPEZZAFRASI_KERNEL_ENTRY(isa) [[gnu::flatten]] __attribute__((target(isa)))
#define SPEZZAFRASI_PLAIN_KERNEL_ENTRY [[gnu::flatten]]

// For kernels of instructions that every processor of the family has.
inline bool always_runs() {
    return true;
}

} // namespace spezzafrasi
