// The library measured in one process, for bench/library.sh: the CPU time
// of spezzafrasi_periods over many documents held in memory, or over one
// large text, one call or a stream of 64 KiB chunks; best of the rounds.
// In `chunks` mode, the large text as one call and as a stream in chunks
// of several sizes and in one chunk (what the stream's own output path
// costs, apart from any chunk's end), with and without spans, and
// documents of 200 bytes against documents of 10 KB cut from it. A
// stream's figure can move with where the text lies against the stream's
// own memory, by a quarter for some builds: each figure of the large text
// is the mean over eight placements of it, the one call's too, so that
// they compare alike.
//
// usage: api_bench docs LIST ROUNDS      (LIST: one file name a line)
//        api_bench large FILE ROUNDS [OUT] (OUT: the periods, to compare)
//        api_bench chunks FILE ROUNDS
#include "spezzafrasi.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

std::string contents(const std::string& name) {
    std::string text;
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (file == nullptr) return text;
    char chunk[65536];
    for (std::size_t got = 0; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        text.append(chunk, got);
    std::fclose(file);
    return text;
}

int discard(void* context, const void* /*bytes*/, size_t size) {
    *static_cast<std::size_t*>(context) += size;
    return 0;
}

// Best CPU time of `rounds` runs of `work`.
template <typename Work>
double best_of(int rounds, Work work) {
    double best = 1e30;
    for (int round = 0; round < rounds; ++round) {
        const double start = cpu_seconds();
        work();
        const double took = cpu_seconds() - start;
        if (took < best) best = took;
    }
    return best;
}

// The text as a stream in chunks of `chunk` bytes, its spans counted when
// `spans`.
void stream_in_chunks(std::string_view text, std::size_t chunk, bool spans) {
    std::size_t streamed = 0;
    spezzafrasi_stream* s = spezzafrasi_stream_new(7, SPEZZAFRASI_LF, discard, &streamed);
#ifdef SPEZZAFRASI_NO_FAULT
    if (spans) {
        spezzafrasi_stream_spans(s, [](void* context, const spezzafrasi_span*, size_t count) {
            *static_cast<std::size_t*>(context) += count;
            return 0;
        });
    }
#else
    (void)spans;
#endif
    for (std::size_t at = 0; at < text.size(); at += chunk)
        spezzafrasi_stream_feed(s, text.data() + at, std::min(chunk, text.size() - at));
    spezzafrasi_stream_finish(s);
    spezzafrasi_stream_free(s);
}

// CPU seconds a byte of documents of `size` bytes, each one call, cut
// from the text (the same bytes for every size).
double per_byte_in_documents(const std::string& text, std::size_t size, int rounds) {
    const std::size_t total = std::min<std::size_t>(text.size(), 8U << 20) / size * size;
    std::vector<char> out(spezzafrasi_bound(size));
    std::size_t written = 0;
    const double took = best_of(rounds, [&] {
        for (std::size_t at = 0; at < total; at += size)
            spezzafrasi_periods(text.data() + at, size, out.data(), out.size(), &written, 7,
                                SPEZZAFRASI_LF);
    });
    return took / static_cast<double>(total);
}

// The mean over eight placements of the text, 128 bytes apart in a page
// of `room`, of the best time of `rounds` runs of `work` on the text
// placed.
template <typename Work>
double best_placed(const std::string& text, std::vector<char>& room, int rounds, Work work) {
    const auto start = reinterpret_cast<std::uintptr_t>(room.data());
    char* const page = room.data() + (((start + 4095) & ~std::uintptr_t{4095}) - start);
    constexpr std::ptrdiff_t placements = 8;
    double sum = 0;
    for (std::ptrdiff_t i = 0; i < placements; ++i) {
        char* const at = page + 16 + 128 * i;
        std::copy(text.begin(), text.end(), at);
        const std::string_view placed(at, text.size());
        sum += best_of(rounds, [&] { work(placed); });
    }
    return sum / static_cast<double>(placements);
}

// One line of figures: one call; the stream in chunks of 256, 1 Ki, 4 Ki
// and 64 Ki bytes and in one chunk; spans with one call and with the
// 64 KiB stream; the ns a byte of documents of 200 bytes and of 10 KB.
int chunks(const std::string& text, int rounds) {
    std::vector<char> out(spezzafrasi_bound(text.size()));
    std::vector<char> room(text.size() + 8192);
    std::size_t size = 0;
    std::printf("%.6f", best_placed(text, room, rounds, [&](std::string_view placed) {
                    spezzafrasi_periods(placed.data(), placed.size(), out.data(), out.size(), &size,
                                        7, SPEZZAFRASI_LF);
                }));
    const std::size_t chunk_sizes[] = {256, 1024, 4096, 65536, text.size()};
    for (const std::size_t chunk : chunk_sizes)
        std::printf(" %.6f", best_placed(text, room, rounds, [&](std::string_view placed) {
                        stream_in_chunks(placed, chunk, false);
                    }));
#ifdef SPEZZAFRASI_NO_FAULT
    std::vector<spezzafrasi_span> spans(spezzafrasi_span_bound(text.size()));
    std::size_t count = 0;
    std::printf(" %.6f", best_placed(text, room, rounds, [&](std::string_view placed) {
                    spezzafrasi_periods_spans(placed.data(), placed.size(), out.data(), out.size(),
                                              &size, spans.data(), spans.size(), &count, nullptr, 7,
                                              SPEZZAFRASI_LF);
                }));
    std::printf(" %.6f", best_placed(text, room, rounds, [&](std::string_view placed) {
                    stream_in_chunks(placed, 65536, true);
                }));
#else
    std::printf(" - -");
#endif
    std::printf(" %.4f %.4f\n", per_byte_in_documents(text, 200, rounds) * 1e9,
                per_byte_in_documents(text, 10000, rounds) * 1e9);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fputs(
            "usage: api_bench docs LIST ROUNDS | large FILE ROUNDS [OUT] | chunks FILE ROUNDS\n",
            stderr);
        return 2;
    }
    const std::string mode = argv[1];
    const int rounds = std::stoi(argv[3]);
    std::vector<std::string> texts;
    if (mode == "chunks") return chunks(contents(argv[2]), rounds);
    if (mode == "docs") {
        std::ifstream list(argv[2]);
        for (std::string name; std::getline(list, name);)
            texts.push_back(contents(name));
    } else {
        texts.push_back(contents(argv[2]));
    }
    std::size_t largest = 0;
    for (const std::string& text : texts)
        largest = std::max(largest, text.size());
    std::vector<char> out(spezzafrasi_bound(largest));
    std::size_t size = 0;
    const double one_call = best_of(rounds, [&] {
        for (const std::string& text : texts)
            spezzafrasi_periods(text.data(), text.size(), out.data(), out.size(), &size, 7,
                                SPEZZAFRASI_LF);
    });
    if (mode == "docs") {
        std::printf("%.6f %zu\n", one_call, texts.size());
        return 0;
    }
    if (argc > 4) {
        std::FILE* file = std::fopen(argv[4], "wb");
        if (file == nullptr || std::fwrite(out.data(), 1, size, file) != size) return 1;
        std::fclose(file);
    }
    std::size_t streamed = 0;
    const double stream = best_of(rounds, [&] {
        spezzafrasi_stream* s = spezzafrasi_stream_new(7, SPEZZAFRASI_LF, discard, &streamed);
        const std::string& text = texts[0];
        for (std::size_t at = 0; at < text.size(); at += 65536)
            spezzafrasi_stream_feed(s, text.data() + at,
                                    std::min<std::size_t>(65536, text.size() - at));
        spezzafrasi_stream_finish(s);
        spezzafrasi_stream_free(s);
    });
    std::printf("%.6f %.6f\n", one_call, stream);
    return 0;
}
