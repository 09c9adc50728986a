// The formatting tool bar, its lists and the focus watcher.
#include "richtext/controls/tool_bar.h"

#include "richtext/controls/controls_accessible.h"
#include "richtext/controls/rtf_edit_accessible.h"

#include <QAccessible>

#include <QAbstractItemView>
#include <QApplication>
#include <QButtonGroup>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QStyledItemDelegate>
#include <QTextEdit>

#include <algorithm>
#include <set>

#include "platform/ansi.h"
#include "platform/notifications.h"
#include "richtext/controls/rich_text.h"
#include "richtext/controls/tool_bar_glyphs.h"
#include "richtext/model/text_header.h"

namespace qn {

namespace {

QColor qcolorOf(ColorRef c)
{
    if (IsSystemColor(c))
        c = DefaultSystemColor(c);
    return QColor(RedOf(c), GreenOf(c), BlueOf(c));
}

// The 16 colours of the system's default palette.
const ColorRef kSystemPalette[16] = {
    Rgb(0, 0, 0),       Rgb(128, 0, 0),   Rgb(0, 128, 0),   Rgb(128, 128, 0),
    Rgb(0, 0, 128),     Rgb(128, 0, 128), Rgb(0, 128, 128), Rgb(192, 192, 192),
    Rgb(128, 128, 128), Rgb(255, 0, 0),   Rgb(0, 255, 0),   Rgb(255, 255, 0),
    Rgb(0, 0, 255),     Rgb(255, 0, 255), Rgb(0, 255, 255), Rgb(255, 255, 255),
};

constexpr int kColorItems = 17;

// The icons in the order they are placed on the bar.
enum IconSet : uint8_t { kStatusSet, kActionSet, kDatabaseSet, kEditSet };
struct IconRow {
    const char *Bitmap;
    int Group, Number;
    IconSet Set;
    int Member;
};
const IconRow kIconRows[] = {
    {"QNI_NORMAL", 1, 1, kStatusSet, SelNormal},
    {"QNI_BOLD", 1, 2, kStatusSet, SelBold},
    {"QNI_ITALIC", 1, 3, kStatusSet, SelItalic},
    {"QNI_UNDER", 1, 4, kStatusSet, SelUnder},
    {"QNI_SUPER", 1, 7, kStatusSet, SelSuper},
    {"QNI_SUB", 1, 8, kStatusSet, SelSub},
    {"QNI_STRIKEOUT", 1, 6, kStatusSet, SelStrikeOut},
    {"QNI_HYPERLINK", 1, 5, kStatusSet, SelHyperLink},
    {"QNI_HIDDEN", 1, 9, kStatusSet, SelHidden},
    {"QNI_RTFCODE", 1, 19, kStatusSet, SelRTFCode},
    {"QNI_LEFT", 2, 1, kStatusSet, SelLeft},
    {"QNI_CENTER", 2, 4, kStatusSet, SelCenter},
    {"QNI_JUSTIFIED", 2, 3, kStatusSet, SelBlock},
    {"QNI_RIGHT", 2, 2, kStatusSet, SelRight},
    {"QNI_New", 4, 2, kActionSet, SelNew},
    {"QNI_OPEN", 4, 3, kActionSet, SelOpen},
    {"QNI_SAVE", 4, 4, kActionSet, SelSave},
    {"QNI_CLOSE", 4, 5, kActionSet, SelClose},
    {"QNI_EXIT", 4, 1, kActionSet, SelExit},
    {"QNI_PRINT", 5, 1, kActionSet, SelPrint},
    {"QNI_PRINTSETUP", 5, 2, kActionSet, SelPrintSetup},
    {"QNI_TOSTART", 6, 7, kDatabaseSet, SelToStart},
    {"QNI_PREV", 6, 2, kDatabaseSet, SelPrev},
    {"QNI_NEXT", 6, 1, kDatabaseSet, SelNext},
    {"QNI_TOEND", 6, 8, kDatabaseSet, SelToEnd},
    {"QNI_ADD", 6, 3, kDatabaseSet, SelAdd},
    {"QNI_DEL", 6, 4, kDatabaseSet, SelDel},
    {"QNI_EDIT", 6, 5, kDatabaseSet, SelEdit},
    {"QNI_CANCEL", 6, 6, kDatabaseSet, SelCancel},
    {"QNI_POST", 6, 9, kDatabaseSet, SelPost},
    {"QNI_SelAll", 3, 4, kEditSet, SelSelAll},
    {"QNI_HideSel", 3, 5, kEditSet, SelHideSel},
    {"QNI_CUT", 3, 2, kEditSet, SelCut},
    {"QNI_COPY", 3, 1, kEditSet, SelCopy},
    {"QNI_PASTE", 3, 3, kEditSet, SelPaste},
    {"QNI_FIND", 3, 6, kEditSet, SelFind},
    {"QNI_REPLACE", 3, 7, kEditSet, SelReplace},
    {"QNI_SPELL", 3, 8, kEditSet, SelSpellCheck},
};

const char *const kHintNames[] = {
    "Normal", "Bold",    "Italic",  "Under",   "Hyperlink",  "StrikeOut", "Sub",  "Super",
    "Hidden", "RTFCode", "Left",    "Right",   "Justified",  "Center",    "Copy", "Cut",
    "Paste",  "SelAll",  "HideSel", "Find",    "Replace",    "Spell",     "Exit", "New",
    "Open",   "Save",    "Close",   "Print",   "PrintSetup", "Next",      "Prev", "Add",
    "Del",    "Edit",    "Cancel",  "ToStart", "ToEnd",      "Post",
};

// Draws the items of a colour list as swatches.
class SwatchDelegate : public QStyledItemDelegate {
public:
    explicit SwatchDelegate(TQnTBCombo *combo) : QStyledItemDelegate(combo), combo_(combo) {}
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        if (option.state & QStyle::State_Selected)
            painter->fillRect(option.rect, option.palette.highlight());
        else
            painter->fillRect(option.rect, option.palette.base());
        const QRect swatch = option.rect.adjusted(3, 2, -3, -2);
        painter->fillRect(swatch, combo_->SwatchColor(index.row()));
        painter->setPen(Qt::black);
        painter->drawRect(swatch.adjusted(0, 0, -1, -1));
    }

private:
    TQnTBCombo *combo_;
};

bool insideToolPanel(QWidget *widget)
{
    for (QWidget *w = widget; w; w = w->parentWidget())
        if (qobject_cast<TQnCustomToolPanel *>(w))
            return true;
    return false;
}

} // namespace

