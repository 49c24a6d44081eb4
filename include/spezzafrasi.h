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
 * function of the caller's. No call prints, aborts or keeps global state
 * (but for the processor's kernel, chosen once); no call but
 * spezzafrasi_stream_new allocates. A stream is used by one thread at a
 * time; different streams, from any threads. */
#ifndef SPEZZAFRASI_H
#define SPEZZAFRASI_H

#include <stddef.h>

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

#define SPEZZAFRASI_VERSION_MAJOR 1
#define SPEZZAFRASI_VERSION_MINOR 0

/* The results of the calls: 0, or one of the errors below 0. */
enum {
    SPEZZAFRASI_OK = 0,
    SPEZZAFRASI_ERROR_ARGUMENT = -1, /* a null pointer, or a line end that is neither below */
    SPEZZAFRASI_ERROR_SPACE = -2,    /* the output does not fit in the caller's buffer */
    SPEZZAFRASI_ERROR_SINK = -3,     /* the sink refused the periods: the stream is done */
    SPEZZAFRASI_ERROR_FINISHED = -4  /* fed or finished after it was finished */
};

/* The end of each line: ";" and LF, or ";" and CR LF. */
enum { SPEZZAFRASI_LF = 0, SPEZZAFRASI_CRLF = 1 };

/* words_per_period is n. With 0 or less, as in the program, every period
 * takes one character of the text and is an empty line. */

/* The most bytes that the periods of a text of input_size bytes can take,
 * with either line end; 0 when that does not fit in a size_t. */
SPEZZAFRASI_API size_t spezzafrasi_bound(size_t input_size);

/* Writes the periods of the input_size bytes at input to output, which has
 * room for output_capacity bytes (spezzafrasi_bound(input_size) always
 * suffice), and their number to *output_size. On SPEZZAFRASI_ERROR_SPACE
 * the buffer holds what fitted, *output_size bytes. */
SPEZZAFRASI_API int spezzafrasi_periods(const void* input, size_t input_size, void* output,
                                        size_t output_capacity, size_t* output_size,
                                        int words_per_period, int line_end);

/* Where a stream's periods go: the function is given the next size bytes
 * (size above 0) and returns 0 when it took them, anything else to stop
 * the stream. The bytes are valid during the call only. */
typedef int (*spezzafrasi_sink)(void* context, const void* bytes, size_t size);

typedef struct spezzafrasi_stream spezzafrasi_stream;

/* A stream for one text: NULL when memory is short, or sink is NULL, or
 * line_end is neither SPEZZAFRASI_LF nor SPEZZAFRASI_CRLF. */
SPEZZAFRASI_API spezzafrasi_stream* spezzafrasi_stream_new(int words_per_period, int line_end,
                                                          spezzafrasi_sink sink, void* context);

/* The next size bytes of the text, any number, any cut: a character that
 * the chunk does not hold whole is completed by the next. When the call
 * returns, the sink has been given every period byte that the text so far
 * decides. */
SPEZZAFRASI_API int spezzafrasi_stream_feed(spezzafrasi_stream* stream, const void* bytes,
                                            size_t size);

/* The end of the text: the last line goes to the sink, and a character cut
 * short by the end is dropped. The stream takes nothing more after it. */
SPEZZAFRASI_API int spezzafrasi_stream_finish(spezzafrasi_stream* stream);

/* Frees the stream; NULL is allowed. */
SPEZZAFRASI_API void spezzafrasi_stream_free(spezzafrasi_stream* stream);

/* A short English description of a result. */
SPEZZAFRASI_API const char* spezzafrasi_result_text(int result);

#ifdef __cplusplus
}
#endif

#endif
