// Processors without a kernel of their own: the portable one.
#include "segmentation/block_masks/portable.hpp"
#include "segmentation/block_walk.hpp"
#include "segmentation/kernels.hpp"

SPEZZAFRASI_DEFINE_KERNEL(portable, select_bit_portable, block_walk::copy_line_portable,
                          SPEZZAFRASI_PLAIN_KERNEL_ENTRY)

std::span<const Kernel* const> family_kernels() {
    static const Kernel* const kernels[] = {&portable_kernel};
    return kernels;
}

bool processor_runs(const Kernel& /*kernel*/) {
    return true;
}
