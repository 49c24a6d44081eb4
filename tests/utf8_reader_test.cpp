#include "memory_streams.hpp"
#include "segmentation/periods.hpp"
#include "segmentation/utf8_reader.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace spezzafrasi;

// Beside Utf8Char, where GoogleTest looks for them.
namespace spezzafrasi {

bool operator==(const Utf8Char& a, const Utf8Char& b) {
    return a.code == b.code && a.length == b.length;
}

void PrintTo(const Utf8Char& ch, std::ostream* os) {
    *os << std::hex << "{0x" << ch.code << ", " << std::dec << ch.length << "}";
}

} // namespace spezzafrasi

namespace {

struct ReaderCase {
    const char* name;
    std::string bytes;
    std::vector<Utf8Char> chars; // every character read before the end
};

std::vector<Utf8Char> read_all(const std::string& bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const unsigned char* const end = p + bytes.size();
    std::vector<Utf8Char> chars;
    Utf8Char ch{};
    while (read_utf8_char(p, end, ch) == 1)
        chars.push_back(ch);
    return chars;
}

const std::vector<ReaderCase> reader_cases = {
    {"empty", "", {}},
    {"ascii", "A", {{0x41, 1}}},
    {"two_bytes", "\xC2\xB7", {{0xC2B7, 2}}},
    {"three_bytes", "\xE2\x82\xAC", {{0xE282AC, 3}}},
    {"four_bytes", "\xF0\x9F\x98\x80", {{static_cast<std::int32_t>(0xF09F9880u), 4}}},
    // The lead byte alone decides the length: the 41 belongs to the character.
    {"lead_swallows_ascii", "\xC3\x41", {{0xC341, 2}}},
    {"byte_order_mark",
     "\xEF\xBB\xBF"
     "a",
     {{0xEFBBBF, 3}, {0x61, 1}}},
    // Bytes that begin no sequence stand alone as themselves.
    {"stray_continuation", "\x80\xBF", {{0x80, 1}, {0xBF, 1}}},
    {"lead_f8_to_ff",
     "\xF8\xFF"
     "a",
     {{0xF8, 1}, {0xFF, 1}, {0x61, 1}}},
    // A sequence cut short by the end of the input is not read.
    {"cut_two", "a\xC3", {{0x61, 1}}},
    {"cut_three", "a\xE2\x82", {{0x61, 1}}},
    {"cut_four", "a\xF0\x9F\x98", {{0x61, 1}}},
    {"mixed",
     "\xC3\xA8 \xF0\x9F\x98\x80.",
     {{0xC3A8, 2}, {0x20, 1}, {static_cast<std::int32_t>(0xF09F9880u), 4}, {0x2E, 1}}},
};

void PrintTo(const ReaderCase& c, std::ostream* os) {
    *os << c.name;
}

class ReaderTest : public testing::TestWithParam<ReaderCase> {};

TEST_P(ReaderTest, PacksEachSequence) {
    EXPECT_EQ(read_all(GetParam().bytes), GetParam().chars);
}

INSTANTIATE_TEST_SUITE_P(Sequences, ReaderTest, testing::ValuesIn(reader_cases),
                         [](const auto& test) { return std::string(test.param.name); });

// Where a text first breaks UTF-8 is found by every path of the walk: the
// faults stand at the start, across a block's and a region's end and in a
// chunk's last bytes, among text long enough for the vector paths, with
// every words_per_period path and chunks of every kind.
TEST(Utf8FaultTest, FirstFaultFoundWhereverItStands) {
    const struct {
        const char* name;
        std::string bytes;
        std::int64_t fault; // in `bytes`: where the first faulty sequence begins, or -1
    } cases[] = {
        {"stray_continuation", "\x80", 0},
        {"latin1_letter", "ch\xE9 ", 2},
        {"lead_then_ascii",
         "\xC3"
         "A",
         0},
        {"three_bytes_cut", "\xE2\x82 ", 0},
        {"four_bytes_cut", "\xF0\x9F.", 0},
        {"lead_then_ff", "\xC3\xFF", 0},
        {"f8", "\xF8", 0},
        {"ff", "\xFF", 0},
        {"well_formed", "\xC3\xA8\xC2\xB7\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBB\xBF", -1},
    };
    std::string prose;
    while (prose.size() < 20000)
        prose += "Oggi piove, e domani? Forse no: il sole (dicono) torna. ";
    const std::size_t whole = 1 << 20;
    const std::vector<std::vector<std::size_t>> chunkings = {{whole}, {1}, {7, 64, 3}, {4096}};
    for (const auto& c : cases) {
        for (const std::size_t at : {0U, 62U, 63U, 64U, 127U, 8190U, 8191U, 8192U, 10000U}) {
            const std::string text = prose.substr(0, at) + c.bytes + prose.substr(at, 9000);
            const std::uint64_t want =
                c.fault < 0 ? no_offset : at + static_cast<std::uint64_t>(c.fault);
            for (const std::int32_t n : {7, 2, 0}) {
                for (const auto& chunks : chunkings) {
                    std::uint64_t got = 0;
                    periods_in_chunks(text, n, chunks, lf_line_end, &got);
                    ASSERT_EQ(got, want)
                        << c.name << " at " << at << ", n " << n << ", chunks of " << chunks[0];
                }
            }
        }
    }
    // A character cut short by the end of the text: its lead.
    std::uint64_t got = 0;
    const std::string cut = prose + "\xE2\x82";
    periods_in_chunks(cut, 7, chunkings[2], lf_line_end, &got);
    EXPECT_EQ(got, prose.size());
}

} // namespace
