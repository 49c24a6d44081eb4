#include "memory_streams.hpp"

#include "segmentation/periods.hpp"

#include <algorithm>
#include <vector>

namespace spezzafrasi {

namespace {

struct StringSink {
    std::string text;
    std::vector<PeriodSpan> spans;
};

bool append_to_string(OutputStream& output) {
    auto& sink = *static_cast<StringSink*>(output.sink);
    sink.text.append(reinterpret_cast<const char*>(output.buffer), output.used);
    output.used = 0;
    sink.spans.insert(sink.spans.end(), output.spans, output.spans + output.span_count);
    output.span_count = 0;
    return true;
}

} // namespace

namespace {

StringSink feed_in_chunks(std::string_view input, std::int32_t words_per_period,
                          std::span<const std::size_t> chunk_sizes, LineEnd line_end,
                          PeriodState& state, bool with_spans) {
    std::vector<unsigned char> buffer(std::max<std::size_t>(chunk_sizes[0], 1));
    std::vector<PeriodSpan> spans(1 + chunk_sizes[0] % 5);
    StringSink sink;
    OutputStream output{buffer.data(), buffer.size(), line_end, append_to_string, &sink};
    if (with_spans) {
        output.spans = spans.data();
        output.span_capacity = spans.size();
    }
    start_periods(state, words_per_period);
    const auto* bytes = reinterpret_cast<const unsigned char*>(input.data());
    for (std::size_t at = 0, i = 0; at < input.size(); ++i) {
        const std::size_t size = std::min(chunk_sizes[i % chunk_sizes.size()], input.size() - at);
        feed_periods(state, bytes + at, size, output);
        at += size;
    }
    finish_periods(state, output);
    flush_output(output);
    return sink;
}

} // namespace

std::string periods_in_chunks(std::string_view input, std::int32_t words_per_period,
                              std::span<const std::size_t> chunk_sizes, LineEnd line_end,
                              std::uint64_t* first_invalid) {
    PeriodState state;
    const StringSink sink =
        feed_in_chunks(input, words_per_period, chunk_sizes, line_end, state, false);
    if (first_invalid != nullptr) *first_invalid = state.first_invalid;
    return sink.text;
}

Segmented segment_in_chunks(std::string_view input, std::int32_t words_per_period,
                            std::span<const std::size_t> chunk_sizes) {
    PeriodState state;
    StringSink sink =
        feed_in_chunks(input, words_per_period, chunk_sizes, lf_line_end, state, true);
    Segmented result{std::move(sink.text), std::move(sink.spans), 0, 0};
    if (!first_fault(state, result.fault_offset, result.fault_line)) result.fault_line = 0;
    return result;
}

std::string periods_of(std::string_view input, std::int32_t words_per_period,
                       std::size_t chunk_size, LineEnd line_end) {
    return periods_in_chunks(input, words_per_period, std::span(&chunk_size, 1), line_end);
}

std::string with_crlf(std::string_view text) {
    std::string crlf;
    for (const char c : text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    return crlf;
}

} // namespace spezzafrasi
