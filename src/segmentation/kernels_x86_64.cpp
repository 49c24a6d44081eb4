// The kernels of x86-64 processors: AVX-512 and AVX2 where the processor
// has them, SSE2 everywhere, and the portable one.
#include "segmentation/block_masks/avx2.hpp"
#include "segmentation/block_masks/avx512.hpp"
#include "segmentation/block_masks/portable.hpp"
#include "segmentation/block_masks/sse2.hpp"
#include "segmentation/block_walk.hpp"
#include "segmentation/kernels.hpp"

SPEZZAFRASI_DEFINE_KERNEL(avx512, select_bit_avx512,
                          SPEZZAFRASI_KERNEL_ENTRY(SPEZZAFRASI_AVX512_TARGET))
SPEZZAFRASI_DEFINE_KERNEL(avx2, select_bit_portable,
                          SPEZZAFRASI_KERNEL_ENTRY(SPEZZAFRASI_AVX2_TARGET))
SPEZZAFRASI_DEFINE_KERNEL(sse2, select_bit_portable, SPEZZAFRASI_PLAIN_KERNEL_ENTRY)
SPEZZAFRASI_DEFINE_KERNEL(portable, select_bit_portable, SPEZZAFRASI_PLAIN_KERNEL_ENTRY)

std::span<const Kernel* const> family_kernels() {
    static const Kernel* const kernels[] = {&avx512_kernel, &avx2_kernel, &sse2_kernel,
                                            &portable_kernel};
    return kernels;
}

// The one look at the processor: what it has, and what the operating
// system saves of its registers, as the compiler's runtime reports it.
bool processor_runs(const Kernel& kernel) {
    if (&kernel == &avx512_kernel) {
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
               processor_runs(avx2_kernel);
    }
    if (&kernel == &avx2_kernel) {
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
               __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
    }
    return true;
}
