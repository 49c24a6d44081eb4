// Segmenter: a text cut into periods as it comes, in pieces of any size: a
// stream of the library, its periods kept until their line is whole, so
// that each feed returns whole periods.
#include "module.hpp"

#include <atomic>
#include <cstdio>
#include <pthread.h>

namespace spezzafrasi::python {

namespace {

// The forks this process and its ancestors made since the module was
// loaded, counted in each child by the C library's atfork handler: the one
// state the module keeps beside its objects, because a fork is the
// process's. A feed notes it for nothing, where getpid() cost 0.2 us.
std::atomic<unsigned> forks{0};

void count_fork() {
    forks.fetch_add(1, std::memory_order_relaxed);
}

struct Segmenter {
    PyObject_HEAD spezzafrasi_stream* stream;
    Collected out;
    int words;
    bool crlf;
    int binary; // what it was made for: -1 either, 0 str, 1 bytes
    int is_str; // what it is fed: -1 until the first feed or the end
    // Whether a thread is feeding it with the GIL released, and the forks
    // counted when it began: in a child forked meanwhile the feed never
    // ends, and its state is half made.
    bool busy;
    unsigned busy_since;
    bool finished;
    bool warned; // that the text is not UTF-8
};

// A stream for the text anew; false with an exception set.
bool start(Segmenter& s) {
    spezzafrasi_stream_free(s.stream);
    s.out.size = 0;
    s.out.span_count = 0;
    s.out.base = 0;
    s.out.failed = false;
    s.is_str = s.binary == -1 ? -1 : s.binary == 0;
    s.busy = false;
    s.finished = false;
    s.warned = false;
    s.stream = collecting_stream(s.words, s.crlf ? SPEZZAFRASI_CRLF : SPEZZAFRASI_LF, s.out);
    return s.stream != nullptr;
}

// Whether another thread is feeding it now; in a child forked while one
// was, its state is lost and only reset() or __init__ can use it again.
bool in_use(const Segmenter& s) {
    if (!s.busy) return false;
    if (s.busy_since == forks.load(std::memory_order_relaxed)) {
        PyErr_SetString(PyExc_RuntimeError, "Segmenter in use by another thread");
    } else {
        raise_error("Segmenter was being fed when this process was forked: reset() it");
    }
    return true;
}

bool forked_away(const Segmenter& s) {
    return s.busy && s.busy_since != forks.load(std::memory_order_relaxed);
}

char binary_arg[] = "binary";

int segmenter_init(PyObject* self, PyObject* args, PyObject* kwargs) {
    auto& s = *reinterpret_cast<Segmenter*>(self);
    char* names[] = {n_arg, crlf_arg, binary_arg, nullptr};
    PyObject* n = nullptr;
    int crlf = 0;
    PyObject* binary = Py_None;
    int words = 0;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|O$pO:Segmenter", names, &n, &crlf, &binary) ||
        !words_per_period_of(n, words)) {
        return -1;
    }
    const int as_bytes = binary == Py_None ? -1 : PyObject_IsTrue(binary);
    if (binary != Py_None && as_bytes < 0) return -1;
    if (!forked_away(s) && in_use(s)) return -1;
    s.words = words;
    s.crlf = crlf != 0;
    s.binary = as_bytes;
    return start(s) ? 0 : -1;
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

bool ready(Segmenter& s) {
    if (s.stream == nullptr) {
        PyErr_SetString(PyExc_RuntimeError, "Segmenter not initialised");
    } else if (in_use(s)) {
        return false;
    } else if (s.finished) {
        PyErr_SetString(PyExc_ValueError, "Segmenter already finished");
    } else {
        return true;
    }
    return false;
}

PyObject* segmenter_feed(PyObject* self, PyObject* chunk) {
    auto& s = *reinterpret_cast<Segmenter*>(self);
    if (!ready(s)) return nullptr;
    TextBytes text{};
    if (!text_bytes_of(chunk, text)) return nullptr;
    if (s.is_str != -1 && s.is_str != static_cast<int>(text.is_str)) {
        release_text(text);
        PyErr_SetString(PyExc_TypeError, s.is_str != 0 ? "this Segmenter is fed str, not bytes"
                                                       : "this Segmenter is fed bytes, not str");
        return nullptr;
    }
    s.is_str = text.is_str ? 1 : 0;
    s.busy = true;
    s.busy_since = forks.load(std::memory_order_relaxed);
    PyThreadState* saved = PyEval_SaveThread();
    const int result = spezzafrasi_stream_feed(s.stream, text.data, static_cast<size_t>(text.size));
    PyEval_RestoreThread(saved);
    s.busy = false;
    release_text(text);
    if (!stream_ok(result, s.stream, s.out, s.warned, s.finished)) return nullptr;
    return take_lines(s, false);
}

PyObject* segmenter_finish(PyObject* self, PyObject* /*unused*/) {
    auto& s = *reinterpret_cast<Segmenter*>(self);
    if (!ready(s)) return nullptr;
    if (s.is_str == -1) s.is_str = 1;
    s.finished = true;
    if (!stream_ok(spezzafrasi_stream_finish(s.stream), s.stream, s.out, s.warned, s.finished))
        return nullptr;
    return take_lines(s, true);
}

PyObject* segmenter_reset(PyObject* self, PyObject* /*unused*/) {
    auto& s = *reinterpret_cast<Segmenter*>(self);
    if (s.stream == nullptr) {
        PyErr_SetString(PyExc_RuntimeError, "Segmenter not initialised");
        return nullptr;
    }
    if (!forked_away(s) && in_use(s)) return nullptr;
    if (!start(s)) return nullptr;
    Py_RETURN_NONE;
}

PyObject* segmenter_repr(PyObject* self) {
    const auto& s = *reinterpret_cast<Segmenter*>(self);
    char text[96];
    std::snprintf(text, sizeof text, "Segmenter(n=%d, crlf=%s%s)", s.words,
                  s.crlf ? "True" : "False",
                  s.binary == -1  ? ""
                  : s.binary != 0 ? ", binary=True"
                                  : ", binary=False");
    return PyUnicode_FromString(text);
}

// Its state is the library's, half of it in flight: no copy or pickle
// could carry it, so none pretends to.
PyObject* segmenter_reduce(PyObject* self, PyObject* /*unused*/) {
    PyErr_Format(PyExc_TypeError, "cannot pickle or copy %R: feed a new one the same text", self);
    return nullptr;
}

PyMethodDef segmenter_methods[] = {
    {"feed", segmenter_feed, METH_O,
     "feed($self, chunk, /)\n--\n\n"
     "Takes the next piece of the text (str, or bytes-like, as every other\n"
     "piece) and returns the periods that it completes, whole, each ending\n"
     "with ';' and the line end.\n\n"
     ">>> s = Segmenter(3)\n"
     ">>> s.feed('Oggi piove mol'), s.feed('to forte. Domani')\n"
     "('', 'Oggi piove molto;\\n')"},
    {"finish", segmenter_finish, METH_NOARGS,
     "finish($self, /)\n--\n\n"
     "Ends the text and returns the last periods: the last line of a text\n"
     "always ends with ';' (a text that ends with its terminator gives an\n"
     "empty last period, ';' alone). Fed nothing, it returns str, or bytes\n"
     "for a Segmenter made with binary=True.\n\n"
     ">>> s = Segmenter()\n"
     ">>> s.feed(b'Ciao mondo.'), s.finish()\n"
     "(b'Ciao mondo;\\n', b';\\n')\n"
     ">>> Segmenter(binary=True).finish()\n"
     "b';\\n'"},
    {"reset", segmenter_reset, METH_NOARGS,
     "reset($self, /)\n--\n\n"
     "Starts a new text, with the same n, crlf and binary. A child process\n"
     "forked while another thread was feeding the Segmenter resets its copy\n"
     "so before using it.\n\n"
     ">>> s = Segmenter(2)\n"
     ">>> s.feed('uno due tre. quat')\n"
     "'uno due;\\n'\n"
     ">>> s.reset()\n"
     ">>> s.feed('cinque sei sette. otto')\n"
     "'cinque sei;\\n'"},
    {"__reduce__", segmenter_reduce, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr}};

PyType_Slot segmenter_slots[] = {
    {Py_tp_init, reinterpret_cast<void*>(segmenter_init)},
    {Py_tp_new, reinterpret_cast<void*>(PyType_GenericNew)},
    {Py_tp_dealloc, reinterpret_cast<void*>(segmenter_free)},
    {Py_tp_repr, reinterpret_cast<void*>(segmenter_repr)},
    {Py_tp_methods, segmenter_methods},
    {Py_tp_doc,
     const_cast<char*>("Segmenter(n=7, *, crlf=False, binary=None)\n--\n\n"
                       "A text cut into periods as it comes, in pieces of any size: each\n"
                       "feed() returns the periods that the text so far completes, finish()\n"
                       "the rest, byte for byte what periods() gives for the whole text.\n"
                       "It is fed str or bytes-like pieces, not both; binary=True or False\n"
                       "says which beforehand. Text that is not UTF-8 gives one\n"
                       "NotUTF8Warning.\n\n"
                       ">>> s = Segmenter(3)\n"
                       ">>> s\n"
                       "Segmenter(n=3, crlf=False)\n"
                       ">>> s.feed('Oggi piove mol'), s.feed('to forte. Domani no.'), s.finish()\n"
                       "('', 'Oggi piove molto;\\nDomani no;\\n', ';\\n')")},
    {0, nullptr}};

} // namespace

bool count_forks() {
    return pthread_atfork(nullptr, nullptr, count_fork) == 0;
}

PyType_Spec& segmenter_spec() {
    static PyType_Spec type = {"spezzafrasi.Segmenter", sizeof(Segmenter), 0,
                               Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE, segmenter_slots};
    return type;
}

} // namespace spezzafrasi::python
