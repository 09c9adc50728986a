#pragma once

// A one-line bar at the bottom of a form, divided into panels by definition
// lines; each panel shows one kind of information (status message, file
// name, text format, ...) that the linked editor writes into it by kind.

#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/canvas.h"
#include "richtext/controls/rich_text_links.h"

namespace qn {

// Panel flags.
enum : uint8_t {
    kPanelRaised = 0x01,
    kPanelPressed = 0x02,
    kPanelGrayed = 0x04,
    kPanelColored = 0x08,
};

enum class TStatusTextAlign : uint8_t { Top, Center, Bottom };

class TQnStatusBarBasic : public QWidget, public TQnStatusBarLink {
    Q_OBJECT

public:
    static constexpr int kMaxPanels = 23;

    struct TPanel {
        QString Text;
        int Line = 0;         // index of the definition line
        int Width = 0;        // as laid out
        int DefinedWidth = 0; // as the line gives it
        int X = 0;
        int Kind = stString;
        uint8_t Flags = 0;
        ColorRef Color = 0;
    };

    explicit TQnStatusBarBasic(QWidget *parent = nullptr);

    // Definition lines: optional "@" (raised), "$" (pressed in), "%" (greyed),
    // a width in pixels, the kind name and "=" with the initial text.
    QStringList Lines() const { return lines_; }
    void SetLines(const QStringList &lines);
    // One more panel of kind stGauge at the right end.
    bool ShowGauge() const { return showGauge_; }
    void SetShowGauge(bool on);
    int GaugeWidth() const { return gaugeWidth_; }
    void SetGaugeWidth(int width);
    // Percent shown by an empty gauge panel.
    int GaugePosition() const { return gaugePosition_; }
    void SetGaugePosition(int percent);
    TStatusTextAlign TextAlign() const { return textAlign_; }
    void SetTextAlign(TStatusTextAlign align);
    bool SizeGrip() const { return sizeGrip_; }
    void SetSizeGrip(bool on);

    const std::vector<TPanel> &Panels() const { return panels_; }
    // Where a panel is drawn (widget coordinates).
    QRect PanelRect(int index) const { return panelRect(panels_[index]); }
    // A panel's own colour (text on its own background from then on).
    void SetPanelColor(int index, ColorRef color);
    // The kind of a name ("stStatus", case ignored); stString for none.
    static int KindOfName(const QString &name);

    // The first panel of that kind shows text; false when there is none.
    bool SetPanelText(int kind, const QString &text) override;

    std::function<void(TQnStatusBarBasic *sender, int index, int kind, const QString &text, int x)>
        OnPanelClick;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void rebuild();
    void arrange();
    QRect panelRect(const TPanel &panel) const;
    int textTop(const TPanel &panel) const;

    QStringList lines_;
    std::vector<TPanel> panels_;
    bool showGauge_ = false;
    int gaugeWidth_ = 100;
    int gaugePosition_ = 0;
    TStatusTextAlign textAlign_ = TStatusTextAlign::Center;
    bool sizeGrip_ = false;
};

} // namespace qn
