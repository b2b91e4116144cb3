// A program run in a pseudo-terminal of a given size, as a user meets it:
// keys go in as a terminal sends them, the output is read back through a
// libvterm screen, and the exit status and the terminal's modes before and
// after the run can be compared.
#pragma once
#include <sys/types.h>
#include <termios.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/vterm_screen.h"

struct SessionOptions {
    int cols = 80, rows = 24;
    // Standard error into a pipe of its own (err()), instead of the terminal.
    bool stderr_pipe = false;
    // Standard input from this file instead of the terminal, when not empty.
    std::string stdin_file;
    // Standard output into this file instead of the terminal, when not empty.
    std::string stdout_file;
    std::vector<std::string> env;  // extra NAME=VALUE entries; TERM=xterm-256color is set
};

class TermSession {
public:
    TermSession(const std::vector<std::string>& argv, const SessionOptions& opt = {});
    ~TermSession();
    TermSession(const TermSession&) = delete;
    TermSession& operator=(const TermSession&) = delete;

    void send(std::string_view bytes);
    // Reads what the program writes for ms milliseconds.
    void pump(int ms);
    // Pumps until pred holds or timeout_ms pass; true if it held.
    bool wait_until(const std::function<bool()>& pred, int timeout_ms = 5000);
    // Waits until the text (UTF-8) stands on some row of the screen.
    bool wait_for_text(std::string_view text, int timeout_ms = 5000);
    bool screen_has(std::string_view text) const;
    // Waits for the program to end, reading its output; returns the wait
    // status, or -1 when it did not end in time (it is then killed).
    int wait_exit(int timeout_ms = 5000);
    bool exited() const { return exited_; }
    void kill_child(int sig);

    VtScreen& screen() { return screen_; }
    const std::string& output() const { return out_; }  // every byte the terminal got
    const std::string& err() const { return err_; }     // standard error, with stderr_pipe
    pid_t pid() const { return pid_; }
    // The terminal's modes when the program started, and now.
    const termios& modes_before() const { return before_; }
    termios modes_now() const;

private:
    void read_available(int wait_ms);
    int master_ = -1, slave_ = -1, errpipe_ = -1;
    pid_t pid_ = -1;
    bool exited_ = false;
    int status_ = 0;
    termios before_{};
    std::string out_, err_;
    VtScreen screen_;
};

// Terminal modes compared field by field (flags, control characters).
bool same_modes(const termios& a, const termios& b);
std::string describe_modes(const termios& t);
// The build's binaries: the directory holding the test binaries' root.
std::string build_path(const std::string& relative);
