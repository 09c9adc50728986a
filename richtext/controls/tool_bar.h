#pragma once

// The formatting tool bar: a panel that builds drop-down lists (font name,
// size, text colour, background colour, paragraph style) and two-state icon
// buttons from property sets, reports every choice to the linked editor and
// to its own events, and shows what the editor pushes back as the cursor
// moves. Bars can be chained; the editor's state travels along the chain.

#include <QComboBox>
#include <QPointer>
#include <QStringList>
#include <QToolButton>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/canvas.h"
#include "richtext/controls/rich_text_links.h"

class QButtonGroup;
class QAbstractButton;

namespace qn {

class TQnCustomRichText;

enum class TToolAlign : uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum class TToolBevel : uint8_t { bvNone, bvLowered, bvRaised };
enum TFontSelChoice : uint8_t { fsPrinterFonts, fsScreenFonts };

enum TSelListBox : uint8_t { SelFontName, SelFontSize, SelFontColor, SelBackgroundColor, SelStyle };
enum TSelStatusIcon : uint8_t {
    SelNormal,
    SelBold,
    SelItalic,
    SelUnder,
    SelHyperLink,
    SelStrikeOut,
    SelSuper,
    SelSub,
    SelLeft,
    SelHidden,
    SelRTFCode,
    SelRight,
    SelBlock,
    SelCenter
};
enum TSelActionIcon : uint8_t {
    SelExit,
    SelNew,
    SelOpen,
    SelSave,
    SelClose,
    SelPrint,
    SelPrintSetup
};
enum TSelDatabaseIcon : uint8_t {
    SelToStart,
    SelNext,
    SelPrev,
    SelToEnd,
    SelEdit,
    SelAdd,
    SelDel,
    SelCancel,
    SelPost
};
enum TSelEditIcon : uint8_t {
    SelCopy,
    SelCut,
    SelPaste,
    SelSelAll,
    SelHideSel,
    SelFind,
    SelReplace,
    SelSpellCheck
};

// A set of enumeration members (at most 32).
template <typename E> class TSelSet {
public:
    TSelSet() = default;
    TSelSet(std::initializer_list<E> members)
    {
        for (E m : members)
            bits_ |= 1u << m;
    }
    bool Has(E member) const { return bits_ & (1u << member); }
    void Include(E member) { bits_ |= 1u << member; }
    void Exclude(E member) { bits_ &= ~(1u << member); }
    bool operator==(const TSelSet &) const = default;

private:
    uint32_t bits_ = 0;
};

// A drop-down list of the bar: remembers its text when it gets the focus,
// shows the chosen item's text again after a selection and raises OnChange
// after a choice from the drop-down. A colour list draws its items (colour
// table indexes) as swatches.
class TQnTBCombo : public QComboBox {
    Q_OBJECT

public:
    explicit TQnTBCombo(QWidget *parent = nullptr);

    std::function<void(TQnTBCombo *sender, int index)> OnChange;
    // Enter pressed in the edit field of an editable list.
    std::function<void(TQnTBCombo *sender)> OnEnter;
    // The text the list had when it got the focus.
    QString EnteredText() const { return enteredText_; }

    // Colour lists: item i shows Palette[i]; beyond the palette an empty swatch.
    void SetColorList(bool on);
    bool IsColorList() const { return colorList_; }
    std::vector<ColorRef> Palette;
    QColor SwatchColor(int index) const;
    // Gives every item its colour's name for assistive technology.
    void NameSwatches();

protected:
    void focusInEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool colorList_ = false;
    QObject *filtered_ = nullptr;
    QString enteredText_;
};

// The single hidden watcher of the application's focus: it knows the last
// focused control outside any tool bar, to which a bar hands the focus back
// after a choice.
class TQnTBRCTRL : public QObject {
    Q_OBJECT

public:
    static TQnTBRCTRL &Instance();
    QWidget *LastFocused() const { return lastFocused_; }

signals:
    void FocusLeft(QWidget *old, QWidget *now);

private:
    TQnTBRCTRL();
    void focusChanged(QWidget *old, QWidget *now);
    QPointer<QWidget> lastFocused_;
};

// The base of tool panels that can be chained: a bevelled panel holding a
// list of controls that it arranges in rows.
class TQnCustomToolPanel : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMaxControls = 100;