// ---------------------------------------------------------------------------
// TQnTBCombo

TQnTBCombo::TQnTBCombo(QWidget *parent) : QComboBox(parent)
{
    connect(this, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        if (index < 0)
            return;
        if (isEditable())
            setEditText(itemText(index));
        if (OnChange)
            OnChange(this, index);
    });
}

bool TQnTBCombo::eventFilter(QObject *watched, QEvent *event)
{
    // Enter in the edit field is the list's own: the typed text is matched
    // here, so that a choice is reported exactly once.
    if (watched == lineEdit() && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (OnEnter)
                OnEnter(this);
            return true;
        }
    }
    return QComboBox::eventFilter(watched, event);
}

void TQnTBCombo::SetColorList(bool on)
{
    if (on && !colorList_)
        connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
            // The list's own report carries the item's text, a number; the
            // colour's name follows it.
            if (!colorList_ || !QAccessible::isActive())
                return;
            QAccessibleValueChangeEvent changed(this,
                                                itemData(index, Qt::AccessibleTextRole).toString());
            QAccessible::updateAccessibility(&changed);
        });
    colorList_ = on;
    setItemDelegate(on ? new SwatchDelegate(this) : new QStyledItemDelegate(this));
}

void TQnTBCombo::NameSwatches()
{
    for (int i = 0; i < count(); ++i)
        setItemData(i,
                    i < static_cast<int>(Palette.size()) ? ColourName(Palette[i])
                                                         : QStringLiteral("No colour"),
                    Qt::AccessibleTextRole);
}

QColor TQnTBCombo::SwatchColor(int index) const
{
    if (index >= 0 && index < static_cast<int>(Palette.size()))
        return qcolorOf(Palette[index]);
    return QColor(255, 255, 255, 0);
}

void TQnTBCombo::focusInEvent(QFocusEvent *event)
{
    enteredText_ = currentText();
    QComboBox::focusInEvent(event);
}

void TQnTBCombo::paintEvent(QPaintEvent *event)
{
    if (!colorList_) {
        QComboBox::paintEvent(event);
        return;
    }
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText.clear();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    if (currentIndex() < 0)
        return;
    const QRect swatch = field.adjusted(2, 2, -2, -2);
    painter.fillRect(swatch, SwatchColor(currentIndex()));
    painter.setPen(isEnabled() ? Qt::black : qcolorOf(kSysColorButtonShadow));
    painter.drawRect(swatch.adjusted(0, 0, -1, -1));
}

// ---------------------------------------------------------------------------
// TQnTBRCTRL

