// Every kernel this processor runs against the class table, for every byte
// value at every position of a block, among neighbours that make the block
// well-formed UTF-8 and among neighbours that do not.
#include "runnable_kernels.hpp"
#include "segmentation/char_classes.hpp"
#include "segmentation/kernel_pieces/portable.hpp"
#include "segmentation/kernel_pieces/x86_sets.hpp"
#include "segmentation/kernels.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

using namespace spezzafrasi;

namespace {

using Block = std::array<unsigned char, 64>;

// What the masks must be, byte by byte, from the one class table.
ByteMasks expected_masks(const Block& block) {
    ByteMasks m{};
    for (std::size_t i = 0; i < block.size(); ++i) {
        const unsigned char b = block[i];
        const std::uint64_t bit = std::uint64_t{1} << i;
        if (char_classes[b] == CharClass::Separator) m.separators |= bit;
        if (char_classes[b] == CharClass::Terminator && b < 0x80) m.terminators |= bit;
        if (b == ' ') m.spaces |= bit;
        if (b == '\n') m.line_feeds |= bit;
        if (b >= 0x80) m.high |= bit;
        if (b >= 0xC0) m.lead2 |= bit;
        if (b >= 0xE0) m.lead3 |= bit;
        if (b >= 0xF0) m.lead4 |= bit;
        if (b >= 0xF8) m.invalid |= bit;
        if (b == 0xC2) m.c2 |= bit;
    }
    return m;
}

std::string describe(const Block& block) {
    std::string text;
    for (const unsigned char b : block) {
        static constexpr char digits[] = "0123456789ABCDEF";
        text += digits[b >> 4];
        text += digits[b & 15];
        text += ' ';
    }
    return text;
}

void expect_masks(const Kernel& kernel, const Block& block, const std::string& what) {
    const ByteMasks want = expected_masks(block);
    const ByteMasks got = kernel.byte_masks(block.data());
    const struct {
        const char* name;
        std::uint64_t want, got;
    } masks[] = {{"separators", want.separators, got.separators},
                 {"spaces", want.spaces, got.spaces},
                 {"line feeds", want.line_feeds, got.line_feeds},
                 {"terminators", want.terminators, got.terminators},
                 {"high", want.high, got.high},
                 {"lead2", want.lead2, got.lead2},
                 {"lead3", want.lead3, got.lead3},
                 {"lead4", want.lead4, got.lead4},
                 {"invalid", want.invalid, got.invalid},
                 {"c2", want.c2, got.c2}};
    for (const auto& m : masks) {
        ASSERT_EQ(m.got, m.want) << kernel.name << ", " << m.name << ", " << what << ": "
                                 << describe(block);
    }
}

// Neighbours for a byte: plain letters, a well-formed sequence around it
// where the byte can stand in one, and bytes that break UTF-8.
std::vector<Block> blocks_with(unsigned char byte, std::size_t at, std::mt19937& rng) {
    std::vector<Block> blocks;
    Block letters{};
    letters.fill('a');
    letters[at] = byte;
    blocks.push_back(letters);

    // As the lead of its sequence, or as a continuation after a lead.
    Block formed = letters;
    const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    for (std::size_t k = 1; k < length && at + k < formed.size(); ++k)
        formed[at + k] = 0x80 | static_cast<unsigned char>(k);
    if (byte >= 0x80 && byte < 0xC0 && at > 0) formed[at - 1] = 0xC3;
    blocks.push_back(formed);

    Block stray{};
    stray.fill(0x80);
    stray[at] = byte;
    blocks.push_back(stray);

    Block noise{};
    for (auto& b : noise)
        b = static_cast<unsigned char>(rng());
    noise[at] = byte;
    blocks.push_back(noise);
    return blocks;
}

TEST(KernelTest, EveryByteEveryPositionAsTheClassTableSays) {
    const std::vector<const Kernel*> kernels = runnable_kernels();
    ASSERT_FALSE(kernels.empty());
    std::mt19937 rng(64);
    for (const Kernel* kernel : kernels) {
        for (int byte = 0; byte < 256; ++byte) {
            for (std::size_t at = 0; at < 64; ++at) {
                for (const Block& block : blocks_with(static_cast<unsigned char>(byte), at, rng)) {
                    expect_masks(*kernel, block, "byte at " + std::to_string(at));
                    if (HasFatalFailure()) return;
                }
            }
        }
    }
}

TEST(KernelTest, PortableRunsEverywhereAndComesLast) {
    const std::vector<const Kernel*> kernels = runnable_kernels();
    ASSERT_FALSE(kernels.empty());
    EXPECT_STREQ(kernels.back()->name, "portable");
    EXPECT_EQ(&chosen_kernel(), kernels.front()) << "the fastest runnable kernel is chosen";
    std::string names;
    for (const Kernel* kernel : kernels)
        names += std::string(kernel->name) + " ";
    RecordProperty("kernels", names);
    std::printf("kernels this processor runs: %s\n", names.c_str());
}

} // namespace

// A line as the walk hands it to a line copy: `count` bytes from `at`, any
// byte values among separators of every kind, and their bits as the marks
// have them (a separator after a word byte closes the word, one after a
// separator is dropped, a closer other than a space is written as one).
struct LineBits {
    int count;
    std::uint64_t dropped = 0, closers = 0, spaced = 0;
};
LineBits line_bits(const unsigned char* line, int count) {
    const auto separator = [](unsigned char b) {
        return b == ' ' || b == '\n' || b == '\r' || b == '\f';
    };
    LineBits bits{count};
    for (int i = 0; i < count; ++i) {
        if (!separator(line[i])) continue;
        const std::uint64_t bit = std::uint64_t{1} << i;
        if (i > 0 && !separator(line[i - 1])) {
            bits.closers |= bit;
            if (line[i] != ' ') bits.spaced |= bit;
        } else {
            bits.dropped |= bit;
        }
    }
    return bits;
}