    explicit TQnCustomToolPanel(QWidget *parent = nullptr);

    TToolAlign Align() const { return align_; }
    void SetAlign(TToolAlign align);
    TToolBevel BevelInner = TToolBevel::bvNone;
    TToolBevel BevelOuter = TToolBevel::bvRaised;
    int BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(int width);
    int WidthBetweenGroups() const { return widthBetweenGroups_; }
    void SetWidthBetweenGroups(int width);
    bool Locked = false;
    // The designed height; the bar grows past it only for more rows.
    int DesignHeight() const { return designHeight_; }
    void SetDesignHeight(int height);

    TQnCustomToolPanel *NextToolBar() const { return next_; }
    void SetNextToolBar(TQnCustomToolPanel *next) { next_ = next; }

    // An application's button joins the bar after its own controls (at most
    // kMaxControls in all; more are ignored).
    bool AddButton(QAbstractButton *button);
    int ControlCount() const { return static_cast<int>(controls_.size()); }
    QWidget *Control(int index) const { return controls_[index].Widget; }

    // Places every control again, row by row.
    void Arrange();

    std::function<void(TQnCustomToolPanel *sender)> OnClick;
    std::function<void(TQnCustomToolPanel *sender, Qt::MouseButton, Qt::KeyboardModifiers, QPoint)>
        OnMouseDown, OnMouseUp;
    std::function<void(TQnCustomToolPanel *sender, Qt::KeyboardModifiers, QPoint)> OnMouseMove;

protected:
    struct Entry {
        QPointer<QWidget> Widget;
        int Group = 0; // button group; 0 for lists
        int Top = 4;   // top inside a row
    };
    void addControl(QWidget *widget, int group, int top);
    void removeOwnControls();
    int bevelEdge() const;

    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

    std::vector<Entry> controls_;
    int ownControls_ = 0; // the first entries are the bar's own

private:
    TToolAlign align_ = TToolAlign::alNone;
    int bevelWidth_ = 1;
    int widthBetweenGroups_ = 0;
    int designHeight_ = 31;
    bool arranging_ = false;
    QPointer<TQnCustomToolPanel> next_;
};

class TQnToolBar : public TQnCustomToolPanel, public TQnToolBarLink {
    Q_OBJECT

public:
    static constexpr int kMaxIcons = 49;

    struct TIconEntry {
        QString Bitmap; // resource name, at most 20 characters
        int Value = 0;
        int Number = 0;
        int Group = 0;
        QToolButton *Button = nullptr;
    };

    explicit TQnToolBar(QWidget *parent = nullptr);
    ~TQnToolBar() override;

    // ---- Properties; changing a set or FontChoice builds the bar again ----
    TFontSelChoice FontChoice() const { return fontChoice_; }
    void SetFontChoice(TFontSelChoice choice);
    TSelSet<TSelListBox> ListBoxes() const { return listBoxes_; }
    void SetListBoxes(TSelSet<TSelListBox> set);
    TSelSet<TSelStatusIcon> StatusIcons() const { return statusIcons_; }
    void SetStatusIcons(TSelSet<TSelStatusIcon> set);
    TSelSet<TSelActionIcon> ActionIcons() const { return actionIcons_; }
    void SetActionIcons(TSelSet<TSelActionIcon> set);
    TSelSet<TSelDatabaseIcon> DatabaseIcons() const { return databaseIcons_; }
    void SetDatabaseIcons(TSelSet<TSelDatabaseIcon> set);
    TSelSet<TSelEditIcon> EditIcons() const { return editIcons_; }
    void SetEditIcons(TSelSet<TSelEditIcon> set);
    int FontSizeFrom() const { return sizeFrom_; }
    int FontSizeTo() const { return sizeTo_; }
    void SetFontSizeRange(int from, int to);
    // Lines "QNI_" + bitmap name + "=" + hint; read while empty, the defaults.
    QStringList Hints();
    void SetHints(const QStringList &hints);
    static QStringList DefaultHints();
    bool ShowFont = false;
    // Receivers of the list choices besides the editor: a memo, edit or label
    // gets them applied to its font.
    QPointer<QWidget> UpdateObject;
    QString UpdateObjectName;