TQnTBRCTRL &TQnTBRCTRL::Instance()
{
    static QPointer<TQnTBRCTRL> instance;
    if (!instance)
        instance = new TQnTBRCTRL();
    return *instance;
}

TQnTBRCTRL::TQnTBRCTRL() : QObject(QCoreApplication::instance())
{
    if (auto *app = qobject_cast<QApplication *>(QCoreApplication::instance()))
        connect(app, &QApplication::focusChanged, this, &TQnTBRCTRL::focusChanged);
    if (QWidget *now = QApplication::focusWidget(); now && !insideToolPanel(now))
        lastFocused_ = now;
}

void TQnTBRCTRL::focusChanged(QWidget *old, QWidget *now)
{
    if (now && !insideToolPanel(now))
        lastFocused_ = now;
    emit FocusLeft(old, now);
}

// ---------------------------------------------------------------------------
// TQnCustomToolPanel

TQnCustomToolPanel::TQnCustomToolPanel(QWidget *parent) : QWidget(parent)
{
    TQnTBRCTRL::Instance();
    resize(300, designHeight_);
}

void TQnCustomToolPanel::SetAlign(TToolAlign align)
{
    align_ = align;
    Arrange();
}

void TQnCustomToolPanel::SetBevelWidth(int width)
{
    bevelWidth_ = std::max(1, width);
    Arrange();
    update();
}

void TQnCustomToolPanel::SetWidthBetweenGroups(int width)
{
    widthBetweenGroups_ = std::max(0, width);
    Arrange();
}

void TQnCustomToolPanel::SetDesignHeight(int height)
{
    designHeight_ = height;
    if (align_ == TToolAlign::alTop || align_ == TToolAlign::alBottom)
        setFixedHeight(height);
    else
        resize(width(), height);
    Arrange();
}

bool TQnCustomToolPanel::AddButton(QAbstractButton *button)
{
    if (!button || static_cast<int>(controls_.size()) >= kMaxControls)
        return false;
    button->setParent(this);
    button->setFocusPolicy(Qt::TabFocus); // keyboard only, as the icons

    addControl(button, 100, 3);
    button->show();
    Arrange();
    return true;
}

void TQnCustomToolPanel::addControl(QWidget *widget, int group, int top)
{
    if (static_cast<int>(controls_.size()) >= kMaxControls)
        return;
    controls_.push_back(Entry{widget, group, top});
}

void TQnCustomToolPanel::removeOwnControls()
{
    for (int i = 0; i < ownControls_ && i < static_cast<int>(controls_.size()); ++i)
        delete controls_[i].Widget.data();
    controls_.erase(controls_.begin(),
                    controls_.begin() + std::min<size_t>(ownControls_, controls_.size()));
    ownControls_ = 0;
}

int TQnCustomToolPanel::bevelEdge() const
{
    const int bevels = (BevelOuter != TToolBevel::bvNone) + (BevelInner != TToolBevel::bvNone);
    return bevels * bevelWidth_;
}

void TQnCustomToolPanel::Arrange()
{
    if (arranging_)
        return;
    arranging_ = true;
    const int left = bevelWidth_ + 2;
    const int right = width() - bevelWidth_;
    int x = left, rowTop = 0, rowHeight = 0, previousGroup = -1;
    for (const Entry &entry : controls_) {
        QWidget *w = entry.Widget;
        if (!w || w->isHidden())
            continue;
        if (previousGroup >= 0 && entry.Group != previousGroup)
            x += widthBetweenGroups_;
        previousGroup = entry.Group;
        if (x + w->width() > right && x > left && right > left) {
            rowTop += rowHeight + 4;
            x = left;
            rowHeight = 0;
        }
        w->move(x, rowTop + entry.Top);
        rowHeight = std::max(rowHeight, entry.Top + w->height());
        x += w->width() + 2;
    }
    if (align_ == TToolAlign::alTop || align_ == TToolAlign::alBottom) {
        const int needed = rowTop > 0 ? rowTop + rowHeight + 3 : 0;
        const int height = std::max(designHeight_, needed);
        if (height != this->height() || minimumHeight() != maximumHeight()) {
            setFixedHeight(height);
            if (parentWidget())
                parentWidget()->updateGeometry();
        }
    }
    arranging_ = false;
}