// Every piece of every kernel this processor runs against its plain
// version on random input: line copies of every length at every alignment
// over every byte value, the k-th bit for every k, and a block's line
// starts for every count a block can hold.
TEST(KernelPieceTest, EveryPieceAsItsPlainVersion) {
    std::mt19937_64 rng(23);
    const unsigned char separators[] = {' ', ' ', ' ', '\n', '\r', '\f'};
    for (const Kernel* kernel : runnable_kernels()) {
        const std::string name = kernel->name;
        for (int round = 0; round < 4000; ++round) {
            std::array<unsigned char, 64 + 128> source{};
            for (unsigned char& byte : source) {
                const auto draw = rng();
                byte = draw % 2 == 0 ? separators[draw / 2 % sizeof separators]
                                     : static_cast<unsigned char>(draw >> 8);
            }
            const int at = round % 64;
            const LineBits bits = line_bits(source.data() + at, static_cast<int>(rng() % 63));
            std::array<unsigned char, 192> want{};
            std::array<unsigned char, 192> got{};
            const auto copy = [&](LineCopyFunction copy_line, unsigned char* out) {
                return copy_line(out, source.data() + at, bits.count, bits.dropped, bits.closers,
                                 bits.spaced) -
                       out;
            };
            const std::ptrdiff_t size = copy(copy_line_portable, want.data());
            ASSERT_EQ(copy(kernel->copy_line, got.data()), size) << name << ", round " << round;
            ASSERT_TRUE(std::equal(want.begin(), want.begin() + size, got.begin()))
                << name << ", line copy of " << bits.count << " bytes at " << at;

            const std::uint64_t draw = rng();
            const std::uint64_t bits_set = round % 3 == 0 ? draw : draw & rng() & rng();
            const int k = round % 64;
            ASSERT_EQ(kernel->select_bit(bits_set, k), select_bit_portable(bits_set, k))
                << name << ", select " << k << " of " << bits_set;

            // 0 to 64 starts, at random places in the block
            std::uint64_t starts = 0;
            for (int count = round % 65; std::popcount(starts) < count;)
                starts |= std::uint64_t{1} << (rng() % 64);
            const int block = static_cast<int>(rng() % 128);
            std::array<std::uint16_t, 64> plain{};
            std::array<std::uint16_t, 64> fast{};
            write_line_starts_portable(plain.data(), starts, block);
            kernel->write_line_starts(fast.data(), starts, block);
            ASSERT_TRUE(
                std::equal(plain.begin(), plain.begin() + std::popcount(starts), fast.begin()))
                << name << ", line starts of " << starts << " in block " << block;
        }
    }
}

#if defined(__x86_64__)
// Every instruction set a kernel is compiled for is checked before it is
// chosen: a processor (or a virtual machine) that lacks one, or a system
// that does not save the registers, gets a kernel that does without.
TEST(KernelChoiceTest, EverySetOfAKernelIsChecked) {
    ProcessorFeatures all;
    all.leaf1_ecx = 1U << 23;                                          // POPCNT
    all.leaf7_ebx = 1U << 3 | 1U << 5 | 1U << 8 | 1U << 16 | 1U << 30; // BMI1 AVX2 BMI2 F BW
    all.leaf7_ecx = 1U << 6;                                           // VBMI2
    all.extended1_ecx = 1U << 5;                                       // LZCNT
    all.avx_state = true;
    all.avx512_state = true;
    const auto without = [&](std::uint32_t ProcessorFeatures::*word, unsigned bit) {
        ProcessorFeatures f = all;
        f.*word &= ~(1U << bit);
        return f;
    };
    const auto state = [&](bool avx, bool avx512) {
        ProcessorFeatures f = all;
        f.avx_state = avx;
        f.avx512_state = avx512;
        return f;
    };
    const struct {
        const char* name;
        ProcessorFeatures features;
        const char* kernel;
    } cases[] = {
        {"everything", all, "avx512vbmi2"},
        {"no VBMI2", without(&ProcessorFeatures::leaf7_ecx, 6), "avx512"},
        {"no AVX-512 BW", without(&ProcessorFeatures::leaf7_ebx, 30), "avx2"},
        {"no AVX-512 F", without(&ProcessorFeatures::leaf7_ebx, 16), "avx2"},
        {"ZMM not saved", state(true, false), "avx2"},
        {"LZCNT hidden", without(&ProcessorFeatures::extended1_ecx, 5), "sse2"},
        {"no BMI1", without(&ProcessorFeatures::leaf7_ebx, 3), "sse2"},
        {"no BMI2", without(&ProcessorFeatures::leaf7_ebx, 8), "sse2"},
        {"no POPCNT", without(&ProcessorFeatures::leaf1_ecx, 23), "sse2"},
        {"no AVX2", without(&ProcessorFeatures::leaf7_ebx, 5), "sse2"},
        {"YMM not saved", state(false, false), "sse2"},
        {"nothing", ProcessorFeatures{}, "sse2"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(x86_kernel_for(c.features).name, c.kernel) << c.name;
}
#endif
