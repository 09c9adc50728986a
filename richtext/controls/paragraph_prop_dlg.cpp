#include "richtext/controls/paragraph_prop_dlg.h"

#include "platform/modal_result.h"
#include "platform/qt/messages.h"
#include "richtext/controls/rich_text.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <variant>

namespace qn {

namespace {

constexpr double kTwipsPerInch = 1440.0;
constexpr double kTwipsPerCm = 566.929;
// The largest indent or spacing the dialog accepts: 22 inches, the widest page
// a document describes (1584 points of spacing).
constexpr int32_t kMostTwips = 22 * 1440;

const QString kSameAsLeft = QStringLiteral("Same as Left Indent");
const QString kIndentedBy = QStringLiteral("Indented by");

// Round to the nearest integer, halves to even (the default rounding mode).
int32_t roundEven(double value)
{
    return static_cast<int32_t>(std::nearbyint(value));
}

bool holdsPoints(const QLineEdit *edit)
{
    return edit->objectName().toUpper().contains(QStringLiteral("PTS"));
}

// The dialog's small sans serif face; Arial keeps the labels as narrow as the
// fixed places of the edits need on every system.
QFont dialogFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    return font;
}

QLabel *makeLabel(QWidget *parent, const QString &name, const QString &text, int left, int top)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->adjustSize();
    label->move(left, top);
    return label;
}

} // namespace