void TQnCustomToolPanel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), qcolorOf(kSysColorButtonFace));
    const QColor light = qcolorOf(kSysColorButtonHighlight), dark = qcolorOf(kSysColorButtonShadow);
    QRect r = rect().adjusted(0, 0, -1, -1);
    auto bevel = [&](TToolBevel cut) {
        if (cut == TToolBevel::bvNone)
            return;
        for (int i = 0; i < bevelWidth_; ++i) {
            const QColor topLeft = cut == TToolBevel::bvRaised ? light : dark;
            const QColor bottomRight = cut == TToolBevel::bvRaised ? dark : light;
            p.setPen(topLeft);
            p.drawLine(r.topLeft(), r.topRight());
            p.drawLine(r.topLeft(), r.bottomLeft());
            p.setPen(bottomRight);
            p.drawLine(r.bottomLeft(), r.bottomRight());
            p.drawLine(r.topRight(), r.bottomRight());
            r.adjust(1, 1, -1, -1);
        }
    };
    bevel(BevelOuter);
    bevel(BevelInner);
}

void TQnCustomToolPanel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Arrange();
}

void TQnCustomToolPanel::mousePressEvent(QMouseEvent *event)
{
    if (OnMouseDown)
        OnMouseDown(this, event->button(), event->modifiers(), event->position().toPoint());
}

void TQnCustomToolPanel::mouseReleaseEvent(QMouseEvent *event)
{
    if (OnMouseUp)
        OnMouseUp(this, event->button(), event->modifiers(), event->position().toPoint());
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        OnClick)
        OnClick(this);
}

void TQnCustomToolPanel::mouseMoveEvent(QMouseEvent *event)
{
    if (OnMouseMove)
        OnMouseMove(this, event->modifiers(), event->position().toPoint());
}

// ---------------------------------------------------------------------------
// TQnToolBar: building

TQnToolBar::TQnToolBar(QWidget *parent) : TQnCustomToolPanel(parent)
{
    InstallControlsAccessibility();
    palette_.assign(std::begin(kSystemPalette), std::end(kSystemPalette));
    palette_[0] = Rgb(0, 0, 0);
    connect(&TQnTBRCTRL::Instance(), &TQnTBRCTRL::FocusLeft, this,
            [this](QWidget *old, QWidget *now) {
                if (!OnExit || !old)
                    return;
                bool wasInside = false, isInside = false;
                for (QWidget *w = old; w; w = w->parentWidget())
                    wasInside = wasInside || w == this;
                for (QWidget *w = now; w; w = w->parentWidget())
                    isInside = isInside || w == this;
                if (wasInside && !isInside)
                    OnExit(this);
            });
    Build();
}

TQnToolBar::~TQnToolBar()
{
    const auto editors = linkedEditors_;
    for (const QPointer<TQnCustomRichText> &editor : editors)
        if (editor)
            editor->RemoveLink(static_cast<TQnToolBarLink *>(this));
}

void TQnToolBar::SetFontChoice(TFontSelChoice choice)
{
    fontChoice_ = choice;
    Build();
}

void TQnToolBar::SetListBoxes(TSelSet<TSelListBox> set)
{
    listBoxes_ = set;
    Build();
}

void TQnToolBar::SetStatusIcons(TSelSet<TSelStatusIcon> set)
{
    statusIcons_ = set;
    Build();
}

void TQnToolBar::SetActionIcons(TSelSet<TSelActionIcon> set)
{
    actionIcons_ = set;
    Build();
}

void TQnToolBar::SetDatabaseIcons(TSelSet<TSelDatabaseIcon> set)
{
    databaseIcons_ = set;
    Build();
}

void TQnToolBar::SetEditIcons(TSelSet<TSelEditIcon> set)
{
    editIcons_ = set;
    Build();
}

void TQnToolBar::SetFontSizeRange(int from, int to)
{
    sizeFrom_ = from;
    sizeTo_ = to;
    Build();
}

QStringList TQnToolBar::DefaultHints()
{
    QStringList lines;
    for (const char *name : kHintNames)
        lines << QStringLiteral("QNI_%1=%1").arg(QLatin1String(name));
    return lines;
}

QStringList TQnToolBar::Hints()
{
    if (hints_.isEmpty())
        hints_ = DefaultHints();
    return hints_;
}

void TQnToolBar::SetHints(const QStringList &hints)
{
    hints_ = hints;
    for (const TIconEntry &icon : icons_) {
        icon.Button->setToolTip(hintFor(icon.Bitmap));
        icon.Button->setAccessibleName(spokenHint(icon.Bitmap));
    }
}

QString TQnToolBar::hintFor(const QString &bitmap)
{
    for (const QString &line : Hints()) {
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq >= 0 && line.left(eq).compare(bitmap, Qt::CaseInsensitive) == 0)
            return line.mid(eq + 1);
    }
    return QString();
}

