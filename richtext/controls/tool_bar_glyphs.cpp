// Pictures of the tool bar's icons. Every picture is drawn on a transparent
// 16 x 16 pixmap with the pen colours a 16-colour bitmap could hold.
#include "richtext/controls/tool_bar_glyphs.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

#include <functional>
#include <map>

namespace qn {

namespace {

const QColor kBlack(0, 0, 0);
const QColor kNavy(0, 0, 128);
const QColor kMaroon(128, 0, 0);
const QColor kGreen(0, 128, 0);
const QColor kTeal(0, 128, 128);
const QColor kGray(128, 128, 128);
const QColor kSilver(192, 192, 192);
const QColor kWhite(255, 255, 255);
const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kYellow(255, 255, 0);
const QColor kLime(0, 255, 0);

using Painter = std::function<void(QPainter &)>;

void letter(QPainter &p, const QString &text, bool bold, bool italic, bool underline, bool strike,
            const QColor &color = kBlack, int pixel = 13)
{
    QFont font(QStringLiteral("Times New Roman"));
    font.setPixelSize(pixel);
    font.setBold(bold);
    font.setItalic(italic);
    font.setUnderline(underline);
    font.setStrikeOut(strike);
    font.setStyleStrategy(QFont::NoAntialias);
    p.setFont(font);
    p.setPen(color);
    p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, text);
}

// Four text lines of a paragraph; lefts and rights per line.
void paragraphLines(QPainter &p, const int (&lefts)[5], const int (&rights)[5])
{
    p.setPen(kBlack);
    for (int i = 0; i < 5; ++i)
        p.drawLine(lefts[i], 2 + 3 * i, rights[i], 2 + 3 * i);
}

void page(QPainter &p, const QColor &fill = kWhite)
{
    p.setPen(kBlack);
    p.setBrush(fill);
    QPolygon outline({QPoint(3, 1), QPoint(10, 1), QPoint(13, 4), QPoint(13, 14), QPoint(3, 14)});
    p.drawPolygon(outline);
    p.drawLine(10, 1, 10, 4);
    p.drawLine(10, 4, 13, 4);
    p.setBrush(Qt::NoBrush);
}

void printer(QPainter &p)
{
    p.setPen(kBlack);
    p.setBrush(kWhite);
    p.drawRect(4, 1, 7, 5);
    p.setBrush(kSilver);
    p.drawRect(1, 6, 13, 6);
    p.setBrush(kWhite);
    p.drawRect(3, 10, 9, 4);
    p.setPen(kLime);
    p.drawPoint(12, 8);
    p.setBrush(Qt::NoBrush);
}

void triangle(QPainter &p, bool right, int x, const QColor &color)
{
    p.setPen(color);
    p.setBrush(color);
    if (right)
        p.drawPolygon(QPolygon({QPoint(x, 3), QPoint(x + 5, 8), QPoint(x, 13)}));
    else
        p.drawPolygon(QPolygon({QPoint(x + 5, 3), QPoint(x, 8), QPoint(x + 5, 13)}));
    p.setBrush(Qt::NoBrush);
}

void bar(QPainter &p, int x, const QColor &color)
{
    p.fillRect(x, 3, 2, 11, color);
}

void magnifier(QPainter &p)
{
    p.setPen(QPen(kNavy, 2));
    p.drawEllipse(2, 2, 7, 7);
    p.drawLine(9, 9, 13, 13);
}

const std::map<QString, Painter> &painters()
{
    static const std::map<QString, Painter> table = {
        {"NORMAL", [](QPainter &p) { letter(p, "A", false, false, false, false); }},
        {"BOLD", [](QPainter &p) { letter(p, "B", true, false, false, false); }},
        {"ITALIC", [](QPainter &p) { letter(p, "I", true, true, false, false); }},
        {"UNDER", [](QPainter &p) { letter(p, "U", true, false, true, false); }},
        {"STRIKEOUT", [](QPainter &p) { letter(p, "S", true, false, false, true); }},
        {"HYPERLINK", [](QPainter &p) { letter(p, "H", false, false, true, false, kBlue); }},
        {"SUPER",
         [](QPainter &p) {
             letter(p, "x", false, false, false, false, kBlack, 12);
             p.setPen(kRed);
             p.drawText(QRect(9, 0, 7, 8), Qt::AlignCenter, "2");
         }},
        {"SUB",
         [](QPainter &p) {
             letter(p, "x", false, false, false, false, kBlack, 12);
             p.setPen(kRed);
             p.drawText(QRect(9, 8, 7, 8), Qt::AlignCenter, "2");
         }},
        {"HIDDEN",
         [](QPainter &p) {
             letter(p, "H", false, false, false, false, kGray);
             p.setPen(QPen(kGray, 1, Qt::DotLine));
             p.drawLine(1, 14, 15, 14);
         }},
        {"RTFCODE",
         [](QPainter &p) { letter(p, "{\\}", false, false, false, false, kMaroon, 10); }},
        {"LEFT",
         [](QPainter &p) {
             paragraphLines(p, {1, 1, 1, 1, 1}, {14, 10, 13, 8, 12});
         }},
        {"RIGHT",
         [](QPainter &p) {
             paragraphLines(p, {1, 5, 2, 7, 3}, {14, 14, 14, 14, 14});
         }},
        {"CENTER",
         [](QPainter &p) {
             paragraphLines(p, {1, 3, 2, 4, 3}, {14, 12, 13, 11, 12});
         }},
        {"JUSTIFIED",
         [](QPainter &p) {
             paragraphLines(p, {1, 1, 1, 1, 1}, {14, 14, 14, 14, 9});
         }},
        {"NEW", [](QPainter &p) { page(p); }},
        {"OPEN",
         [](QPainter &p) {
             p.setPen(kBlack);
             p.setBrush(kYellow);
             p.drawPolygon(QPolygon({QPoint(1, 4), QPoint(5, 4), QPoint(6, 5), QPoint(12, 5),
                                     QPoint(12, 13), QPoint(1, 13)}));
             p.setBrush(QColor(128, 128, 0));
             p.drawPolygon(QPolygon({QPoint(3, 8), QPoint(15, 8), QPoint(12, 13), QPoint(1, 13)}));
         }},
        {"SAVE",
         [](QPainter &p) {
             p.setPen(kBlack);
             p.setBrush(kNavy);
             p.drawRect(1, 1, 13, 13);
             p.setBrush(kWhite);
             p.drawRect(4, 1, 7, 5);
             p.setBrush(kSilver);
             p.drawRect(4, 9, 7, 5);
         }},
        {"CLOSE",
         [](QPainter &p) {
             page(p);
             p.setPen(QPen(kRed, 2));
             p.drawLine(5, 7, 11, 13);
             p.drawLine(11, 7, 5, 13);
         }},
        {"EXIT",
         [](QPainter &p) {
             p.setPen(kBlack);
             p.setBrush(kMaroon);
             p.drawRect(2, 1, 8, 13);
             p.setPen(kRed);
             p.setBrush(kRed);
             p.drawPolygon(QPolygon({QPoint(8, 8), QPoint(12, 4), QPoint(12, 12)}));
             p.drawRect(12, 7, 2, 2);
         }},
        {"PRINT", [](QPainter &p) { printer(p); }},
        {"PRINTSETUP",
         [](QPainter &p) {
             printer(p);
             p.setPen(kTeal);
             p.setBrush(kTeal);
             p.drawEllipse(10, 0, 5, 5);
         }},
        {"TOSTART",
         [](QPainter &p) {
             bar(p, 2, kNavy);
             triangle(p, false, 5, kNavy);
         }},
        {"PREV", [](QPainter &p) { triangle(p, false, 5, kNavy); }},
        {"NEXT", [](QPainter &p) { triangle(p, true, 6, kNavy); }},
        {"TOEND",
         [](QPainter &p) {
             triangle(p, true, 5, kNavy);
             bar(p, 12, kNavy);
         }},
        {"ADD",
         [](QPainter &p) {
             p.fillRect(7, 2, 2, 12, kGreen);
             p.fillRect(2, 7, 12, 2, kGreen);
         }},
        {"DEL", [](QPainter &p) { p.fillRect(2, 7, 12, 2, kRed); }},
        {"EDIT",
         [](QPainter &p) {
             p.setPen(QPen(kMaroon, 2));
             p.drawLine(3, 13, 12, 4);
             p.setPen(kBlack);
             p.drawLine(2, 14, 4, 14);
         }},
        {"CANCEL",
         [](QPainter &p) {
             p.setPen(QPen(kRed, 2));
             p.drawLine(3, 3, 12, 12);
             p.drawLine(12, 3, 3, 12);
         }},
        {"POST",
         [](QPainter &p) {
             p.setPen(QPen(kGreen, 2));
             p.drawLine(2, 8, 6, 12);
             p.drawLine(6, 12, 13, 3);
         }},
        {"SELALL",
         [](QPainter &p) {
             p.fillRect(1, 1, 14, 14, kNavy);
             p.setPen(kWhite);
             for (int y = 3; y <= 12; y += 3)
                 p.drawLine(3, y, 12, y);
         }},
        {"HIDESEL",
         [](QPainter &p) {
             p.setPen(kBlack);
             for (int y = 3; y <= 12; y += 3)
                 p.drawLine(3, y, 12, y);
             p.setPen(QPen(kNavy, 1, Qt::DotLine));
             p.drawRect(1, 1, 13, 13);
         }},
        {"CUT",
         [](QPainter &p) {
             p.setPen(kBlack);
             p.drawLine(5, 1, 9, 9);
             p.drawLine(10, 1, 6, 9);
             p.setPen(kNavy);
             p.drawEllipse(2, 9, 4, 4);
             p.drawEllipse(9, 9, 4, 4);
         }},
        {"COPY",
         [](QPainter &p) {
             p.setPen(kBlack);
             p.setBrush(kWhite);
             p.drawRect(1, 1, 8, 10);
             p.drawRect(6, 4, 8, 10);
             p.setPen(kNavy);
             for (int y = 7; y <= 11; y += 2)
                 p.drawLine(8, y, 12, y);
         }},
        {"PASTE",
         [](QPainter &p) {
             p.setPen(kBlack);
             p.setBrush(QColor(128, 128, 0));
             p.drawRect(1, 2, 10, 12);
             p.setBrush(kSilver);
             p.drawRect(4, 1, 4, 2);
             p.setBrush(kWhite);
             p.drawRect(7, 6, 7, 9);
         }},
        {"FIND", [](QPainter &p) { magnifier(p); }},
        {"FINDAGAIN",
         [](QPainter &p) {
             magnifier(p);
             p.setPen(kRed);
             p.drawText(QRect(9, 0, 7, 8), Qt::AlignCenter, "+");
         }},
        {"REPLACE",
         [](QPainter &p) {
             letter(p, "a", false, false, false, false, kBlack, 10);
             p.setPen(kRed);
             p.drawLine(2, 13, 13, 13);
             p.drawLine(11, 11, 13, 13);
         }},
        {"SPELL",
         [](QPainter &p) {
             QFont font(QStringLiteral("Arial"));
             font.setPixelSize(7);
             font.setBold(true);
             p.setFont(font);
             p.setPen(kBlack);
             p.drawText(QRect(0, 0, 16, 8), Qt::AlignCenter, "ABC");
             p.setPen(QPen(kGreen, 2));
             p.drawLine(3, 11, 6, 14);
             p.drawLine(6, 14, 13, 8);
         }},
        {"INDENT",
         [](QPainter &p) {
             paragraphLines(p, {1, 7, 7, 7, 1}, {14, 14, 14, 14, 14});
             triangle(p, true, 1, kNavy);
         }},
        {"UNINDENT",
         [](QPainter &p) {
             paragraphLines(p, {1, 7, 7, 7, 1}, {14, 14, 14, 14, 14});
             triangle(p, false, 1, kNavy);
         }},
        {"LOCKED",
         [](QPainter &p) {
             p.setPen(QPen(kGray, 2));
             p.drawArc(4, 1, 8, 10, 0, 180 * 16);
             p.fillRect(2, 7, 12, 8, QColor(128, 128, 0));
         }},
        // The main window's own buttons.
        {"PAGEBREAK",
         [](QPainter &p) {
             page(p);
             p.setPen(QPen(kBlue, 1, Qt::DashLine));
             p.drawLine(1, 8, 15, 8);
         }},
        {"PARAGRAPH",
         [](QPainter &p) { letter(p, QString(QChar(0x00B6)), true, false, false, false, kNavy); }},
        {"WORDWRAP",
         [](QPainter &p) {
             p.setPen(kBlack);
             p.drawLine(1, 3, 13, 3);
             p.drawLine(1, 8, 8, 8);
             p.drawLine(1, 13, 5, 13);
             p.setPen(kBlue);
             p.drawArc(8, 3, 6, 10, -90 * 16, 180 * 16);
             p.drawLine(11, 13, 9, 11);
             p.drawLine(11, 13, 9, 15);
         }},
        {"MARK_BLUE", [](QPainter &p) { p.fillRect(2, 4, 12, 8, kBlue); }},
        {"MARK_RED", [](QPainter &p) { p.fillRect(2, 4, 12, 8, kRed); }},
        {"UNDER_GREEN",
         [](QPainter &p) {
             letter(p, "U", false, false, false, false);
             p.fillRect(2, 13, 12, 2, kGreen);
         }},
        {"UNDER_RED",
         [](QPainter &p) {
             letter(p, "U", false, false, false, false);
             p.fillRect(2, 13, 12, 2, kRed);
         }},
    };
    return table;
}

} // namespace

QPixmap ToolBarGlyph(const QString &name)
{
    QString key = name.toUpper();
    if (key.startsWith(QLatin1String("QNI_")))
        key = key.mid(4);
    const auto it = painters().find(key);
    if (it == painters().end())
        return QPixmap();
    QPixmap pixmap(kToolBarGlyphSize, kToolBarGlyphSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    it->second(painter);
    return pixmap;
}

} // namespace qn
