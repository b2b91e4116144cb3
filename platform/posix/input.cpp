// The key source on POSIX. Standard input is read without blocking into a
// fixed queue of key events. On a terminal the bytes go through the terminal
// key decoder with the time they were read, and begin() sets the input mode
// the device needs: no line buffering, no echo, no flow control, Enter as
// CR, the interrupt key alone left to the terminal. end() and the handlers
// of SIGINT, SIGTERM, SIGHUP and SIGQUIT put the previous mode back; a
// handled signal then ends the process by its default action. A stop
// (SIGTSTP) gives the old mode back while stopped and sets the device's
// mode again when the process continues. On a pipe or a file the bytes are
// typed characters, and once the input has ended every further key is
// Enter, so nothing waits for keys that cannot come.
#include "platform/posix/input.h"

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstddef>

#include "platform/posix/keydecode.h"

namespace posix_input {
namespace {

enum Source { UNKNOWN, TERMINAL, STREAM };
Source source = UNKNOWN;
// The input has ended (end of file, an error, a terminal hung up).
bool input_ended;

keydecode::Terminal term_dec;
keydecode::Stream stream_dec;

// Decoded keys waiting to be read: a ring.
constexpr int QUEUE_SIZE = 1024;
plat::KeyEvent queue[QUEUE_SIZE];
int q_head, q_count;

// Bytes read at once at most.
constexpr size_t READ_CHUNK = 256;

// The terminal's mode before begin(); restored by end() and the handlers.
termios saved_mode;
// The mode begin() set; put back when the process continues after a stop.
termios device_mode;
volatile sig_atomic_t mode_set;
// Bytes that were typed before begin(), in the old mode. With ICRNL on
// there, their Enter already became LF, so an LF among them is Enter.
size_t cooked_left;
bool cooked_crlf;

// The signals that end the process and must give the terminal its mode back.
const int EXIT_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int N_SIGNALS = sizeof EXIT_SIGNALS / sizeof EXIT_SIGNALS[0];
struct sigaction old_actions[N_SIGNALS];
bool handler_set[N_SIGNALS];

uint64_t now_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

void choose_source() {
    if (source == UNKNOWN) source = isatty(STDIN_FILENO) ? TERMINAL : STREAM;
}

void enqueue(const keydecode::Out& o) {
    for (int i = 0; i < o.n && q_count < QUEUE_SIZE; ++i) {
        queue[(q_head + q_count) % QUEUE_SIZE] = o.ev[i];
        ++q_count;
    }
}

void end_of_input() {
    input_ended = true;
    keydecode::Out o{};
    if (source == TERMINAL) keydecode::flush(&term_dec, &o);
    else keydecode::flush(&stream_dec, &o);
    enqueue(o);
}

void decode(const uint8_t* buf, size_t n) {
    uint64_t t = now_ms();
    for (size_t i = 0; i < n; ++i) {
        keydecode::Out o{};
        if (source == TERMINAL) {
            uint8_t b = buf[i];
            if (cooked_left > 0) {
                --cooked_left;
                if (cooked_crlf && b == 10) b = 13;
            }
            keydecode::feed(&term_dec, b, t, &o);
        } else {
            keydecode::feed(&stream_dec, buf[i], &o);
        }
        enqueue(o);
    }
}

// Reads what standard input has now, as much as the queue has room for,
// without waiting.
void pull() {
    if (input_ended) return;
    int room = QUEUE_SIZE - q_count;
    size_t want = static_cast<size_t>(room / keydecode::MAX_OUT);
    if (want > READ_CHUNK) want = READ_CHUNK;
    if (want == 0) return;
    pollfd p{STDIN_FILENO, POLLIN, 0};
    int r = poll(&p, 1, 0);
    if (r < 0) {
        if (errno != EINTR && errno != EAGAIN) end_of_input();
        return;
    }
    if (r == 0) return;
    if (p.revents & POLLNVAL) return end_of_input();
    uint8_t buf[READ_CHUNK];
    ssize_t n = read(STDIN_FILENO, buf, want);
    if (n > 0) return decode(buf, static_cast<size_t>(n));
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    // 0 bytes is the end of a pipe or file; on a terminal (which returns 0
    // when nothing is there) only a hang-up ends the input.
    if (n < 0 || source == STREAM || (p.revents & (POLLHUP | POLLERR))) end_of_input();
}

void on_exit_signal(int sig) {
    if (mode_set) tcsetattr(STDIN_FILENO, TCSANOW, &saved_mode);
    // SA_RESETHAND has put the default action back and SA_NODEFER lets the
    // signal act at once: the process ends by it, as it would have.
    raise(sig);
}

struct sigaction old_stop_action;
bool stop_handler_set;
// Set when the process has continued after a stop; the redraw runs on the
// ordinary path, never in the handler.
volatile sig_atomic_t continued;
void (*redraw_hook)();
void install_stop_handler();

// A stop (SIGTSTP) hands the terminal back in its old mode while the
// process is stopped, and takes the device's mode again once it continues.
void on_stop_signal(int sig) {
    int saved_errno = errno;
    if (mode_set) tcsetattr(STDIN_FILENO, TCSANOW, &saved_mode);
    raise(sig);  // SA_RESETHAND put the default action back: the process stops here
    if (mode_set) {
        tcsetattr(STDIN_FILENO, TCSANOW, &device_mode);
        install_stop_handler();
        continued = 1;
    }
    errno = saved_errno;
}

void install_stop_handler() {
    struct sigaction sa {};
    sa.sa_handler = on_stop_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESETHAND | SA_NODEFER | SA_RESTART;
    sigaction(SIGTSTP, &sa, nullptr);
}

void install_handlers() {
    // As with the ending signals: only where stopping is the default action
    // (a shell without job control has it ignored).
    struct sigaction stop {};
    if (sigaction(SIGTSTP, nullptr, &stop) == 0 && stop.sa_handler == SIG_DFL && !(stop.sa_flags & SA_SIGINFO)) {
        old_stop_action = stop;
        install_stop_handler();
        stop_handler_set = true;
    }
    for (int i = 0; i < N_SIGNALS; ++i) {
        struct sigaction old {};
        if (sigaction(EXIT_SIGNALS[i], nullptr, &old) != 0) continue;
        // An ignored signal stays ignored; someone else's handler stays theirs.
        if (old.sa_handler != SIG_DFL || (old.sa_flags & SA_SIGINFO)) continue;
        struct sigaction sa {};
        sa.sa_handler = on_exit_signal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESETHAND | SA_NODEFER;
        if (sigaction(EXIT_SIGNALS[i], &sa, &old_actions[i]) == 0) handler_set[i] = true;
    }
}

void remove_handlers() {
    if (stop_handler_set) {
        sigaction(SIGTSTP, &old_stop_action, nullptr);
        stop_handler_set = false;
    }
    for (int i = 0; i < N_SIGNALS; ++i) {
        if (!handler_set[i]) continue;
        sigaction(EXIT_SIGNALS[i], &old_actions[i], nullptr);
        handler_set[i] = false;
    }
}

}  // namespace

void begin() {
    choose_source();
    if (source != TERMINAL || mode_set) return;
    termios t{};
    if (tcgetattr(STDIN_FILENO, &t) != 0) return;
    saved_mode = t;
    mode_set = 1;
    t.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL | IEXTEN);
    t.c_lflag |= ISIG;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR);
    t.c_cc[VSUSP] = _POSIX_VDISABLE;
    t.c_cc[VQUIT] = _POSIX_VDISABLE;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    device_mode = t;
    install_handlers();
    // TCSANOW: keys typed ahead stay in the queue.
    if (tcsetattr(STDIN_FILENO, TCSANOW, &t) != 0) {
        remove_handlers();
        mode_set = 0;
        return;
    }
    int pending = 0;
    if (ioctl(STDIN_FILENO, FIONREAD, &pending) == 0 && pending > 0) {
        cooked_left = static_cast<size_t>(pending);
        cooked_crlf = (saved_mode.c_iflag & ICRNL) && !(saved_mode.c_iflag & IGNCR);
    }
}

