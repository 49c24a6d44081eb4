// Run at build time: writes the seccomp filter that the program loads once
// its files are open, as a C++ array of BPF instructions for the processor
// named on the command line (x86_64, aarch64). Compiling the rules here
// instead of at every start keeps libseccomp out of the program and its
// cost out of every run.
//
// usage: seccomp_rules ARCHITECTURE > seccomp_program.inc
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <linux/filter.h>
#include <seccomp.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <vector>

namespace {

// Stands for the process's own id, which only the running program knows:
// above any pid the kernel gives (at most 2^22), so that the program can
// find it and put its pid in its place.
constexpr scmp_datum_t own_pid = 0x5ECC0DE5;

// The library's SCMP_A0 to SCMP_A5 are C compound literals.
constexpr scmp_arg_cmp arg(unsigned int index, scmp_compare op, scmp_datum_t value,
                           scmp_datum_t second = 0) {
    return {index, op, value, second};
}

// Each rule, and why the run needs it. The call numbers are this
// machine's; the library turns them into the target's.
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
        allow(SCMP_SYS(tgkill), arg(0, SCMP_CMP_EQ, own_pid), arg(2, SCMP_CMP_EQ, SIGABRT));
}

// A filter answers for one processor's calls only: any other calling
// convention (x32, 32-bit) is refused as a whole.
bool for_architecture(scmp_filter_ctx filter, std::uint32_t arch) {
    if (arch == seccomp_arch_native()) return true;
    return seccomp_arch_add(filter, arch) == 0 &&
           seccomp_arch_remove(filter, SCMP_ARCH_NATIVE) == 0;
}

bool export_program(scmp_filter_ctx filter, std::vector<sock_filter>& program) {
    std::FILE* file = std::tmpfile();
    if (file == nullptr || seccomp_export_bpf(filter, fileno(file)) != 0) return false;
    std::rewind(file);
    for (sock_filter op{}; std::fread(&op, sizeof op, 1, file) == 1;)
        program.push_back(op);
    return std::fclose(file) == 0 && !program.empty();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: seccomp_rules ARCHITECTURE\n", stderr);
        return 2;
    }
    const std::uint32_t arch = seccomp_arch_resolve_name(argv[1]);
    // Every other call fails with EPERM.
    const scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ERRNO(EPERM));
    std::vector<sock_filter> program;
    const bool made = filter != nullptr && arch != 0 && for_architecture(filter, arch) &&
                      add_rules(filter) && export_program(filter, program);
    seccomp_release(filter);
    int placeholders = 0;
    for (const sock_filter& op : program)
        placeholders += op.k == own_pid ? 1 : 0;
    if (!made || placeholders != 1) {
        std::fprintf(stderr, "seccomp_rules: no filter for %s\n", argv[1]);
        return 1;
    }
    std::printf("// Made by seccomp_rules %s: do not edit.\n", argv[1]);
    std::printf("constexpr std::uint32_t seccomp_own_pid = 0x%X;\n",
                static_cast<unsigned>(own_pid));
    std::printf("constexpr sock_filter seccomp_program[] = {\n");
    for (const sock_filter& op : program)
        std::printf("    {0x%02X, %u, %u, 0x%08X},\n", op.code, op.jt, op.jf, op.k);
    std::printf("};\n");
    return 0;
}
