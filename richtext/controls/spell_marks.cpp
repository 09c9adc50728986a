#include "richtext/controls/spell_marks.h"

#include "platform/ansi.h"
#include "platform/notifications.h"
#include "platform/unicode_text.h"
#include "richtext/controls/rich_text.h"
#include "richtext/controls/rich_text_document.h"
#include "spell/spell_letters.h"

#include <QMenu>
#include <QPainter>
#include <QPolygon>

#include <algorithm>

namespace qn {

namespace {

// Paragraphs checked at most before the remembered results are dropped
// (deleted paragraphs leave theirs behind).
constexpr size_t kMaxRemembered = 20000;
constexpr int kMenuSuggestions = 8;

// Where the caret is in its paragraph's text, or -1 when it is elsewhere.
int caretIn(const TQnRTFTextInput &doc, const TParagraph *paragraph)
{
    if (doc.Cursor.Paragraph != paragraph)
        return -1;
    int offset = 0;
    for (const TLine *l = paragraph->Lines; l && l != doc.Cursor.Line; l = l->Next)
        offset += l->Length;
    return offset + doc.Cursor.Offset;
}

void drawWave(QPainter &painter, int left, int right, int y)
{
    QPolygon wave;
    wave.reserve((right - left) / 2 + 2);
    wave << QPoint(left, y);
    bool up = true;
    for (int x = left + 2; x <= right + 1; x += 2, up = !up)
        wave << QPoint(x, up ? y - 2 : y);
    painter.drawPolyline(wave);
}

} // namespace

void TQnSpellMarks::SetEngine(std::shared_ptr<spell::SpellingEngine> engine)
{
    engine_ = std::move(engine);
    Forget();
}

void TQnSpellMarks::SetEnabled(bool on)
{
    enabled_ = on;
    editor_.update();
}

void TQnSpellMarks::Forget()
{
    checked_.clear();
    editor_.update();
}

bool TQnSpellMarks::isCorrect(std::string_view word)
{
    if (ignored_.count(spell::SpellUpperCase(word)))
        return true;
    return engine_->IsCorrect(word);
}

std::vector<spell::WordRange> TQnSpellMarks::ParagraphMarks(TParagraph *paragraph)
{
    std::vector<spell::WordRange> marks = checkedMarks(paragraph);
    const int caret = caretIn(*editor_.Document, paragraph);
    std::erase_if(marks, [caret](const spell::WordRange &w) {
        return caret >= w.Start && caret <= w.Start + w.Length;
    });
    return marks;
}

const std::vector<spell::WordRange> &TQnSpellMarks::checkedMarks(TParagraph *paragraph)
{
    static const std::vector<spell::WordRange> none;
    if (!engine_ || !enabled_ || !paragraph)
        return none;
    std::u32string text = TQnRTFText::ParagraphText(paragraph);
    auto at = checked_.find(paragraph);
    // A word with a letter the dictionary's code page lacks is never marked.
    const auto check = [this](std::u32string_view word) {
        return spell::IsCorrectInAlphabet(
            word, [this](std::string_view ansi) { return isCorrect(ansi); });
    };
    if (at == checked_.end()) {
        if (checked_.size() > kMaxRemembered)
            checked_.clear();
        auto marks = spell::MisspelledWords(text, -1, check);
        at = checked_.emplace(paragraph, Checked{std::move(text), std::move(marks)}).first;
    } else if (at->second.Text != text) {
        // Typing changes a few letters of a paragraph: only the words
        // around them are looked up again.
        at->second.Marks =
            spell::UpdateMisspelledWords(at->second.Text, at->second.Marks, text, check);
        at->second.Text = std::move(text);
    }
    return at->second.Marks;
}

void TQnSpellMarks::Paint(QPainter &painter, const QPoint &clientTopLeft, const QRect &dirty)
{
    if (!engine_ || !enabled_)
        return;
    TQnRTFTextInput &doc = *editor_.Document;
    const int top = dirty.top() - clientTopLeft.y();
    const int bottom = dirty.bottom() - clientTopLeft.y();
    const int shift = doc.OriginY - doc.ScrollY;
    painter.save();
    painter.setPen(QPen(QColor(220, 0, 0), 1));
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (TParagraph *p = doc.FirstParagraph; p; p = p->Next) {
        const TLine *last = p->LastLine();
        if (!p->Lines || last->Top + last->Height + shift < top)
            continue;
        if (p->Lines->Top + shift > bottom && !p->IsTableCell())
            break;
        const auto marks = ParagraphMarks(p);
        int lineStart = 0;
        for (TLine *l = p->Lines; l && !marks.empty(); lineStart += l->Length, l = l->Next) {
            const int lineEnd = lineStart + l->Length;
            if (l->Top + l->Height + shift < top || l->Top + shift > bottom)
                continue; // outside the part that is painted
            const int y = l->Top + shift + l->Ascent + 2 + clientTopLeft.y();
            for (const spell::WordRange &w : marks) {
                const int from = std::max(w.Start, lineStart);
                const int to = std::min(w.Start + w.Length, lineEnd);
                if (from >= to)
                    continue;
                const int left = doc.XOfChar(p, l, from - lineStart) + clientTopLeft.x();
                const int right = doc.XOfChar(p, l, to - lineStart) + clientTopLeft.x();
                drawWave(painter, left, right, y);
            }
        }
    }
    painter.restore();
}

std::optional<TQnSpellMarks::MarkedWord> TQnSpellMarks::MarkedWordAt(int x, int y)
{
    TQnRTFTextInput &doc = *editor_.Document;
    TParagraph *paragraph = nullptr;
    TLine *line = nullptr;
    if (!doc.LineAt(x, y, paragraph, line) || !paragraph || !line)
        return std::nullopt;
    int offset = doc.CharAt(paragraph, line, x);
    for (const TLine *l = paragraph->Lines; l && l != line; l = l->Next)
        offset += l->Length;
    // The word under the pointer counts even with the caret in it: a right
    // click puts the caret there before the menu is made.
    for (const spell::WordRange &w : checkedMarks(paragraph))
        if (offset >= w.Start && offset <= w.Start + w.Length) {
            // Only words of the code page are ever marked.
            const std::u32string text = TQnRTFText::ParagraphText(paragraph);
            return MarkedWord{paragraph, w.Start, w.Length,
                              ToAnsiLossy(std::u32string_view(text).substr(
                                  static_cast<size_t>(w.Start), static_cast<size_t>(w.Length)))};
        }
    return std::nullopt;
}

bool TQnSpellMarks::AddMenuItems(QMenu &menu, int x, int y)
{
    const auto word = MarkedWordAt(x, y);
    if (!word)
        return false;
    QAction *first = menu.actions().isEmpty() ? nullptr : menu.actions().first();
    auto insert = [&menu, first](const QString &text) {
        auto *action = new QAction(text, &menu);
        menu.insertAction(first, action);
        return action;
    };
    const auto suggestions = engine_->Suggest(word->Text, kMenuSuggestions);
    for (const std::string &s : suggestions) {
        QAction *action = insert(QString::fromStdU16String(AnsiToUtf16(s)));
        QFont bold = action->font();
        bold.setBold(true);
        action->setFont(bold);
        QObject::connect(action, &QAction::triggered, [this, w = *word, s] { Replace(w, s); });
    }
    if (suggestions.empty())
        insert(QStringLiteral("(no suggestions)"))->setEnabled(false);
    QObject::connect(insert(QStringLiteral("Add to Dictionary")), &QAction::triggered,
                     [this, text = word->Text] { AddToDictionary(text); });
    QObject::connect(insert(QStringLiteral("Ignore All")), &QAction::triggered,
                     [this, text = word->Text] { IgnoreAll(text); });
    menu.insertSeparator(first);
    return true;
}

void TQnSpellMarks::Replace(const MarkedWord &word, const std::string &text)
{
    TQnRTFTextInput &doc = *editor_.Document;
    TLine *line = word.Paragraph->Lines;
    int offset = word.Start;
    while (line && line->Next && offset >= line->Length) {
        offset -= line->Length;
        line = line->Next;
    }
    if (!line)
        return;
    const int start = AbsolutePosition(doc, TTextPos{word.Paragraph, line, offset});
    editor_.SetSelection(start, word.Length);
    {
        // One step of the history, recorded around the word's own paragraph.
        TQnCustomRtfEdit::UndoRecord record(editor_, UndoKind::Other);
        editor_.InsertText(text);
    }
    editor_.SetSelection(start + static_cast<int>(std::min<size_t>(text.size(), 255)), 0);
}

bool TQnSpellMarks::AddToDictionary(const std::string &word)
{
    const bool added = engine_ && engine_->AddWord(word);
    if (!added) {
        ignored_.insert(spell::SpellUpperCase(word)); // at least for this session
        ShowInformation("\"" + word +
                        "\" could not be added to the dictionary; it is not marked until "
                        "Quillnook closes.");
    }
    Forget();
    return added;
}

void TQnSpellMarks::IgnoreAll(const std::string &word)
{
    ignored_.insert(spell::SpellUpperCase(word));
    Forget();
}

} // namespace qn
