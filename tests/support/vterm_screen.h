// A terminal emulator screen for tests: bytes fed in, cells and cursor read
// back, through libvterm.
#pragma once
#include <string>
#include <string_view>

struct VTerm;
struct VTermScreen;

class VtScreen {
public:
    VtScreen(int rows, int cols);
    ~VtScreen();
    VtScreen(const VtScreen&) = delete;
    VtScreen& operator=(const VtScreen&) = delete;

    void feed(std::string_view bytes);
    int rows() const { return rows_; }
    int cols() const { return cols_; }
    // The code point in a cell (0-based); an empty cell reads as a blank.
    char32_t cell(int x, int y) const;
    // A row as UTF-8, trailing blanks cut.
    std::string row(int y) const;
    int cursor_x() const;  // 0-based
    int cursor_y() const;
    // Replies the emulator wants to send back (answers to queries).
    std::string take_replies();

private:
    int rows_, cols_;
    VTerm* vt_;
    VTermScreen* screen_;
    std::string replies_;
};
