#pragma once

// The short texts the rich text control shows (status, progress, file
// filters), in English and German. The language is engine-wide: setting it
// also chooses the decimal tab character that document headers take.

#include <QString>

#include "richtext/model/language.h"

namespace qn {

// First string of each language's table; a text's id is the block plus its offset.
constexpr int kRichTextStringsEnglish = 56000;
constexpr int kRichTextStringsGerman = 56100;

// Offsets in the string table.
enum TQnRichTextString : int {
    rtsFileFilter = 1,
    rtsAbortQuestion = 2,
    rtsReady = 3,
    rtsReading = 4,
    rtsWriting = 5,
    rtsFormatting = 6,
    rtsFormatting2 = 7,
    rtsInitMemory = 8,
    rtsNoSelection = 9,
    rtsRich = 10,
    rtsPlain = 11,
    rtsInternalError = 12,
    rtsDeleteTabs = 13,
};

// The string with a table id (56001.. English, 56101.. German); empty when
// there is none.
QString LoadRichTextString(int id);
// The text at an offset in a language's table.
QString RichTextString(TQnToolLanguage language, int offset);
// The same in the engine's current language.
QString RichTextString(int offset);

// A filter in the "text|pattern|text|pattern" form as a file dialog's filter
// list ("text (pattern);;..."); the patterns are taken as they stand.
QString FileDialogFilter(const QString &windowsFilter);

} // namespace qn
