// The pieces of the Python module spezzafrasi._spezzafrasi, written against
// the stable ABI (the limited API of CPython 3.9), so that one build serves
// every CPython from 3.9 on. Text is segmented with the GIL released. Plain
// C++: no exceptions, no C++ runtime.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "spezzafrasi.h"

#include <cstddef>
#include <cstdint>

namespace spezzafrasi::python {

// Periods and their spans collected from a stream's sinks; owned by the
// object that holds it. `base` is where bytes[0] stands in the periods.
struct Collected {
    char* bytes;
    Py_ssize_t size;
    Py_ssize_t capacity;
    spezzafrasi_span* spans;
    size_t span_count;
    size_t span_capacity;
    std::uint64_t base;
    bool failed; // memory ran out
};

// Room for `more` items after `used` in a buffer of malloc of `capacity`,
// doubled as often as needed (realloc moves large memory without a copy).
bool make_room(void*& items, size_t item_size, size_t used, size_t more, size_t& capacity);

// A stream whose periods and spans go to `out`; nullptr with MemoryError.
spezzafrasi_stream* collecting_stream(int words, int line_end, Collected& out);
// Drops the periods before `end`, an offset in the periods, and every span.
void drop_collected(Collected& c, std::uint64_t end);
void free_collected(Collected& c);

// A stream's result, collected into `out`, as an exception (and the stream
// then `finished`), or true; the text's first fault as a warning, once.
bool stream_ok(int result, const spezzafrasi_stream* stream, const Collected& out, bool& warned,
               bool& finished);

// Tells the caller, once for a text, that it is not UTF-8: a
// NotUTF8Warning with the first fault's offset (from 0) and line (from 1).
// False when the warning filters made it an error.
bool warn_not_utf8(const spezzafrasi_fault& fault);

// Raises spezzafrasi.Error with `message`, for a failure of the library.
void raise_error(const char* message);

// n as the program takes it: any integer (anything with __index__),
// clamped to the 32-bit range; 7 when it is not given.
bool words_per_period_of(PyObject* n, int& words);

// The UTF-8 bytes of a str (a new bytes object), the bytes given (a new
// reference) or a copy of any other bytes-like object; nullptr with
// TypeError for anything else.
PyObject* bytes_of(PyObject* text, bool& is_str);

// The UTF-8 of a str, encoded a piece of str_piece_points code points at a
// time into memory of malloc, its size to `size`; nullptr with an exception
// set on failure (UnicodeEncodeError for a surrogate). A piece's UTF-8, at
// most 64 KiB, stays in the cache and in memory that the allocator reuses.
char* utf8_of_str(PyObject* text, Py_ssize_t& size);
inline constexpr Py_ssize_t str_piece_points = 16384;

// A text's bytes to cut, as bytes_of gives them, but for a str longer than
// a piece, whose UTF-8 utf8_of_str makes: held by `owner` or by `utf8`.
struct TextBytes {
    PyObject* owner;
    char* utf8;
    const char* data;
    Py_ssize_t size;
    bool is_str;
};
bool text_bytes_of(PyObject* text, TextBytes& out);
void release_text(TextBytes& text);

// Large memory written once, fresh: in huge pages the system maps it 2 MiB
// at a time instead of 4 KiB, a fault in 512.
void advise_huge_pages(char* bytes, size_t size);

// The periods as the text's type: str for a str, bytes for the others.
PyObject* result_of(const char* bytes, Py_ssize_t size, bool is_str);

// An object of one of the module's types, given back to Python.
void free_object(PyObject* self);

// What the module keeps: its types.
struct ModuleState {
    PyObject* iterator_type;
    PyObject* period_type; // the named tuple (period, start, end)
};

ModuleState& state_of(PyObject* module);

// The module's functions and types.
PyObject* periods(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* iter_periods(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* transcribe(PyObject* module, PyObject* args, PyObject* kwargs);
PyType_Spec& period_iterator_spec();
PyType_Spec& segmenter_spec();
// Has the C library count forks for the Segmenters (once an import; more
// counts are as good).
bool count_forks();

// Keyword names, as PyArg_ParseTupleAndKeywords takes them.
inline char text_arg[] = "text";
inline char n_arg[] = "n";
inline char crlf_arg[] = "crlf";

} // namespace spezzafrasi::python
