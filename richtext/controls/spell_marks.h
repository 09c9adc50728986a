#pragma once

// Spelling marks of the editor: words the spelling engine does not know are
// underlined with a red wavy line once they are finished (never the word the
// caret is in), on the screen only: the marks are painted over the editor's
// picture and never reach the document, printing or the stored text. Each
// paragraph is checked again only when its text changed.

#include "spell/spelling_engine.h"
#include "spell/word_marks.h"

#include <QPoint>
#include <QRect>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

class QMenu;
class QPainter;

namespace qn {

class TQnCustomRichText;
struct TParagraph;

class TQnSpellMarks {
public:
    explicit TQnSpellMarks(TQnCustomRichText &editor) : editor_(editor) {}

    // The engine of the writer's language; null shows no marks.
    void SetEngine(std::shared_ptr<spell::SpellingEngine> engine);
    spell::SpellingEngine *Engine() const { return engine_.get(); }
    std::shared_ptr<spell::SpellingEngine> SharedEngine() const { return engine_; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool on);

    // The marked words of a paragraph, as offsets into its text (its lines'
    // characters one after the other).
    std::vector<spell::WordRange> ParagraphMarks(TParagraph *paragraph);

    // Paints the marks of the lines within the dirty rectangle (widget
    // coordinates); the client area starts at clientTopLeft.
    void Paint(QPainter &painter, const QPoint &clientTopLeft, const QRect &dirty);

    struct MarkedWord {
        TParagraph *Paragraph = nullptr;
        int Start = 0; // in the paragraph's text
        int Length = 0;
        std::string Text; // Windows-1252
    };
    // The misspelt word under a point of the client area (window
    // coordinates), also when the caret is in it.
    std::optional<MarkedWord> MarkedWordAt(int x, int y);

    // The spelling part of the right-click menu for the marked word under the
    // point: up to 8 suggestions, "Add to Dictionary" and "Ignore All", then a
    // separator. False (and the menu untouched) when no marked word is there.
    bool AddMenuItems(QMenu &menu, int x, int y);

    // Replaces the word by a suggestion as the editor inserts text; the caret
    // goes after it.
    void Replace(const MarkedWord &word, const std::string &text);
    // A word that cannot be kept (the user's words cannot be written) is
    // said so and ignored for the session instead.
    bool AddToDictionary(const std::string &word);
    void IgnoreAll(const std::string &word);

    // Every paragraph is checked again (after the dictionary changed).
    void Forget();

private:
    struct Checked {
        std::u32string Text;
        std::vector<spell::WordRange> Marks;
    };

    bool isCorrect(std::string_view word);
    // The paragraph's misspelt words, the one at the caret included.
    const std::vector<spell::WordRange> &checkedMarks(TParagraph *paragraph);

    TQnCustomRichText &editor_;
    std::shared_ptr<spell::SpellingEngine> engine_;
    bool enabled_ = true;
    std::set<std::string> ignored_; // upper case, for this session
    std::unordered_map<const TParagraph *, Checked> checked_;
};

} // namespace qn
