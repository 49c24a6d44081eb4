// libFuzzer target: the first byte chooses words_per_period, the second how
// the text is cut into chunks, the rest is the text. Through the C
// interface, one call and a stream fed in those chunks must give the plain
// model's periods, spans and first fault; the spans must tile the text as
// the header says; and on well-formed UTF-8 the periods must keep the shape
// that the rules promise. SPEZZAFRASI_KERNEL chooses the kernel.
#include "model/plain_periods.hpp"
#include "segmentation/kernels.hpp"
#include "spezzafrasi.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

using namespace spezzafrasi;

namespace {

std::int32_t words_per_period_of(std::uint8_t byte) {
    switch (byte) {
    case 0x7F:
        return std::numeric_limits<std::int32_t>::max();
    case 0x80:
        return std::numeric_limits<std::int32_t>::min();
    default:
        return static_cast<std::int8_t>(byte);
    }
}

// Chunk sizes from one byte: a few small ones in turn, from 1 to 130 bytes,
// or one of 64 KiB.
std::vector<std::size_t> chunking_of(std::uint8_t byte) {
    if (byte == 0xFF) return {std::size_t{1} << 16};
    std::vector<std::size_t> sizes;
    std::uint32_t state = byte;
    for (int i = 0; i < 1 + byte % 7; ++i) {
        state = state * 1103515245 + 12345;
        sizes.push_back(1 + (state >> 16) % 130);
    }
    return sizes;
}

// Every lead byte followed by exactly its continuation bytes.
bool well_formed(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        if (lead < 0x80)
            length = 1;
        else if ((lead & 0xE0) == 0xC0)
            length = 2;
        else if ((lead & 0xF0) == 0xE0)
            length = 3;
        else if ((lead & 0xF8) == 0xF0)
            length = 4;
        else
            return false;
        if (i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return true;
}

void fail(const char* what) {
    std::fprintf(stderr, "fuzz_periods: %s\n", what);
    std::abort();
}

void check_shape(std::string_view input, std::string_view output, std::int32_t n) {
    if (output.size() < 2 || output.substr(output.size() - 2) != ";\n") fail("no last line");
    std::string words; // the output without spaces, line ends and ";"
    for (std::size_t start = 0; start < output.size();) {
        const std::size_t end = output.find('\n', start);
        const std::string_view line = output.substr(start, end - start);
        if (line.empty() || line.back() != ';') fail("a line that does not end with ;");
        std::int64_t count = 0;
        bool in_word = false;
        for (char c : line.substr(0, line.size() - 1)) {
            if (c == ';') fail("a ; inside a line");
            if (c != ' ') words += c;
            if (c != ' ' && !in_word) ++count;
            in_word = c != ' ';
        }
        if (n > 0 && count > n) fail("a line with more than n words");
        if (n <= 0 && count > 0) fail("a word with n <= 0");
        start = end + 1;
    }
    std::size_t at = 0;
    for (char c : input) {
        if (at < words.size() && words[at] == c) ++at;
    }
    if (at != words.size()) fail("output words that are not in the input in order");
}

// What a stream gives its sinks.
struct Streamed {
    std::string periods;
    std::vector<spezzafrasi_span> spans;
};

int take_bytes(void* context, const void* bytes, size_t size) {
    static_cast<Streamed*>(context)->periods.append(static_cast<const char*>(bytes), size);
    return 0;
}

int take_spans(void* context, const spezzafrasi_span* spans, size_t count) {
    auto& streamed = *static_cast<Streamed*>(context);
    streamed.spans.insert(streamed.spans.end(), spans, spans + count);
    return 0;
}

bool is_separator(char c) {
    return c == '\n' || c == '\f' || c == '\r' || c == ' ';
}

// The words of `text` up to its first terminator, in well-formed UTF-8.
std::vector<std::string_view> phrase_words(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const bool dot = text.substr(i, 2) == "\xC2\xB7";
        const bool terminator =
            i < text.size() && (std::strchr("!().:;?", text[i]) != nullptr || dot);
        if (i == text.size() || terminator || is_separator(text[i])) {
            if (i > start) words.push_back(text.substr(start, i - start));
            if (i == text.size() || terminator) break;
            start = i + 1;
        }
    }
    return words;
}

// The spans tile the text: in order, apart only by separators, each
// beginning with a byte that is no separator, the last ending with the
// text; and each period's words are the first of its span's.
void check_spans(std::string_view input, std::string_view output,
                 const std::vector<spezzafrasi_span>& spans, std::int32_t n) {
    std::uint64_t at = 0;
    std::uint64_t line_start = 0;
    for (const spezzafrasi_span& span : spans) {
        if (span.start < at || span.end < span.start || span.end > input.size()) fail("span order");
        for (; at < span.start; ++at) {
            if (!is_separator(input[at])) fail("a byte that is no separator outside every span");
        }
        if (span.start < span.end && is_separator(input[span.start])) fail("span starts at a gap");
        const std::string_view line = output.substr(line_start, span.line_end - line_start - 2);
        const std::vector<std::string_view> words = phrase_words(line);
        const std::vector<std::string_view> first =
            phrase_words(input.substr(span.start, span.end - span.start));
        if (n > 0 && !std::equal(words.begin(), words.end(), first.begin(),
                                 first.begin() + static_cast<std::ptrdiff_t>(
                                                     std::min(first.size(), words.size())))) {
            fail("a period's words are not the first of its span");
        }
        at = span.end;
        line_start = span.line_end;
    }
    if (spans.empty() || at != input.size() || line_start != output.size()) fail("span ends");
}

void expect_as_model(const PlainResult& model, std::string_view periods,
                     const std::vector<spezzafrasi_span>& spans, const spezzafrasi_fault& fault,
                     const char* how) {
    if (periods != model.periods) {
        std::fprintf(stderr, "%s: ", how);
        fail("periods differ from the plain model");
    }
    if (spans.size() != model.spans.size()) fail("span count differs from the plain model");
    for (std::size_t i = 0; i < spans.size(); ++i) {
        const PlainSpan got{spans[i].start, spans[i].end, spans[i].line_end};
        if (!(got == model.spans[i])) fail("a span differs from the plain model");
    }
    if (fault.offset != model.fault_offset || fault.line != model.fault_line) {
        fail("the first fault differs from the plain model");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    const char* named = std::getenv("SPEZZAFRASI_KERNEL");
    if (named != nullptr && std::strcmp(chosen_kernel().name, named) != 0) {
        std::fprintf(stderr, "fuzz_periods: this processor does not run %s\n", named);
        std::exit(0);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::int32_t n = words_per_period_of(data[0]);
    const std::string input(reinterpret_cast<const char*>(data + 2), size - 2);
    const PlainResult model = plain_model_of(input, n);

    std::string whole(spezzafrasi_bound(input.size()), '\0');
    std::vector<spezzafrasi_span> spans(spezzafrasi_span_bound(input.size()));
    std::size_t written = 0;
    std::size_t count = 0;
    spezzafrasi_fault fault{};
    if (spezzafrasi_periods_spans(input.data(), input.size(), whole.data(), whole.size(), &written,
                                  spans.data(), spans.size(), &count, &fault, n,
                                  SPEZZAFRASI_LF) != SPEZZAFRASI_OK) {
        fail("one call failed");
    }
    whole.resize(written);
    spans.resize(count);
    expect_as_model(model, whole, spans, fault, "one call");

    Streamed streamed;
    spezzafrasi_stream* stream = spezzafrasi_stream_new(n, SPEZZAFRASI_LF, take_bytes, &streamed);
    if (stream == nullptr || spezzafrasi_stream_spans(stream, take_spans) != SPEZZAFRASI_OK) {
        fail("no stream");
    }
    const std::vector<std::size_t> chunks = chunking_of(data[1]);
    for (std::size_t at = 0, i = 0; at < input.size(); ++i) {
        const std::size_t chunk = std::min(chunks[i % chunks.size()], input.size() - at);
        if (spezzafrasi_stream_feed(stream, input.data() + at, chunk) != SPEZZAFRASI_OK) {
            fail("feed failed");
        }
        at += chunk;
    }
    if (spezzafrasi_stream_finish(stream) != SPEZZAFRASI_OK) fail("finish failed");
    spezzafrasi_stream_fault(stream, &fault);
    spezzafrasi_stream_free(stream);
    expect_as_model(model, streamed.periods, streamed.spans, fault, "stream");

    if (well_formed(input)) {
        check_shape(input, whole, n);
        check_spans(input, whole, spans, n);
    }
    return 0;
}
