#pragma once

// What the rich text control tells the components linked to it: a formatting
// tool bar, a ruler and a status bar. Each component implements its side;
// the control never owns them.

#include <cstdint>
#include <string>

#include <QString>

#include "richtext/layout/rtf_text_paint.h"

namespace qn {

struct TTextHeader;
class TQnCustomRichText;

// Selection kinds of the tool bar and the ruler.
enum TQnSelNr : int {
    snFontName = 1,
    snFontSize = 2,
    snTextColor = 3,
    snBackColor = 4,
    snParStyle = 5,
    snIconDown = 6,
    snIconUp = 7,
    snRulerIndents = 9,
};

// Icon groups of the tool bar.
enum : int {
    kIconGroupStyle = 1,
    kIconGroupAlign = 2,
    kIconGroupEdit = 3,
    kIconGroupFile = 4,
    kIconGroupPrint = 5,
};

// The editor's side of a formatting tool bar.
class TQnToolBarLink {
public:
    virtual ~TQnToolBarLink() = default;
    // Shows an icon pressed (down) or released.
    virtual void SetIconDown(int group, int number, bool down) = 0;
    virtual void EnableIcon(int group, int number, bool enabled) = 0;
    // A list's value: snFontName takes text, the others number.
    virtual void SetListValue(int typ, const std::string &text, int number) = 0;
    // The document's font and colour tables, for the lists.
    virtual void SetTables(const TTextHeader &header) = 0;
    // The editor that receives the bar's choices binds itself when it gets
    // the focus and unbinds when it goes.
    virtual void BindEditor(TQnCustomRichText * /*editor*/) {}
    virtual void UnbindEditor(TQnCustomRichText * /*editor*/) {}
};

// The editor's side of a ruler. The ruler draws from the header it is given
// (page, resolution, ruler indents and tab mask).
class TQnRulerControlLink : public TQnRulerLink {
public:
    virtual void SetHeader(TTextHeader *header) = 0;
    // Editor's left edge minus the ruler's left edge, pixels.
    virtual void SetEditorOffset(int offset) = 0;
    virtual void SetIndents(int32_t first, int32_t left, int32_t right) = 0;
    // The editor that applies the ruler's tabs and indents.
    virtual void BindEditor(TQnCustomRichText * /*editor*/) {}
    virtual void UnbindEditor(TQnCustomRichText * /*editor*/) {}
};

// Panel kinds of a status bar.
enum TQnStatusPanel : int {
    stGauge = 0,
    stHelp,
    stIndex,
    stOutline,
    stStatus,
    stInsert,
    stCaps,
    stNum,
    stXPos,
    stYPos,
    stDate,
    stTime,
    stPage,
    stLine,
    stChanged,
    stFont,
    stStyle,
    stUnit,
    stTxtFmt,
    stName,
    stFileName,
    stPathName,
    stString,
};

// The editor's side of a status bar.
class TQnStatusBarLink {
public:
    virtual ~TQnStatusBarLink() = default;
    // The first panel of that kind shows text; false when there is none.
    virtual bool SetPanelText(int kind, const QString &text) = 0;
};

} // namespace qn
