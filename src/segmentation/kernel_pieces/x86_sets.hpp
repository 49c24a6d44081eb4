// The instruction sets that each x86-64 kernel is compiled for, written
// once: the target of the kernel's code and the processor check that lets
// it run both come from these lists, so that no instruction it may use
// goes unchecked (LZCNT on a machine that hides it would run as BSR, and
// give wrong positions without a fault).
#pragma once

#include <cstddef>
#include <cstdint>

namespace spezzafrasi {

// X(set, word, bit): an instruction set, and the bit of the CPUID word
// that says the processor has it (leaf 1 ECX, leaf 7 EBX and ECX, leaf
// 0x80000001 ECX).
#define SPEZZAFRASI_AVX2_SETS(X)                                                                   \
    X(popcnt, leaf1_ecx, 23)                                                                       \
    X(avx2, leaf7_ebx, 5) X(bmi, leaf7_ebx, 3) X(bmi2, leaf7_ebx, 8) X(lzcnt, extended1_ecx, 5)
#define SPEZZAFRASI_AVX512_SETS(X)                                                                 \
    SPEZZAFRASI_AVX2_SETS(X) X(avx512f, leaf7_ebx, 16) X(avx512bw, leaf7_ebx, 30)
#define SPEZZAFRASI_AVX512_VBMI2_SETS(X) SPEZZAFRASI_AVX512_SETS(X) X(avx512vbmi2, leaf7_ecx, 6)

// The target attribute of a list: "sse2,popcnt,avx2,...".
#define SPEZZAFRASI_SET_NAME(set, word, bit) "," #set
#define SPEZZAFRASI_AVX2_TARGET "sse2" SPEZZAFRASI_AVX2_SETS(SPEZZAFRASI_SET_NAME)
#define SPEZZAFRASI_AVX512_TARGET "sse2" SPEZZAFRASI_AVX512_SETS(SPEZZAFRASI_SET_NAME)
#define SPEZZAFRASI_AVX512_VBMI2_TARGET "sse2" SPEZZAFRASI_AVX512_VBMI2_SETS(SPEZZAFRASI_SET_NAME)

// What CPUID and XGETBV say: the words that hold the sets' bits, and
// whether the system saves the vector registers that AVX and AVX-512 add.
struct ProcessorFeatures {
    std::uint32_t leaf1_ecx = 0;
    std::uint32_t leaf7_ebx = 0;
    std::uint32_t leaf7_ecx = 0;
    std::uint32_t extended1_ecx = 0;
    bool avx_state = false;    // XMM and YMM saved
    bool avx512_state = false; // opmasks and ZMM saved too
};

// A set's bit in the features, and the bits of each kernel's list.
struct SetBit {
    std::uint32_t ProcessorFeatures::*word;
    unsigned bit;
};
#define SPEZZAFRASI_SET_BIT(set, word, bit) SetBit{&ProcessorFeatures::word, bit},
inline constexpr SetBit avx2_sets[] = {SPEZZAFRASI_AVX2_SETS(SPEZZAFRASI_SET_BIT)};
inline constexpr SetBit avx512_sets[] = {SPEZZAFRASI_AVX512_SETS(SPEZZAFRASI_SET_BIT)};
inline constexpr SetBit avx512_vbmi2_sets[] = {SPEZZAFRASI_AVX512_VBMI2_SETS(SPEZZAFRASI_SET_BIT)};

// Whether `features` has every set of a list.
template <std::size_t count>
constexpr bool has_sets(const ProcessorFeatures& features, const SetBit (&sets)[count]) {
    for (const SetBit& set : sets) {
        if (((features.*set.word >> set.bit) & 1U) == 0) return false;
    }
    return true;
}

struct Kernel;

// The x86-64 kernel that a processor with these features runs fastest:
// the first of the family that says it runs there.
const Kernel& x86_kernel_for(const ProcessorFeatures& features);

} // namespace spezzafrasi
