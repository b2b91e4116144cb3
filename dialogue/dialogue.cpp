// The dialogue, step by step. Every read, write and line end is followed by
// the I/O check, so that a failed console operation ends the run there.
#include "dialogue/dialogue.h"

#include "console/crt.h"
#include "console/keyboard.h"
#include "console/lineentry.h"
#include "dialogue/pstring.h"
#include "frame/frame.h"

PSTRING SZO;
PSTRING FORDITOTT;
int16_t SZOHOSSZ;
int16_t I;

// "Írj be egy szót és kiírom fordítva!"
const uint8_t PROMPT_TEXT[36] = "\xD6rj be egy sz\xA2t \x82s ki\xA1rom ford\xA1tva!";
// "A beírt szó "
const uint8_t LENGTH_LEAD[13] = "A be\xA1rt sz\xA2 ";
// " karakterből áll."
const uint8_t LENGTH_TAIL[18] = " karakterb\x8Bl \xA0ll.";
// "A megfordított szó: "
const uint8_t RESULT_LEAD[21] = "A megford\xA1tott sz\xA2: ";

template <size_t N> static void write_text(const uint8_t (&text)[N]) {
    WRITE_CHARS(0, OUTPUT, text, N - 1, true);
}

void DIALOGUE() {
    DIALOGUE_STEPS();
    TERMINATE();
}

void DIALOGUE_STEPS() {
    CLRSCR();
    write_text(PROMPT_TEXT);
    IOCHECK();
    WRITE_LINEEND(OUTPUT);
    IOCHECK();

    READ_PSTRING(INPUT, SZO, 255);
    IOCHECK();
    READ_LINEEND(INPUT);
    IOCHECK();
    SZOHOSSZ = static_cast<int16_t>(SZO.len);

    write_text(LENGTH_LEAD);
    IOCHECK();
    WRITE_SINT(0, OUTPUT, SZOHOSSZ);
    IOCHECK();
    write_text(LENGTH_TAIL);
    IOCHECK();
    WRITE_LINEEND(OUTPUT);
    IOCHECK();

    // The bound is taken once, and compared as 16-bit signed, so an empty
    // word skips the loop and the counter never steps past the bound.
    const int16_t bound = SZOHOSSZ;
    I = 1;
    if (bound >= I) {
        for (;;) {
            PSTRING one;
            one.len = 1;
            one.ch[0] = SZO.ch[I - 1];
            PSTR_CONCAT(FORDITOTT, 255, one, FORDITOTT);
            WRITE_PSTRING(0, OUTPUT, FORDITOTT);
            IOCHECK();
            WRITE_LINEEND(OUTPUT);
            IOCHECK();
            if (!(bound > I)) break;
            ++I;
        }
    }

    write_text(RESULT_LEAD);
    IOCHECK();
    WRITE_PSTRING(0, OUTPUT, FORDITOTT);
    IOCHECK();
    WRITE_LINEEND(OUTPUT);
    IOCHECK();

    READKEY();
}
