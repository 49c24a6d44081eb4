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

// UTF-8 made so far: `size` bytes at `bytes`, which has room for `capacity`.
struct Utf8 {
    char* bytes;
    size_t capacity;
    Py_ssize_t size;
};

// The UTF-8 of text[at, at + count), appended to `out`.
bool append_piece(PyObject* text, Py_ssize_t at, Py_ssize_t count, Utf8& out) {
    PyObject* piece = PyUnicode_Substring(text, at, at + count);
    PyObject* bytes = piece != nullptr ? PyUnicode_AsUTF8String(piece) : nullptr;
    Py_XDECREF(piece);
    if (bytes == nullptr) return false;
    const auto length = static_cast<size_t>(PyBytes_Size(bytes));
    void* grown = out.bytes;
    const size_t had = out.capacity;
    const bool room = make_room(grown, 1, static_cast<size_t>(out.size), length, out.capacity);
    out.bytes = static_cast<char*>(grown);
    if (out.capacity != had) advise_huge_pages(out.bytes, out.capacity);
    if (room) {
        std::memcpy(out.bytes + out.size, PyBytes_AsString(bytes), length);
        out.size += static_cast<Py_ssize_t>(length);
    }
    Py_DECREF(bytes);
    return room;
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
    // Room for text in Latin letters, a few more bytes than code points;
    // other scripts take up to four a point, and the room grows.
    const size_t room = static_cast<size_t>(length) + static_cast<size_t>(length) / 4 + 65536;
    Utf8 out{static_cast<char*>(std::malloc(room)), room, 0};
    if (out.bytes == nullptr) {
        PyErr_NoMemory();
        return nullptr;
    }
    advise_huge_pages(out.bytes, room);
    for (Py_ssize_t at = 0; at < length; at += str_piece_points) {
        if (!append_piece(text, at, std::min(str_piece_points, length - at), out)) {
            raise_as_whole(text);
            std::free(out.bytes);
            return nullptr;
        }
    }
    size = out.size;
    return out.bytes;
}

} // namespace spezzafrasi::python
