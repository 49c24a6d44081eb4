// The kernels of x86-64 processors: AVX-512 and AVX2 where the processor
// has them, SSE2 everywhere, and the portable one.
#include "segmentation/block_walk.hpp"
#include "segmentation/kernel_pieces/avx2.hpp"
#include "segmentation/kernel_pieces/avx512.hpp"
#include "segmentation/kernel_pieces/portable.hpp"
#include "segmentation/kernel_pieces/sse2.hpp"
#include "segmentation/kernels.hpp"

#include <cpuid.h>
#include <cstdint>

namespace spezzafrasi {

namespace {

struct CpuidResult {
    std::uint32_t eax, ebx, ecx, edx;
};

// The CPUID and XGETBV instructions asked directly, so that no compiler
// runtime is needed to know the processor (and no start-up pays for more
// than these few questions).
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

// Each kernel's predicate: the registers saved, and every set of its list.
bool avx512vbmi2_runs_on(const ProcessorFeatures& f) {
    return f.avx_state && f.avx512_state && has_sets(f, avx512_vbmi2_sets);
}
bool avx512_runs_on(const ProcessorFeatures& f) {
    return f.avx_state && f.avx512_state && has_sets(f, avx512_sets);
}
bool avx2_runs_on(const ProcessorFeatures& f) {
    return f.avx_state && has_sets(f, avx2_sets);
}
bool avx512vbmi2_runs() {
    return avx512vbmi2_runs_on(read_features());
}
bool avx512_runs() {
    return avx512_runs_on(read_features());
}
bool avx2_runs() {
    return avx2_runs_on(read_features());
}

} // namespace

// The two AVX-512 kernels differ only in their line starts. Their lead
// masks are two compares: every block goes through the UTF-8 check.
template <LineStartsFunction write_line_starts>
using Avx512Pieces = block_walk::KernelPieces<byte_masks_avx512, select_bit_avx512,
                                              copy_line_avx512, write_line_starts, true>;
SPEZZAFRASI_DEFINE_KERNEL(avx512vbmi2, Avx512Pieces<write_line_starts_vbmi2>,
                          SPEZZAFRASI_KERNEL_ENTRY(SPEZZAFRASI_AVX512_VBMI2_TARGET),
                          avx512vbmi2_runs)
SPEZZAFRASI_DEFINE_KERNEL(avx512, Avx512Pieces<write_line_starts_portable>,
                          SPEZZAFRASI_KERNEL_ENTRY(SPEZZAFRASI_AVX512_TARGET), avx512_runs)
SPEZZAFRASI_DEFINE_KERNEL(avx2, block_walk::KernelPieces<byte_masks_avx2>,
                          SPEZZAFRASI_KERNEL_ENTRY(SPEZZAFRASI_AVX2_TARGET), avx2_runs)
SPEZZAFRASI_DEFINE_KERNEL(sse2, block_walk::KernelPieces<byte_masks_sse2>,
                          SPEZZAFRASI_PLAIN_KERNEL_ENTRY, always_runs)
SPEZZAFRASI_DEFINE_KERNEL(portable, block_walk::KernelPieces<byte_masks_portable>,
                          SPEZZAFRASI_PLAIN_KERNEL_ENTRY, always_runs)

std::span<const Kernel* const> family_kernels() {
    static const Kernel* const kernels[] = {&avx512vbmi2_kernel, &avx512_kernel, &avx2_kernel,
                                            &sse2_kernel, &portable_kernel};
    return kernels;
}

// The family's predicates on given features, for the tests.
const Kernel& x86_kernel_for(const ProcessorFeatures& f) {
    if (avx512vbmi2_runs_on(f)) return avx512vbmi2_kernel;
    if (avx512_runs_on(f)) return avx512_kernel;
    if (avx2_runs_on(f)) return avx2_kernel;
    return sse2_kernel;
}

} // namespace spezzafrasi
