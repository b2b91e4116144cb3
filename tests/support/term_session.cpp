// Pseudo-terminal sessions for tests.
#include "tests/support/term_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#ifndef FV_BUILD_DIR
#define FV_BUILD_DIR "."
#endif

std::string build_path(const std::string& relative) { return std::string(FV_BUILD_DIR) + "/" + relative; }

static void fail(const char* what) {
    throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

TermSession::TermSession(const std::vector<std::string>& argv, const SessionOptions& opt)
    : screen_(opt.rows, opt.cols) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) fail("posix_openpt");
    const char* name = ptsname(master_);
    if (!name) fail("ptsname");
    std::string slave_name = name;
    winsize ws{};
    ws.ws_col = static_cast<unsigned short>(opt.cols);
    ws.ws_row = static_cast<unsigned short>(opt.rows);
    ioctl(master_, TIOCSWINSZ, &ws);
    slave_ = open(slave_name.c_str(), O_RDWR | O_NOCTTY);
    if (slave_ < 0) fail("open slave");
    tcgetattr(slave_, &before_);

    int errp[2] = {-1, -1};
    if (opt.stderr_pipe && pipe(errp) != 0) fail("pipe");

    std::vector<std::string> envs = {"TERM=xterm-256color", "LANG=C.UTF-8"};
    for (const auto& e : opt.env) envs.push_back(e);
    if (const char* p = getenv("PATH")) envs.push_back(std::string("PATH=") + p);

    pid_ = fork();
    if (pid_ < 0) fail("fork");
    if (pid_ == 0) {
        setsid();
        int s = open(slave_name.c_str(), O_RDWR);
        if (s < 0) _exit(126);
        ioctl(s, TIOCSCTTY, 0);
        dup2(s, 0);
        dup2(s, 1);
        dup2(s, 2);
        if (!opt.stdin_file.empty()) {
            int in = open(opt.stdin_file.c_str(), O_RDONLY);
            if (in < 0) _exit(126);
            dup2(in, 0);
        }
        if (!opt.stdout_file.empty()) {
            int o = open(opt.stdout_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (o < 0) _exit(126);
            dup2(o, 1);
        }
        if (errp[1] >= 0) dup2(errp[1], 2);
        for (int fd = 3; fd < 256; ++fd) close(fd);
        signal(SIGINT, SIG_DFL);
        signal(SIGQUIT, SIG_DFL);
        std::vector<char*> args, env;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        for (const auto& e : envs) env.push_back(const_cast<char*>(e.c_str()));
        env.push_back(nullptr);
        execve(args[0], args.data(), env.data());
        _exit(127);
    }
    if (errp[1] >= 0) {
        close(errp[1]);
        errpipe_ = errp[0];
    }
}

TermSession::~TermSession() {
    if (!exited_ && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
    if (errpipe_ >= 0) close(errpipe_);
}

void TermSession::send(std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = write(master_, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
}

void TermSession::read_available(int wait_ms) {
    pollfd fds[2] = {{master_, POLLIN, 0}, {errpipe_, POLLIN, 0}};
    int nfds = errpipe_ >= 0 ? 2 : 1;
    if (poll(fds, static_cast<nfds_t>(nfds), wait_ms) <= 0) return;
    char buf[4096];
    if (fds[0].revents & POLLIN) {
        ssize_t n = read(master_, buf, sizeof buf);
        if (n > 0) {
            out_.append(buf, static_cast<size_t>(n));
            screen_.feed(std::string_view(buf, static_cast<size_t>(n)));
            std::string replies = screen_.take_replies();
            if (!replies.empty()) send(replies);
        }
    }
    if (nfds == 2 && (fds[1].revents & (POLLIN | POLLHUP))) {
        ssize_t n = read(errpipe_, buf, sizeof buf);
        if (n > 0) err_.append(buf, static_cast<size_t>(n));
        else if (n == 0) {
            close(errpipe_);
            errpipe_ = -1;
        }
    }
}

using Clock = std::chrono::steady_clock;

void TermSession::pump(int ms) {
    auto until = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0) break;
        read_available(static_cast<int>(left));
    }
}

bool TermSession::wait_until(const std::function<bool()>& pred, int timeout_ms) {
    auto until = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!pred()) {
        if (Clock::now() >= until) return false;
        read_available(10);
    }
    return true;
}

bool TermSession::screen_has(std::string_view text) const {
    for (int y = 0; y < screen_.rows(); ++y)
        if (screen_.row(y).find(text) != std::string::npos) return true;
    return false;
}

bool TermSession::wait_for_text(std::string_view text, int timeout_ms) {
    return wait_until([&] { return screen_has(text); }, timeout_ms);
}

int TermSession::wait_exit(int timeout_ms) {
    auto until = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!exited_) {
        int st = 0;
        pid_t r = waitpid(pid_, &st, WNOHANG);
        if (r == pid_) {
            exited_ = true;
            status_ = st;
            break;
        }
        if (Clock::now() >= until) {
            kill_child(SIGKILL);
            waitpid(pid_, nullptr, 0);
            exited_ = true;
            return -1;
        }
        read_available(5);
    }
    // What the program wrote just before it ended.
    for (int i = 0; i < 5; ++i) read_available(2);
    return status_;
}

void TermSession::kill_child(int sig) {
    if (pid_ > 0 && !exited_) ::kill(pid_, sig);
}

termios TermSession::modes_now() const {
    termios t{};
    tcgetattr(slave_, &t);
    return t;
}

bool same_modes(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

std::string describe_modes(const termios& t) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "iflag=%#x oflag=%#x cflag=%#x lflag=%#x", t.c_iflag, t.c_oflag,
                  t.c_cflag, t.c_lflag);
    return buf;
}
