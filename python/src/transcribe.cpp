// transcribe(): the periods of one file written into another, as the
// program writes them, with the GIL released; the program's refusals (a
// missing file or folder, the output that is the input) as exceptions.
#include "module.hpp"
#include "platform/write_retry.hpp"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/syscall.h>
#endif

namespace spezzafrasi::python {

namespace {

// Where a run failed: the file, its errno, or that the output is the input.
struct Failure {
    int error = 0;
    bool at_output = false;
    bool same_file = false;
    bool cut_short = false;      // the input ended before the size it had when opened
    int result = SPEZZAFRASI_OK; // the library's, when it failed
};

// What an open file is. fstat itself would tie the module to glibc 2.33,
// where it became a symbol of its own: on the processors of the wheels the
// system call fills the C library's struct stat as it is.
int file_status(int fd, struct stat& info) {
#if defined(__linux__) && (defined(__x86_64__) || defined(__aarch64__))
    return static_cast<int>(syscall(SYS_fstat, fd, &info));
#else
    return fstat(fd, &info);
#endif
}

struct FileSink {
    int fd;
    int error;
};

int write_all(void* context, const void* bytes, size_t size) {
    auto& sink = *static_cast<FileSink*>(context);
    const auto* from = static_cast<const unsigned char*>(bytes);
    while (size > 0) {
        const std::ptrdiff_t put = write_retrying(
            [&] {
                const ssize_t took = write(sink.fd, from, size);
                return WriteAttempt{took, took < 0 ? errno : 0};
            },
            sink.error);
        if (put < 0) return 1;
        from += put;
        size -= static_cast<size_t>(put);
    }
    return 0;
}

// Whether the regular file `in`, opened at `size` bytes, ended after `read`
// because it was cut short meanwhile: its last periods would be lost unsaid.
bool cut_short(int in, const struct stat& opened, std::uint64_t read) {
    struct stat now {};
    const auto size = static_cast<std::uint64_t>(opened.st_size);
    return S_ISREG(opened.st_mode) && read < size && file_status(in, now) == 0 &&
           static_cast<std::uint64_t>(now.st_size) < size;
}

// Reads `in` to its end and writes its periods to `out`.
void copy_periods(int in, const struct stat& opened, int out, int words, int line_end,
                  Failure& failure, spezzafrasi_fault& fault) {
    FileSink sink{out, 0};
    spezzafrasi_stream* stream = spezzafrasi_stream_new(words, line_end, write_all, &sink);
    if (stream == nullptr) {
        failure.error = ENOMEM;
        return;
    }
    static constexpr size_t chunk = size_t{1} << 16;
    unsigned char buffer[chunk];
    int result = SPEZZAFRASI_OK;
    std::uint64_t read_so_far = 0;
    for (;;) {
        const ssize_t got = read(in, buffer, chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            failure.error = errno;
            break;
        }
        // Like the program, the periods of what was read are written even
        // when the file turns out cut short.
        if (got == 0) failure.cut_short = cut_short(in, opened, read_so_far);
        read_so_far += static_cast<std::uint64_t>(got);
        result = got == 0 ? spezzafrasi_stream_finish(stream)
                          : spezzafrasi_stream_feed(stream, buffer, static_cast<size_t>(got));
        if (got == 0 || result != SPEZZAFRASI_OK) break;
    }
    if (result == SPEZZAFRASI_ERROR_SINK) {
        failure.error = sink.error;
        failure.at_output = true;
    } else if (result != SPEZZAFRASI_OK) {
        failure.result = result;
    }
    spezzafrasi_stream_fault(stream, &fault);
    spezzafrasi_stream_free(stream);
}

// Opens both files, refuses an output that is the input before a byte of
// it changes, and writes the periods.
void run(const char* input, const char* output, int words, int line_end, Failure& failure,
         spezzafrasi_fault& fault) {
    const int in = open(input, O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        failure.error = errno;
        return;
    }
    struct stat in_info {};
    if (file_status(in, in_info) != 0 || S_ISDIR(in_info.st_mode)) {
        failure.error = S_ISDIR(in_info.st_mode) ? EISDIR : errno;
        close(in);
        return;
    }
    const int out = open(output, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    struct stat out_info {};
    failure.at_output = true;
    const bool opened = out >= 0 && file_status(out, out_info) == 0;
    failure.same_file =
        opened && out_info.st_dev == in_info.st_dev && out_info.st_ino == in_info.st_ino;
    if (!opened || (!failure.same_file && S_ISREG(out_info.st_mode) && ftruncate(out, 0) != 0)) {
        failure.error = errno;
    } else if (!failure.same_file) {
        failure.at_output = false;
        copy_periods(in, in_info, out, words, line_end, failure, fault);
    }
    if (out >= 0 && close(out) != 0 && failure.error == 0 && failure.result == SPEZZAFRASI_OK) {
        failure.error = errno;
        failure.at_output = true;
    }
    close(in);
}

// The failure as Python says it: OSError with the file's name (a
// FileNotFoundError for a missing file or folder), or spezzafrasi.Error.
void raise_failure(const Failure& failure, PyObject* input, PyObject* output,
                   const char* output_path) {
    PyObject* name = failure.at_output ? output : input;
    if (failure.same_file) {
        char text[512];
        std::snprintf(text, sizeof text, "%s: is the input file", output_path);
        raise_error(text);
    } else if (failure.result != SPEZZAFRASI_OK) {
        raise_error(spezzafrasi_result_text(failure.result));
    } else if (failure.error != 0) {
        errno = failure.error;
        PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, name);
    } else {
        // A read error like any other, with a cause of its own.
        PyObject* error = PyObject_CallFunction(PyExc_OSError, "isO", EIO,
                                                "the file shrank while it was read", input);
        if (error != nullptr) PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error)), error);
        Py_XDECREF(error);
    }
}