std::optional<double> ParseDialogNumber(const QString &text)
{
    QString t = text.trimmed();
    const QString separator = QLocale().decimalPoint();
    if (separator != QStringLiteral("."))
        t.replace(separator, QStringLiteral("."));
    if (t.startsWith(QLatin1Char('+')))
        t.remove(0, 1);
    const QByteArray bytes = t.toLatin1();
    if (bytes.isEmpty() || t.size() != bytes.size())
        return std::nullopt;
    double value = 0;
    const char *end = bytes.constData() + bytes.size();
    const auto [stop, error] = std::from_chars(bytes.constData(), end, value);
    if (error != std::errc() || stop != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString NotAFloatMessage(const QString &text)
{
    return QStringLiteral("'%1' is not a valid floating point value").arg(text);
}

TParagraphPropDlg::TParagraphPropDlg(QWidget *parent) : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Paragraph Properties"));
    setFont(dialogFont());
    QPalette black = palette();
    black.setColor(QPalette::WindowText, Qt::black);
    setPalette(black);
    setFixedSize(494, 128);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Bevel1->setGeometry(12, 64, 199, 53);

    Label2 = makeLabel(this, QStringLiteral("Label2"), QStringLiteral("Left Indent"), 24, 14);
    LeftIndent = makeEdit(QStringLiteral("LeftIndent"), 2, {151, 10, 55, 21});
    Label3 = makeLabel(this, QStringLiteral("Label3"), QStringLiteral("Right Indent"), 24, 41);
    RightIndent = makeEdit(QStringLiteral("RightIndent"), 3, {151, 37, 55, 21});
    Label1 = makeLabel(this, QStringLiteral("Label1"), QStringLiteral("First Indent"), 24, 68);
    FirstIndentCombo = new QComboBox(this);
    FirstIndentCombo->setObjectName(QStringLiteral("FirstIndentCombo"));
    FirstIndentCombo->addItems({kSameAsLeft, kIndentedBy});
    // As wide as its longer item needs (styles differ in their frames),
    // still clear of the edit beside it.
    {
        const int wanted = std::max(113, FirstIndentCombo->sizeHint().width());
        const int left = std::max(14, 137 - wanted);
        FirstIndentCombo->setGeometry(left, 84, std::min(wanted, 148 - left), 21);
    }
    FirstIndentCombo->setToolTip(QStringLiteral("Specify special handling for first line indent"));
    FirstIndent = makeEdit(QStringLiteral("FirstIndent"), 1, {151, 83, 55, 21});

    Label8 =
        makeLabel(this, QStringLiteral("Label8"), QStringLiteral("Space before (pts)"), 216, 13);
    SpaceBeforePts = makeEdit(QStringLiteral("SpaceBeforePts"), 0, {318, 10, 49, 20});
    SpaceBeforePts->setToolTip(
        QStringLiteral("Specify spacing before paragraph in points (1 point=1/72 inch)"));
    Label10 =
        makeLabel(this, QStringLiteral("Label10"), QStringLiteral("Space after (pts)"), 216, 37);
    SpaceAfterPts = makeEdit(QStringLiteral("SpaceAfterPts"), 0, {318, 34, 49, 20});
    SpaceAfterPts->setToolTip(
        QStringLiteral("Specify spacing after paragraph in points (1 point=1/72 inch)"));
    Label9 =
        makeLabel(this, QStringLiteral("Label9"), QStringLiteral("Line Height (pts)"), 216, 61);
    LineHeightPts = makeEdit(QStringLiteral("LineHeightPts"), 0, {318, 58, 49, 20});
    LineHeightPts->setToolTip(
        QStringLiteral("Specify spacing between lines of paragraph in points (1 point=1/72 inch)"));

    Label7 = makeLabel(this, QStringLiteral("Label7"), QStringLiteral("Units"), 276, 93);
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->addItems({QStringLiteral("Inch"), QStringLiteral("Cm")});
    ComboBox1->setGeometry(311, 89, 56, 21);
    ComboBox1->setToolTip(QStringLiteral("Change unit of measurement to inches or centimeters"));

    Okbutton = new QPushButton(QStringLiteral("OK"), this);
    Okbutton->setObjectName(QStringLiteral("Okbutton"));
    Okbutton->setGeometry(396, 11, 84, 26);
    Okbutton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setGeometry(396, 46, 84, 27);

    // What readers call the fields.
    Label2->setBuddy(LeftIndent);
    Label3->setBuddy(RightIndent);
    Label1->setBuddy(FirstIndentCombo);
    FirstIndentCombo->setAccessibleName(QStringLiteral("First indent"));
    FirstIndent->setAccessibleName(QStringLiteral("First indent amount"));
    Label8->setBuddy(SpaceBeforePts);
    Label10->setBuddy(SpaceAfterPts);
    Label9->setBuddy(LineHeightPts);
    Label7->setBuddy(ComboBox1);
    ComboBox1->setAccessibleName(QStringLiteral("Units"));

    LeftIndent->setToolTip(QStringLiteral("Specify left indent for the paragraph in inches"));
    RightIndent->setToolTip(QStringLiteral("Specify right indent for the paragraph in inches "));

    connect(ComboBox1, &QComboBox::currentIndexChanged, this, &TParagraphPropDlg::ComboBox1Change);
    connect(FirstIndentCombo, &QComboBox::currentIndexChanged, this,
            &TParagraphPropDlg::FirstIndentComboClick);
    connect(Okbutton, &QPushButton::clicked, this, &TParagraphPropDlg::OkbuttonClick);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

TParagraphPropDlg::~TParagraphPropDlg() = default;

QLineEdit *TParagraphPropDlg::makeEdit(const QString &name, int tag, QRect place)
{
    auto *edit = new QLineEdit(this);
    edit->setObjectName(name);
    edit->setProperty("tag", tag);
    edit->setGeometry(place);
    connect(edit, &QLineEdit::textChanged, this, [this, edit] { EditChange(edit); });
    edit->installEventFilter(this);
    return edit;
}

void TParagraphPropDlg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TParagraphPropDlg::FormShow()
{
    if (Editor && Editor->Document && Editor->Document->Cursor.Paragraph) {
        const TParagraph &p = *Editor->Document->Cursor.Paragraph;
        FirstIndentValue = p.FirstIndent;
        LeftIndentValue = p.LeftIndent;
        RightIndentValue = p.RightIndent;
        SpaceBeforeValue = p.SpaceBefore;
        SpaceAfterValue = p.SpaceAfter;
        LineHeightValue = p.LineSpacing;
    }
    {
        const QSignalBlocker unit(ComboBox1), first(FirstIndentCombo);
        ComboBox1->setCurrentIndex(0);
        FirstIndentCombo->setCurrentIndex(FirstIndentValue != LeftIndentValue ? 1 : 0);
    }
    FirstIndent->setEnabled(FirstIndentCombo->currentIndex() == 1);
    ShowValues();
    SetHints();
}

bool TParagraphPropDlg::centimetres() const
{
    return ComboBox1->currentText().compare(QStringLiteral("Cm"), Qt::CaseInsensitive) == 0;
}

int32_t *TParagraphPropDlg::valueOf(QLineEdit *edit)
{
    if (edit == FirstIndent)
        return &FirstIndentValue;
    if (edit == LeftIndent)
        return &LeftIndentValue;
    if (edit == RightIndent)
        return &RightIndentValue;
    if (edit == SpaceBeforePts)
        return &SpaceBeforeValue;
    if (edit == SpaceAfterPts)
        return &SpaceAfterValue;
    if (edit == LineHeightPts)
        return &LineHeightValue;
    return nullptr;
}

QString TParagraphPropDlg::shownText(QLineEdit *edit, int32_t twips) const
{
    if (holdsPoints(edit))
        return QString::number(roundEven(twips / kTwipsPerInch * 72.0));
    const double units = twips / (centimetres() ? kTwipsPerCm : kTwipsPerInch);
    return QLocale().toString(units, 'f', 2);
}

void TParagraphPropDlg::ShowValues()
{
    for (QLineEdit *edit :
         {LeftIndent, RightIndent, FirstIndent, SpaceBeforePts, SpaceAfterPts, LineHeightPts})
        edit->setText(shownText(edit, *valueOf(edit)));
}

namespace {

// Twips for a typed text, or the message that refuses it. Indents may be
// negative (a first line or a right edge outside the margins); spacing may not.
std::variant<int32_t, QString> twipsOf(const QString &text, bool points, bool centimetres)
{
    const int32_t least = points ? 0 : -kMostTwips;
    double number = 0;
    if (!text.isEmpty()) {
        const std::optional<double> parsed = ParseDialogNumber(text);
        if (!parsed)
            return NotAFloatMessage(text);
        number = *parsed;
    }
    const double twips = points ? number * (1.0 / 72.0) * 1440.0
                                : number * (centimetres ? kTwipsPerCm : kTwipsPerInch);
    if (!(twips > least - 0.5 && twips < kMostTwips + 0.5)) {
        const QString unit = points        ? QStringLiteral("points")
                             : centimetres ? QStringLiteral("centimeters")
                                           : QStringLiteral("inches");
        auto shown = [&](int32_t value) {
            if (points)
                return QString::number(value / 20);
            if (centimetres)
                return QLocale().toString(value / kTwipsPerCm, 'f', 2);
            return QString::number(value / 1440);
        };
        return QStringLiteral("'%1' is out of range: the value must lie between %2 and %3 %4")
            .arg(text, shown(least), shown(kMostTwips), unit);
    }
    return roundEven(twips);
}

} // namespace

void TParagraphPropDlg::EditChange(QLineEdit *edit)
{
    int32_t *value = valueOf(edit);
    if (!value)
        return;
    // While the user types, a text that is no number yet ("-", "1.") keeps
    // the value it had; the edit is checked when it is left and on OK.
    const auto result = twipsOf(edit->text(), holdsPoints(edit), centimetres());
    if (const int32_t *twips = std::get_if<int32_t>(&result))
        *value = *twips;
    if (edit == LeftIndent && FirstIndentCombo->currentText() == kSameAsLeft)
        FirstIndent->setText(LeftIndent->text());
}

bool TParagraphPropDlg::CheckEdit(QLineEdit *edit)
{
    const auto result = twipsOf(edit->text(), holdsPoints(edit), centimetres());
    const QString *message = std::get_if<QString>(&result);
    if (!message)
        return true;
    // The value stays as it was; the dialog stays open on the edit.
    ShowInformation(*message);
    edit->setFocus();
    edit->selectAll();
    return false;
}

bool TParagraphPropDlg::eventFilter(QObject *watched, QEvent *event)
{
    auto *edit = qobject_cast<QLineEdit *>(watched);
    if (edit && event->type() == QEvent::FocusOut && valueOf(edit)) {
        // Checked once the focus has moved (a message box opened inside the
        // focus change would swallow the click that moved it); leaving for
        // Cancel needs no check, nor an edit that has the focus back.
        QPointer<QLineEdit> left(edit);
        QTimer::singleShot(0, this, [this, left] {
            if (left && isVisible() && !left->hasFocus() &&
                QApplication::focusWidget() != CancelButton)
                CheckEdit(left);
        });
    }
    return QDialog::eventFilter(watched, event);
}

void TParagraphPropDlg::ComboBox1Change()
{
    ShowValues();
    SetHints();
}

void TParagraphPropDlg::FirstIndentComboClick()
{
    if (FirstIndentCombo->currentText() == kSameAsLeft)
        FirstIndent->setText(LeftIndent->text());
    FirstIndent->setEnabled(FirstIndentCombo->currentText() == kIndentedBy);
}

void TParagraphPropDlg::SetHints()
{
    const QString unit =
        ComboBox1->currentIndex() == 1 ? QStringLiteral("centimeters") : QStringLiteral("inches");
    LeftIndent->setToolTip(QStringLiteral("Specify left indent for the paragraph in ") + unit);
    RightIndent->setToolTip(QStringLiteral("Specify right indent for the paragraph in ") + unit);
    FirstIndent->setToolTip(QStringLiteral("Specify first line indent for the paragraph in ") +
                            unit);
}

void TParagraphPropDlg::OkbuttonClick()
{
    // An edit that still shows a refused text would otherwise apply an older
    // value than the one on screen: say so and stay open.
    for (QLineEdit *edit :
         {LeftIndent, RightIndent, FirstIndent, SpaceBeforePts, SpaceAfterPts, LineHeightPts})
        if (!CheckEdit(edit))
            return;
    if (Editor) {
        // Spacing and indents are one step of the editor's history.
        TQnCustomRtfEdit::UndoRecord record(*Editor, UndoKind::Other);
        Editor->SetParagraphSpacing(SpaceBeforeValue, LineHeightValue, SpaceAfterValue);
        Editor->SetParagraphIndents(FirstIndentValue, LeftIndentValue, RightIndentValue);
    }
    done(mrOk);
}

} // namespace qn
