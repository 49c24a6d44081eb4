// The module spezzafrasi._spezzafrasi, which the package spezzafrasi
// gives its users: its functions, types and exceptions, made when it is
// imported and kept in its state.
#include "module.hpp"

namespace spezzafrasi::python {

namespace {

// Callables of METH_VARARGS | METH_KEYWORDS, as PyMethodDef holds them.
template <PyObject* (*function)(PyObject*, PyObject*, PyObject*)>
PyCFunction with_keywords() {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

PyMethodDef module_methods[] = {
    {"periods", with_keywords<periods>(), METH_VARARGS | METH_KEYWORDS,
     "periods(text, n=7, *, crlf=False)\n--\n\n"
     "The text cut into periods: every phrase (the words up to a terminator\n"
     "! ( ) . : ; ? or the middle dot) on a line of its own, at most its\n"
     "first n words, separated by single spaces, each line ending with ';'\n"
     "and a line end (CR LF with crlf). str in, str out; bytes or any\n"
     "bytes-like object in, bytes out, byte for byte the program's.\n\n"
     "A text that ends with its terminator gives an empty last period (';'\n"
     "alone); a separator (space, line feed, CR, form feed) right after the\n"
     "last word before the terminator stays as one space before ';'. n of\n"
     "0 or less gives empty lines. Bytes that are not UTF-8 give one\n"
     "NotUTF8Warning.\n\n"
     ">>> periods('Oggi piove molto forte. Domani no.', 3)\n"
     "'Oggi piove molto;\\nDomani no;\\n;\\n'\n"
     ">>> periods(b'Ciao mondo \\n')\n"
     "b'Ciao mondo ;\\n'"},
    {"iter_periods", with_keywords<iter_periods>(), METH_VARARGS | METH_KEYWORDS,
     "iter_periods(text, n=7, *, spans=False)\n--\n\n"
     "The periods of the text one by one, without ';' and the line end, cut\n"
     "as they are asked for: the text is fed 64 KiB at a time (a binary\n"
     "file is read so), so the periods of a large text never stand in\n"
     "memory at once. With spans, Period(period, start, end) tuples: the\n"
     "period's place in the text, in code points of a str, bytes otherwise.\n\n"
     ">>> list(iter_periods('Oggi piove molto forte. Domani no.', 3))\n"
     "['Oggi piove molto', 'Domani no', '']\n"
     ">>> next(iter_periods('Perch\xC3\xA9 piove? Boh.', spans=True))\n"
     "Period(period='Perch\xC3\xA9 piove', start=0, end=13)"},
    {"transcribe", with_keywords<transcribe>(), METH_VARARGS | METH_KEYWORDS,
     "transcribe(input, output, n=7, *, crlf=False)\n--\n\n"
     "Writes the periods of the file `input` into the file `output`, as the\n"
     "program does, with the GIL released. A missing file or folder raises\n"
     "FileNotFoundError (and any other failure its OSError, with the file's\n"
     "name; a file cut short while it is read, after its periods so far);\n"
     "an output that is the input, under any name, raises Error before the\n"
     "input is touched.\n\n"
     ">>> import os, tempfile\n"
     ">>> folder = tempfile.mkdtemp()\n"
     ">>> testo, periodi = os.path.join(folder, 't.txt'), os.path.join(folder, 'p.txt')\n"
     ">>> with open(testo, 'wb') as f: _ = f.write(b'Oggi piove. Domani no')\n"
     ">>> transcribe(testo, periodi, 3)\n"
     ">>> open(periodi, 'rb').read()\n"
     "b'Oggi piove;\\nDomani no;\\n'"},
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

// Gives `object` (a new reference, or nullptr after a failure) to the
// module as `name`; false on failure, the reference dropped.
bool add(PyObject* module, const char* name, PyObject* object) {
    if (object != nullptr && PyModule_AddObject(module, name, object) == 0) return true;
    Py_XDECREF(object);
    return false;
}

// The module's state, its types, made when the module is.
int module_exec(PyObject* module) {
    ModuleState& state = state_of(module);
    state.iterator_type = PyType_FromSpec(&period_iterator_spec());
    if (state.iterator_type == nullptr) return -1;
    state.period_type = make_period_type();
    if (state.period_type == nullptr) return -1;
    Py_INCREF(state.period_type);
    if (!add(module, "Period", state.period_type)) return -1;
    PyObject* warning = PyErr_NewExceptionWithDoc(
        "spezzafrasi.NotUTF8Warning",
        "The text is not UTF-8 from byte `offset` (from 0), on line `line` (from 1): bytes that "
        "are not UTF-8 are cut as the program cuts them, a lead byte taking the next one to three "
        "into its word, so phrases near it may run together. Given once a text.",
        PyExc_UnicodeWarning, nullptr);
    if (!add(module, "NotUTF8Warning", warning)) return -1;
    PyObject* error = PyErr_NewExceptionWithDoc(
        "spezzafrasi.Error",
        "A failure of the library, or an output that is the input file (a RuntimeError, as "
        "every failure of the library was before it).",
        PyExc_RuntimeError, nullptr);
    if (!add(module, "Error", error)) return -1;
    if (!count_forks()) {
        PyErr_NoMemory();
        return -1;
    }
    if (!add(module, "Segmenter", PyType_FromSpec(&segmenter_spec()))) return -1;
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
                          "spezzafrasi._spezzafrasi",
                          "A UTF-8 text cut into periods, as the program spezzafrasi cuts it.",
                          sizeof(ModuleState),
                          module_methods,
                          module_slots,
                          module_traverse,
                          module_clear,
                          nullptr};

} // namespace

} // namespace spezzafrasi::python

// The name CPython looks for in the extension _spezzafrasi.
PyMODINIT_FUNC PyInit__spezzafrasi() { // NOLINT(bugprone-reserved-identifier)
    return PyModuleDef_Init(&spezzafrasi::python::module_def);
}