char input_arg[] = "input";
char output_arg[] = "output";

} // namespace

PyObject* transcribe(PyObject* /*module*/, PyObject* args, PyObject* kwargs) {
    char* names[] = {input_arg, output_arg, n_arg, crlf_arg, nullptr};
    PyObject* input = nullptr;
    PyObject* output = nullptr;
    PyObject* n = nullptr;
    int crlf = 0;
    int words = 0;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O&O&|O$p:transcribe", names,
                                     PyUnicode_FSConverter, &input, PyUnicode_FSConverter, &output,
                                     &n, &crlf) ||
        !words_per_period_of(n, words)) {
        Py_XDECREF(input);
        Py_XDECREF(output);
        return nullptr;
    }
    Failure failure;
    spezzafrasi_fault fault{SPEZZAFRASI_NO_FAULT, 0};
    const char* input_path = PyBytes_AsString(input);
    const char* output_path = PyBytes_AsString(output);
    PyThreadState* saved = PyEval_SaveThread();
    run(input_path, output_path, words, crlf ? SPEZZAFRASI_CRLF : SPEZZAFRASI_LF, failure, fault);
    PyEval_RestoreThread(saved);
    const bool failed = failure.error != 0 || failure.same_file || failure.cut_short ||
                        failure.result != SPEZZAFRASI_OK;
    if (failed) {
        PyObject* input_name = PyUnicode_DecodeFSDefault(input_path);
        PyObject* output_name = PyUnicode_DecodeFSDefault(output_path);
        if (input_name != nullptr && output_name != nullptr)
            raise_failure(failure, input_name, output_name, output_path);
        Py_XDECREF(input_name);
        Py_XDECREF(output_name);
    }
    Py_DECREF(input);
    Py_DECREF(output);
    if (failed) return nullptr;
    if (fault.offset != SPEZZAFRASI_NO_FAULT && !warn_not_utf8(fault)) return nullptr;
    Py_RETURN_NONE;
}

} // namespace spezzafrasi::python
