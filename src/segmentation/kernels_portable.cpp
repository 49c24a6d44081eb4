// Processors without a kernel of their own: the portable one.
#include "segmentation/block_walk.hpp"
#include "segmentation/kernel_pieces/portable.hpp"
#include "segmentation/kernels.hpp"

namespace spezzafrasi {

SPEZZAFRASI_DEFINE_KERNEL(portable, block_walk::KernelPieces<byte_masks_portable>,
                          SPEZZAFRASI_PLAIN_KERNEL_ENTRY, always_runs)

std::span<const Kernel* const> family_kernels() {
    static const Kernel* const kernels[] = {&portable_kernel};
    return kernels;
}

} // namespace spezzafrasi
