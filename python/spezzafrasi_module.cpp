// The Python module spezzafrasi: the library's periods for str and bytes,
// written against the stable ABI (limited API of CPython 3.9), so that one
// build serves every CPython from 3.9 on. The text is segmented with the
// GIL released. Plain C++: no exceptions, no C++ runtime.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "spezzafrasi.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

bool warn_not_utf8(const spezzafrasi_fault& fault);

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

// Room for `more` items after `used` in a buffer of malloc of `capacity`.
bool make_room(void*& items, size_t item_size, size_t used, size_t more, size_t& capacity) {
    if (used + more <= capacity) return true;
    size_t grown = capacity < 4096 ? 4096 : capacity;
    while (grown < used + more)
        grown *= 2;
    void* moved = std::realloc(items, grown * item_size);
    if (moved == nullptr) return false;
    items = moved;
    capacity = grown;
    return true;
}

int collect(void* context, const void* bytes, size_t size) {
    auto& c = *static_cast<Collected*>(context);
    void* items = c.bytes;
    auto capacity = static_cast<size_t>(c.capacity);
    if (!make_room(items, 1, static_cast<size_t>(c.size), size, capacity)) {
        c.failed = true;
        return 1;
    }
    c.bytes = static_cast<char*>(items);
    c.capacity = static_cast<Py_ssize_t>(capacity);
    std::memcpy(c.bytes + c.size, bytes, size);
    c.size += static_cast<Py_ssize_t>(size);
    return 0;
}

int collect_spans(void* context, const spezzafrasi_span* spans, size_t count) {
    auto& c = *static_cast<Collected*>(context);
    void* items = c.spans;
    if (!make_room(items, sizeof *spans, c.span_count, count, c.span_capacity)) {
        c.failed = true;
        return 1;
    }
    c.spans = static_cast<spezzafrasi_span*>(items);
    std::memcpy(c.spans + c.span_count, spans, count * sizeof *spans);
    c.span_count += count;
    return 0;
}

// Warns once, after a stream found where its text stops being UTF-8; false
// when the warning was made an error.
bool warn_once(const spezzafrasi_stream* stream, bool& warned) {
    spezzafrasi_fault fault{};
    if (warned || spezzafrasi_stream_fault(stream, &fault) != 1) return true;
    warned = true;
    return warn_not_utf8(fault);
}

// A stream's result, collected into `out`, as an exception (and the stream
// then `finished`), or true; the text's first fault as a warning, once.
bool stream_ok(int result, const spezzafrasi_stream* stream, const Collected& out, bool& warned,
               bool& finished) {
    if (result == SPEZZAFRASI_OK) return warn_once(stream, warned);
    if (out.failed) {
        PyErr_NoMemory();
    } else {
        PyErr_SetString(PyExc_RuntimeError, spezzafrasi_result_text(result));
    }
    finished = true;
    return false;
}

// Drops the periods before `end`, an offset in the periods, and every span.
void drop_collected(Collected& c, std::uint64_t end) {
    const auto gone = static_cast<Py_ssize_t>(end - c.base);
    if (gone != 0) {
        std::memmove(c.bytes, c.bytes + gone, static_cast<size_t>(c.size - gone));
        c.size -= gone;
        c.base = end;
    }
    c.span_count = 0;
}

void free_collected(Collected& c) {
    std::free(c.bytes);
    std::free(c.spans);
}

// A stream whose periods and spans go to `out`; nullptr with MemoryError.
spezzafrasi_stream* collecting_stream(int words, int line_end, Collected& out) {
    spezzafrasi_stream* stream = spezzafrasi_stream_new(words, line_end, collect, &out);
    if (stream == nullptr || spezzafrasi_stream_spans(stream, collect_spans) != SPEZZAFRASI_OK) {
        spezzafrasi_stream_free(stream);
        PyErr_NoMemory();
        return nullptr;
    }
    return stream;
}

// n as the program takes it: any int, clamped to the 32-bit range.
bool words_per_period_of(PyObject* n, int& words) {
    words = 7;
    if (n == nullptr) return true;
    if (!PyLong_Check(n)) {
        PyErr_SetString(PyExc_TypeError, "n must be an int");
        return false;
    }
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(n, &overflow);
    if (value == -1 && PyErr_Occurred()) return false;
    if (overflow > 0 || value > INT_MAX) {
        words = INT_MAX;
    } else if (overflow < 0 || value < INT_MIN) {
        words = INT_MIN;
    } else {
        words = static_cast<int>(value);
    }
    return true;
}

