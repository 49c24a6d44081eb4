// A str's UTF-8 for periods(), encoded a piece at a time into memory that
// the system maps in huge pages. str.encode() of a large text writes into
// fresh memory of small pages, which where a page fault is dear (a virtual
// machine) cost the text ten times its cut; even where faults are cheap,
// pieces that stay in the cache are encoded faster than the whole text.
#include "module.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace spezzafrasi::python {

namespace {

// The UTF-8 of text[at, at + count), appended at `out` + `size`.
bool append_piece(PyObject* text, Py_ssize_t at, Py_ssize_t count, char* out, Py_ssize_t& size) {
    PyObject* piece = PyUnicode_Substring(text, at, at + count);
    PyObject* bytes = piece != nullptr ? PyUnicode_AsUTF8String(piece) : nullptr;
    Py_XDECREF(piece);
    if (bytes == nullptr) return false;
    const Py_ssize_t length = PyBytes_Size(bytes);
    std::memcpy(out + size, PyBytes_AsString(bytes), static_cast<size_t>(length));
    size += length;
    Py_DECREF(bytes);
    return true;
}

// The error of a piece as str.encode() raises it for the whole text (a
// surrogate's position counted from the text's start): encoded again.
void raise_as_whole(PyObject* text) {
    PyErr_Clear();
    PyObject* encoded = PyUnicode_AsUTF8String(text);
    if (encoded == nullptr) return;
    Py_DECREF(encoded);
    PyErr_NoMemory(); // what else failed a piece of a text that encodes
}

} // namespace

char* utf8_of_str(PyObject* text, Py_ssize_t& size) {
    const Py_ssize_t length = PyUnicode_GetLength(text);
    if (length < 0) return nullptr;
    if (length > (PY_SSIZE_T_MAX - 1) / 4) {
        PyErr_NoMemory();
        return nullptr;
    }
    // Four bytes a code point at most; what is not written is never touched.
    const auto room = static_cast<size_t>(4 * length + 1);
    auto* utf8 = static_cast<char*>(std::malloc(room));
    if (utf8 == nullptr) {
        PyErr_NoMemory();
        return nullptr;
    }
    advise_huge_pages(utf8, room);
    size = 0;
    for (Py_ssize_t at = 0; at < length; at += str_piece_points) {
        if (!append_piece(text, at, std::min(str_piece_points, length - at), utf8, size)) {
            raise_as_whole(text);
            std::free(utf8);
            return nullptr;
        }
    }
    return utf8;
}

} // namespace spezzafrasi::python
