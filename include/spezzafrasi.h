/* spezzafrasi: a UTF-8 text cut into periods, in memory.
 *
 * Every phrase of the text (the words up to a terminator ! ( ) . : ; ? or
 * the middle dot U+00B7) stands on a line of its own, at most its first n
 * words, separated by single spaces, each line ending with ";" and a line
 * end; the rest of a longer phrase is dropped up to its terminator. The
 * bytes are those that the program spezzafrasi writes for the same text.
 *
 * Two ways in: one call for a whole text in a caller's buffer, or a stream
 * that takes the text in chunks of any size and hands the periods to a
 * function of the caller's. Both can also tell where each period comes
 * from in the text (its span) and where the text first stops being UTF-8.
 * No call prints, aborts or keeps global state (but for the processor's
 * kernel, chosen once); no call but spezzafrasi_stream_new allocates. A
 * stream is used by one thread at a time; different streams, from any
 * threads. */
#ifndef SPEZZAFRASI_H
#define SPEZZAFRASI_H

#include "spezzafrasi_version.h"

#include <stddef.h>
#include <stdint.h>

#ifndef SPEZZAFRASI_API /* a build that links the library in may hide it */
#if defined(_WIN32) || !defined(__GNUC__)
#define SPEZZAFRASI_API
#else
#define SPEZZAFRASI_API __attribute__((visibility("default")))
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The results of the calls: 0, or one of the errors below 0. */
enum {
    SPEZZAFRASI_OK = 0,
    SPEZZAFRASI_ERROR_ARGUMENT = -1, /* a null pointer, or a line end that is neither below */
    SPEZZAFRASI_ERROR_SPACE = -2,    /* the output does not fit in the caller's buffer */
    SPEZZAFRASI_ERROR_SINK = -3,     /* the sink refused the periods: the stream is done */
    SPEZZAFRASI_ERROR_FINISHED = -4, /* fed or finished after it was finished */
    SPEZZAFRASI_ERROR_BUSY = -5      /* a stream called from one of its own sinks */
};

/* The end of each line: ";" and LF, or ";" and CR LF. */
enum { SPEZZAFRASI_LF = 0, SPEZZAFRASI_CRLF = 1 };

/* The words of a text are the runs of bytes between its separators (LF, FF,
 * CR and space: a tab is a byte of a word) and its terminators (! ( ) . :
 * ; ? and the middle dot C2 B7). In every call, words_per_period is n;
 * with 0 or less, as in the program, every period takes one character of
 * the text and is an empty line. */

/* The most bytes that the periods of a text of input_size bytes can take,
 * with either line end; 0 when that does not fit in a size_t. */
SPEZZAFRASI_API size_t spezzafrasi_bound(size_t input_size);

/* Writes the periods of the input_size bytes at input to output, which has
 * room for output_capacity bytes (spezzafrasi_bound(input_size) always
 * suffice), and their size in bytes to *output_size. Returns
 * SPEZZAFRASI_OK, SPEZZAFRASI_ERROR_ARGUMENT (a null pointer with a size,
 * a null output_size, another line end) or SPEZZAFRASI_ERROR_SPACE: then
 * the buffer holds what fitted, *output_size bytes. */
SPEZZAFRASI_API int spezzafrasi_periods(const void* input, size_t input_size, void* output,
                                        size_t output_capacity, size_t* output_size,
                                        int words_per_period, int line_end);

/* Where a stream's periods go: the function is given the next size bytes
 * (size above 0) and returns 0 when it took them, anything else to stop
 * the stream. The bytes are valid during the call only. A sink must not
 * feed, finish or free its own stream: feed and finish answer
 * SPEZZAFRASI_ERROR_BUSY there. */
typedef int (*spezzafrasi_sink)(void* context, const void* bytes, size_t size);

typedef struct spezzafrasi_stream spezzafrasi_stream;

/* A stream for one text. NULL for a NULL sink or a line_end that is
 * neither SPEZZAFRASI_LF nor SPEZZAFRASI_CRLF, and otherwise only when
 * memory is short. */
SPEZZAFRASI_API spezzafrasi_stream* spezzafrasi_stream_new(int words_per_period, int line_end,
                                                           spezzafrasi_sink sink, void* context);

/* The next size bytes of the text, any number, any cut: a character that
 * the chunk does not hold whole is completed by the next. When the call
 * returns, the sink has been given every period byte that the text so far
 * decides; the stream keeps a copy of what it still needs, never a pointer
 * to the bytes. Returns SPEZZAFRASI_OK, SPEZZAFRASI_ERROR_ARGUMENT (a null
 * stream, null bytes with a size), SPEZZAFRASI_ERROR_SINK (a sink refused:
 * the stream is done), SPEZZAFRASI_ERROR_FINISHED or
 * SPEZZAFRASI_ERROR_BUSY. */
SPEZZAFRASI_API int spezzafrasi_stream_feed(spezzafrasi_stream* stream, const void* bytes,
                                            size_t size);

/* The end of the text: the last line goes to the sink, and a character cut
 * short by the end is dropped. The stream takes nothing more after it.
 * Returns what spezzafrasi_stream_feed does. */
SPEZZAFRASI_API int spezzafrasi_stream_finish(spezzafrasi_stream* stream);

