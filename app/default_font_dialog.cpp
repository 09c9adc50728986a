#include "app/default_font_dialog.h"

#include <QColorDialog>
#include <QFontDialog>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace qn {

QColor ColorOfWindowsValue(uint32_t value)
{
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

uint32_t WindowsValueOfColor(const QColor &color)
{
    return uint32_t(color.red()) | uint32_t(color.green()) << 8 | uint32_t(color.blue()) << 16;
}

TDefaultFontDialog::TDefaultFontDialog(const QFont &stored, uint32_t color, QWidget *parent)
    : QDialog(parent), storedFamily_(stored.family())
{
    setWindowTitle(QStringLiteral("Default Font"));
    // What fontconfig substitutes for the stored name is what entries show.
    shownFamily_ = QFontInfo(stored).family();
    QFont shown = stored;
    shown.setFamily(shownFamily_);

    FontChooser = new QFontDialog(this);
    FontChooser->setWindowFlags(Qt::Widget);
    FontChooser->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
    FontChooser->setCurrentFont(shown);

    FontNote = new QLabel(this);
    FontNote->setWordWrap(true);
    if (shownFamily_.compare(storedFamily_, Qt::CaseInsensitive) == 0)
        FontNote->setText(QStringLiteral("Font of new entries: %1").arg(storedFamily_));
    else
        FontNote->setText(QStringLiteral("Font of new entries: %1 (not installed here; shown as "
                                         "its nearest match, %2). It stays %1 unless you pick "
                                         "another font.")
                              .arg(storedFamily_, shownFamily_));

    ColorLabel = new QLabel(QStringLiteral("Colour:"), this);
    ColorButton = new QPushButton(this);
    ColorButton->setObjectName(QStringLiteral("ColorButton"));
    ColorButton->setToolTip(QStringLiteral("Choose the colour of new entries' text"));
    OkButton = new QPushButton(QStringLiteral("OK"), this);
    OkButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);

    auto *colorRow = new QHBoxLayout;
    colorRow->addWidget(ColorLabel);
    colorRow->addWidget(ColorButton);
    colorRow->addStretch();
    colorRow->addWidget(OkButton);
    colorRow->addWidget(CancelButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(FontNote);
    layout->addWidget(FontChooser, 1);
    layout->addLayout(colorRow);

    connect(ColorButton, &QPushButton::clicked, this, &TDefaultFontDialog::ColorButtonClick);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    SetColor(color);
}

QFont TDefaultFontDialog::ChosenFont() const
{
    QFont font = FontChooser->currentFont();
    if (font.family() == shownFamily_)
        font.setFamily(storedFamily_);
    return font;
}

void TDefaultFontDialog::SetColor(uint32_t color)
{
    color_ = color & 0xFFFFFF;
    const QColor shown = ColorOfWindowsValue(color_);
    QPixmap swatch(28, 14);
    swatch.fill(shown);
    ColorButton->setIcon(QIcon(swatch));
    ColorButton->setIconSize(swatch.size());
    ColorButton->setText(shown.name(QColor::HexRgb).toUpper());
}

void TDefaultFontDialog::ColorButtonClick()
{
    QColor color = ColorOfWindowsValue(color_);
    bool ok = false;
    if (AskColor) {
        ok = AskColor(color);
    } else {
        const QColor chosen =
            QColorDialog::getColor(color, this, QStringLiteral("Colour of new entries"));
        ok = chosen.isValid();
        color = chosen;
    }
    if (ok && color.isValid())
        SetColor(WindowsValueOfColor(color));
}

} // namespace qn
