// iter_periods(): the periods of a text one by one, its chunks cut as
// they are asked for.
#include "module.hpp"

#include <algorithm>
#include <cstdint>

namespace spezzafrasi::python {

namespace {

// The iterator of iter_periods: the text fed to a stream a chunk at a time,
// as its periods are asked for, so that its memory is a chunk's, not the
// whole output's. Each period is cut from the output where the stream's
// spans say its line ends: a byte that is not UTF-8 may take a line feed
// into a word, so the line feeds cannot say it.
struct PeriodIterator {
    PyObject_HEAD PyObject* text; // str, bytes, or a binary file
    PyObject* period_type;        // with spans, the named tuple; else nullptr
    spezzafrasi_stream* stream;
    Collected out;
    size_t next_span;         // the next period to hand out
    std::uint64_t line_start; // where its line begins in the periods
    Py_ssize_t at;            // where the next chunk begins in the text
    bool is_str;
    bool is_file; // read a chunk at a time
    bool busy;    // a chunk is being cut with the GIL released
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

// Feeds `size` bytes to the stream with the GIL released.
int feed_released(PeriodIterator& it, const char* bytes, size_t size) {
    it.busy = true;
    PyThreadState* saved = PyEval_SaveThread();
    const int result = spezzafrasi_stream_feed(it.stream, bytes, size);
    PyEval_RestoreThread(saved);
    it.busy = false;
    return result;
}

// The next chunk of a str, as UTF-8, with the cursor at its start; nullptr
// with an exception set on failure.
PyObject* next_str_chunk(PeriodIterator& it, Py_ssize_t end) {
    PyObject* part = PyUnicode_Substring(it.text, it.at, end);
    PyObject* chunk = part != nullptr ? PyUnicode_AsUTF8String(part) : nullptr;
    Py_XDECREF(part);
    if (chunk == nullptr) return nullptr;
    if (it.chunk != nullptr) it.chunk_byte += static_cast<std::uint64_t>(PyBytes_Size(it.chunk));
    it.cursor_byte = it.chunk_byte;
    it.cursor_point = static_cast<std::uint64_t>(it.at);
    Py_XDECREF(it.chunk);
    it.chunk = chunk;
    return chunk;
}

// The next chunk of a file, read as bytes: None at its end, nullptr with
// an exception set on failure.
PyObject* next_file_chunk(PeriodIterator& it) {
    PyObject* chunk = PyObject_CallMethod(it.text, "read", "n", chunk_bytes);
    if (chunk == nullptr || PyBytes_Check(chunk)) return chunk;
    const bool text_mode = PyUnicode_Check(chunk);
    bool is_str = false;
    PyObject* bytes = text_mode ? nullptr : bytes_of(chunk, is_str);
    Py_DECREF(chunk);
    if (text_mode)
        PyErr_SetString(PyExc_TypeError, "iter_periods reads files opened in binary mode");
    return bytes;
}

// Cuts the next chunk of the text, or ends it; false with an exception set
// on failure.
bool cut_next_chunk(PeriodIterator& it) {
    int result = SPEZZAFRASI_OK;
    const Py_ssize_t length = it.is_file  ? PY_SSIZE_T_MAX
                              : it.is_str ? PyUnicode_GetLength(it.text)
                                          : PyBytes_Size(it.text);
    PyObject* read = it.is_file ? next_file_chunk(it) : nullptr;
    if (it.is_file && read == nullptr) return false;
    if (it.at >= length || (read != nullptr && PyBytes_Size(read) == 0)) {
        result = spezzafrasi_stream_finish(it.stream);
        it.finished = true;
    } else if (read != nullptr) {
        result = feed_released(it, PyBytes_AsString(read), static_cast<size_t>(PyBytes_Size(read)));
    } else {
        const Py_ssize_t end = std::min(length, it.at + (it.is_str ? chunk_points : chunk_bytes));
        PyObject* chunk = it.is_str ? next_str_chunk(it, end) : it.text;
        if (chunk == nullptr) return false;
        const char* bytes = PyBytes_AsString(chunk) + (it.is_str ? 0 : it.at);
        const auto size = static_cast<size_t>(it.is_str ? PyBytes_Size(chunk) : end - it.at);
        result = feed_released(it, bytes, size);
        it.at = end;
    }
    Py_XDECREF(read);
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

} // namespace

// Whether `object` has the buffer protocol (the limited API of 3.9 can
// only try it).
bool has_buffer(PyObject* object) {
    PyObject* view = PyMemoryView_FromObject(object);
    if (view == nullptr) PyErr_Clear();
    Py_XDECREF(view);
    return view != nullptr;
}

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
    // A file is read as it goes; any other bytes-like object (an mmap too,
    // though it can be read) is copied.
    const bool is_str = PyUnicode_Check(text);
    const bool is_file = !is_str && !PyBytes_Check(text) && !has_buffer(text) &&
                         PyObject_HasAttrString(text, "read");
    if (!is_str && !is_file && !PyBytes_Check(text)) {
        bool not_str = false;
        text = bytes_of(text, not_str);
        if (text == nullptr) return nullptr;
    } else {
        Py_INCREF(text);
    }
    const ModuleState& state = state_of(module);
    auto* type = reinterpret_cast<PyTypeObject*>(state.iterator_type);
    auto* alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
    auto* it = reinterpret_cast<PeriodIterator*>(alloc(type, 0)); // zeroed
    if (it == nullptr) {
        Py_DECREF(text);
        return nullptr;
    }
    it->text = text;
    it->is_str = is_str;
    it->is_file = is_file;
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

PyType_Spec& period_iterator_spec() {
    static PyType_Spec type = {"spezzafrasi.PeriodIterator", sizeof(PeriodIterator), 0,
                               Py_TPFLAGS_DEFAULT, period_iterator_slots};
    return type;
}

} // namespace spezzafrasi::python