/* Where a period comes from, in byte offsets from the text's first byte.
 *
 * The span of a period ends just past the terminator that ends its phrase
 * (its dropped tail included), or at the end of the text for the last
 * period. It begins at the first byte after the span before it (or the
 * text's start) that is not a separator (LF, FF, CR, space); where there is
 * none before its end, the span is empty and begins where it ends. So every
 * byte of the text that is not a separator lies in exactly one span, the
 * spans follow one another without overlapping, the last one ends where the
 * text does, and a period's words are the first words of its span. With
 * words_per_period 0 or less a period is one character and the rest of its
 * phrase: its span ends past the first terminator after that character.
 *
 * line_end is where the period's line ends in the periods: past its ";" and
 * line end, counted from the first byte of the periods. A period's line is
 * the bytes from the line_end of the period before it (or 0) to its own:
 * search no line feed, since a byte that is not UTF-8 may take one into a
 * word.
 *
 * Example, n = 3: "Oggi piove molto forte. Domani no." (34 bytes) gives
 * three periods, "Oggi piove molto;
" with span {0, 23} (the whole first
 * phrase, "forte." dropped), line_end 18; "Domani no;
" with {24, 34},
 * line_end 29; and the last, empty ";
", with {34, 34}, line_end 31. */
typedef struct spezzafrasi_span {
    uint64_t start;
    uint64_t end;
    uint64_t line_end;
} spezzafrasi_span;

/* Where the text first stops being UTF-8: the offset of the first byte of
 * the first sequence that is not well-formed (a stray continuation byte, F8
 * to FF, a lead byte whose next bytes do not continue it, or a sequence cut
 * short by the end of the text), from 0, and its line, from 1 (one more
 * than the line feeds before it). Such bytes are cut as the rules say, a
 * lead byte taking the next one to three bytes into its word whatever they
 * are, so phrases near it may run together. offset is SPEZZAFRASI_NO_FAULT
 * and line 0 when the text is UTF-8. */
typedef struct spezzafrasi_fault {
    uint64_t offset;
    uint64_t line;
} spezzafrasi_fault;

#define SPEZZAFRASI_NO_FAULT UINT64_MAX

/* The most spans that a text of input_size bytes can have: one per byte and
 * one more; 0 when that does not fit in a size_t. */
SPEZZAFRASI_API size_t spezzafrasi_span_bound(size_t input_size);

/* spezzafrasi_periods, and each period's span to spans, which has room for
 * span_capacity of them (spezzafrasi_span_bound(input_size) always
 * suffice), their number to *span_count; and where the text first stops
 * being UTF-8 to *fault. spans and span_count may both be NULL (no spans),
 * and fault too. SPEZZAFRASI_ERROR_SPACE when either buffer is too small;
 * each then holds what fitted, and *fault tells only of the text before
 * where the cut stopped. */
SPEZZAFRASI_API int spezzafrasi_periods_spans(const void* input, size_t input_size, void* output,
                                              size_t output_capacity, size_t* output_size,
                                              spezzafrasi_span* spans, size_t span_capacity,
                                              size_t* span_count, spezzafrasi_fault* fault,
                                              int words_per_period, int line_end);

/* Where a stream's spans go: the next count spans (count above 0), each
 * time after the sink has been given the bytes of their lines; returns 0
 * when it took them, anything else to stop the stream. Valid during the
 * call only. A span is given once its period is whole, dropped tail
 * included: by the time spezzafrasi_stream_feed returns, every period that
 * the text so far decides whole has its span given. */
typedef int (*spezzafrasi_span_sink)(void* context, const spezzafrasi_span* spans, size_t count);

/* Asks a new stream for its spans too, given to span_sink with the
 * stream's context: SPEZZAFRASI_ERROR_ARGUMENT for NULL, or once the stream
 * has been fed. */
SPEZZAFRASI_API int spezzafrasi_stream_spans(spezzafrasi_stream* stream,
                                             spezzafrasi_span_sink span_sink);

/* Where the text fed so far first stops being UTF-8, to *fault: returns 1
 * when it does, 0 when it does not (fault->offset is then
 * SPEZZAFRASI_NO_FAULT), SPEZZAFRASI_ERROR_ARGUMENT for NULL. A character
 * cut by the end of the last chunk counts once the text is finished. */
SPEZZAFRASI_API int spezzafrasi_stream_fault(const spezzafrasi_stream* stream,
                                             spezzafrasi_fault* fault);

/* Frees the stream; NULL is allowed. */
SPEZZAFRASI_API void spezzafrasi_stream_free(spezzafrasi_stream* stream);

/* The name of the kernel that cuts the text on this processor (the
 * fastest it runs, or the one that the environment variable
 * SPEZZAFRASI_KERNEL names, if it runs it): "avx512vbmi2", "avx512",
 * "avx2", "sse2", "neon" or "portable". For bug reports and benchmarks. */
SPEZZAFRASI_API const char* spezzafrasi_kernel_name(void);

/* The library's version, "MAJOR.MINOR.PATCH": the one that runs, which
 * may be newer than the SPEZZAFRASI_VERSION_STRING a caller was built
 * with (the same major number keeps every call's meaning). */
SPEZZAFRASI_API const char* spezzafrasi_version(void);

/* A short English description of a result. */
SPEZZAFRASI_API const char* spezzafrasi_result_text(int result);

#ifdef __cplusplus
}
#endif

#endif
