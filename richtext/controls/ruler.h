#pragma once

// The ruler above an editor: a scale in centimetres or inches aligned with
// the editor's text, the tab stops of the current paragraph and the three
// indent markers (first line, left, right). Markers are dragged; a click on
// the scale sets, changes or removes a tab stop, and a tab dragged along the
// scale moves, dragged off the ruler goes.

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>

#include "richtext/controls/rich_text_links.h"
#include "richtext/controls/tool_bar.h"
#include "richtext/model/records.h"
#include "richtext/model/text_header.h"

namespace qn {

enum PTQnRulerUnit : uint8_t { Centimeter, Inch };

// Indent markers as the ruler reports them.
enum : int { kMarkerNone = 0, kMarkerRight = 1, kMarkerLeft = 2, kMarkerFirst = 3 };
constexpr int kRulerGroup = 10;

class TQnRuler : public QWidget, public TQnRulerControlLink {
    Q_OBJECT

public:
    using TQnRulerSelectEvent =
        std::function<void(TQnRuler *sender, int typ, int group, int num, bool changing)>;

    explicit TQnRuler(QWidget *parent = nullptr);
    ~TQnRuler() override;

    // ---- Properties ----
    TToolAlign Align = TToolAlign::alNone;
    TToolBevel BevelInner = TToolBevel::bvRaised;
    TToolBevel BevelOuter = TToolBevel::bvNone;
    PTQnRulerUnit Units() const { return units_; }
    void SetUnits(PTQnRulerUnit units);
    int XOffset() const { return xOffset_; }
    void SetXOffset(int offset);
    bool ShowNumbers() const { return showNumbers_; }
    void SetShowNumbers(bool on);
    TTabKind NewTabKind = tkAll;
    // Tabs of other paragraphs are drawn too (in the shadow colour).
    bool ShowAllTabs() const { return showAllTabs_; }
    void SetShowAllTabs(bool on);

    // ---- Events ----
    TQnRulerSelectEvent OnSelection, WhileSelection;
    std::function<void(TQnRuler *sender)> OnClick;
    std::function<void(TQnRuler *sender, Qt::MouseButton, Qt::KeyboardModifiers, QPoint)>
        OnMouseDown, OnMouseUp;
    std::function<void(TQnRuler *sender, Qt::KeyboardModifiers, QPoint)> OnMouseMove;

    // ---- Geometry, for the window and tests ----
    int MarkerSize() const;
    int HandleHeight() const;
    // Pixel x of a marker (kMarkerRight, kMarkerLeft, kMarkerFirst).
    int MarkerX(int marker) const;
    // Where a press grabs a marker.
    QRect MarkerRect(int marker) const;
    int XOfTwips(int32_t twips) const;
    // A ruler x as twips, snapped to the unit's grid.
    int32_t TwipsOfX(int x) const;
    // The header the ruler works on (the editor's, or its own without one).
    TTextHeader &Header() const { return *header_; }
    TQnCustomRichText *Editor() const;
    int EditorOffset() const { return editorOffset_; }

    // ---- What the editor tells the ruler ----
    void SetScrollOffset(int scrollX) override;
    void RepaintRuler() override;
    void SetHeader(TTextHeader *header) override;
    void SetEditorOffset(int offset) override;
    void SetIndents(int32_t first, int32_t left, int32_t right) override;
    void BindEditor(TQnCustomRichText *editor) override;
    void UnbindEditor(TQnCustomRichText *editor) override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    // Tells assistive technology when the description of the indents and
    // tab stops changed.
    void announce();
    int pixelsPerInch() const;
    int textWidth() const;
    // The width right indents count from (the page's text width).
    int indentWidth() const;
    int base() const { return xOffset_ + editorOffset_; }
    int markerAt(QPoint at) const;
    // Sets the ruler indents when their markers keep their order; false refused.
    bool trySetIndents(int32_t first, int32_t left, int32_t right);
    void dragMarkerTo(int x);
    void reportIndents(bool changing);
    void repaintBand(int oldX, int newX);
    // The current paragraph's tab slot near a position, or -1.
    int tabNear(int32_t twips) const;
    void tabClick(int32_t twips);
    void moveTab(int slot, int32_t twips);
    void removeTab(int slot);
    void addTab(int32_t twips, TTabKind kind);

    void paintScale(QPainter &p, int mid, int right);
    void paintTab(QPainter &p, int x, uint8_t kind, bool current);
    void paintMarkers(QPainter &p);

    TTextHeader ownHeader_;
    TTextHeader *header_ = &ownHeader_;
    QPointer<TQnCustomRichText> editor_;
    PTQnRulerUnit units_ = Centimeter;
    int xOffset_ = 0;
    int editorOffset_ = 0;
    bool showNumbers_ = false;
    bool showAllTabs_ = false;

    // Mouse state.
    int dragMarker_ = kMarkerNone;
    bool dragBoth_ = false;
    int dragTab_ = -1; // slot of a tab being dragged
    int dragTabX_ = 0; // where it is drawn meanwhile
    bool dragTabOff_ = false;
    QPoint pressPoint_;
    bool overMarker_ = false;
    QCursor savedCursor_;
    QString announced_;
};

} // namespace qn