QString TQnToolBar::spokenHint(const QString &bitmap)
{
    // The default hints are the pictures' short names; a reader says the
    // whole words. Hints the application gives are said as they are.
    static const struct {
        const char *Hint;
        const char *Spoken;
    } kSpoken[] = {
        {"Normal", "Plain text"}, {"Under", "Underline"},        {"StrikeOut", "Strikeout"},
        {"Sub", "Subscript"},     {"Super", "Superscript"},      {"Left", "Align left"},
        {"Right", "Align right"}, {"Center", "Centre"},          {"Justified", "Justify"},
        {"RTFCode", "RTF code"},  {"SelAll", "Select all"},      {"HideSel", "Hide selection"},
        {"Spell", "Spell check"}, {"PrintSetup", "Print setup"}, {"Prev", "Previous"},
        {"Del", "Delete"},        {"ToStart", "First"},          {"ToEnd", "Last"},
    };
    const QString hint = hintFor(bitmap);
    for (const auto &s : kSpoken)
        if (hint == QLatin1String(s.Hint))
            return QString::fromLatin1(s.Spoken);
    return hint;
}

int TQnToolBar::fontPixelHeight() const
{
    return std::max(1, QFontInfo(font()).pixelSize());
}

int TQnToolBar::buttonSide() const
{
    return fontPixelHeight() + 9;
}

bool TQnToolBar::addIcon(const char *bitmap, int group, int number)
{
    if (static_cast<int>(icons_.size()) >= kMaxIcons)
        return false;
    TIconEntry entry;
    entry.Bitmap = QString::fromLatin1(bitmap).left(20);
    entry.Group = group;
    entry.Number = number;
    entry.Value = static_cast<int>(icons_.size());
    icons_.push_back(entry);
    return true;
}

void TQnToolBar::buildIconTable()
{
    icons_.clear();
    for (const IconRow &row : kIconRows) {
        bool wanted = false;
        switch (row.Set) {
        case kStatusSet:
            wanted = statusIcons_.Has(TSelStatusIcon(row.Member));
            break;
        case kActionSet:
            wanted = actionIcons_.Has(TSelActionIcon(row.Member));
            break;
        case kDatabaseSet:
            wanted = databaseIcons_.Has(TSelDatabaseIcon(row.Member));
            break;
        case kEditSet:
            wanted = editIcons_.Has(TSelEditIcon(row.Member));
            break;
        }
        if (wanted)
            addIcon(row.Bitmap, row.Group, row.Number);
    }
}

void TQnToolBar::Build()
{
    // Application buttons stay; the bar's own controls are made again.
    removeOwnControls();
    const std::vector<Entry> added = controls_;
    controls_.clear();
    fontName_ = fontSize_ = fontColor_ = backColor_ = style_ = nullptr;
    delete alignGroup_;
    alignGroup_ = nullptr;
    buildIconTable();
    int x = 4;
    buildLists(x);
    buildButtons(x);
    ownControls_ = static_cast<int>(controls_.size());
    for (const Entry &entry : added)
        if (entry.Widget)
            addControl(entry.Widget, entry.Group, entry.Top);
    Arrange();
}

void TQnToolBar::fillFontNames()
{
    // Qt offers the printers the same fonts as the screen, so both choices
    // list the font families the system knows.
    QStringList names;
    for (const QString &family : QFontDatabase::families())
        if (!QFontDatabase::isPrivateFamily(family))
            names << family.left(kFontNameMax);
    names.removeDuplicates();
    names.sort(Qt::CaseInsensitive);
    fontName_->addItems(names);
}

void TQnToolBar::fillColorList(TQnTBCombo *list)
{
    list->Palette = palette_;
    list->SetColorList(true);
    for (int i = 0; i < kColorItems; ++i)
        list->addItem(QString::number(i));
    list->NameSwatches();
    list->setMaxVisibleItems(16);
}

