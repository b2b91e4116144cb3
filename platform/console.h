// The console as the device sees it: one OS-independent interface over a
// screen of cells and a queue of key events. Positions here are the
// platform's own, counted from 0. Each backend (posix terminal, plain stream,
// in-memory for tests, Windows console) fills in a ConsoleOps table; the
// plain functions below forward to the table in use.
#pragma once
#include <cstddef>
#include <cstdint>

namespace plat {

// What the console reports about itself: the cursor, the attribute in force
// and the visible window (inclusive, counted from 0) on a screen that may be
// larger than the window.
struct ScreenInfo {
    int screen_w, screen_h;
    int cur_x, cur_y;
    uint16_t attr;
    int win_left, win_top, win_right, win_bottom;
};

// A rectangle of cells, inclusive, counted from 0.
struct Rect {
    int left, top, right, bottom;
};

// Modifier flags of a key event, as a console reports them.
enum : uint32_t {
    RIGHT_ALT = 0x0001,
    LEFT_ALT = 0x0002,
    RIGHT_CTRL = 0x0004,
    LEFT_CTRL = 0x0008,
    SHIFT = 0x0010,
    ENHANCED = 0x0100,
};

enum : uint16_t { KEY_EVENT_KIND = 1 };

// One record of the console's input queue.
struct KeyEvent {
    uint16_t kind;     // KEY_EVENT_KIND, or anything else for other events
    bool down;         // press or release
    uint16_t repeat;   // repeat count (not used by the device)
    uint16_t vk;       // virtual key
    uint16_t scan;     // scan code, set 1, US layout
    uint8_t ch;        // character byte in the input code page, 0 for none
    uint32_t mods;     // modifier flags above
};

// The table a backend provides. Every entry must be set.
struct ConsoleOps {
    // Session: begin puts the console into the mode the device needs (on a
    // terminal, its input mode), once at console set-up; end gives the old
    // mode back. end may be called more than once.
    void (*begin)();
    void (*end)();
    // Screen side.
    bool (*info)(ScreenInfo* out);                  // false: not a console
    bool (*set_cursor)(int x, int y);               // false: refused, cursor stays
    void (*write_chars)(int x, int y, const uint8_t* chars, int n);  // cursor stays
    void (*fill_chars)(int x, int y, uint8_t ch, int n);
    void (*fill_attrs)(int x, int y, uint8_t attr, int n);
    // Moves the cells of src (cut to clip) so that its top-left lands on
    // (dest_x, dest_y); cells of src that are left uncovered, inside clip,
    // become fill_ch in fill_attr.
    void (*scroll)(Rect src, Rect clip, int dest_x, int dest_y, uint8_t fill_ch,
                   uint8_t fill_attr);
    unsigned (*get_output_cp)();
    bool (*set_output_cp)(unsigned cp);
    unsigned (*ansi_cp)();
    // Plain-stream output: when standard output is not a console the device
    // hands its bytes here instead of putting them into cells. Returns false
    // when there is no such stream (a real console).
    bool (*is_stream)();
    void (*stream_write)(const uint8_t* bytes, size_t n);
    // Keyboard side.
    bool (*count_events)(uint32_t* n);
    bool (*read_event)(KeyEvent* ev);   // removes one event; false when none
    void (*sleep_1ms)();
};

// Selects the backend in use; nullptr selects the platform's own.
void use_console(const ConsoleOps* ops);
const ConsoleOps& console();

// The platform's own backend, chosen by what standard input and output are.
const ConsoleOps* native_console();

inline void console_begin() { console().begin(); }
inline void console_end() { console().end(); }
inline bool console_info(ScreenInfo* out) { return console().info(out); }
inline bool set_cursor(int x, int y) { return console().set_cursor(x, y); }
inline void write_chars(int x, int y, const uint8_t* c, int n) { console().write_chars(x, y, c, n); }
inline void fill_chars(int x, int y, uint8_t ch, int n) { console().fill_chars(x, y, ch, n); }
inline void fill_attrs(int x, int y, uint8_t a, int n) { console().fill_attrs(x, y, a, n); }
inline void scroll(Rect src, Rect clip, int dx, int dy, uint8_t ch, uint8_t a) {
    console().scroll(src, clip, dx, dy, ch, a);
}
inline unsigned get_output_cp() { return console().get_output_cp(); }
inline bool set_output_cp(unsigned cp) { return console().set_output_cp(cp); }
inline unsigned ansi_cp() { return console().ansi_cp(); }
inline bool console_is_stream() { return console().is_stream(); }
inline void stream_write(const uint8_t* b, size_t n) { console().stream_write(b, n); }
inline bool count_events(uint32_t* n) { return console().count_events(n); }
inline bool read_event(KeyEvent* ev) { return console().read_event(ev); }
inline void sleep_1ms() { console().sleep_1ms(); }

}  // namespace plat
