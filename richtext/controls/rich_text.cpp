// The rich text control: properties, links, text and selection access,
// attributes and the layout helpers.
#include "richtext/controls/rich_text.h"
#include "platform/ansi.h"
#include "platform/unicode_text.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMimeData>
#include <QScrollBar>

#include <algorithm>

#include "platform/winmath.h"
#include "richtext/controls/clipboard_picture.h"
#include "richtext/controls/rich_text_document.h"

namespace qn {

// Keeps the tool bar and the ruler in step with the cursor and the current attribute.
class TQnCustomRichText::AttrFollower : public TQnAttrListener {
public:
    explicit AttrFollower(TQnCustomRichText &owner) : owner_(owner) {}
    void CursorMoved() override { owner_.FollowCursor(); }
    void AttrChanged() override
    {
        const TQnRTFTextInput &d = *owner_.Document;
        owner_.SetMode->AttrUpdate(d.CurrentAttr, owner_.BlockMarked(), *d.Header);
    }

private:
    TQnCustomRichText &owner_;
};

TQnCustomRichText::TQnCustomRichText(QWidget *parent) : TQnCustomRtfEdit(parent), font_(*this)
{
    DialogFinder = std::make_unique<TQnTextFinder>(Document.get());
    SetMode = std::make_unique<TQnRichTextSetMode>();
    SpellMarks = std::make_unique<TQnSpellMarks>(*this);
    follower_ = std::make_unique<AttrFollower>(*this);
    TQnRTFTextInput &d = *Document;
    d.AttrListener = follower_.get();
    d.InsertMode = 1;
    d.OnFieldText = [this](const std::u32string &text, int tag) {
        if (OnProtectedChange)
            OnProtectedChange(this, ToAnsiLossy(text), tag);
    };
    d.OnNeedObject = [this](int tag, TQnObject &object) {
        if (ProvideObjectEvent)
            ProvideObjectEvent(tag, object);
    };
    // The form may hand over the pictures of an HTML page itself.
    d.HtmlPictureRequest = [this](const std::string &src) -> std::shared_ptr<TQnGraphic> {
        if (!OnHTMLBitmapRequest)
            return nullptr;
        QImage bitmap;
        OnHTMLBitmapRequest(this, src, bitmap);
        return GraphicFromImage(bitmap);
    };
    d.CaretXChanged = [this] {
        if (OnXPosChanged)
            OnXPosChanged(this);
    };
    d.CaretYChanged = [this] {
        if (OnYPosChanged)
            OnYPosChanged(this);
    };
}

TQnCustomRichText::~TQnCustomRichText()
{
    UnbindFindDialogs(this);
    if (toolBar_)
        toolBar_->UnbindEditor(this);
    if (ruler_)
        ruler_->UnbindEditor(this);
    Document->AttrListener = nullptr;
    Document->Ruler = nullptr;
}

// ---------------------------------------------------------------------------
// Properties

void TQnCustomRichText::SetLanguage(TQnToolLanguage language)
{
    SetEngineLanguage(language);
    // This document follows at once; others when their header is reset.
    Document->Header->DecimalChar = EngineDecimalChar();
    Document->ReformatAll();
    Repaint();
    bindStatusBar();
}

void TQnCustomRichText::SetMemoryFormat(TQnMemoryFormat format)
{
    Document->SetMemoryFormat(format);
    Document->ReformatAll();
    Repaint();
    bindStatusBar();
}

void TQnCustomRichText::SetZooming(int percent)
{
    Document->SetZooming(percent <= 0 ? 100 : percent);
    Document->ShowCaret();
    Repaint();
}

void TQnCustomRichText::SetResizing(int percent)
{
    Document->SetResizing(percent <= 0 ? 100 : percent);
    Document->ShowCaret();
    Repaint();
}

void TQnCustomRichText::SetInserting(bool on)
{
    Document->InsertMode = on ? 1 : 0;
    Document->PlaceCaret();
}

void TQnCustomRichText::SetPaintGrayTable(bool on)
{
    Document->PaintGrayTable = on;
    Repaint();
}

// ---------------------------------------------------------------------------
// Links

void TQnCustomRichText::SetQnToolBar(TQnToolBarLink *bar)
{
    if (toolBar_ && toolBar_ != bar)
        toolBar_->UnbindEditor(this);
    toolBar_ = bar;
    SetMode->ToolBar = bar;
    bindLinks();
}

void TQnCustomRichText::SetQnRuler(TQnRulerControlLink *ruler)
{
    if (ruler_ && ruler_ != ruler) {
        ruler_->UnbindEditor(this);
        ruler_->SetHeader(nullptr);
    }
    ruler_ = ruler;
    SetMode->Ruler = ruler;
    Document->Ruler = ruler;
    bindLinks();
}

void TQnCustomRichText::SetStatusBar(TQnStatusBarLink *bar)
{
    statusBar_ = bar;
    bindStatusBar();
}

void TQnCustomRichText::RemoveLink(const void *component)
{
    if (!component)
        return;
    if (component == toolBar_)
        SetQnToolBar(nullptr);
    if (component == ruler_) {
        ruler_->UnbindEditor(this);
        ruler_ = nullptr;
        SetMode->Ruler = nullptr;
        Document->Ruler = nullptr;
    }
    if (component == statusBar_)
        statusBar_ = nullptr;
    if (component == statusLabel_.data())
        statusLabel_ = nullptr;
    if (component == externVer_.data())
        externVer_ = nullptr;
    if (component == externHor_.data())
        externHor_ = nullptr;
}

void TQnCustomRichText::bindLinks()
{
    if (toolBar_) {
        toolBar_->BindEditor(this);
        toolBar_->SetTables(*Document->Header);
    }
    if (ruler_) {
        ruler_->BindEditor(this);
        ruler_->SetHeader(Document->Header.get());
        ruler_->RepaintRuler();
    }
    FollowCursor();
    EditStateChanged();
}

void TQnCustomRichText::bindStatusBar()
{
    if (!statusBar_)
        return;
    statusBar_->SetPanelText(stTxtFmt,
                             RichTextString(MemoryFormat() == fmPlainText ? rtsPlain : rtsRich));
    statusBar_->SetPanelText(stStatus, RichTextString(rtsReady));
    statusBar_->SetPanelText(stFileName, FileName.isEmpty() ? QStringLiteral(" ") : FileName);
}

void TQnCustomRichText::focusInEvent(QFocusEvent *event)
{
    TQnCustomRtfEdit::focusInEvent(event);
    bindLinks();
    bindStatusBar();
    // One pair of dialogs serves whichever editor has the focus.
    if (TQnFindDialog *find = SharedFindDialog(false))
        find->Bind(this);
    if (TQnFindDialog *replace = SharedReplaceDialog(false))
        replace->Bind(this);
}

void TQnCustomRichText::FollowCursor()
{
    TQnRTFTextInput &d = *Document;
    if (!d.Cursor.Paragraph)
        return;
    // A document loaded or edited since may bring its own colour table.
    if (toolBar_)
        toolBar_->SetTables(*d.Header);
    SetMode->ParagraphUpdate(*d.Cursor.Paragraph, *d.Header);
    SetMode->AttrUpdate(d.CurrentAttr, BlockMarked(), *d.Header);
    int offset = 0;
    if (auto *rulerWidget = dynamic_cast<QWidget *>(ruler_))
        offset = mapToGlobal(ClientRect().topLeft()).x() - rulerWidget->mapToGlobal(QPoint()).x();
    SetMode->ScrollUpdate(d.ScrollX, offset);
}

void TQnCustomRichText::EditStateChanged()
{
    TQnCustomRtfEdit::EditStateChanged();
    const bool clipboard = CanPaste(QApplication::clipboard()->mimeData());
    int start = 0, length = 0;
    BlockRange(*Document, start, length);
    const bool whole = length > 0 && start == 0 && length == TextEndPosition(*Document);
    SetMode->EditStateUpdate(BlockMarked(), clipboard, whole);
}

void TQnCustomRichText::Changed()
{
    TQnCustomRtfEdit::Changed();
    FollowCursor();
}

// ---------------------------------------------------------------------------
// External scroll bars

void TQnCustomRichText::SetExternVerScrollBar(QScrollBar *bar)
{
    if (externVer_)
        disconnect(externVer_, nullptr, this, nullptr);
    externVer_ = bar;
    if (!bar)
        return;
    bar->setRange(0, 1000);
    connect(bar, &QScrollBar::valueChanged, this, [this](int p) {
        if (updatingExtern_)
            return;
        TQnRTFTextInput &d = *Document;
        d.VScroll(kScrollThumbPosition, MulDiv(p, d.DocumentHeight - d.WindowHeight, 1000));
        Repaint();
    });
    updateExternBars();
}

void TQnCustomRichText::SetExternHorScrollBar(QScrollBar *bar)
{
    if (externHor_)
        disconnect(externHor_, nullptr, this, nullptr);
    externHor_ = bar;
    if (!bar)
        return;
    bar->setRange(0, 1000);
    connect(bar, &QScrollBar::valueChanged, this, [this](int p) {
        if (updatingExtern_)
            return;
        TQnRTFTextInput &d = *Document;
        d.HScroll(kScrollThumbPosition,
                  MulDiv(p, d.Header->LayoutWidthPixels - d.WindowWidth, 1000));
        Repaint();
    });
    updateExternBars();
}

void TQnCustomRichText::updateExternBars()
{
    const TQnRTFTextInput &d = *Document;
    updatingExtern_ = true;
    if (externVer_) {
        const int range = d.DocumentHeight - d.WindowHeight;
        externVer_->setValue(range > 0 ? MulDiv(d.ScrollY, 1000, range) : 0);
    }
    if (externHor_) {
        const int range = d.Header->LayoutWidthPixels - d.WindowWidth;
        externHor_->setValue(range > 0 ? MulDiv(-d.ScrollX, 1000, range) : 0);
    }
    updatingExtern_ = false;
}

void TQnCustomRichText::UpdateHorzScrollBar()
{
    TQnCustomRtfEdit::UpdateHorzScrollBar();
    updateExternBars();
    FollowCursor();
}

void TQnCustomRichText::UpdateVertScrollBar()
{
    TQnCustomRtfEdit::UpdateVertScrollBar();
    updateExternBars();
}

// ---------------------------------------------------------------------------
// Status

void TQnCustomRichText::ShowStatus(const QString &text)
{
    const QString shown = text.isEmpty() ? RichTextString(rtsReady) : text;
    if (statusLabel_)
        statusLabel_->setText(shown);
    if (statusBar_)
        statusBar_->SetPanelText(stStatus, shown);
}

void TQnCustomRichText::showProgress(int textOffset)
{
    if (statusBar_)
        statusBar_->SetPanelText(stStatus, RichTextString(textOffset));
}

// ---------------------------------------------------------------------------
// Text and files

void TQnCustomRichText::applyDefaultFontAsAttr()
{
    // Setting the font colour again clears the document and makes the
    // control's font its default attribute.
    SetFontColor(FontColor());
}

void TQnCustomRichText::LoadFromFile(const QString &name)
{
    showProgress(rtsReading);
    struct Done {
        TQnCustomRichText &c;
        ~Done()
        {
            c.Document->ShowCaret();
            c.Repaint();
            c.updateExternBars();
            c.ShowStatus(QString());
        }
    } done{*this};
    ClearUndo();
    Document->LoadFromFile(name.toStdString());
    if (Document->ErrorState == kIoOk) {
        FileName = name;
        bindStatusBar();
    }
}

void TQnCustomRichText::SaveToFile(const QString &name)
{
    showProgress(rtsWriting);
    Document->ErrorState = kIoOk;
    try {
        Document->SaveToFile(name.toStdString());
    } catch (...) {
        ShowStatus(QString());
        throw;
    }
    if (Document->ErrorState == kIoOk) {
        FileName = name;
        bindStatusBar();
    }
    ShowStatus(QString());
}

void TQnCustomRichText::SetText(const std::string &text)
{
    ClearUndo();
    if (text.empty()) {
        applyDefaultFontAsAttr();
        Changed();
        return;
    }
    const uint8_t saved = Document->LoadFormat;
    Document->LoadFormat = kFormatAuto;
    applyDefaultFontAsAttr();
    TQnMemoryStream stream(text);
    Document->LoadFromStream(stream);
    Document->LoadFormat = saved;
    Document->ShowCaret();
    Repaint();
    updateExternBars();
    Changed();
}

void TQnCustomRichText::TypeText(const std::string &characters)
{
    if (characters.empty() || !BeginEdit())
        return;
    UndoRecord record(*this, UndoKind::Other);
    Document->CurrentAttr.Style &= static_cast<uint16_t>(~kStyleHidden);
    Document->InputString(characters);
    Document->ShowCaret();
    Changed();
    Repaint();
}

void TQnCustomRichText::LoadFromStream(TQnStream &stream)
{
    ClearUndo();
    Document->LoadFromStream(stream);
    Document->ShowCaret();
    Repaint();
    updateExternBars();
}

void TQnCustomRichText::SaveToStream(TQnStream &stream)
{
    Document->SaveToStream(stream);
}

void TQnCustomRichText::Clear()
{
    ClearUndo();
    applyDefaultFontAsAttr();
    FileName.clear();
    if (statusBar_)
        statusBar_->SetPanelText(stFileName, QStringLiteral(" "));
    updateExternBars();
}

// ---------------------------------------------------------------------------
// Cursor and selection

int TQnCustomRichText::GetCursorOffset() const
{
    return AbsolutePosition(*Document, Document->Cursor);
}

void TQnCustomRichText::SetCursorOffset(int offset)
{
    SetSelection(offset, 0);
}

void TQnCustomRichText::SetSelection(int start, int length)
{
    SelectRange(*Document, start, length);
    Document->UpdateCurrentAttr();
    Document->ShowCaret();
    Repaint();
    EditStateChanged();
    FollowCursor();
}

int TQnCustomRichText::SelStart() const
{
    int start = 0, length = 0;
    BlockRange(*Document, start, length);
    return length > 0 ? start : GetCursorOffset();
}

int TQnCustomRichText::SelLength() const
{
    int start = 0, length = 0;
    BlockRange(*Document, start, length);
    return length;
}

void TQnCustomRichText::SetSelStart(int offset)
{
    SetSelection(offset, 0);
}

void TQnCustomRichText::SetSelLength(int length)
{
    SetSelection(SelStart(), length);
}

void TQnCustomRichText::SelectAll()
{
    SetSelection(0, TextEndPosition(*Document));
}

void TQnCustomRichText::HideSelection()
{
    ClearSelection();
    Repaint();
    EditStateChanged();
}

void TQnCustomRichText::InsertText(const std::string &text)
{
    if (!BeginEdit())
        return;
    UndoRecord record(*this, UndoKind::Other);
    TQnRTFTextInput &d = *Document;
    TTextPos start = d.Cursor, end = d.Cursor;
    if (BlockMarked())
        d.OrderedBlock(start, end);
    d.Cursor = start;
    const TCharAttr attr = qn::AttrAtCursor(d);
    const int position = AbsolutePosition(d, start);
    if (BlockMarked())
        d.DeleteBlock();
    d.DropBlock();
    d.SetCurrentAttr(attr);
    const std::string typed = text.substr(0, std::min<size_t>(text.size(), 255));
    if (!typed.empty()) {
        d.InputString(typed);
        SelectRange(d, position, int(typed.size()));
    }
    d.ShowCaret();
    Repaint();
    Changed();
    EditStateChanged();
}

// ---------------------------------------------------------------------------
// Attributes

TCharAttr TQnCustomRichText::AttrAtCursor()
{
    return qn::AttrAtCursor(*Document);
}

void TQnCustomRichText::ApplyAttr(const TCharAttr &attr)
{
    if (!BeginEdit())
        return;
    UndoRecord record(*this, UndoKind::Other);
    Document->SetSelectionAttr(attr, kAttrFont | kAttrSize | kAttrTextColor | kAttrBackColor |
                                         kAttrStyleGroup);
    Document->SetCurrentAttr(attr);
    Repaint();
    Changed();
}

TQnRichTextFont &TQnCustomRichText::GetFont()
{
    const TCharAttr &a = Document->CurrentAttr;
    const TTextHeader &h = *Document->Header;
    font_.Name = a.FontIndex < 99 ? h.FontNames[a.FontIndex] : std::string();
    font_.Size = a.Size ? a.Size : 10;
    font_.Color = a.TextColor() == 0 ? 0 : h.Colors[a.TextColor()];
    font_.Bold = a.Style & kStyleBold;
    font_.Italic = a.Style & kStyleItalic;
    font_.Underline = a.Style & kStyleUnderline;
    font_.StrikeOut = a.Style & kStyleStrikeout;
    return font_;
}

void TQnRichTextFont::SetName(const std::string &name)
{
    Name = name;
    writeBack();
}

void TQnRichTextFont::SetSize(int points)
{
    Size = points;
    writeBack();
}

void TQnRichTextFont::SetColor(ColorRef color)
{
    Color = color;
    writeBack();
}

void TQnRichTextFont::SetStyle(bool bold, bool italic, bool underline, bool strikeOut)
{
    Bold = bold;
    Italic = italic;
    Underline = underline;
    StrikeOut = strikeOut;
    writeBack();
}

void TQnRichTextFont::writeBack()
{
    TQnRTFTextInput &d = *owner_.Document;
    TCharAttr a = d.CurrentAttr;
    if (!Name.empty()) {
        const int slot = d.FindOrAddFont(Name);
        if (slot < kFontSlots)
            a.FontIndex = static_cast<uint8_t>(slot);
    }
    a.Size = static_cast<uint8_t>(std::clamp(Size, 1, 255));
    int colour = -1;
    for (int i = 1; i < kColorSlots && colour < 0; ++i)
        if (d.Header->Colors[i] == (Color & 0x00FFFFFF))
            colour = i;
    if (colour < 0 && (Color & 0x00FFFFFF) == 0)
        colour = 0; // black is entry 0
    if (colour >= 0)
        a.Colors = static_cast<uint8_t>((a.Colors & 0xF0) | colour);
    a.Style &=
        static_cast<uint16_t>(~(kStyleBold | kStyleItalic | kStyleUnderline | kStyleStrikeout));
    a.Style |= (Bold ? kStyleBold : 0) | (Italic ? kStyleItalic : 0) |
               (Underline ? kStyleUnderline : 0) | (StrikeOut ? kStyleStrikeout : 0);
    d.SetCurrentAttr(a);
    owner_.SetMode->AttrUpdate(d.CurrentAttr, owner_.BlockMarked(), *d.Header);
}

// ---------------------------------------------------------------------------
// Characters

char32_t TQnCustomRichText::CharAtCursor() const
{
    return qn::CharAtCursor(*Document);
}

bool TQnCustomRichText::NextChar()
{
    return StepCursor(*Document);
}

// ---------------------------------------------------------------------------
// Layout helpers

void TQnCustomRichText::Reformat()
{
    if (!BeginEdit())
        return;
    Document->ReformatAll();
    Repaint();
    Document->ShowCaret();
    Document->PlaceCaret();
    updateExternBars();
}

int TQnCustomRichText::FillInsertPoints()
{
    if (!GetTextToInsert || ReadOnly() || !BeginEdit())
        return 0;
    UndoRecord record = UndoRecord::WholeDocument(*this);
    TQnRTFTextInput &d = *Document;
    const int cursor = GetCursorOffset();
    // The cursor waits at the start, which no filling moves.
    SelectRange(d, 0, 0);
    const int changed = d.FillInsertPoints(
        [this](TParagraph *p, std::string &text, int &lenOfAutoText, int tag, uint8_t c) {
            bool doContinue = true;
            GetTextToInsert(this, p, text, lenOfAutoText, tag, static_cast<char>(c), doContinue);
            return doContinue;
        });
    if (changed > 0)
        d.ReformatAll();
    SelectRange(d, std::min(cursor, TextEndPosition(d)), 0);
    d.UpdateCurrentAttr();
    d.ShowCaret();
    Repaint();
    updateExternBars();
    EditStateChanged();
    FollowCursor();
    if (changed > 0)
        Changed();
    return changed;
}

void TQnCustomRichText::ReformatAll()
{
    if (!BeginEdit())
        return;
    showProgress(rtsFormatting);
    Document->ReformatAll();
    Document->ShowCaret();
    Repaint();
    updateExternBars();
    ShowStatus(QString());
}

void TQnCustomRichText::SetPageLayout(int marginLeft, int marginRight, int marginTop,
                                      int marginBottom, int pageWidth, int pageHeight)
{
    if (!BeginEdit())
        return;
    UndoRecord record(*this, UndoKind::Other, 0, 0);
    TTextHeader &h = *Document->Header;
    auto set = [](int32_t &field, int value) {
        if (value != kIndentUnchanged)
            field = value;
    };
    set(h.MarginLeft, marginLeft);
    set(h.MarginRight, marginRight);
    set(h.MarginTop, marginTop);
    set(h.MarginBottom, marginBottom);
    set(h.PageWidth, pageWidth);
    set(h.PageHeight, pageHeight);
    // Text area in pixels, the layout width, and with WordWrap off the lines.
    Document->SetResolution(0, 0);
    Document->ComputeDocumentHeight();
    Document->ShowCaret();
    Repaint();
    updateExternBars();
}

void TQnCustomRichText::SetParagraphSpacing(int before, int lineSpacing, int after)
{
    if (!BeginEdit())
        return;
    UndoRecord record(*this, UndoKind::Other);
    TQnRTFTextInput &d = *Document;
    std::vector<TParagraph *> paragraphs;
    if (BlockMarked()) {
        TTextPos start, end;
        d.OrderedBlock(start, end);
        for (TParagraph *p = start.Paragraph; p; p = p->Next) {
            paragraphs.push_back(p);
            if (p == end.Paragraph)
                break;
        }
    } else if (d.Cursor.Paragraph) {
        // The cursor's paragraph and the rest of its table row.
        for (TParagraph *p = d.Cursor.Paragraph; p; p = p->Next) {
            paragraphs.push_back(p);
            if (!p->IsTableCell() || !(p->ParFlags & kParCellRowOpen))
                break;
        }
    }
    for (TParagraph *p : paragraphs) {
        if (before != kIndentUnchanged)
            p->SpaceBefore = before;
        if (lineSpacing != kIndentUnchanged)
            p->LineSpacing = lineSpacing;
        if (after != kIndentUnchanged)
            p->SpaceAfter = after;
        p->State |= kStateRepaint | kStateRebreak;
    }
    d.FormatAll();
    d.ShowCaret();
    Repaint();
    updateExternBars();
    Changed();
}

void TQnCustomRichText::SetParagraphIndents(int first, int left, int right)
{
    if (!BeginEdit())
        return;
    UndoRecord record(*this, UndoKind::Other);
    Document->SetIndents(first, left, right);
    Document->ShowCaret();
    Repaint();
    Changed();
}

int TQnCustomRichText::FontIndexOf(const std::string &name)
{
    return Document->FindOrAddFont(name);
}

// ---------------------------------------------------------------------------
// Printing and page-break helpers

void TQnCustomRichText::AssignHeader(TQnCustomRichText &other)
{
    if (&other == this)
        return;
    TTextHeader &to = *Document->Header;
    const TTextHeader &from = *other.Document->Header;
    for (int i = 0; i < kFontSlots; ++i) {
        to.FontNames[i] = from.FontNames[i];
        to.FontPitchFamily[i] = from.FontPitchFamily[i];
        to.FontCharset[i] = from.FontCharset[i];
    }
    std::copy(std::begin(from.Colors), std::end(from.Colors), std::begin(to.Colors));
    std::copy(std::begin(from.TabPosTwips), std::end(from.TabPosTwips), std::begin(to.TabPosTwips));
    std::copy(std::begin(from.TabKind), std::end(from.TabKind), std::begin(to.TabKind));
    to.DecimalChar = from.DecimalChar;
    to.DefaultTabKind = from.DefaultTabKind;
    to.UseInch = from.UseInch;
    to.PageWidth = from.PageWidth;
    to.PageHeight = from.PageHeight;
    to.MarginLeft = from.MarginLeft;
    to.MarginRight = from.MarginRight;
    to.MarginTop = from.MarginTop;
    to.MarginBottom = from.MarginBottom;
    to.Landscape = from.Landscape;
    to.FacingPages = from.FacingPages;
    to.PageOption1 = from.PageOption1;
    to.PageOption2 = from.PageOption2;
    // Tab stops and the text area in pixels, then everything measured again.
    Document->SetResolution(0, 0);
    Document->ReformatAll();
    Repaint();
}

void TQnCustomRichText::SetParagraphFromProps(const TParProps &props)
{
    if (!BeginEdit())
        return;
    UndoRecord record(*this, UndoKind::Other);
    ApplyParagraphProps(*Document, props);
    Document->FormatAll();
    Document->ShowCaret();
    Repaint();
    updateExternBars();
    Changed();
}

} // namespace qn
