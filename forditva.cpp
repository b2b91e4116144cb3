// Program entry: the frame runs the console set-up as its second module and
// the dialogue as the program body.
#include "console/crt.h"
#include "dialogue/dialogue.h"
#include "frame/frame.h"

static void console_init() { CRTSETUP(IOCHECK); }

int main() {
    static const MODULEENTRY console_module = {console_init, CRTFINISH};
    FRAME_RUN(console_module, DIALOGUE);
}
