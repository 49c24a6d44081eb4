// The kernels of x86-64 processors: AVX-512 and AVX2 where the processor
// has them, SSE2 everywhere, and the portable one.
#include "segmentation/block_walk.hpp"
#include "segmentation/kernel_pieces/avx2.hpp"
#include "segmentation/kernel_pieces/avx512.hpp"
#include "segmentation/kernel_pieces/portable.hpp"
#include "segmentation/kernel_pieces/sse2.hpp"
#include "segmentation/kernels.hpp"

#include <cstdint>
#if defined(_MSC_VER)
#include <immintrin.h>
#include <intrin.h>
#else
#include <cpuid.h>
#endif

// The two AVX-512 kernels differ only in their line starts. Their lead
// masks are two compares: every block goes through the UTF-8 check.
template <LineStartsFunction write_line_starts>
using Avx512Pieces = block_walk::KernelPieces<byte_masks_avx512, select_bit_avx512,
                                              copy_line_avx512, write_line_starts, true>;
SPEZZAFRASI_DEFINE_KERNEL(avx512vbmi2, Avx512Pieces<write_line_starts_vbmi2>,
                          SPEZZAFRASI_KERNEL_ENTRY(SPEZZAFRASI_AVX512_VBMI2_TARGET))
SPEZZAFRASI_DEFINE_KERNEL(avx512, Avx512Pieces<write_line_starts_portable>,
                          SPEZZAFRASI_KERNEL_ENTRY(SPEZZAFRASI_AVX512_TARGET))
SPEZZAFRASI_DEFINE_KERNEL(avx2, block_walk::KernelPieces<byte_masks_avx2>,
                          SPEZZAFRASI_KERNEL_ENTRY(SPEZZAFRASI_AVX2_TARGET))
SPEZZAFRASI_DEFINE_KERNEL(sse2, block_walk::KernelPieces<byte_masks_sse2>,
                          SPEZZAFRASI_PLAIN_KERNEL_ENTRY)
SPEZZAFRASI_DEFINE_KERNEL(portable, block_walk::KernelPieces<byte_masks_portable>,
                          SPEZZAFRASI_PLAIN_KERNEL_ENTRY)

std::span<const Kernel* const> family_kernels() {
    static const Kernel* const kernels[] = {&avx512vbmi2_kernel, &avx512_kernel, &avx2_kernel,
                                            &sse2_kernel, &portable_kernel};
    return kernels;
}

namespace {

struct CpuidResult {
    std::uint32_t eax, ebx, ecx, edx;
};

// The one piece that differs by compiler: the CPUID and XGETBV instructions
// asked directly, so that no compiler runtime is needed to know the
// processor (and no start-up pays for more than these few questions).
#if defined(_MSC_VER)
CpuidResult cpuid(std::uint32_t leaf, std::uint32_t subleaf) {
    int r[4];
    __cpuidex(r, static_cast<int>(leaf), static_cast<int>(subleaf));
    return {static_cast<std::uint32_t>(r[0]), static_cast<std::uint32_t>(r[1]),
            static_cast<std::uint32_t>(r[2]), static_cast<std::uint32_t>(r[3])};
}
std::uint64_t saved_registers() {
    return _xgetbv(0);
}
#else
CpuidResult cpuid(std::uint32_t leaf, std::uint32_t subleaf) {
    CpuidResult r{};
    __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
    return r;
}
std::uint64_t saved_registers() {
    std::uint32_t low = 0;
    std::uint32_t high = 0;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (std::uint64_t{high} << 32) | low;
}
#endif

constexpr bool has(std::uint32_t bits, unsigned bit) {
    return ((bits >> bit) & 1U) != 0;
}

// What the processor has, and what the operating system saves of its
// registers on a switch: a vector register it does not save cannot be used.
ProcessorFeatures read_features() {
    ProcessorFeatures f;
    const CpuidResult basic = cpuid(1, 0);
    f.leaf1_ecx = basic.ecx;
    // XGETBV exists where the system has turned OSXSAVE on; with AVX the
    // processor has leaf 7, since leaf 13 describes the registers AVX adds.
    if (has(basic.ecx, 27) && has(basic.ecx, 28)) {
        const std::uint64_t saved = saved_registers();
        f.avx_state = (saved & 0x6) == 0x6;      // XMM and YMM
        f.avx512_state = (saved & 0xE6) == 0xE6; // and opmasks and ZMM
        const CpuidResult extended = cpuid(7, 0);
        f.leaf7_ebx = extended.ebx;
        f.leaf7_ecx = extended.ecx;
    }
    if (cpuid(0x80000000, 0).eax >= 0x80000001) f.extended1_ecx = cpuid(0x80000001, 0).ecx;
    return f;
}

} // namespace

const Kernel& x86_kernel_for(const ProcessorFeatures& f) {
    const bool avx512 = f.avx_state && f.avx512_state;
    if (avx512 && has_sets(f, avx512_vbmi2_sets)) return avx512vbmi2_kernel;
    if (avx512 && has_sets(f, avx512_sets)) return avx512_kernel;
    if (f.avx_state && has_sets(f, avx2_sets)) return avx2_kernel;
    return sse2_kernel;
}

// A look at the processor, made once by chosen_kernel.
const Kernel& fastest_kernel() {
    return x86_kernel_for(read_features());
}
