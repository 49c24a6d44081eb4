// Linux: once both files are open the process needs only to read, write,
// print and exit, and it tells the kernel so with a seccomp filter. Any
// other system call fails with EPERM, so a fault in the parsing code could
// not open, remove or run anything.
#include "platform/platform.hpp"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <seccomp.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// The library's SCMP_A0 to SCMP_A5 are C compound literals.
constexpr scmp_arg_cmp arg(unsigned int index, scmp_compare op, scmp_datum_t value,
                           scmp_datum_t second = 0) {
    return {index, op, value, second};
}

// Each rule, and why the run needs it.
bool add_rules(scmp_filter_ctx filter) {
    const auto allow = [&](int call, auto... conditions) {
        return seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, sizeof...(conditions),
                                conditions...) == 0;
    };
    const scmp_datum_t exec = PROT_EXEC;
    return
        // the text and the periods, the console lines
        allow(SCMP_SYS(read)) && allow(SCMP_SYS(write)) &&
        // the output is closed to learn whether its last bytes were written
        allow(SCMP_SYS(close)) &&
        // stdio looks at standard output before its first line (fstat of the
        // open descriptor only, never of a path), and asks a terminal for
        // its settings to choose line buffering
        allow(SCMP_SYS(fstat)) && allow(SCMP_SYS(newfstatat), arg(3, SCMP_CMP_EQ, AT_EMPTY_PATH)) &&
        allow(SCMP_SYS(ioctl), arg(1, SCMP_CMP_EQ, TCGETS)) &&
        // the C library's allocator, for stdio's buffer; never executable
        allow(SCMP_SYS(brk)) && allow(SCMP_SYS(munmap)) &&
        allow(SCMP_SYS(mmap), arg(2, SCMP_CMP_MASKED_EQ, exec, 0)) &&
        allow(SCMP_SYS(mprotect), arg(2, SCMP_CMP_MASKED_EQ, exec, 0)) &&
        // the end of the run
        allow(SCMP_SYS(exit_group)) && allow(SCMP_SYS(exit)) && allow(SCMP_SYS(rt_sigreturn)) &&
        // a failed check that aborts still ends the process with SIGABRT,
        // sent to itself only
        allow(SCMP_SYS(getpid)) && allow(SCMP_SYS(gettid)) && allow(SCMP_SYS(rt_sigprocmask)) &&
        allow(SCMP_SYS(tgkill), arg(0, SCMP_CMP_EQ, static_cast<scmp_datum_t>(getpid())),
              arg(2, SCMP_CMP_EQ, SIGABRT));
}

} // namespace

bool confine_to_open_files() {
    const scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ERRNO(EPERM));
    if (filter == nullptr) return false;
    // No new privileges: nothing run later could gain rights (a setuid
    // program), and the filter can be loaded without them.
    const bool loaded = seccomp_attr_set(filter, SCMP_FLTATR_CTL_NNP, 1) == 0 &&
                        add_rules(filter) && seccomp_load(filter) == 0;
    seccomp_release(filter);
    return loaded;
}
