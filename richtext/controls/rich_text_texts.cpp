#include "richtext/controls/rich_text_texts.h"

#include <QStringList>

namespace qn {

namespace {

constexpr int kTextCount = 13;

// Offsets 1..13; both filters end in the two characters their tables carry.
const char *const kEnglish[kTextCount] = {
    "RTF files|*.RTF|HTML files|*.HTM|TXT files|*.TXT|all files (*.*)|*.*')",
    "Do you want to abort operation?",
    "Ready",
    "reading ...",
    "writing ...",
    "formatting ...",
    "formatting ...",
    "initialize memory",
    "no text selected",
    "RICH",
    "PLAIN",
    "Internal Error",
    "Delete all tabstops?",
};

const char *const kGerman[kTextCount] = {
    "Formatierte Texte|*.RTF|HTML Dateien|*.HTM|Textdateien|*.TXT|alle Dateien (*.*)|*.*')",
    "Soll Operation abgebrochen werden?",
    "Bereit",
    "beim lesen...",
    "beim schreiben",
    "beim formatieren",
    "beim formatieren",
    "initialisiere speicher...",
    "keine Auswahl markiert",
    "FMT",
    "NORM",
    "Interner Fehler",
    "Tabulatoren l\xc3\xb6schen",
};

} // namespace

QString LoadRichTextString(int id)
{
    const char *const *table = nullptr;
    int offset = 0;
    if (id > kRichTextStringsGerman && id <= kRichTextStringsGerman + kTextCount) {
        table = kGerman;
        offset = id - kRichTextStringsGerman;
    } else if (id > kRichTextStringsEnglish && id <= kRichTextStringsEnglish + kTextCount) {
        table = kEnglish;
        offset = id - kRichTextStringsEnglish;
    }
    return table ? QString::fromUtf8(table[offset - 1]) : QString();
}

QString RichTextString(TQnToolLanguage language, int offset)
{
    const int block = language == tqnGerman ? kRichTextStringsGerman : kRichTextStringsEnglish;
    return LoadRichTextString(block + offset);
}

QString RichTextString(int offset)
{
    return RichTextString(EngineLanguage(), offset);
}

QString FileDialogFilter(const QString &windowsFilter)
{
    const QStringList parts = windowsFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters << parts[i] + QStringLiteral(" (") + parts[i + 1] + QLatin1Char(')');
    return filters.join(QStringLiteral(";;"));
}

} // namespace qn