// The UTF-8 bytes of a str (a new bytes object) or the bytes given (a new
// reference); nullptr with TypeError for anything else.
PyObject* bytes_of(PyObject* text, bool& is_str) {
    is_str = PyUnicode_Check(text);
    if (is_str) return PyUnicode_AsUTF8String(text);
    if (PyBytes_Check(text)) {
        Py_INCREF(text);
        return text;
    }
    PyErr_Format(PyExc_TypeError, "expected str or bytes, not %R",
                 reinterpret_cast<PyObject*>(Py_TYPE(text)));
    return nullptr;
}

PyObject* result_of(const char* bytes, Py_ssize_t size, bool is_str) {
    return is_str ? PyUnicode_DecodeUTF8(bytes, size, "strict")
                  : PyBytes_FromStringAndSize(bytes, size);
}

// Large outputs are written once into fresh memory: in huge pages the
// system maps them 2 MiB at a time instead of 4 KiB, a fault in 512.
void advise_huge_pages(char* bytes, size_t size) {
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t huge = std::uintptr_t{2} << 20;
    const std::uintptr_t start = (reinterpret_cast<std::uintptr_t>(bytes) + huge - 1) & ~(huge - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(bytes) + size) & ~(huge - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    (void)bytes;
    (void)size;
#endif
}

// The room that the periods of a text of `input_size` bytes may take; 0
// with MemoryError when that has no size.
size_t bound_of(Py_ssize_t input_size) {
    const size_t bound = spezzafrasi_bound(static_cast<size_t>(input_size));
    if (bound == 0 || bound > static_cast<size_t>(PY_SSIZE_T_MAX) - 1) {
        PyErr_NoMemory();
        return 0;
    }
    return bound;
}

// Tells the caller, once for a text, that it is not UTF-8: a
// NotUTF8Warning with the first fault's offset (from 0) and line (from 1).
// False when the warning filters made it an error.
bool warn_not_utf8(const spezzafrasi_fault& fault) {
    char message[160];
    std::snprintf(message, sizeof message,
                  "not UTF-8 from byte %llu (line %llu): phrases near it may run together",
                  static_cast<unsigned long long>(fault.offset),
                  static_cast<unsigned long long>(fault.line));
    PyObject* module = PyImport_ImportModule("spezzafrasi");
    PyObject* category =
        module != nullptr ? PyObject_GetAttrString(module, "NotUTF8Warning") : nullptr;
    PyObject* warning =
        category != nullptr ? PyObject_CallFunction(category, "s", message) : nullptr;
    PyObject* warnings = warning != nullptr ? PyImport_ImportModule("warnings") : nullptr;
    const auto set = [warning](const char* name, std::uint64_t value) {
        PyObject* number = PyLong_FromUnsignedLongLong(value);
        const bool set = number != nullptr && PyObject_SetAttrString(warning, name, number) == 0;
        Py_XDECREF(number);
        return set;
    };
    PyObject* done = nullptr;
    if (warnings != nullptr && set("offset", fault.offset) && set("line", fault.line)) {
        done = PyObject_CallMethod(warnings, "warn", "Oi", warning, 2);
    }
    Py_XDECREF(done);
    Py_XDECREF(warnings);
    Py_XDECREF(warning);
    Py_XDECREF(category);
    Py_XDECREF(module);
    return done != nullptr;
}

// Cuts `input` into `output`, which has `bound` bytes of room, with the GIL
// released; false with an exception set on failure.
bool segment_into(const char* input, Py_ssize_t input_size, char* output, size_t bound, int words,
                  int line_end, Py_ssize_t& size) {
    size_t written = 0;
    spezzafrasi_fault fault{};
    PyThreadState* saved = PyEval_SaveThread();
    const int result =
        spezzafrasi_periods_spans(input, static_cast<size_t>(input_size), output, bound, &written,
                                  nullptr, 0, nullptr, &fault, words, line_end);
    PyEval_RestoreThread(saved);
    if (result != SPEZZAFRASI_OK) {
        PyErr_SetString(PyExc_RuntimeError, spezzafrasi_result_text(result));
        return false;
    }
    size = static_cast<Py_ssize_t>(written);
    return fault.offset == SPEZZAFRASI_NO_FAULT || warn_not_utf8(fault);
}

// The periods of `input` into a new buffer of malloc of `bound` bytes;
// nullptr with an exception set on failure.
char* segment_to_new(const char* input, Py_ssize_t input_size, size_t bound, int words,
                     int line_end, Py_ssize_t& size) {
    auto* output = static_cast<char*>(std::malloc(bound));
    if (output == nullptr) {
        PyErr_NoMemory();
        return nullptr;
    }
    advise_huge_pages(output, bound);
    if (!segment_into(input, input_size, output, bound, words, line_end, size)) {
        std::free(output);
        return nullptr;
    }
    return output;
}

// The periods of `bytes` into a new buffer of malloc; nullptr with an
// exception set on failure.
char* segment(PyObject* bytes, int words, int line_end, Py_ssize_t& size) {
    char* input = nullptr;
    Py_ssize_t input_size = 0;
    if (PyBytes_AsStringAndSize(bytes, &input, &input_size) != 0) return nullptr;
    const size_t bound = bound_of(input_size);
    if (bound == 0) return nullptr;
    return segment_to_new(input, input_size, bound, words, line_end, size);
}

// The periods of `text`, str or bytes (which `is_str` tells), into a new
// buffer of malloc; nullptr with an exception set on failure.
char* segment_text(PyObject* text, int words, int line_end, bool& is_str, Py_ssize_t& size) {
    PyObject* bytes = bytes_of(text, is_str);
    if (bytes == nullptr) return nullptr;
    char* output = segment(bytes, words, line_end, size);
    Py_DECREF(bytes);
    return output;
}

// Outputs that may take this much or more are written straight into the
// bytes object returned: a copy of a large text costs as much as cutting it.
constexpr size_t in_place_from = size_t{1} << 20;

// The periods of `bytes` as a bytes object. A large one is made at the
// bound's size, written in place and then given its true size: its memory
// past the periods is never touched, so it takes addresses but no room.
PyObject* segment_to_bytes(PyObject* bytes, int words, int line_end) {
    char* input = nullptr;
    Py_ssize_t input_size = 0;
    if (PyBytes_AsStringAndSize(bytes, &input, &input_size) != 0) return nullptr;
    const size_t bound = bound_of(input_size);
    if (bound == 0) return nullptr;
    Py_ssize_t size = 0;
    if (bound < in_place_from) {
        char* output = segment_to_new(input, input_size, bound, words, line_end, size);
        if (output == nullptr) return nullptr;
        PyObject* result = PyBytes_FromStringAndSize(output, size);
        std::free(output);
        return result;
    }
    PyObject* result = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(bound));
    if (result == nullptr) return nullptr;
    char* output = PyBytes_AsString(result);
    advise_huge_pages(output, bound);
    if (!segment_into(input, input_size, output, bound, words, line_end, size)) {
        Py_DECREF(result);
        return nullptr;
    }
    Py_SET_SIZE(reinterpret_cast<PyVarObject*>(result), size);
    output[size] = '\0';
    return result;
}

