// The Python module spezzafrasi: the library's periods for str and bytes,
// written against the stable ABI (limited API of CPython 3.9), so that one
// build serves every CPython from 3.9 on. The text is segmented with the
// GIL released. Plain C++: no exceptions, no C++ runtime.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "spezzafrasi.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

// Bytes collected from a stream's sink; owned by the object that holds it.
struct Collected {
    char* bytes;
    Py_ssize_t size;
    Py_ssize_t capacity;
    bool failed; // memory ran out
};

int collect(void* context, const void* bytes, size_t size) {
    auto& c = *static_cast<Collected*>(context);
    const auto more = static_cast<Py_ssize_t>(size);
    if (c.size + more > c.capacity) {
        Py_ssize_t capacity = c.capacity < 4096 ? 4096 : c.capacity;
        while (capacity < c.size + more)
            capacity *= 2;
        void* grown = std::realloc(c.bytes, static_cast<size_t>(capacity));
        if (grown == nullptr) {
            c.failed = true;
            return 1;
        }
        c.bytes = static_cast<char*>(grown);
        c.capacity = capacity;
    }
    std::memcpy(c.bytes + c.size, bytes, size);
    c.size += more;
    return 0;
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

// Cuts `input` into `output`, which has `bound` bytes of room, with the GIL
// released; false with an exception set on failure.
bool segment_into(const char* input, Py_ssize_t input_size, char* output, size_t bound, int words,
                  int line_end, Py_ssize_t& size) {
    size_t written = 0;
    PyThreadState* saved = PyEval_SaveThread();
    const int result = spezzafrasi_periods(input, static_cast<size_t>(input_size), output, bound,
                                           &written, words, line_end);
    PyEval_RestoreThread(saved);
    if (result != SPEZZAFRASI_OK) {
        PyErr_SetString(PyExc_RuntimeError, spezzafrasi_result_text(result));
        return false;
    }
    size = static_cast<Py_ssize_t>(written);
    return true;
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

// The iterator of iter_periods: the periods of the whole text, made at
// once, handed out one line at a time without ";" and the line end.
struct PeriodIterator {
    PyObject_HEAD char* periods;
    Py_ssize_t size;
    Py_ssize_t at;
    bool is_str;
};

// An object of one of the module's types, given back to Python.
void free_object(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free))(self);
    Py_DECREF(type); // heap types: each object holds its type
}

void period_iterator_free(PyObject* self) {
    std::free(reinterpret_cast<PeriodIterator*>(self)->periods);
    free_object(self);
}

PyObject* period_iterator_next(PyObject* self) {
    auto* it = reinterpret_cast<PeriodIterator*>(self);
    if (it->at >= it->size) return nullptr;
    const char* line = it->periods + it->at;
    const auto* newline =
        static_cast<const char*>(std::memchr(line, '\n', static_cast<size_t>(it->size - it->at)));
    const Py_ssize_t length = newline - line; // every line ends with ";\n"
    it->at += length + 1;
    return result_of(line, length - 1, it->is_str);
}

PyType_Slot period_iterator_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(period_iterator_free)},
    {Py_tp_iter, reinterpret_cast<void*>(PyObject_SelfIter)},
    {Py_tp_iternext, reinterpret_cast<void*>(period_iterator_next)},
    {Py_tp_doc, const_cast<char*>("The periods of a text, one by one.")},
    {0, nullptr}};

PyType_Spec period_iterator_spec = {"spezzafrasi.PeriodIterator", sizeof(PeriodIterator), 0,
                                    Py_TPFLAGS_DEFAULT, period_iterator_slots};