void end() {
    if (!mode_set) return;
    tcsetattr(STDIN_FILENO, TCSANOW, &saved_mode);
    mode_set = 0;
    remove_handlers();
}

void on_continue(void (*redraw)()) { redraw_hook = redraw; }

bool count_events(uint32_t* n) {
    choose_source();
    if (continued) {
        continued = 0;
        if (redraw_hook) redraw_hook();
    }
    pull();
    if (source == TERMINAL && !input_ended) {
        keydecode::Out o{};
        keydecode::tick(&term_dec, now_ms(), &o);
        enqueue(o);
    }
    // At the end of input an Enter is always there to be read.
    *n = q_count > 0 ? static_cast<uint32_t>(q_count) : input_ended ? 1u : 0u;
    return true;
}

bool read_event(plat::KeyEvent* ev) {
    choose_source();
    if (q_count == 0) pull();
    if (q_count > 0) {
        *ev = queue[q_head];
        q_head = (q_head + 1) % QUEUE_SIZE;
        --q_count;
        return true;
    }
    if (!input_ended) return false;
    *ev = keydecode::enter_key();
    return true;
}

void sleep_1ms() {
    choose_source();
    if (!input_ended) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        if (poll(&p, 1, 1) >= 0 && !(p.revents & (POLLHUP | POLLERR | POLLNVAL))) return;
    }
    // Nothing to wait on (or a poll that would return at once): plain sleep.
    timespec ts{0, 1000000};
    nanosleep(&ts, nullptr);
}

}  // namespace posix_input