char text_arg[] = "text";
char n_arg[] = "n";
char crlf_arg[] = "crlf";

PyObject* periods(PyObject* /*module*/, PyObject* args, PyObject* kwargs) {
    char* names[] = {text_arg, n_arg, crlf_arg, nullptr};
    PyObject* text = nullptr;
    PyObject* n = nullptr;
    int crlf = 0;
    int words = 0;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|O$p:periods", names, &text, &n, &crlf) ||
        !words_per_period_of(n, words)) {
        return nullptr;
    }
    const int line_end = crlf ? SPEZZAFRASI_CRLF : SPEZZAFRASI_LF;
    if (PyBytes_Check(text)) return segment_to_bytes(text, words, line_end);
    bool is_str = false;
    Py_ssize_t size = 0;
    char* output = segment_text(text, words, line_end, is_str, size);
    if (output == nullptr) return nullptr;
    PyObject* result = result_of(output, size, is_str);
    std::free(output);
    return result;
}

// An object of one of the module's types, given back to Python.
void free_object(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free))(self);
    Py_DECREF(type); // heap types: each object holds its type
}

// What the module keeps: its types.
struct ModuleState {
    PyObject* iterator_type;
    PyObject* period_type; // the named tuple (period, start, end)
};

ModuleState& state_of(PyObject* module) {
    return *static_cast<ModuleState*>(PyModule_GetState(module));
}