PyObject* iter_periods(PyObject* module, PyObject* args, PyObject* kwargs) {
    char* names[] = {text_arg, n_arg, nullptr};
    PyObject* text = nullptr;
    PyObject* n = nullptr;
    int words = 0;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|O:iter_periods", names, &text, &n) ||
        !words_per_period_of(n, words)) {
        return nullptr;
    }
    auto* type =
        reinterpret_cast<PyTypeObject*>(*static_cast<PyObject**>(PyModule_GetState(module)));
    bool is_str = false;
    Py_ssize_t size = 0;
    char* output = segment_text(text, words, SPEZZAFRASI_LF, is_str, size);
    if (output == nullptr) return nullptr;
    auto* alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
    auto* it = reinterpret_cast<PeriodIterator*>(alloc(type, 0));
    if (it == nullptr) {
        std::free(output);
        return nullptr;
    }
    it->periods = output;
    it->size = size;
    it->at = 0;
    it->is_str = is_str;
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
    s->is_str = -1;
    s->finished = false;
    s->stream =
        spezzafrasi_stream_new(words, crlf ? SPEZZAFRASI_CRLF : SPEZZAFRASI_LF, collect, &s->out);
    if (s->stream == nullptr) {
        PyErr_NoMemory();
        return -1;
    }
    return 0;
}

void segmenter_free(PyObject* self) {
    auto* s = reinterpret_cast<Segmenter*>(self);
    spezzafrasi_stream_free(s->stream);
    std::free(s->out.bytes);
    free_object(self);
}

// The whole lines collected so far, or everything with `all`, as the text
// type fed; what is returned leaves the buffer.
PyObject* take_lines(Segmenter& s, bool all) {
    Py_ssize_t end = s.out.size;
    if (!all) {
        while (end > 0 && s.out.bytes[end - 1] != '\n')
            --end;
    }
    PyObject* result = result_of(s.out.bytes != nullptr ? s.out.bytes : "", end, s.is_str != 0);
    if (result == nullptr) return nullptr;
    if (end != 0) {
        std::memmove(s.out.bytes, s.out.bytes + end, static_cast<size_t>(s.out.size - end));
        s.out.size -= end;
    }
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

// The stream's result as an exception, or true.
bool stream_ok(Segmenter& s, int result) {
    if (result == SPEZZAFRASI_OK) return true;
    if (s.out.failed) {
        PyErr_NoMemory();
    } else {
        PyErr_SetString(PyExc_RuntimeError, spezzafrasi_result_text(result));
    }
    s.finished = true;
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
    if (!stream_ok(s, result)) return nullptr;
    return take_lines(s, false);
}

PyObject* segmenter_finish(PyObject* self, PyObject* /*unused*/) {
    auto& s = *reinterpret_cast<Segmenter*>(self);
    if (!segmenter_ready(s)) return nullptr;
    if (s.is_str == -1) s.is_str = 1;
    s.finished = true;
    if (!stream_ok(s, spezzafrasi_stream_finish(s.stream))) return nullptr;
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
     "iter_periods(text, n=7): the periods one by one, without ';' and the line end."},
    {nullptr, nullptr, 0, nullptr}};

// The module's state: the iterator type, made when the module is.
int module_exec(PyObject* module) {
    PyObject* iterator = PyType_FromSpec(&period_iterator_spec);
    if (iterator == nullptr) return -1;
    *static_cast<PyObject**>(PyModule_GetState(module)) = iterator;
    PyObject* segmenter = PyType_FromSpec(&segmenter_spec);
    if (segmenter == nullptr || PyModule_AddObject(module, "Segmenter", segmenter) != 0) {
        Py_XDECREF(segmenter);
        return -1;
    }
    return PyModule_AddStringConstant(module, "__version__", SPEZZAFRASI_MODULE_VERSION);
}

int module_traverse(PyObject* module, visitproc visit, void* arg) {
    auto* state = static_cast<PyObject**>(PyModule_GetState(module));
    if (state != nullptr && *state != nullptr) return visit(*state, arg);
    return 0;
}

int module_clear(PyObject* module) {
    auto* state = static_cast<PyObject**>(PyModule_GetState(module));
    if (state != nullptr) Py_CLEAR(*state);
    return 0;
}

PyModuleDef_Slot module_slots[] = {{Py_mod_exec, reinterpret_cast<void*>(module_exec)},
                                   {0, nullptr}};

PyModuleDef module_def = {PyModuleDef_HEAD_INIT,
                          "spezzafrasi",
                          "A UTF-8 text cut into periods, as the program spezzafrasi cuts it.",
                          sizeof(PyObject*),
                          module_methods,
                          module_slots,
                          module_traverse,
                          module_clear,
                          nullptr};

} // namespace

PyMODINIT_FUNC PyInit_spezzafrasi() {
    return PyModuleDef_Init(&module_def);
}
