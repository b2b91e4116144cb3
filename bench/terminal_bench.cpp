// What one flush of OUTPUT costs through the terminal backend: bytes sent to
// the terminal, write() calls and time, for a typical dialogue line and for
// a full 256-byte buffer. The terminal is /dev/null, 80x24.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "console/crt.h"
#include "console/keyboard.h"
#include "console/textdev.h"
#include "platform/posix/terminal.h"

namespace {

void check_ok() {}
void nop() {}

plat::ConsoleOps ops;

void start() {
    static int fd = open("/dev/null", O_WRONLY);
    ops = *posix_term::open(fd, 80, 24);
    ops.begin = ops.end = nop;
    plat::use_console(&ops);
    TEXTDEV_RESET();
    CRT_RESET();
    KEYBOARD_RESET();
    CRTSETUP(check_ok);
    CLRSCR();
}

void report(benchmark::State& state, long bytes0, long writes0) {
    auto per_flush = benchmark::Counter::kAvgIterations;
    state.counters["bytes/flush"] = benchmark::Counter(static_cast<double>(posix_term::bytes_sent() - bytes0), per_flush);
    state.counters["writes/flush"] = benchmark::Counter(static_cast<double>(posix_term::write_calls() - writes0), per_flush);
}

void write_text(const std::string& s) {
    WRITE_CHARS(0, OUTPUT, reinterpret_cast<const uint8_t*>(s.data()), s.size(), false);
}

// A stage line of the dialogue, in code page 852, with its line end; the
// screen scrolls once it is full, as in a long run.
void BM_TypicalLine(benchmark::State& state) {
    start();
    const std::string line = "\xd6rj be egy sz\xa2t \x82s ki\xa1rom ford\xa1tva!";
    long b0 = posix_term::bytes_sent(), w0 = posix_term::write_calls();
    for (auto _ : state) {
        write_text(line);
        WRITE_LINEEND(OUTPUT);
    }
    report(state, b0, w0);
}
BENCHMARK(BM_TypicalLine);

// A full buffer of 256 ordinary bytes (a quarter accented), wrapping over
// four rows and scrolling at the bottom.
void BM_FullBuffer(benchmark::State& state) {
    start();
    std::string text;
    for (int i = 0; i < 256; ++i) text += i % 4 == 0 ? '\xa0' : static_cast<char>('a' + i % 26);
    long b0 = posix_term::bytes_sent(), w0 = posix_term::write_calls();
    for (auto _ : state) {
        write_text(text);
        FLUSH(OUTPUT);
    }
    report(state, b0, w0);
}
BENCHMARK(BM_FullBuffer);

// CLRSCR of the whole window.
void BM_ClearScreen(benchmark::State& state) {
    start();
    long b0 = posix_term::bytes_sent(), w0 = posix_term::write_calls();
    for (auto _ : state) {
        write_text("x");
        WRITE_LINEEND(OUTPUT);
        CLRSCR();
    }
    report(state, b0, w0);
}
BENCHMARK(BM_ClearScreen);

}  // namespace

BENCHMARK_MAIN();
