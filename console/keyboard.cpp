// The console device's keyboard side. KEYPRESSED takes events from the
// console's queue until one yields a key; READKEY waits for one by polling;
// REMAPSCANCODE gives a special key its code from the scan code and the
// modifier group held. Holding Alt while typing keypad digits composes a
// character code, which is delivered when Alt is released.
#include "console/keyboard.h"

#include "platform/console.h"

uint8_t SCANCODE;
bool SPECIALKEY;
bool DOINGNUMCHARS;
uint8_t DOINGNUMCODE;

// Ctrl codes of scan codes 71 to 83: Home, Up, PgUp, keypad minus, Left,
// keypad 5, Right, keypad plus, End, Down, PgDn, Ins, Del.
const uint8_t CTRLKEYPADKEYS[13] = {119, 141, 132, 142, 115, 143, 116, 78, 117, 145, 118, 146, 147};

namespace {

// Modifier flags, low byte of the event's modifier state.
constexpr uint32_t ALT_MASK = plat::RIGHT_ALT | plat::LEFT_ALT;
constexpr uint32_t CTRL_MASK = plat::RIGHT_CTRL | plat::LEFT_CTRL;
// A press is special when it has no character, is a key of the extended
// block, or comes with the left Alt key.
constexpr uint32_t SPECIAL_MASK = plat::ENHANCED | plat::LEFT_ALT;

// One run of scan codes that a modifier column changes: first..last become
// code, code + 1, ... in order.
struct Remap {
    uint8_t first, last, code;
};

// Keys of the main block named by their US-layout labels.
const Remap PLAIN_COLUMN[] = {
    {87, 88, 133},  // F11, F12
};
const Remap SHIFT_COLUMN[] = {
    {59, 68, 84},   // F1..F10
    {87, 88, 135},  // F11, F12
};
const Remap CTRL_COLUMN[] = {
    {15, 15, 148},  // Tab
    {53, 53, 149},  // slash
    {55, 55, 150},  // keypad star
    {59, 68, 94},   // F1..F10
    {87, 88, 137},  // F11, F12
};
// Scan codes 71..83 with Ctrl held come from CTRLKEYPADKEYS.
const Remap ALT_COLUMN[] = {
    {2, 13, 120},   // 1..0, minus, equals
    {28, 28, 166},  // Enter
    {53, 53, 164},  // slash
    {59, 68, 104},  // F1..F10
    {71, 73, 151},  // Home, Up, PgUp (keypad minus 74 stays)
    {75, 75, 155},  // Left (keypad 5 76 stays)
    {77, 77, 157},  // Right (keypad plus 78 stays)
    {79, 83, 159},  // End, Down, PgDn, Ins, Del
    {87, 88, 139},  // F11, F12
};

template <size_t N> uint8_t remap(const Remap (&column)[N], uint8_t scan) {
    for (const Remap& r : column)
        if (scan >= r.first && scan <= r.last) return static_cast<uint8_t>(r.code + (scan - r.first));
    return scan;
}

// Virtual keys of the keys that only modify others: Shift, Ctrl, Alt,
// Caps Lock, Num Lock, Scroll Lock. Their presses are discarded.
const uint16_t MODIFIER_KEYS[] = {16, 17, 18, 20, 144, 145};
constexpr uint16_t VK_ALT = 18;

// The keypad digits by scan code (Num Lock off: the keys' cursor labels).
struct KeypadDigit {
    uint16_t scan;
    uint8_t digit;
};
const KeypadDigit KEYPAD_DIGITS[] = {
    {71, 7}, {72, 8}, {73, 9}, {75, 4}, {76, 5}, {77, 6}, {79, 1}, {80, 2}, {81, 3}, {82, 0},
};

bool is_modifier_key(uint16_t vk) {
    for (uint16_t m : MODIFIER_KEYS)
        if (vk == m) return true;
    return false;
}

const KeypadDigit* keypad_digit(uint16_t scan) {
    for (const KeypadDigit& d : KEYPAD_DIGITS)
        if (d.scan == scan) return &d;
    return nullptr;
}

// Sets SPECIALKEY and SCANCODE for a press.
void classify(const plat::KeyEvent& ev) {
    if (ev.ch == 0 || (ev.mods & SPECIAL_MASK) != 0) {
        SPECIALKEY = true;
        SCANCODE = REMAPSCANCODE(static_cast<uint8_t>(ev.scan), static_cast<uint8_t>(ev.mods));
    } else if (ev.ch == 9 && (ev.mods & plat::SHIFT) != 0) {
        SPECIALKEY = true;  // Shift+Tab
        SCANCODE = 15;
    } else {
        SPECIALKEY = false;
        SCANCODE = ev.ch;
    }
}

// Handles one event from the queue; true when it yields a key.
bool handle(const plat::KeyEvent& ev) {
    if (ev.kind != plat::KEY_EVENT_KIND) return false;
    if (!ev.down) {
        // Releasing Alt delivers a composed code; a composed 0 delivers
        // nothing and the composition stays as it is.
        if (ev.vk != VK_ALT || !DOINGNUMCHARS || DOINGNUMCODE == 0) return false;
        SCANCODE = DOINGNUMCODE;
        DOINGNUMCHARS = false;
        DOINGNUMCODE = 0;
        return true;
    }
    if (is_modifier_key(ev.vk)) return false;
    classify(ev);
    if ((ev.mods & ALT_MASK) == 0) return true;
    // With either Alt key held a keypad digit, enhanced or not, adds to the
    // composition instead of being a key.
    const KeypadDigit* d = keypad_digit(ev.scan);
    if (d == nullptr) return true;
    DOINGNUMCHARS = true;
    DOINGNUMCODE = static_cast<uint8_t>(DOINGNUMCODE * 10 + d->digit);
    SPECIALKEY = false;
    SCANCODE = 0;
    return false;
}

}  // namespace

uint8_t REMAPSCANCODE(uint8_t scan, uint8_t mods) {
    if ((mods & ALT_MASK) != 0) return remap(ALT_COLUMN, scan);
    if ((mods & CTRL_MASK) != 0) {
        if (scan >= 71 && scan <= 83) return CTRLKEYPADKEYS[scan - 71];
        return remap(CTRL_COLUMN, scan);
    }
    if ((mods & plat::SHIFT) != 0) return remap(SHIFT_COLUMN, scan);
    return remap(PLAIN_COLUMN, scan);
}

bool KEYPRESSED() {
    if (SCANCODE != 0) return true;
    uint32_t n = 0;
    if (!plat::count_events(&n)) return false;
    while (n > 0) {
        plat::KeyEvent ev{};
        // A queue that counts events it then cannot hand out is taken as
        // empty, rather than asked again forever.
        if (!plat::read_event(&ev)) return false;
        if (handle(ev)) return true;
        if (!plat::count_events(&n)) return false;
    }
    return false;
}

uint8_t READKEY() {
    while (!KEYPRESSED()) plat::sleep_1ms();
    if (SPECIALKEY) {
        SPECIALKEY = false;  // SCANCODE stays for the next call
        return 0;
    }
    uint8_t c = SCANCODE;
    SCANCODE = 0;
    return c;
}

void KEYBOARD_RESET() {
    SCANCODE = 0;
    SPECIALKEY = false;
    DOINGNUMCHARS = false;
    DOINGNUMCODE = 0;
}
