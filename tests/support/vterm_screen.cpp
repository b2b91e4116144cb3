// libvterm behind VtScreen.
#include "tests/support/vterm_screen.h"

#include <vterm.h>

static void on_output(const char* s, size_t len, void* user) {
    static_cast<std::string*>(user)->append(s, len);
}

VtScreen::VtScreen(int rows, int cols) : rows_(rows), cols_(cols) {
    vt_ = vterm_new(rows, cols);
    vterm_set_utf8(vt_, 1);
    vterm_output_set_callback(vt_, on_output, &replies_);
    screen_ = vterm_obtain_screen(vt_);
    vterm_screen_reset(screen_, 1);
}

VtScreen::~VtScreen() { vterm_free(vt_); }

void VtScreen::feed(std::string_view bytes) { vterm_input_write(vt_, bytes.data(), bytes.size()); }

char32_t VtScreen::cell(int x, int y) const {
    VTermScreenCell c{};
    VTermPos pos{y, x};
    vterm_screen_get_cell(screen_, pos, &c);
    return c.chars[0] == 0 ? U' ' : static_cast<char32_t>(c.chars[0]);
}

static void put_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string VtScreen::row(int y) const {
    std::string out;
    for (int x = 0; x < cols_; ++x) put_utf8(out, cell(x, y));
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

int VtScreen::cursor_x() const {
    VTermPos p;
    vterm_state_get_cursorpos(vterm_obtain_state(vt_), &p);
    return p.col;
}

int VtScreen::cursor_y() const {
    VTermPos p;
    vterm_state_get_cursorpos(vterm_obtain_state(vt_), &p);
    return p.row;
}

std::string VtScreen::take_replies() {
    std::string r;
    r.swap(replies_);
    return r;
}