// The iterator of iter_periods: the text fed to a stream a chunk at a time,
// as its periods are asked for, so that its memory is a chunk's, not the
// whole output's. Each period is cut from the output where the stream's
// spans say its line ends: a byte that is not UTF-8 may take a line feed
// into a word, so the line feeds cannot say it.
struct PeriodIterator {
    PyObject_HEAD PyObject* text; // str or bytes
    PyObject* period_type;        // with spans, the named tuple; else nullptr
    spezzafrasi_stream* stream;
    Collected out;
    size_t next_span;         // the next period to hand out
    std::uint64_t line_start; // where its line begins in the periods
    Py_ssize_t at;            // where the next chunk begins in the text
    bool is_str;
    bool busy; // a chunk is being cut with the GIL released
    bool finished;
    bool warned; // that the text is not UTF-8
    // A str is cut as UTF-8, a chunk at a time; the spans' offsets are
    // turned into code points on the chunk just cut. The span before ended
    // at (end_byte, end_point); only separators, one byte each, lie between
    // it and the next span's start.
    PyObject* chunk;
    std::uint64_t chunk_byte;   // where the chunk begins, in bytes
    std::uint64_t cursor_byte;  // a point of the chunk, in bytes
    std::uint64_t cursor_point; // and in code points
    std::uint64_t end_byte;
    std::uint64_t end_point;
};

// Code points of a str, or bytes, fed at a time.
constexpr Py_ssize_t chunk_points = 1 << 15;
constexpr Py_ssize_t chunk_bytes = 1 << 16;

void period_iterator_free(PyObject* self) {
    auto* it = reinterpret_cast<PeriodIterator*>(self);
    Py_XDECREF(it->text);
    Py_XDECREF(it->period_type);
    Py_XDECREF(it->chunk);
    spezzafrasi_stream_free(it->stream);
    free_collected(it->out);
    free_object(self);
}

// The code point of `byte`, an offset in the str's UTF-8 at or past the
// cursor, in the chunk last cut.
std::uint64_t point_of(PeriodIterator& it, std::uint64_t byte) {
    if (it.cursor_byte == byte) return it.cursor_point; // an empty text has no chunk
    const char* bytes = PyBytes_AsString(it.chunk);
    for (; it.cursor_byte < byte; ++it.cursor_byte) {
        const auto b = static_cast<unsigned char>(bytes[it.cursor_byte - it.chunk_byte]);
        if ((b & 0xC0) != 0x80) ++it.cursor_point;
    }
    return it.cursor_point;
}

// Cuts the next chunk of the text, or ends it; false with an exception set
// on failure.
bool cut_next_chunk(PeriodIterator& it) {
    int result = SPEZZAFRASI_OK;
    const Py_ssize_t length = it.is_str ? PyUnicode_GetLength(it.text) : PyBytes_Size(it.text);
    if (it.at >= length) {
        result = spezzafrasi_stream_finish(it.stream);
        it.finished = true;
    } else {
        const Py_ssize_t end = std::min(length, it.at + (it.is_str ? chunk_points : chunk_bytes));
        PyObject* chunk = it.text;
        if (it.is_str) {
            PyObject* part = PyUnicode_Substring(it.text, it.at, end);
            chunk = part != nullptr ? PyUnicode_AsUTF8String(part) : nullptr;
            Py_XDECREF(part);
            if (chunk == nullptr) return false;
            // The cursor to the new chunk's start, in bytes and code points.
            if (it.chunk != nullptr)
                it.chunk_byte += static_cast<std::uint64_t>(PyBytes_Size(it.chunk));
            it.cursor_byte = it.chunk_byte;
            it.cursor_point = static_cast<std::uint64_t>(it.at);
            Py_XDECREF(it.chunk);
            it.chunk = chunk;
        }
        const char* bytes = PyBytes_AsString(chunk) + (it.is_str ? 0 : it.at);
        const auto size = static_cast<size_t>(it.is_str ? PyBytes_Size(chunk) : end - it.at);
        it.busy = true;
        PyThreadState* saved = PyEval_SaveThread();
        result = spezzafrasi_stream_feed(it.stream, bytes, size);
        PyEval_RestoreThread(saved);
        it.busy = false;
        it.at = end;
    }
    return stream_ok(result, it.stream, it.out, it.warned, it.finished);
}

