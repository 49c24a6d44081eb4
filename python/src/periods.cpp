// periods(): a whole text cut in one call, into memory of the right size.
#include "module.hpp"

#include <cstdint>
#include <cstdlib>

namespace spezzafrasi::python {

namespace {

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
    spezzafrasi_fault fault{};
    PyThreadState* saved = PyEval_SaveThread();
    const int result =
        spezzafrasi_periods_spans(input, static_cast<size_t>(input_size), output, bound, &written,
                                  nullptr, 0, nullptr, &fault, words, line_end);
    PyEval_RestoreThread(saved);
    if (result != SPEZZAFRASI_OK) {
        raise_error(spezzafrasi_result_text(result));
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

// Outputs that may take this much or more are written straight into the
// bytes object returned: a copy of a large text costs as much as cutting it.
constexpr size_t in_place_from = size_t{1} << 20;

// The periods of the UTF-8 at `input`, as str when `is_str`, as bytes
// otherwise. Large bytes are made at the bound's size, written in place and
// then given their true size: their memory past the periods is never
// touched, so it takes addresses but no room.
PyObject* segment_text(const char* input, Py_ssize_t input_size, bool is_str, int words,
                       int line_end) {
    const size_t bound = bound_of(input_size);
    if (bound == 0) return nullptr;
    Py_ssize_t size = 0;
    if (is_str || bound < in_place_from) {
        char* output = segment_to_new(input, input_size, bound, words, line_end, size);
        if (output == nullptr) return nullptr;
        PyObject* result = result_of(output, size, is_str);
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

} // namespace

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
    TextBytes input{};
    if (!text_bytes_of(text, input)) return nullptr;
    PyObject* result = segment_text(input.data, input.size, input.is_str, words, line_end);
    release_text(input);
    return result;
}

} // namespace spezzafrasi::python
