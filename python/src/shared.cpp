// What every part of the module shares: the periods collected from a
// stream, the warning for text that is not UTF-8, the errors, and the
// arguments as Python has them.
#include "module.hpp"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace spezzafrasi::python {

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

namespace {

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

} // namespace

bool stream_ok(int result, const spezzafrasi_stream* stream, const Collected& out, bool& warned,
               bool& finished) {
    if (result == SPEZZAFRASI_OK) return warn_once(stream, warned);
    if (out.failed) {
        PyErr_NoMemory();
    } else {
        raise_error(spezzafrasi_result_text(result));
    }
    finished = true;
    return false;
}

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

spezzafrasi_stream* collecting_stream(int words, int line_end, Collected& out) {
    spezzafrasi_stream* stream = spezzafrasi_stream_new(words, line_end, collect, &out);
    if (stream == nullptr || spezzafrasi_stream_spans(stream, collect_spans) != SPEZZAFRASI_OK) {
        spezzafrasi_stream_free(stream);
        PyErr_NoMemory();
        return nullptr;
    }
    return stream;
}

bool words_per_period_of(PyObject* n, int& words) {
    words = 7;
    if (n == nullptr) return true;
    PyObject* index = PyNumber_Index(n);
    if (index == nullptr) {
        PyErr_Format(PyExc_TypeError, "n must be an integer, not %R",
                     reinterpret_cast<PyObject*>(Py_TYPE(n)));
        return false;
    }
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(index, &overflow);
    Py_DECREF(index);
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

// Any other object with the buffer protocol (bytearray, memoryview, array,
// mmap) is copied once: the limited API of 3.9 cannot hold its buffer.
PyObject* bytes_of(PyObject* text, bool& is_str) {
    is_str = PyUnicode_Check(text);
    if (is_str) return PyUnicode_AsUTF8String(text);
    if (PyBytes_Check(text)) {
        Py_INCREF(text);
        return text;
    }
    PyObject* view = PyMemoryView_FromObject(text);
    if (view == nullptr) {
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError,
                     "expected str or a bytes-like object, not %R (a file: open it in binary "
                     "mode for iter_periods, or name it to transcribe)",
                     reinterpret_cast<PyObject*>(Py_TYPE(text)));
        return nullptr;
    }
    PyObject* bytes = PyBytes_FromObject(view);
    Py_DECREF(view);
    return bytes;
}

bool text_bytes_of(PyObject* text, TextBytes& out) {
    out = TextBytes{nullptr, nullptr, nullptr, 0, false};
    if (PyUnicode_Check(text) && PyUnicode_GetLength(text) > str_piece_points) {
        out.is_str = true;
        out.utf8 = utf8_of_str(text, out.size);
        out.data = out.utf8;
        return out.utf8 != nullptr;
    }
    char* data = nullptr;
    out.owner = bytes_of(text, out.is_str);
    if (out.owner == nullptr || PyBytes_AsStringAndSize(out.owner, &data, &out.size) != 0) {
        release_text(out);
        return false;
    }
    out.data = data;
    return true;
}

void release_text(TextBytes& text) {
    Py_CLEAR(text.owner);
    std::free(text.utf8);
    text.utf8 = nullptr;
}

void advise_huge_pages(char* bytes, size_t size) {
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t huge = std::uintptr_t{2} << 20;
    const auto at = reinterpret_cast<std::uintptr_t>(bytes);
    const std::uintptr_t start = (at + huge - 1) & ~(huge - 1);
    const std::uintptr_t end = (at + size) & ~(huge - 1);
    // The pages as an offset into `bytes`: a pointer made from an integer
    // would hide from the compiler where it points.
    if (end > start) madvise(bytes + (start - at), end - start, MADV_HUGEPAGE);
#else
    (void)bytes;
    (void)size;
#endif
}

PyObject* result_of(const char* bytes, Py_ssize_t size, bool is_str) {
    return is_str ? PyUnicode_DecodeUTF8(bytes, size, "strict")
                  : PyBytes_FromStringAndSize(bytes, size);
}

bool warn_not_utf8(const spezzafrasi_fault& fault) {
    char message[160];
    std::snprintf(message, sizeof message,
                  "not UTF-8 from byte %llu (line %llu): phrases near it may run together",
                  static_cast<unsigned long long>(fault.offset),
                  static_cast<unsigned long long>(fault.line));
    PyObject* module = PyImport_ImportModule("spezzafrasi._spezzafrasi");
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

void free_object(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free))(self);
    Py_DECREF(type); // heap types: each object holds its type
}

void raise_error(const char* message) {
    PyObject* module = PyImport_ImportModule("spezzafrasi._spezzafrasi");
    PyObject* error = module != nullptr ? PyObject_GetAttrString(module, "Error") : nullptr;
    if (error != nullptr) PyErr_SetString(error, message);
    Py_XDECREF(error);
    Py_XDECREF(module);
}

ModuleState& state_of(PyObject* module) {
    return *static_cast<ModuleState*>(PyModule_GetState(module));
}

} // namespace spezzafrasi::python