// The next period, with its span when asked for.
PyObject* next_period(PeriodIterator& it) {
    const spezzafrasi_span& span = it.out.spans[it.next_span++];
    const char* line = it.out.bytes + (it.line_start - it.out.base);
    const auto length = static_cast<Py_ssize_t>(span.line_end - it.line_start) - 2; // ";\n"
    it.line_start = span.line_end;
    PyObject* period = result_of(line, length, it.is_str);
    if (period == nullptr || it.period_type == nullptr) return period;
    std::uint64_t start = span.start;
    std::uint64_t end = span.end;
    if (it.is_str) {
        start = it.end_point + (span.start - it.end_byte);
        it.end_byte = span.end;
        it.end_point = end = point_of(it, span.end);
    }
    return PyObject_CallFunction(it.period_type, "NKK", period,
                                 static_cast<unsigned long long>(start),
                                 static_cast<unsigned long long>(end));
}

PyObject* period_iterator_next(PyObject* self) {
    auto& it = *reinterpret_cast<PeriodIterator*>(self);
    if (it.busy) {
        PyErr_SetString(PyExc_ValueError, "iterator already executing");
        return nullptr;
    }
    while (it.next_span == it.out.span_count) {
        drop_collected(it.out, it.line_start);
        it.next_span = 0;
        if (it.finished || !cut_next_chunk(it)) return nullptr;
    }
    return next_period(it);
}

PyType_Slot period_iterator_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(period_iterator_free)},
    {Py_tp_iter, reinterpret_cast<void*>(PyObject_SelfIter)},
    {Py_tp_iternext, reinterpret_cast<void*>(period_iterator_next)},
    {Py_tp_doc, const_cast<char*>("The periods of a text, one by one.")},
    {0, nullptr}};

PyType_Spec period_iterator_spec = {"spezzafrasi.PeriodIterator", sizeof(PeriodIterator), 0,
                                    Py_TPFLAGS_DEFAULT, period_iterator_slots};

char spans_arg[] = "spans";

PyObject* iter_periods(PyObject* module, PyObject* args, PyObject* kwargs) {
    char* names[] = {text_arg, n_arg, spans_arg, nullptr};
    PyObject* text = nullptr;
    PyObject* n = nullptr;
    int spans = 0;
    int words = 0;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|O$p:iter_periods", names, &text, &n,
                                     &spans) ||
        !words_per_period_of(n, words)) {
        return nullptr;
    }
    const bool is_str = PyUnicode_Check(text);
    if (!is_str && !PyBytes_Check(text)) {
        PyErr_Format(PyExc_TypeError, "expected str or bytes, not %R",
                     reinterpret_cast<PyObject*>(Py_TYPE(text)));
        return nullptr;
    }
    const ModuleState& state = state_of(module);
    auto* type = reinterpret_cast<PyTypeObject*>(state.iterator_type);
    auto* alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
    auto* it = reinterpret_cast<PeriodIterator*>(alloc(type, 0)); // zeroed
    if (it == nullptr) return nullptr;
    Py_INCREF(text);
    it->text = text;
    it->is_str = is_str;
    if (spans) {
        Py_INCREF(state.period_type);
        it->period_type = state.period_type;
    }
    it->stream = collecting_stream(words, SPEZZAFRASI_LF, it->out);
    if (it->stream == nullptr) {
        Py_DECREF(it);
        return nullptr;
    }
    return reinterpret_cast<PyObject*>(it);
}

// Segmenter: a stream of the library, its periods kept until a line is
// whole, so that each feed returns whole periods.
struct Segmenter {
    PyObject_HEAD spezzafrasi_stream* stream;
    Collected out;
    int is_str; // -1 until the first feed
    bool busy;  // a feed is running with the GIL released
    bool finished;
    bool warned; // that the text is not UTF-8
};

