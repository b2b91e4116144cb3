// The program frame from outside: the test programs run with standard output
// on a pipe, a packet socket (to see each write), a closed pipe or a
// pseudo-terminal, and their run-time error reports, exit statuses, standard
// error and terminal modes are checked; report addresses are resolved with
// addr2line.
#include <elf.h>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/term_session.h"

namespace {

const std::string FAULTS = build_path("tests/frame/frame_faults");
const std::string IOERRORS = build_path("tests/frame/frame_ioerrors");

enum class Out { Pipe, Packets, ClosedPipe };

struct RunResult {
    int status = -1;
    std::string out, err;
    std::vector<size_t> packets;  // sizes of the writes, with Out::Packets
};

constexpr int NO_NAMESPACE = 77;  // the exit status when /proc cannot be hidden

// Runs prog with one argument, standard input /dev/null; without_proc runs
// it where /proc is not mounted.
RunResult run(const std::string& prog, const std::string& arg, Out kind = Out::Pipe,
              bool without_proc = false) {
    int outp[2], errp[2];
    if (kind == Out::Packets) {
        if (socketpair(AF_UNIX, SOCK_SEQPACKET, 0, outp) != 0) std::abort();
        std::swap(outp[0], outp[1]);
    } else if (pipe(outp) != 0) {
        std::abort();
    }
    if (pipe(errp) != 0) std::abort();
    if (kind == Out::ClosedPipe) {
        close(outp[0]);
        outp[0] = -1;
    }
    pid_t pid = fork();
    if (pid == 0) {
        rlimit no_core{0, 0};
        setrlimit(RLIMIT_CORE, &no_core);
        int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        dup2(outp[1], 1);
        dup2(errp[1], 2);
        for (int fd = 3; fd < 256; ++fd) close(fd);
        if (without_proc && (unshare(CLONE_NEWNS) != 0 ||
                             mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                             umount2("/proc", MNT_DETACH) != 0))
            _exit(NO_NAMESPACE);
        execl(prog.c_str(), prog.c_str(), arg.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(outp[1]);
    close(errp[1]);
    RunResult r;
    pollfd fds[2] = {{outp[0], POLLIN, 0}, {errp[0], POLLIN, 0}};
    int open_fds = outp[0] >= 0 ? 2 : 1;
    if (outp[0] < 0) fds[0].fd = -1;
    while (open_fds > 0 && poll(fds, 2, 10000) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buf[8192];
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_fds;
                continue;
            }
            (i == 0 ? r.out : r.err).append(buf, static_cast<size_t>(n));
            if (i == 0 && kind == Out::Packets) r.packets.push_back(static_cast<size_t>(n));
        }
    }
    for (pollfd& p : fds)
        if (p.fd >= 0) close(p.fd);
    int st = 0;
    waitpid(pid, &st, 0);
    r.status = st;
    return r;
}

int exit_code(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1000 - WTERMSIG(status); }

// A report read back: its error number, its address and the backtrace,
// checked line by line against the format; `before` and `after` are the
// bytes around it.
struct Report {
    bool found = false;
    std::string problem;
    unsigned code = 0;
    std::string addr;
    std::vector<std::string> trace;
    std::string before, after;
};

Report parse_report(std::string text) {
    // A terminal in its cooked output mode turns each LF into CR LF.
    for (size_t p; (p = text.find("\r\r\n")) != std::string::npos;) text.erase(p, 1);
    Report r;
    size_t start = text.find("Runtime error ");
    if (start == std::string::npos) return r;
    r.found = true;
    r.before = text.substr(0, start);
    std::vector<std::string> lines;
    size_t pos = start;
    for (;;) {
        size_t e = text.find("\r\n", pos);
        if (e == std::string::npos) {
            r.problem = "line without CR LF";
            return r;
        }
        lines.push_back(text.substr(pos, e - pos));
        pos = e + 2;
        if (lines.back().empty()) break;
    }
    r.after = text.substr(pos);
    static const std::regex first(R"(Runtime error ([0-9]+) at \$([0-9A-F]{16}))");
    static const std::regex addr_line(R"(  \$([0-9A-F]{16}))");
    std::smatch m;
    if (lines.size() < 3 || !std::regex_match(lines[0], m, first)) {
        r.problem = "first line: " + lines[0];
        return r;
    }
    r.code = static_cast<unsigned>(std::stoul(m[1]));
    r.addr = m[2];
    if (lines[1] != "  $" + r.addr) r.problem = "second line: " + lines[1];
    for (size_t i = 2; i + 1 < lines.size(); ++i) {
        if (!std::regex_match(lines[i], m, addr_line)) {
            r.problem = "backtrace line: " + lines[i];
            return r;
        }
        r.trace.push_back(m[1]);
    }
    return r;
}

std::string command_output(const std::string& cmd) {
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

uint64_t hex(const std::string& s) { return std::stoull(s, nullptr, 16); }

// The functions that addr2line names for addresses; a return address is
// looked up one byte back, inside the call.
std::vector<std::string> functions(const std::string& prog, const std::vector<uint64_t>& addrs) {
    std::ostringstream cmd;
    cmd << "addr2line -f -C -e " << prog;
    for (uint64_t a : addrs) cmd << " 0x" << std::hex << a;
    std::istringstream out(command_output(cmd.str()));
    std::vector<std::string> names;
    std::string name, where;
    while (std::getline(out, name) && std::getline(out, where)) names.push_back(name.substr(0, name.find('(')));
    return names;
}
std::string function_at(const std::string& prog, const std::string& addr) {
    auto f = functions(prog, {hex(addr)});
    return f.empty() ? "" : f[0];
}
std::vector<std::string> callers(const std::string& prog, const Report& r) {
    std::vector<uint64_t> a;
    for (const auto& t : r.trace) a.push_back(hex(t) - 1);
    return functions(prog, a);
}

// The line of a source file that carries a marker comment.
int marker_line(const std::string& file, const std::string& marker) {
    std::ifstream in(file);
    std::string line;
    for (int n = 1; std::getline(in, line); ++n)
        if (line.find("// LINE:" + marker) != std::string::npos) return n;
    return -1;
}

// --- Faults

struct FaultCase {
    const char* name;
    unsigned number;
    const char* function;  // where the report's address must lie
    const char* caller;    // the first backtrace line's function
};

const FaultCase fault_cases[] = {
    {"int_div_zero", 200, "fault_int_div_zero", "FRAME_RUN"},
    {"int_min_div", 215, "fault_int_min_div", "FRAME_RUN"},
    {"div_stack_zero", 200, "fault_div_stack_zero", "FRAME_RUN"},
    {"div_global_overflow", 215, "fault_div_global_overflow", "FRAME_RUN"},
    {"div_high_byte", 200, "fault_div_high_byte", "FRAME_RUN"},
    {"sse_div_zero", 200, "fault_sse_div_zero", "FRAME_RUN"},
    {"sse_overflow", 205, "fault_sse_overflow", "FRAME_RUN"},
    {"sse_underflow", 206, "fault_sse_underflow", "FRAME_RUN"},
    {"sse_inexact", 207, "fault_sse_inexact", "FRAME_RUN"},
    {"sse_invalid", 207, "fault_sse_invalid", "FRAME_RUN"},
    {"sse_denormal", 206, "fault_sse_denormal", "FRAME_RUN"},
    // Reported by the x87 at the caller's next x87 instruction.
    {"x87_div_zero", 200, "fault_x87_div_zero", "FRAME_RUN"},
    {"x87_stack", 207, "fault_x87_stack", "FRAME_RUN"},
    {"x87_denormal", 206, "fault_x87_denormal", "FRAME_RUN"},
    {"null_write", 216, "fault_null_write", "FRAME_RUN"},
    {"readonly_write", 216, "fault_readonly_write", "FRAME_RUN"},
    {"noncanonical", 216, "fault_noncanonical", "FRAME_RUN"},
    {"null_call", 216, "fault_null_call", "FRAME_RUN"},
    {"ud2", 216, "fault_ud2", "FRAME_RUN"},
    {"int3", 255, "fault_int3", "FRAME_RUN"},
    {"hlt", 218, "fault_hlt", "FRAME_RUN"},
    {"cli", 218, "fault_cli", "FRAME_RUN"},
    {"in", 218, "fault_in", "FRAME_RUN"},
    {"stack_overflow", 202, "fault_stack_overflow", "fault_stack_overflow"},
    {"misaligned", 217, "fault_misaligned", "FRAME_RUN"},
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class Faults : public testing::TestWithParam<FaultCase> {};

// In a terminal: the number, the address inside the function that faulted,
// the frame of that function (leaf functions have none of their own), the
// exit status, nothing on standard error, and the terminal's modes back as
// they were before the console set-up changed them.
TEST_P(Faults, ReportExitStatusAndTerminalModes) {
    const FaultCase& c = GetParam();
    SessionOptions opt;
    opt.stderr_pipe = true;
    TermSession s({FAULTS, c.name}, opt);
    int status = s.wait_exit(10000);
    ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
    EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(c.number));
    Report r = parse_report(s.output());
    ASSERT_TRUE(r.found) << s.output();
    EXPECT_EQ(r.problem, "");
    EXPECT_EQ(r.code, c.number);
    EXPECT_EQ(function_at(FAULTS, r.addr), c.function);
    ASSERT_FALSE(r.trace.empty());
    EXPECT_LE(r.trace.size(), 9u);
    EXPECT_EQ(callers(FAULTS, r)[0], c.caller);
    EXPECT_EQ(s.err(), "");
    EXPECT_TRUE(same_modes(s.modes_before(), s.modes_now())) << describe_modes(s.modes_now());
}

INSTANTIATE_TEST_SUITE_P(Kinds, Faults, testing::ValuesIn(fault_cases),
                         [](const testing::TestParamInfo<FaultCase>& i) { return std::string(i.param.name); });

// A jump or return to where there is no code that is not a call: the
// error's address is where the thread tried to go on.
TEST(FaultReport, ReturnToNoCode) {
    RunResult r = run(FAULTS, "bad_return");
    EXPECT_EQ(exit_code(r.status), 216);
    Report rep = parse_report(r.out);
    EXPECT_EQ(rep.problem, "");
    EXPECT_EQ(rep.addr, "0000000000000010");
}

TEST(FaultReport, StackOverflowFillsTheBacktraceOnAPipe) {
    RunResult r = run(FAULTS, "stack_overflow");
    EXPECT_EQ(exit_code(r.status), 202);
    Report rep = parse_report(r.out);
    EXPECT_EQ(rep.problem, "");
    EXPECT_EQ(rep.trace.size(), 257u);
    EXPECT_EQ(r.err, "");
}

// --- I/O errors and the report

TEST(IoCheck, ErrorReportOnAPipe) {
    RunResult r = run(IOERRORS, "input_write");
    EXPECT_EQ(exit_code(r.status), 105);
    EXPECT_EQ(r.err, "");
    Report rep = parse_report(r.out);
    ASSERT_TRUE(rep.found) << r.out;
    EXPECT_EQ(rep.problem, "");
    EXPECT_EQ(rep.before, "");
    EXPECT_EQ(rep.after, "");
    EXPECT_EQ(rep.code, 105u);
    // Just after the check, in the function that called it; then the calls
    // through which the process came there.
    EXPECT_EQ(function_at(IOERRORS, rep.addr), "io_level2");
    std::vector<std::string> chain = callers(IOERRORS, rep);
    ASSERT_GE(chain.size(), 4u);
    EXPECT_EQ(chain[0], "io_level1");
    EXPECT_EQ(chain[1], "body_input_write");
    EXPECT_EQ(chain[2], "FRAME_RUN");
    EXPECT_EQ(chain[3], "main");
}

TEST(IoCheck, ReportLimitsAndPieces) {
    // A pipe-like handle that keeps each write apart: 256-byte pieces.
    RunResult packets = run(IOERRORS, "deep", Out::Packets);
    EXPECT_EQ(exit_code(packets.status), 105);
    Report rep = parse_report(packets.out);
    EXPECT_EQ(rep.problem, "");
    EXPECT_EQ(rep.trace.size(), 257u);
    ASSERT_GT(packets.packets.size(), 1u);
    for (size_t i = 0; i + 1 < packets.packets.size(); ++i) EXPECT_EQ(packets.packets[i], 256u) << i;
    EXPECT_LE(packets.packets.back(), 256u);

    // A terminal: at most 9 backtrace lines.
    TermSession s({IOERRORS, "deep"});
    EXPECT_EQ(exit_code(s.wait_exit(10000)), 105);
    Report term = parse_report(s.output());
    EXPECT_EQ(term.problem, "");
    EXPECT_EQ(term.trace.size(), 9u);
    EXPECT_EQ(term.after, "");
}

// Reports that end early: a null frame, a frame chain that leaves the
// stack, a first frame record that cannot be read (the fault ends the walk,
// the exit status stays that of the error reported).
TEST(IoCheck, ShortBacktraces) {
    struct {
        const char* name;
        int status;
        size_t lines;
    } cases[] = {{"null_base", 217, 0}, {"walk_fault", 217, 0}, {"broken_chain", 105, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RunResult r = run(IOERRORS, c.name);
        EXPECT_EQ(exit_code(r.status), c.status);
        Report rep = parse_report(r.out);
        ASSERT_TRUE(rep.found) << r.out;
        EXPECT_EQ(rep.problem, "");
        EXPECT_EQ(rep.trace.size(), c.lines);
        EXPECT_EQ(rep.after, "");
        EXPECT_EQ(r.err, "");
    }
}

// Where /proc is not mounted the thread's stack is found another way: the
// backtrace is still there, and a stack overflow is still one.
TEST(FaultReport, WithoutProc) {
    struct {
        const std::string& prog;
        const char* name;
        int status;
        size_t lines;
    } cases[] = {{IOERRORS, "input_write", 105, 4}, {FAULTS, "stack_overflow", 202, 257}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RunResult r = run(c.prog, c.name, Out::Pipe, true);
        if (exit_code(r.status) == NO_NAMESPACE) GTEST_SKIP() << "no mount namespace";
        EXPECT_EQ(exit_code(r.status), c.status);
        Report rep = parse_report(r.out);
        EXPECT_EQ(rep.problem, "");
        EXPECT_GE(rep.trace.size(), c.lines);
    }
}

TEST(IoCheck, ErrorDuringConsoleSetupStopsBeforeTheBody) {
    RunResult r = run(IOERRORS, "setup_error");
    EXPECT_EQ(exit_code(r.status), 103);
    Report rep = parse_report(r.out);
    ASSERT_TRUE(rep.found) << r.out;
    EXPECT_EQ(rep.code, 103u);
    EXPECT_EQ(r.out.find("BODY RAN"), std::string::npos);

    SessionOptions opt;
    opt.stderr_pipe = true;
    TermSession s({IOERRORS, "setup_error"}, opt);
    EXPECT_EQ(exit_code(s.wait_exit()), 103);
    EXPECT_TRUE(parse_report(s.output()).found);
    EXPECT_EQ(s.err(), "");
    EXPECT_TRUE(same_modes(s.modes_before(), s.modes_now())) << describe_modes(s.modes_now());
}

TEST(IoCheck, TerminalModesComeBackAfterTheError) {
    SessionOptions opt;
    opt.stderr_pipe = true;
    TermSession s({IOERRORS, "input_write"}, opt);
    EXPECT_EQ(exit_code(s.wait_exit()), 105);
    EXPECT_TRUE(parse_report(s.output()).found);
    EXPECT_EQ(s.err(), "");
    EXPECT_TRUE(same_modes(s.modes_before(), s.modes_now())) << describe_modes(s.modes_now());
}

// OUTPUT (here still the plain device) holds text without a line end when
// the error ends the run: on a terminal the report's lines go out at their
// line ends, the held text after them; on a pipe the report waits in
// STDOUT's buffer until its FLUSH, which comes after OUTPUT's.
TEST(Termination, TextHeldByOutput) {
    TermSession s({IOERRORS, "held_error"});
    EXPECT_EQ(exit_code(s.wait_exit()), 105);
    Report term = parse_report(s.output());
    EXPECT_EQ(term.before, "");
    EXPECT_EQ(term.after, "HELD");

    RunResult pipe = run(IOERRORS, "held_error");
    Report rep = parse_report(pipe.out);
    EXPECT_EQ(rep.before, "HELD");
    EXPECT_EQ(rep.after, "");

    RunResult normal = run(IOERRORS, "held_normal");
    EXPECT_EQ(exit_code(normal.status), 0);
    EXPECT_EQ(normal.out, "HELD");
}

// A report that STDOUT's handle refuses (101 when its full buffer goes out):
// the rest of the termination writes and flushes nothing, not even the text
// OUTPUT holds, and the exit status stays the error's.
TEST(Termination, RefusedReportStopsLaterFlushes) {
    RunResult r = run(IOERRORS, "stdout_refused");
    EXPECT_EQ(exit_code(r.status), 105);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
}

TEST(Termination, EndsWithoutReport) {
    struct {
        const char* name;
        int status;
    } cases[] = {{"normal", 0}, {"halt", 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RunResult r = run(IOERRORS, c.name);
        EXPECT_EQ(exit_code(r.status), c.status);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "");
    }
}

// A fault in a finalisation after an error: the finalisation is not run
// again, the fault's report replaces the first one, and the run ends.
TEST(Termination, FaultDuringFinalisation) {
    RunResult r = run(IOERRORS, "final_fault");
    EXPECT_EQ(exit_code(r.status), 216);
    Report rep = parse_report(r.out);
    EXPECT_EQ(rep.problem, "");
    EXPECT_EQ(rep.code, 216u);
    EXPECT_EQ(function_at(IOERRORS, rep.addr), "final_faulting");
    EXPECT_EQ(parse_report(rep.after).found, false);
    EXPECT_EQ(r.err, "");
}

// A flush that faults every time: each fault runs the termination again,
// until after 16 faults within the error path the platform's default
// handling ends the run.
TEST(Termination, RepeatedFaultsInTheErrorPathEnd) {
    RunResult r = run(IOERRORS, "flush_fault");
    ASSERT_TRUE(WIFSIGNALED(r.status)) << r.status;
    EXPECT_EQ(WTERMSIG(r.status), SIGSEGV);
    size_t reports = 0;
    for (size_t p = 0; (p = r.out.find("Runtime error 216 at", p)) != std::string::npos; ++p) ++reports;
    EXPECT_GE(reports, 1u);
    EXPECT_LE(reports, 17u);
    EXPECT_EQ(r.err, "");
}

TEST(Termination, RunErrorLocatedAtItsCaller) {
    RunResult r = run(IOERRORS, "runerror");
    EXPECT_EQ(exit_code(r.status), 201);
    Report rep = parse_report(r.out);
    EXPECT_EQ(rep.problem, "");
    EXPECT_EQ(function_at(IOERRORS, rep.addr), "body_runerror");
}

// A reader that went away: the report cannot be written, and the process
// still ends with the error's number, not by SIGPIPE.
TEST(Termination, ClosedStandardOutput) {
    RunResult r = run(IOERRORS, "input_write", Out::ClosedPipe);
    EXPECT_EQ(exit_code(r.status), 105);
    EXPECT_EQ(r.err, "");
}

// --- addr2line, as the README shows it

TEST(Addr2line, TurnsAReportAddressIntoFileAndLine) {
    RunResult r = run(FAULTS, "null_write");
    Report rep = parse_report(r.out);
    ASSERT_TRUE(rep.found);
    std::string where = command_output("addr2line -e " + FAULTS + " " + rep.addr);
    std::string source = std::string(FV_SOURCE_DIR) + "/tests/frame/progs/faults.cpp";
    EXPECT_EQ(where, source + ":" + std::to_string(marker_line(source, "null_write")) + "\n");

    // The program itself is linked at a fixed address, so its reports'
    // addresses mean the same in every run.
    std::ifstream elf(build_path("forditva"), std::ios::binary);
    Elf64_Ehdr h{};
    elf.read(reinterpret_cast<char*>(&h), sizeof h);
    ASSERT_TRUE(elf.good());
    EXPECT_EQ(h.e_type, ET_EXEC);
}

}  // namespace
