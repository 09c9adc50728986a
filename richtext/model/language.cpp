#include "richtext/model/language.h"

namespace qn {

namespace {
TQnToolLanguage engineLanguage = tqnEnglish;
}

void SetEngineLanguage(TQnToolLanguage language)
{
    engineLanguage = language;
}

TQnToolLanguage EngineLanguage()
{
    return engineLanguage;
}

uint8_t EngineDecimalChar()
{
    return engineLanguage == tqnGerman ? ',' : '.';
}

} // namespace qn