void TQnToolBar::buildLists(int &x)
{
    const QFontMetrics fm(font());
    const int height = buttonSide() + 2;
    auto make = [&](int typ, bool editable) {
        auto *list = new TQnTBCombo(this);
        // Reached by the mouse, and from the keyboard by Tab once the window
        // has moved the focus onto the bar.
        list->setFocusPolicy(Qt::StrongFocus);
        list->setEditable(editable);
        if (editable) {
            list->setInsertPolicy(QComboBox::NoInsert);
            list->setCompleter(nullptr);
            list->lineEdit()->installEventFilter(list);
            list->OnEnter = [this, typ](TQnTBCombo *sender) { typedChosen(typ, sender); };
        }
        list->OnChange = [this, typ](TQnTBCombo *sender, int index) {
            listChosen(typ, sender, index);
        };
        list->setFixedHeight(height);
        list->show();
        return list;
    };
    if (listBoxes_.Has(SelFontName)) {
        fontName_ = make(snFontName, true);
        fontName_->setObjectName(QStringLiteral("FontNameList"));
        fontName_->setAccessibleName(QStringLiteral("Font"));
        fontName_->lineEdit()->setAccessibleName(QStringLiteral("Font"));
        fontName_->lineEdit()->setMaxLength(kFontNameMax);
        fillFontNames();
        int widest = 0;
        for (int i = 0; i < fontName_->count(); ++i)
            widest = std::max(widest, fm.horizontalAdvance(fontName_->itemText(i) + "    "));
        // Family names on this platform run long ("DejaVu Sans Condensed"):
        // the closed list keeps the room of a usual name, the drop-down shows all.
        fontName_->view()->setMinimumWidth(widest);
        widest = std::min(widest, fm.horizontalAdvance(QStringLiteral("Times New Roman    ")));
        fontName_->setFixedWidth(widest);
        fontName_->setEditText(QFontInfo(font()).family().left(kFontNameMax));
        fontName_->move(x, 4);
        addControl(fontName_, 0, 4);
        x += widest + 6;
    }
    if (listBoxes_.Has(SelFontSize)) {
        fontSize_ = make(snFontSize, true);
        fontSize_->setObjectName(QStringLiteral("FontSizeList"));
        fontSize_->setAccessibleName(QStringLiteral("Font size"));
        fontSize_->lineEdit()->setAccessibleName(QStringLiteral("Font size"));
        for (int size = sizeFrom_ > 0 ? sizeFrom_ : 1; size <= sizeTo_; ++size)
            fontSize_->addItem(QStringLiteral(" %1").arg(size));
        const int width = 3 * fm.horizontalAdvance(QLatin1Char('8')) + 24;
        fontSize_->setFixedWidth(width);
        fontSize_->move(x, 4);
        addControl(fontSize_, 0, 4);
        x += width + 2;
    }
    auto colorList = [&](int typ, const char *name, const QString &spoken) {
        TQnTBCombo *list = make(typ, false);
        list->setObjectName(QLatin1String(name));
        list->setAccessibleName(spoken);
        fillColorList(list);
        const int width = fm.horizontalAdvance(QLatin1Char('A')) + 32;
        list->setFixedWidth(width);
        list->move(x, 4);
        addControl(list, 0, 4);
        x += width + 2;
        return list;
    };
    if (listBoxes_.Has(SelFontColor))
        fontColor_ = colorList(snTextColor, "FontColorList", QStringLiteral("Text colour"));
    if (listBoxes_.Has(SelBackgroundColor))
        backColor_ =
            colorList(snBackColor, "BackgroundColorList", QStringLiteral("Background colour"));
    if (listBoxes_.Has(SelStyle)) {
        style_ = make(snParStyle, false);
        style_->setObjectName(QStringLiteral("StyleList"));
        style_->setAccessibleName(QStringLiteral("Paragraph style"));
        style_->addItems({QStringLiteral("Standard"), QStringLiteral("Heading 1"),
                          QStringLiteral("Heading 2"), QStringLiteral("Heading 3")});
        const int width = QFontMetrics(parentWidget() ? parentWidget()->font() : font())
                              .horizontalAdvance(QStringLiteral("Blocksatz"));
        style_->setFixedWidth(width);
        style_->move(x, 4);
        addControl(style_, 0, 4);
        x += width + 2;
    }
}

void TQnToolBar::buildButtons(int &x)
{
    const int side = buttonSide();
    int top = 3;
    for (int i = 0; i < static_cast<int>(icons_.size()); ++i) {
        TIconEntry &icon = icons_[i];
        auto *button = new QToolButton(this);
        button->setObjectName(icon.Bitmap);
        button->setCheckable(true);
        button->setAutoRaise(false);
        // Reached from the keyboard (F6, then Tab; Space presses it), never
        // by a click, so a click leaves the focus in the entry.
        button->setFocusPolicy(Qt::TabFocus);
        button->setFixedSize(side, side);
        button->setIcon(ToolBarGlyph(icon.Bitmap));
        button->setIconSize(QSize(kToolBarGlyphSize, kToolBarGlyphSize));
        button->setToolTip(hintFor(icon.Bitmap));
        // Readers name a picture button by its hint.
        button->setAccessibleName(spokenHint(icon.Bitmap));
        if (icon.Group == kIconGroupAlign) {
            if (!alignGroup_) {
                alignGroup_ = new QButtonGroup(this);
                alignGroup_->setExclusive(true);
            }
            alignGroup_->addButton(button);
            if (icon.Number == 1)
                button->setChecked(true);
        }
        if ((Align() == TToolAlign::alTop || Align() == TToolAlign::alBottom) &&
            x + side > width() && x > 30) {
            x = 4;
            top += side + 2;
        }
        button->move(x, top);
        connect(button, &QToolButton::clicked, this,
                [this, i](bool checked) { iconClicked(i, checked); });
        button->show();
        icon.Button = button;
        addControl(button, icon.Group, 3);
        x += side + 2;
    }
    // Without a left icon the first alignment icon starts pressed.
    if (alignGroup_ && !alignGroup_->checkedButton() && !alignGroup_->buttons().isEmpty())
        alignGroup_->buttons().first()->setChecked(true);
}