int segmenter_init(PyObject* self, PyObject* args, PyObject* kwargs) {
    auto* s = reinterpret_cast<Segmenter*>(self);
    char* names[] = {n_arg, crlf_arg, nullptr};
    PyObject* n = nullptr;
    int crlf = 0;
    int words = 0;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|O$p:Segmenter", names, &n, &crlf) ||
        !words_per_period_of(n, words)) {
        return -1;
    }
    if (s->busy) {
        PyErr_SetString(PyExc_RuntimeError, "Segmenter in use by another thread");
        return -1;
    }
    spezzafrasi_stream_free(s->stream);
    s->out.size = 0;
    s->out.span_count = 0;
    s->out.base = 0;
    s->out.failed = false;
    s->is_str = -1;
    s->finished = false;
    s->warned = false;
    s->stream = collecting_stream(words, crlf ? SPEZZAFRASI_CRLF : SPEZZAFRASI_LF, s->out);
    return s->stream != nullptr ? 0 : -1;
}

void segmenter_free(PyObject* self) {
    auto* s = reinterpret_cast<Segmenter*>(self);
    spezzafrasi_stream_free(s->stream);
    free_collected(s->out);
    free_object(self);
}

// The whole periods collected so far (where the last span says their
// lines end), or everything with `all`, as the text type fed; what is
// returned leaves the buffer.
PyObject* take_lines(Segmenter& s, bool all) {
    Collected& out = s.out;
    std::uint64_t end = out.base;
    if (all) {
        end += static_cast<std::uint64_t>(out.size);
    } else if (out.span_count != 0) {
        end = out.spans[out.span_count - 1].line_end;
    }
    PyObject* result = result_of(out.bytes != nullptr ? out.bytes : "",
                                 static_cast<Py_ssize_t>(end - out.base), s.is_str != 0);
    if (result != nullptr) drop_collected(out, end);
    return result;
}

bool segmenter_ready(Segmenter& s) {
    if (s.stream == nullptr) {
        PyErr_SetString(PyExc_RuntimeError, "Segmenter not initialised");
    } else if (s.busy) {
        PyErr_SetString(PyExc_RuntimeError, "Segmenter in use by another thread");
    } else if (s.finished) {
        PyErr_SetString(PyExc_ValueError, "Segmenter already finished");
    } else {
        return true;
    }
    return false;
}

PyObject* segmenter_feed(PyObject* self, PyObject* chunk) {
    auto& s = *reinterpret_cast<Segmenter*>(self);
    if (!segmenter_ready(s)) return nullptr;
    bool is_str = false;
    PyObject* bytes = bytes_of(chunk, is_str);
    if (bytes == nullptr) return nullptr;
    if (s.is_str != -1 && s.is_str != static_cast<int>(is_str)) {
        Py_DECREF(bytes);
        PyErr_SetString(PyExc_TypeError, "a Segmenter is fed either str or bytes, not both");
        return nullptr;
    }
    s.is_str = is_str ? 1 : 0;
    char* data = nullptr;
    Py_ssize_t size = 0;
    if (PyBytes_AsStringAndSize(bytes, &data, &size) != 0) {
        Py_DECREF(bytes);
        return nullptr;
    }
    s.busy = true;
    PyThreadState* saved = PyEval_SaveThread();
    const int result = spezzafrasi_stream_feed(s.stream, data, static_cast<size_t>(size));
    PyEval_RestoreThread(saved);
    s.busy = false;
    Py_DECREF(bytes);
    if (!stream_ok(result, s.stream, s.out, s.warned, s.finished)) return nullptr;
    return take_lines(s, false);
}

PyObject* segmenter_finish(PyObject* self, PyObject* /*unused*/) {
    auto& s = *reinterpret_cast<Segmenter*>(self);
    if (!segmenter_ready(s)) return nullptr;
    if (s.is_str == -1) s.is_str = 1;
    s.finished = true;
    if (!stream_ok(spezzafrasi_stream_finish(s.stream), s.stream, s.out, s.warned, s.finished))
        return nullptr;
    return take_lines(s, true);
}

PyMethodDef segmenter_methods[] = {
    {"feed", segmenter_feed, METH_O,
     "feed(chunk): the next piece of the text (str or bytes, as every other piece); returns the "
     "periods that it completes, each ending with ';' and the line end."},
    {"finish", segmenter_finish, METH_NOARGS,
     "finish(): the end of the text; returns the last periods."},
    {nullptr, nullptr, 0, nullptr}};

PyType_Slot segmenter_slots[] = {
    {Py_tp_init, reinterpret_cast<void*>(segmenter_init)},
    {Py_tp_new, reinterpret_cast<void*>(PyType_GenericNew)},
    {Py_tp_dealloc, reinterpret_cast<void*>(segmenter_free)},
    {Py_tp_methods, segmenter_methods},
    {Py_tp_doc, const_cast<char*>("Segmenter(n=7, *, crlf=False): a text cut into periods as it "
                                  "comes, in pieces of any size.")},
    {0, nullptr}};

