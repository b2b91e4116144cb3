// The plain-stream backend. The device hands it every byte it would show;
// each goes out as its code page 852 character in UTF-8, except the bytes
// in the table below, which keep their meaning as controls of a text
// stream. Bytes wait in a buffer until the flush's end (set_cursor), the
// session's end, a plain write to the same file, or until the buffer fills.
#include "platform/posix/stream.h"

#include "platform/posix/cp852.h"
#include "platform/posix/input.h"
#include "platform/posix/terminal.h"

namespace posix_stream {
namespace {

// What a byte becomes in the stream, when not its glyph.
enum class Pass : uint8_t { Glyph, Raw, Drop };
// CR and LF are the program's line ends; BS is the cursor move that line
// entry's editing echoes, so a reader's terminal shows the edit. BEL, which
// the console shows as nothing, stays nothing. Every other control byte is
// an ordinary character on the console and shows as its glyph, so no raw
// escape from the program's data reaches whatever reads the stream.
struct Rule {
    uint8_t byte;
    Pass pass;
};
constexpr Rule RULES[] = {{'\r', Pass::Raw}, {'\n', Pass::Raw}, {'\b', Pass::Raw}, {7, Pass::Drop}};

Pass pass_of(uint8_t b) {
    for (const Rule& r : RULES)
        if (r.byte == b) return r.pass;
    return Pass::Glyph;
}

constexpr size_t CAP = 4096;

struct State {
    bool open;
    int fd;
    unsigned output_cp;
    size_t len;
    long writes;
    char out[CAP];
};
State st;

void send() {
    if (st.len == 0) return;
    // A stream that refuses bytes loses them; the console reports nothing.
    posix_term::write_all(st.fd, st.out, st.len, &st.writes);
    st.len = 0;
}

void begin() { posix_input::begin(); }
void end() {
    send();
    posix_input::end();
}
bool info(plat::ScreenInfo*) { return false; }
bool set_cursor(int, int) {
    send();
    return true;
}
void no_chars(int, int, const uint8_t*, int) {}
void no_fill(int, int, uint8_t, int) {}
void no_scroll(plat::Rect, plat::Rect, int, int, uint8_t, uint8_t) {}
unsigned get_output_cp() { return st.output_cp; }
bool set_output_cp(unsigned cp) {
    st.output_cp = cp;
    return true;
}
unsigned ansi_cp() { return 852; }
bool is_stream() { return true; }

void stream_write(const uint8_t* bytes, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (st.len + 4 > CAP) send();
        switch (pass_of(bytes[i])) {
        case Pass::Raw: st.out[st.len++] = static_cast<char>(bytes[i]); break;
        case Pass::Drop: break;
        case Pass::Glyph: st.len += cp852_to_utf8(bytes[i], st.out + st.len); break;
        }
    }
}

const plat::ConsoleOps table = {begin,         end,           info,      set_cursor,
                                no_chars,      no_fill,       no_fill,   no_scroll,
                                get_output_cp, set_output_cp, ansi_cp,   is_stream,
                                stream_write,  posix_input::count_events,
                                posix_input::read_event,      posix_input::sleep_1ms};

}  // namespace

const plat::ConsoleOps* open(int fd) {
    st.open = true;
    st.fd = fd;
    st.output_cp = 65001;
    st.len = 0;
    st.writes = 0;
    return &table;
}

void close() {
    if (!st.open) return;
    send();
    st.open = false;
}

void before_plain_write(int fd) {
    if (st.open && st.len > 0 && posix_term::same_file(fd, st.fd)) send();
}

long write_calls() { return st.writes; }

}  // namespace posix_stream