QToolButton *TQnToolBar::IconButton(int group, int number) const
{
    for (const TIconEntry &icon : icons_)
        if (icon.Group == group && icon.Number == number)
            return icon.Button;
    return nullptr;
}

// ---------------------------------------------------------------------------
// TQnToolBar: the user's choices

void TQnToolBar::returnFocus()
{
    QWidget *target = TQnTBRCTRL::Instance().LastFocused();
    if (!target && editor_)
        target = editor_;
    if (target && target->isVisible())
        target->setFocus(Qt::OtherFocusReason);
}

void TQnToolBar::iconClicked(int index, bool checked)
{
    if (showing_ || index >= static_cast<int>(icons_.size()))
        return;
    const TIconEntry icon = icons_[index];
    const int typ = checked ? snIconDown : snIconUp;
    if (OnIconSelection)
        OnIconSelection(this, typ, icon.Bitmap, icon.Group, icon.Number, index);
    // Record navigation and the exit and new icons are the application's alone.
    const bool editorIcon = icon.Group != 6 && !(icon.Group == 4 && icon.Number <= 2);
    if (editor_ && editorIcon) {
        returnFocus();
        if (editor_)
            editor_->ToolBarIcon(typ, icon.Group, icon.Number);
    }
}

void TQnToolBar::typedChosen(int typ, TQnTBCombo *list)
{
    const QString text = list->currentText();
    const int index = list->findText(typ == snFontSize ? QStringLiteral(" %1").arg(text.trimmed())
                                                       : text.trimmed(),
                                     Qt::MatchFixedString);
    if (index >= 0) {
        list->setCurrentIndex(index);
        list->setEditText(list->itemText(index));
        listChosen(typ, list, index);
        return;
    }
    if (typ == snFontSize) {
        bool ok = false;
        const int size = text.trimmed().toInt(&ok);
        if (ok && size >= 1 && size <= 255) {
            list->setEditText(QStringLiteral(" %1").arg(size));
            listChosen(typ, list, -1);
            return;
        }
    }
    // Not a font the system has, or not a size: the old text comes back.
    list->setEditText(list->EnteredText());
}

void TQnToolBar::listChosen(int typ, TQnTBCombo *list, int index)
{
    if (showing_)
        return;
    QString text = list->currentText();
    int number = index;
    if (typ == snFontName)
        text = text.trimmed();
    else if (typ == snFontSize)
        number = text.trimmed().toInt();
    report(typ, text, number);
}

void TQnToolBar::report(int typ, const QString &text, int number)
{
    if (!UpdateObjectName.isEmpty())
        if (QWidget *target = window()->findChild<QWidget *>(UpdateObjectName))
            applyToObject(target, typ, text, number);
    if (UpdateObject)
        applyToObject(UpdateObject, typ, text, number);
    if (OnSelection)
        OnSelection(this, typ, text, number);
    if (editor_) {
        returnFocus();
        const std::string name = Utf8ToAnsi(text.toStdString()).value_or(std::string());
        if (editor_ && (typ != snFontName || !name.empty()))
            editor_->ToolBarList(typ, name, number);
    }
    if (OnChange)
        OnChange(this);
}

