// Every kernel this processor runs against the class table, for every byte
// value at every position of a block, among neighbours that make the block
// well-formed UTF-8 and among neighbours that do not.
#include "segmentation/kernels.hpp"
#include "segmentation/period_writer.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

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