PyType_Spec segmenter_spec = {"spezzafrasi.Segmenter", sizeof(Segmenter), 0,
                              Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE, segmenter_slots};

PyMethodDef module_methods[] = {
    {"periods", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(periods)),
     METH_VARARGS | METH_KEYWORDS,
     "periods(text, n=7, *, crlf=False): the text cut into periods, each phrase on a line of its "
     "own, at most its first n words, each line ending with ';'. str in, str out; bytes in, bytes "
     "out."},
    {"iter_periods", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(iter_periods)),
     METH_VARARGS | METH_KEYWORDS,
     "iter_periods(text, n=7, *, spans=False): the periods one by one, without ';' and the line "
     "end, as the text is cut (a chunk at a time); with spans, Period(period, start, end) "
     "tuples, start and end the period's place in the text (code points of a str, bytes of "
     "bytes)."},
    {nullptr, nullptr, 0, nullptr}};

// The named tuple that iter_periods gives with spans.
PyObject* make_period_type() {
    PyObject* collections = PyImport_ImportModule("collections");
    if (collections == nullptr) return nullptr;
    PyObject* type =
        PyObject_CallMethod(collections, "namedtuple", "ss", "Period", "period start end");
    Py_DECREF(collections);
    PyObject* name = type != nullptr ? PyUnicode_FromString("spezzafrasi") : nullptr;
    if (name == nullptr || PyObject_SetAttrString(type, "__module__", name) != 0) Py_CLEAR(type);
    Py_XDECREF(name);
    return type;
}

// The module's state, its types, made when the module is.
int module_exec(PyObject* module) {
    ModuleState& state = state_of(module);
    state.iterator_type = PyType_FromSpec(&period_iterator_spec);
    if (state.iterator_type == nullptr) return -1;
    state.period_type = make_period_type();
    if (state.period_type == nullptr) return -1;
    Py_INCREF(state.period_type);
    if (PyModule_AddObject(module, "Period", state.period_type) != 0) {
        Py_DECREF(state.period_type);
        return -1;
    }
    PyObject* warning = PyErr_NewExceptionWithDoc(
        "spezzafrasi.NotUTF8Warning",
        "The text is not UTF-8 from byte `offset` (from 0), on line `line` (from 1): bytes that "
        "are not UTF-8 are cut as the program cuts them, a lead byte taking the next one to three "
        "into its word, so phrases near it may run together. Given once a text.",
        PyExc_UnicodeWarning, nullptr);
    if (warning == nullptr || PyModule_AddObject(module, "NotUTF8Warning", warning) != 0) {
        Py_XDECREF(warning);
        return -1;
    }
    PyObject* segmenter = PyType_FromSpec(&segmenter_spec);
    if (segmenter == nullptr || PyModule_AddObject(module, "Segmenter", segmenter) != 0) {
        Py_XDECREF(segmenter);
        return -1;
    }
    return PyModule_AddStringConstant(module, "__version__", SPEZZAFRASI_VERSION_STRING);
}

int module_traverse(PyObject* module, visitproc visit, void* arg) {
    auto* state = static_cast<ModuleState*>(PyModule_GetState(module));
    if (state == nullptr) return 0;
    Py_VISIT(state->iterator_type);
    Py_VISIT(state->period_type);
    return 0;
}

int module_clear(PyObject* module) {
    auto* state = static_cast<ModuleState*>(PyModule_GetState(module));
    if (state != nullptr) {
        Py_CLEAR(state->iterator_type);
        Py_CLEAR(state->period_type);
    }
    return 0;
}

PyModuleDef_Slot module_slots[] = {{Py_mod_exec, reinterpret_cast<void*>(module_exec)},
                                   {0, nullptr}};

PyModuleDef module_def = {PyModuleDef_HEAD_INIT,
                          "spezzafrasi",
                          "A UTF-8 text cut into periods, as the program spezzafrasi cuts it.",
                          sizeof(ModuleState),
                          module_methods,
                          module_slots,
                          module_traverse,
                          module_clear,
                          nullptr};

} // namespace

PyMODINIT_FUNC PyInit_spezzafrasi() {
    return PyModuleDef_Init(&module_def);
}