void TQnToolBar::applyToObject(QWidget *object, int typ, const QString &text, int number)
{
    const bool memo = qobject_cast<QTextEdit *>(object) || qobject_cast<QPlainTextEdit *>(object);
    const bool edit = qobject_cast<QLineEdit *>(object);
    const bool label = qobject_cast<QLabel *>(object);
    if (!memo && !edit && !label)
        return;
    QFont font = object->font();
    QPalette palette = object->palette();
    const QPalette::ColorRole textRole = label ? QPalette::WindowText : QPalette::Text;
    const QPalette::ColorRole backRole = label ? QPalette::Window : QPalette::Base;
    switch (typ) {
    case snFontName:
        font.setFamily(text);
        break;
    case snFontSize:
        if (number > 0)
            font.setPointSize(number);
        break;
    case snTextColor:
        if (number >= 0 && number < static_cast<int>(palette_.size()))
            palette.setColor(textRole, qcolorOf(palette_[number]));
        break;
    case snBackColor:
        if (number >= 0 && number < static_cast<int>(palette_.size())) {
            palette.setColor(backRole, qcolorOf(palette_[number]));
            object->setAutoFillBackground(true);
        }
        break;
    case snParStyle:
        font.setBold(false);
        font.setItalic(false);
        font.setUnderline(false);
        font.setStrikeOut(false);
        break;
    default:
        return;
    }
    object->setFont(font);
    object->setPalette(palette);
}

// ---------------------------------------------------------------------------
// TQnToolBar: what the editor shows

template <typename Op> void TQnToolBar::forChain(Op op)
{
    std::set<TQnCustomToolPanel *> visited;
    TQnCustomToolPanel *panel = this;
    while (panel) {
        visited.insert(panel);
        if (auto *bar = qobject_cast<TQnToolBar *>(panel))
            op(*bar);
        TQnCustomToolPanel *next = panel->NextToolBar();
        if (next && visited.count(next)) {
            ShowEngineMessage("Error: NextToolBar points to prior Toolbar");
            panel->SetNextToolBar(nullptr);
            break;
        }
        panel = next;
    }
}

void TQnToolBar::SetIconDown(int group, int number, bool down)
{
    forChain([&](TQnToolBar &bar) {
        if (QToolButton *button = bar.IconButton(group, number)) {
            const QSignalBlocker block(button);
            button->setChecked(down);
        }
    });
}

void TQnToolBar::EnableIcon(int group, int number, bool enabled)
{
    forChain([&](TQnToolBar &bar) {
        if (QToolButton *button = bar.IconButton(group, number))
            button->setEnabled(enabled);
    });
}

void TQnToolBar::SetListValue(int typ, const std::string &text, int number)
{
    forChain([&](TQnToolBar &bar) {
        bar.showing_ = true;
        switch (typ) {
        case snFontName:
            if (TQnTBCombo *list = bar.fontName_) {
                const QSignalBlocker block(list);
                const QString name = QString::fromStdString(AnsiToUtf8(text));
                const int index = list->findText(name, Qt::MatchFixedString);
                if (index >= 0)
                    list->setCurrentIndex(index);
                else
                    list->setEditText(name);
            }
            break;
        case snFontSize:
            if (TQnTBCombo *list = bar.fontSize_) {
                const QSignalBlocker block(list);
                const QString size = QStringLiteral(" %1").arg(number > 0 ? number : 10);
                const int index = list->findText(size);
                if (index >= 0)
                    list->setCurrentIndex(index);
                else
                    list->setEditText(size);
            }
            break;
        case snTextColor:
        case snBackColor:
            if (TQnTBCombo *list = typ == snTextColor ? bar.fontColor_ : bar.backColor_) {
                const QSignalBlocker block(list);
                if (number >= 0 && number < list->count())
                    list->setCurrentIndex(number);
            }
            break;
        default:
            break;
        }
        bar.showing_ = false;
    });
}

void TQnToolBar::SetTables(const TTextHeader &header)
{
    forChain([&](TQnToolBar &bar) {
        if (std::equal(bar.palette_.begin(), bar.palette_.end(), std::begin(header.Colors),
                       std::end(header.Colors)))
            return;
        bar.palette_.assign(std::begin(header.Colors), std::end(header.Colors));
        for (TQnTBCombo *list : {bar.fontColor_, bar.backColor_})
            if (list) {
                list->Palette = bar.palette_;
                list->NameSwatches();
                list->update();
            }
    });
}

void TQnToolBar::BindEditor(TQnCustomRichText *editor)
{
    forChain([&](TQnToolBar &bar) {
        bar.editor_ = editor;
        if (editor && std::find(bar.linkedEditors_.begin(), bar.linkedEditors_.end(), editor) ==
                          bar.linkedEditors_.end())
            bar.linkedEditors_.emplace_back(editor);
    });
}

void TQnToolBar::UnbindEditor(TQnCustomRichText *editor)
{
    if (editor_ == editor)
        editor_ = nullptr;
    std::erase_if(linkedEditors_,
                  [&](const QPointer<TQnCustomRichText> &e) { return !e || e.data() == editor; });
}

} // namespace qn

namespace qn {

TQnCustomRichText *TQnToolBar::Editor() const
{
    return editor_;
}

} // namespace qn
