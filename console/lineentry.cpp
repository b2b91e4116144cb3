// Placeholder until line entry lands.
#include "console/lineentry.h"

bool CHECKEOF;
const bool CTRLZMARKSEOF = true;

uint16_t CRTREAD(TEXTREC& f) { f.fill = 0; f.end = 0; return 0; }
uint16_t CRTRETURN(TEXTREC&) { return 0; }
bool CHECKREAD(TEXTREC&) { return false; }
void READ_PSTRING(TEXTREC&, PSTRING& s, uint8_t) { s.len = 0; }
void READ_LINEEND(TEXTREC&) {}
