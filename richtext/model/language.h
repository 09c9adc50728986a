#pragma once

#include <cstdint>

namespace qn {

// Language of the rich text engine's user-visible texts. It is engine-wide:
// the rich text control sets it, and documents take their decimal tab
// character from it whenever their header is reset.
enum TQnToolLanguage : uint8_t { tqnEnglish = 0, tqnGerman = 1 };

void SetEngineLanguage(TQnToolLanguage language);
TQnToolLanguage EngineLanguage();

// ',' for German, '.' for English.
uint8_t EngineDecimalChar();

} // namespace qn