    // ---- Events ----
    std::function<void(TQnToolBar *sender, int typ, const QString &text, int number)> OnSelection;
    std::function<void(TQnToolBar *sender, int typ, const QString &bitmap, int group, int number,
                       int index)>
        OnIconSelection;
    std::function<void(TQnToolBar *sender)> OnChange, OnExit;

    // ---- Parts, for the window and tests ----
    TQnTBCombo *FontNameList() const { return fontName_; }
    TQnTBCombo *FontSizeList() const { return fontSize_; }
    TQnTBCombo *FontColorList() const { return fontColor_; }
    TQnTBCombo *BackgroundColorList() const { return backColor_; }
    TQnTBCombo *StyleList() const { return style_; }
    const std::vector<TIconEntry> &Icons() const { return icons_; }
    QToolButton *IconButton(int group, int number) const;
    TQnCustomRichText *Editor() const;
    // The 16 colours of the lists.
    const std::vector<ColorRef> &ColorPalette() const { return palette_; }

    // ---- What the editor shows on the bar (and along the chain) ----
    void SetIconDown(int group, int number, bool down) override;
    void EnableIcon(int group, int number, bool enabled) override;
    void SetListValue(int typ, const std::string &text, int number) override;
    void SetTables(const TTextHeader &header) override;
    void BindEditor(TQnCustomRichText *editor) override;
    void UnbindEditor(TQnCustomRichText *editor) override;

    // Builds the icon table, the lists and the buttons again.
    void Build();

private:
    void buildIconTable();
    bool addIcon(const char *bitmap, int group, int number);
    void buildLists(int &x);
    void buildButtons(int &x);
    void fillFontNames();
    void fillColorList(TQnTBCombo *list);
    QString hintFor(const QString &bitmap);
    QString spokenHint(const QString &bitmap);
    int buttonSide() const;
    int fontPixelHeight() const;

    void iconClicked(int index, bool checked);
    void listChosen(int typ, TQnTBCombo *list, int index);
    void typedChosen(int typ, TQnTBCombo *list);
    void report(int typ, const QString &text, int number);
    void applyToObject(QWidget *object, int typ, const QString &text, int number);
    void returnFocus();

    // Runs an operation on this bar and on every chained bar, once each.
    template <typename Op> void forChain(Op op);

    TFontSelChoice fontChoice_ = fsPrinterFonts;
    TSelSet<TSelListBox> listBoxes_{SelFontName, SelFontSize, SelFontColor, SelBackgroundColor};
    TSelSet<TSelStatusIcon> statusIcons_{SelNormal, SelBold,  SelItalic, SelUnder, SelStrikeOut,
                                         SelLeft,   SelRight, SelBlock,  SelCenter};
    TSelSet<TSelActionIcon> actionIcons_;
    TSelSet<TSelDatabaseIcon> databaseIcons_;
    TSelSet<TSelEditIcon> editIcons_{SelCopy, SelCut, SelPaste};
    int sizeFrom_ = 8, sizeTo_ = 72;
    QStringList hints_;
    std::vector<TIconEntry> icons_;
    std::vector<ColorRef> palette_;
    QButtonGroup *alignGroup_ = nullptr;
    TQnTBCombo *fontName_ = nullptr;
    TQnTBCombo *fontSize_ = nullptr;
    TQnTBCombo *fontColor_ = nullptr;
    TQnTBCombo *backColor_ = nullptr;
    TQnTBCombo *style_ = nullptr;
    QPointer<TQnCustomRichText> editor_;
    std::vector<QPointer<TQnCustomRichText>> linkedEditors_;
    bool showing_ = false; // state pushed by the editor, not a user's choice
};

} // namespace qn
