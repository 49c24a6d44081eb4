// The C interface: the segmentation behind a caller's buffer or a caller's
// function. Nothing here throws, prints or aborts.
#include "spezzafrasi.h"

#include "segmentation/byte_stream.hpp"
#include "segmentation/periods.hpp"

#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <limits>

using namespace spezzafrasi;

struct spezzafrasi_stream {
    PeriodState state;
    OutputStream output;
    spezzafrasi_sink sink;
    spezzafrasi_span_sink span_sink;
    void* context;
    bool fed;
    bool finished;
    bool busy; // inside a feed or a finish: a sink may not call them
    // Enough that whole lines go out in the line path's fixed-size copies,
    // and that a sink which writes to a file is called about once for a
    // chunk of 64 KiB of prose, not twice. Larger, the stream would leave
    // malloc's heap, and each one would cost a mapping of its own.
    unsigned char buffer[std::size_t{1} << 16];
    PeriodSpan spans[512];
};

namespace {

const LineEnd* line_end_of(int line_end) {
    if (line_end == SPEZZAFRASI_LF) return &lf_line_end;
    if (line_end == SPEZZAFRASI_CRLF) return &crlf_line_end;
    return nullptr;
}

// The caller's buffers as the output: a flush moves each past what was
// written, so the periods and spans are written in place, copied once.
bool advance_in_place(OutputStream& output) {
    output.buffer += output.used;
    output.capacity -= output.used;
    output.used = 0;
    if (output.spans != nullptr) {
        output.spans += output.span_count;
        output.span_capacity -= output.span_count;
        output.span_count = 0;
    }
    return output.capacity != 0 && (output.spans == nullptr || output.span_capacity != 0);
}

// The bytes first, then the spans of the lines among them.
bool hand_to_sink(OutputStream& output) {
    auto& stream = *static_cast<spezzafrasi_stream*>(output.sink);
    if (output.used != 0 && stream.sink(stream.context, output.buffer, output.used) != 0) {
        return false;
    }
    output.used = 0;
    if (output.span_count != 0 &&
        stream.span_sink(stream.context, output.spans, output.span_count) != 0) {
        return false;
    }
    output.span_count = 0;
    return true;
}

void report_fault(const PeriodState& state, spezzafrasi_fault* fault) {
    if (fault == nullptr) return;
    if (!first_fault(state, fault->offset, fault->line)) fault->line = 0;
}

// words_per_period is an int in the interface and 32 bits inside, as on
// every system the library builds for.
static_assert(sizeof(int) == sizeof(std::int32_t), "an int of 32 bits");

} // namespace

// A byte of text gives at most a line end (a terminator, or the separator
// that closes the n-th word), and the text's end one more.
size_t spezzafrasi_bound(size_t input_size) {
    constexpr std::size_t most = crlf_line_end.size;
    if (input_size > (std::numeric_limits<std::size_t>::max() - most) / most) return 0;
    return most * input_size + most;
}

int spezzafrasi_periods(const void* input, size_t input_size, void* output, size_t output_capacity,
                        size_t* output_size, int words_per_period, int line_end) {
    return spezzafrasi_periods_spans(input, input_size, output, output_capacity, output_size,
                                     nullptr, 0, nullptr, nullptr, words_per_period, line_end);
}

// A period ends at each terminator, one more at the end.
size_t spezzafrasi_span_bound(size_t input_size) {
    return input_size == std::numeric_limits<std::size_t>::max() ? 0 : input_size + 1;
}

int spezzafrasi_periods_spans(const void* input, size_t input_size, void* output,
                              size_t output_capacity, size_t* output_size, spezzafrasi_span* spans,
                              size_t span_capacity, size_t* span_count, spezzafrasi_fault* fault,
                              int words_per_period, int line_end) {
    const LineEnd* end = line_end_of(line_end);
    if ((input == nullptr && input_size != 0) || (output == nullptr && output_capacity != 0) ||
        output_size == nullptr || end == nullptr || (spans == nullptr) != (span_count == nullptr)) {
        return SPEZZAFRASI_ERROR_ARGUMENT;
    }
    auto* const start = static_cast<unsigned char*>(output);
    OutputStream out{start, output_capacity, *end, advance_in_place};
    out.spans = spans;
    out.span_capacity = span_capacity;
    PeriodState state; // NOLINT(cppcoreguidelines-pro-type-member-init): start_periods sets it
    start_periods(state, words_per_period);
    feed_periods(state, static_cast<const unsigned char*>(input), input_size, out);
    finish_periods(state, out);
    *output_size = static_cast<std::size_t>(out.buffer - start) + out.used;
    if (spans != nullptr)
        *span_count = static_cast<std::size_t>(out.spans - spans) + out.span_count;
    report_fault(state, fault);
    return out.failed ? SPEZZAFRASI_ERROR_SPACE : SPEZZAFRASI_OK;
}

spezzafrasi_stream* spezzafrasi_stream_new(int words_per_period, int line_end,
                                           spezzafrasi_sink sink, void* context) {
    const LineEnd* end = line_end_of(line_end);
    if (sink == nullptr || end == nullptr) return nullptr;
    auto* stream = static_cast<spezzafrasi_stream*>(std::malloc(sizeof(spezzafrasi_stream)));
    if (stream == nullptr) return nullptr;
    start_periods(stream->state, words_per_period);
    stream->output =
        OutputStream{stream->buffer, sizeof stream->buffer, *end, hand_to_sink, stream};
    stream->sink = sink;
    stream->span_sink = nullptr;
    stream->context = context;
    stream->fed = false;
    stream->finished = false;
    stream->busy = false;
    return stream;
}

int spezzafrasi_stream_spans(spezzafrasi_stream* stream, spezzafrasi_span_sink span_sink) {
    if (stream == nullptr || span_sink == nullptr || stream->fed) return SPEZZAFRASI_ERROR_ARGUMENT;
    if (stream->busy) return SPEZZAFRASI_ERROR_BUSY;
    if (stream->finished) return SPEZZAFRASI_ERROR_FINISHED;
    stream->span_sink = span_sink;
    stream->output.spans = stream->spans;
    stream->output.span_capacity = std::size(stream->spans);
    return SPEZZAFRASI_OK;
}

int spezzafrasi_stream_fault(const spezzafrasi_stream* stream, spezzafrasi_fault* fault) {
    if (stream == nullptr || fault == nullptr) return SPEZZAFRASI_ERROR_ARGUMENT;
    report_fault(stream->state, fault);
    return fault->offset != SPEZZAFRASI_NO_FAULT ? 1 : 0;
}

int spezzafrasi_stream_feed(spezzafrasi_stream* stream, const void* bytes, size_t size) {
    if (stream == nullptr || (bytes == nullptr && size != 0)) return SPEZZAFRASI_ERROR_ARGUMENT;
    if (stream->busy) return SPEZZAFRASI_ERROR_BUSY;
    if (stream->finished) return SPEZZAFRASI_ERROR_FINISHED;
    stream->fed = true;
    stream->busy = true;
    feed_periods(stream->state, static_cast<const unsigned char*>(bytes), size, stream->output);
    const bool handed = flush_output(stream->output);
    stream->busy = false;
    return handed ? SPEZZAFRASI_OK : SPEZZAFRASI_ERROR_SINK;
}

int spezzafrasi_stream_finish(spezzafrasi_stream* stream) {
    if (stream == nullptr) return SPEZZAFRASI_ERROR_ARGUMENT;
    if (stream->busy) return SPEZZAFRASI_ERROR_BUSY;
    if (stream->finished) return SPEZZAFRASI_ERROR_FINISHED;
    stream->finished = true;
    stream->busy = true;
    finish_periods(stream->state, stream->output);
    const bool handed = flush_output(stream->output);
    stream->busy = false;
    return handed ? SPEZZAFRASI_OK : SPEZZAFRASI_ERROR_SINK;
}

void spezzafrasi_stream_free(spezzafrasi_stream* stream) {
    std::free(stream);
}

const char* spezzafrasi_version(void) {
    return SPEZZAFRASI_VERSION_STRING;
}

const char* spezzafrasi_kernel_name(void) {
    return chosen_kernel().name;
}

const char* spezzafrasi_result_text(int result) {
    switch (result) {
    case SPEZZAFRASI_OK:
        return "success";
    case SPEZZAFRASI_ERROR_ARGUMENT:
        return "invalid argument";
    case SPEZZAFRASI_ERROR_SPACE:
        return "output buffer too small";
    case SPEZZAFRASI_ERROR_SINK:
        return "the sink refused the output";
    case SPEZZAFRASI_ERROR_FINISHED:
        return "the stream is finished";
    case SPEZZAFRASI_ERROR_BUSY:
        return "the stream was called from its own sink";
    default:
        return "unknown result";
    }
}
