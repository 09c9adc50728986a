#include "platform/qt/qt_canvas.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QPaintEngine>
#include <QRawFont>

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>

#include "platform/ansi.h"
#include "platform/unicode_text.h"
#include "platform/winmath.h"

namespace qn {

// One font at one size: the font, its raw form for placing glyphs, its
// metrics, and for each Windows-1252 code its character, glyph and advance.
struct QtFontEntry {
    QFont Font;
    QRawFont Raw;
    FontMetrics Metrics;
    int16_t Widths[256] = {};
    char16_t Chars[256] = {};
    quint32 Glyphs[256] = {}; // 0: not in the raw font, drawn through fallback
    // Advances of characters and clusters beyond the code page, as Qt draws
    // them (with its font fallback), measured once.
    mutable std::unordered_map<std::u32string, int16_t> WideWidths;
};

namespace {

// The symbol font's codes that documents use for list bullets, as the
// characters they show; fontconfig has no such font to offer.
char16_t symbolFontChar(unsigned char code)
{
    switch (code) {
    case 'l':
        return u'\u25CF'; // black circle: the list bullet
    case 'n':
        return u'\u25A0'; // black square
    case 'q':
        return u'\u2751'; // shadowed square
    case 'u':
        return u'\u25C6'; // black diamond
    case 'v':
        return u'\u2756'; // diamond with a dot
    case 0xA7:
        return u'\u25AA'; // small black square
    case 0xD8:
        return u'\u27A2'; // arrowhead
    case 0xFC:
        return u'\u2714'; // check mark
    default:
        return char16_t(AnsiToUnicode(code));
    }
}

std::string lowerAscii(std::string s)
{
    for (char &c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

std::unordered_map<std::string, std::shared_ptr<QtFontEntry>> &fontCache()
{
    // Kept for the life of the process: fonts are asked for again and again
    // while a document is measured, and the cache must not be torn down
    // after the application object.
    static auto *cache = new std::unordered_map<std::string, std::shared_ptr<QtFontEntry>>;
    return *cache;
}

std::shared_ptr<QtFontEntry> makeFontEntry(const std::string &name, int em, bool bold, bool italic,
                                           bool printer)
{
    auto e = std::make_shared<QtFontEntry>();
    e->Font = QFont(QString::fromLatin1(name.data(), qsizetype(name.size())));
    e->Font.setPixelSize(std::max(1, em));
    e->Font.setBold(bold);
    e->Font.setItalic(italic);
    e->Font.setKerning(false);
    if (printer)
        e->Font.setHintingPreference(QFont::PreferNoHinting);
    e->Raw = QRawFont::fromFont(e->Font);
    QFontMetrics fm(e->Font);
    FontMetrics &m = e->Metrics;
    m.Ascent = fm.ascent();
    m.Descent = fm.descent();
    m.Height = m.Ascent + m.Descent;
    m.InternalLeading = std::max(0, m.Height - std::max(1, em));
    m.ExternalLeading = std::max(0, fm.leading());
    m.UnderlinePosition = std::max(1, fm.underlinePos());
    m.UnderlineThickness = std::max(1, fm.lineWidth());

    const bool symbol = lowerAscii(name) == "wingdings";
    for (int c = 0; c < 256; ++c)
        e->Chars[c] = symbol ? symbolFontChar(static_cast<unsigned char>(c))
                             : char16_t(AnsiToUnicode(static_cast<unsigned char>(c)));
    const int blank = fm.horizontalAdvance(QChar(u' '));
    for (int c = 0; c < 256; ++c) {
        const char16_t ch = e->Chars[c];
        // Control codes (and the undefined codes, which map to C1 controls)
        // measure as a blank.
        const bool control = ch < 0x20 || (ch >= 0x7F && ch < 0xA0);
        e->Widths[c] = static_cast<int16_t>(control ? blank : fm.horizontalAdvance(QChar(ch)));
        if (control) {
            e->Glyphs[c] = 0;
            continue;
        }
        QList<quint32> idx =
            e->Raw.isValid() ? e->Raw.glyphIndexesForString(QString(QChar(ch))) : QList<quint32>();
        e->Glyphs[c] = idx.size() == 1 ? idx[0] : 0;
    }
    return e;
}

} // namespace

// ---------------------------------------------------------------------------
// Construction

QtCanvas::QtCanvas(QImage *image, int ppiX, int ppiY) : image_(image)
{
    ownPainter_ = std::make_unique<QPainter>(image);
    painter_ = ownPainter_.get();
    technology_ = kTechnologyDisplay;
    ppiX_ = ppiX > 0 ? ppiX : image->logicalDpiX();
    ppiY_ = ppiY > 0 ? ppiY : image->logicalDpiY();
    init();
}

QtCanvas::QtCanvas(QPagedPaintDevice *device) : paged_(device)
{
    if (device->paintingActive()) {
        painter_ = device->paintEngine() ? device->paintEngine()->painter() : nullptr;
    }
    if (!painter_) {
        ownPainter_ = std::make_unique<QPainter>(device);
        painter_ = ownPainter_.get();
    }
    technology_ = kTechnologyPrinter;
    ppiX_ = device->logicalDpiX();
    ppiY_ = device->logicalDpiY();
    printerFonts_ = true;
    init();
}

QtCanvas::QtCanvas(QPainter *painter, int technology, int ppiX, int ppiY)
    : painter_(painter), technology_(technology), ppiX_(ppiX), ppiY_(ppiY)
{
    printerFonts_ = technology != kTechnologyDisplay;
    init();
}

QtCanvas::~QtCanvas()
{
    End();
}

void QtCanvas::init()
{
    if (ppiX_ <= 0)
        ppiX_ = 96;
    if (ppiY_ <= 0)
        ppiY_ = 96;
    if (QGuiApplication::instance())
        palette_ = QGuiApplication::palette();
    if (painter_) {
        painter_->setRenderHint(QPainter::Antialiasing, false);
        painter_->setRenderHint(QPainter::TextAntialiasing, true);
    }
    SelectFont(FontSpec{});
}

void QtCanvas::End()
{
    if (ownPainter_ && ownPainter_->isActive())
        ownPainter_->end();
}

bool QtCanvas::NewPage()
{
    return paged_ && paged_->newPage();
}

int QtCanvas::DeviceWidth() const
{
    if (image_)
        return image_->width();
    return painter_ && painter_->device() ? painter_->device()->width() : 0;
}

int QtCanvas::DeviceHeight() const
{
    if (image_)
        return image_->height();
    return painter_ && painter_->device() ? painter_->device()->height() : 0;
}

ColorRef QtCanvas::ResolveColor(ColorRef color) const
{
    if (!IsSystemColor(color))
        return color & 0x00FFFFFF;
    QPalette::ColorRole role;
    switch (color & 0xFF) {
    case 5:
        role = QPalette::Base;
        break;
    case 8:
        role = QPalette::Text;
        break;
    case 13:
        role = QPalette::Highlight;
        break;
    case 14:
        role = QPalette::HighlightedText;
        break;
    case 15:
        role = QPalette::Button;
        break;
    case 16:
        role = QPalette::Dark;
        break;
    case 20:
        role = QPalette::Light;
        break;
    default:
        return DefaultSystemColor(color);
    }
    const QColor c = palette_.color(QPalette::Active, role);
    return Rgb(c.red(), c.green(), c.blue());
}

QColor QtCanvas::qcolor(ColorRef c) const
{
    const ColorRef rgb = ResolveColor(c);
    return QColor(RedOf(rgb), GreenOf(rgb), BlueOf(rgb));
}

// ---------------------------------------------------------------------------
// Fonts

void QtCanvas::SelectFont(const FontSpec &font)
{
    textColor_ = font.Color;
    const int em = font.PixelHeight > 0 ? font.PixelHeight : MulDiv(font.SizePoints, ppiY_, 72);
    if (fontEntry_ && font.Name == font_.Name && font.Bold == font_.Bold &&
        font.Italic == font_.Italic && em == fontEntry_->Font.pixelSize()) {
        font_ = font;
        return;
    }
    font_ = font;
    std::string key = lowerAscii(font.Name);
    key += '|';
    key += std::to_string(std::max(1, em));
    key += font.Bold ? "b" : "-";
    key += font.Italic ? "i" : "-";
    key += printerFonts_ ? "p" : "s";
    auto &cache = fontCache();
    auto it = cache.find(key);
    if (it == cache.end())
        it = cache.emplace(key, makeFontEntry(font.Name, em, font.Bold, font.Italic, printerFonts_))
                 .first;
    fontEntry_ = it->second;
}

FontMetrics QtCanvas::Metrics() const
{
    return fontEntry_->Metrics;
}

const int16_t *QtCanvas::CharWidths() const
{
    return fontEntry_->Widths;
}

int QtCanvas::WideCharWidth(char32_t c) const
{
    return ClusterWidth(std::u32string_view(&c, 1));
}

int QtCanvas::ClusterWidth(std::u32string_view cluster) const
{
    QtFontEntry &e = *fontEntry_;
    const std::u32string key(cluster);
    auto it = e.WideWidths.find(key);
    if (it != e.WideWidths.end())
        return it->second;
    const QString text = QString::fromUcs4(cluster.data(), qsizetype(cluster.size()));
    const int w = std::clamp(QFontMetrics(e.Font).horizontalAdvance(text), 0, 0x7FFF);
    if (e.WideWidths.size() < 4096)
        e.WideWidths.emplace(key, static_cast<int16_t>(w));
    return w;
}

void QtCanvas::DrawGlyphs(int x, int baseline, std::u32string_view text)
{
    if (!painter_)
        return;
    // Text of the code page alone takes the glyph path in one go.
    std::string &run = run_;
    run.clear();
    for (char32_t c : text) {
        const int code = c < 0x80 ? int(c) : (c < 0x300 ? AnsiCode(c) : -1);
        if (code < 0)
            break;
        run.push_back(static_cast<char>(code));
    }
    if (run.size() == text.size()) {
        DrawGlyphs(x, baseline, std::string_view(run));
        return;
    }
    run.clear();
    // Otherwise runs of the code page still take the glyph path; every other
    // cluster is drawn as a string, so that Qt shapes it and falls back to a
    // font that has it, at the advance measuring gave it.
    int offset = 0;
    int runStart = 0;
    auto flush = [&] {
        if (run.empty())
            return;
        const bool underline = font_.Underline, strikeout = font_.Strikeout;
        font_.Underline = font_.Strikeout = false;
        DrawGlyphs(x + runStart, baseline, std::string_view(run));
        font_.Underline = underline;
        font_.Strikeout = strikeout;
        run.clear();
    };
    for (size_t i = 0; i < text.size();) {
        const size_t next = i + 1 == text.size() || text[i + 1] < 0x300
                                ? i + 1
                                : unicode::NextGraphemeBoundary(text, i);
        const int code = next == i + 1 ? AnsiCode(text[i]) : -1;
        if (code >= 0) {
            if (run.empty())
                runStart = offset;
            run.push_back(static_cast<char>(code));
            offset += fontEntry_->Widths[code];
        } else {
            flush();
            const std::u32string_view cluster = text.substr(i, next - i);
            painter_->setPen(qcolor(textColor_));
            painter_->setFont(fontEntry_->Font);
            painter_->drawText(QPointF(x + offset, baseline),
                               QString::fromUcs4(cluster.data(), qsizetype(cluster.size())));
            offset += ClusterWidth(cluster);
        }
        i = next;
    }
    flush();
    drawTextLines(x, baseline, offset);
}

// The underline and the strike-out line of the font under `width` pixels of
// text drawn at (x, baseline).
void QtCanvas::drawTextLines(int x, int baseline, int width)
{
    const FontMetrics &m = fontEntry_->Metrics;
    if (font_.Underline)
        painter_->fillRect(QRect(x, baseline + m.UnderlinePosition, width, m.UnderlineThickness),
                           qcolor(textColor_));
    if (font_.Strikeout)
        painter_->fillRect(QRect(x, baseline - m.Ascent / 3, width, m.UnderlineThickness),
                           qcolor(textColor_));
}

void QtCanvas::DrawGlyphs(int x, int baseline, std::string_view text)
{
    if (!painter_)
        return;
    const QtFontEntry &e = *fontEntry_;
    painter_->setPen(qcolor(textColor_));
    QList<quint32> glyphs;
    QList<QPointF> positions;
    glyphs.reserve(qsizetype(text.size()));
    positions.reserve(qsizetype(text.size()));
    int offset = 0;
    for (unsigned char c : text) {
        if (e.Glyphs[c]) {
            glyphs.push_back(e.Glyphs[c]);
            positions.push_back(QPointF(offset, 0));
        } else if (e.Chars[c] >= 0x20 && !(e.Chars[c] >= 0x7F && e.Chars[c] < 0xA0)) {
            // Not in this font: the character as the system's fallback draws it.
            painter_->setFont(e.Font);
            painter_->drawText(QPointF(x + offset, baseline), QString(QChar(e.Chars[c])));
        }
        offset += e.Widths[c];
    }
    if (!glyphs.isEmpty()) {
        QGlyphRun run;
        run.setRawFont(e.Raw);
        run.setGlyphIndexes(glyphs);
        run.setPositions(positions);
        painter_->drawGlyphRun(QPointF(x, baseline), run);
    }
    drawTextLines(x, baseline, offset);
}

// ---------------------------------------------------------------------------
// Lines and shapes

QPen QtCanvas::qpen() const
{
    QPen pen(qcolor(penColor_));
    pen.setWidth(penWidth_);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    // The dash patterns of the original devices, in pen widths.
    switch (penStyle_) {
    case PenStyle::Solid:
        pen.setStyle(Qt::SolidLine);
        break;
    case PenStyle::Dash:
        pen.setDashPattern({6, 2});
        break;
    case PenStyle::Dot:
        pen.setDashPattern({1, 1});
        break;
    case PenStyle::DashDot:
        pen.setDashPattern({3, 2, 1, 2});
        break;
    case PenStyle::DashDotDot:
        pen.setDashPattern({3, 1, 1, 1, 1, 1});
        break;
    case PenStyle::None:
        pen.setStyle(Qt::NoPen);
        break;
    }
    if (penStyle_ != PenStyle::Solid && penStyle_ != PenStyle::None) {
        // Patterns are given in pixels for one-pixel pens.
        QList<qreal> p = pen.dashPattern();
        for (qreal &v : p)
            v *= 3.0 / penWidth_;
        pen.setDashPattern(p);
    }
    return pen;
}

void QtCanvas::DrawLineSegment(CanvasPoint from, CanvasPoint to)
{
    if (!painter_)
        return;
    const int w = penWidth_;
    if (penStyle_ == PenStyle::Solid && (from.X == to.X || from.Y == to.Y)) {
        // Straight solid lines as exact pixel bands, centred on the line.
        const int x0 = std::min(from.X, to.X), x1 = std::max(from.X, to.X);
        const int y0 = std::min(from.Y, to.Y), y1 = std::max(from.Y, to.Y);
        const int half = (w - 1) / 2;
        if (from.Y == to.Y)
            painter_->fillRect(QRect(x0, y0 - half, x1 - x0 + 1, w), qcolor(penColor_));
        else
            painter_->fillRect(QRect(x0 - half, y0, w, y1 - y0 + 1), qcolor(penColor_));
        return;
    }
    painter_->setPen(qpen());
    const QPointF a(from.X + 0.5, from.Y + 0.5), b(to.X + 0.5, to.Y + 0.5);
    if (a == b)
        painter_->drawPoint(a);
    else
        painter_->drawLine(QLineF(a, b + (b - a) / QLineF(a, b).length()));
}

void QtCanvas::Rectangle(const CanvasRect &r)
{
    if (!painter_ || r.IsEmpty())
        return;
    const bool pen = penStyle_ != PenStyle::None;
    if (brushStyle_ == BrushStyle::Solid) {
        // Without a pen the brush stops one pixel short, as on the original devices.
        CanvasRect inner = pen ? r : CanvasRect{r.Left, r.Top, r.Right - 1, r.Bottom - 1};
        FillRect(inner, brushColor_);
    }
    if (!pen)
        return;
    const CanvasPoint saved = current_;
    MoveTo(r.Left, r.Top);
    LineTo(r.Right - 1, r.Top);
    LineTo(r.Right - 1, r.Bottom - 1);
    LineTo(r.Left, r.Bottom - 1);
    LineTo(r.Left, r.Top);
    current_ = saved;
}

void QtCanvas::RoundRect(const CanvasRect &r, int ellipseWidth, int ellipseHeight)
{
    if (!painter_ || r.IsEmpty())
        return;
    painter_->save();
    painter_->setPen(penStyle_ == PenStyle::None ? QPen(Qt::NoPen) : qpen());
    if (brushStyle_ == BrushStyle::Solid)
        painter_->setBrush(qcolor(brushColor_));
    else
        painter_->setBrush(Qt::NoBrush);
    painter_->drawRoundedRect(QRectF(r.Left + 0.5, r.Top + 0.5, r.Width() - 1, r.Height() - 1),
                              ellipseWidth / 2.0, ellipseHeight / 2.0);
    painter_->restore();
}

void QtCanvas::FillRect(const CanvasRect &r, ColorRef color)
{
    if (painter_ && !r.IsEmpty())
        painter_->fillRect(QRect(r.Left, r.Top, r.Width(), r.Height()), qcolor(color));
}

void QtCanvas::SetPixel(int x, int y, ColorRef color)
{
    if (painter_)
        painter_->fillRect(QRect(x, y, 1, 1), qcolor(color));
}

ColorRef QtCanvas::GetPixel(int x, int y) const
{
    if (!image_ || !image_->valid(x, y))
        return 0xFFFFFFFF;
    const QRgb p = image_->pixel(x, y);
    return Rgb(qRed(p), qGreen(p), qBlue(p));
}

// ---------------------------------------------------------------------------
// Bitmaps

QImage ToQImage(const CanvasBitmap &bitmap)
{
    QImage image(bitmap.Width, bitmap.Height, QImage::Format_ARGB32);
    for (int y = 0; y < bitmap.Height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < bitmap.Width; ++x) {
            const ColorRef c = bitmap.At(x, y);
            row[x] = qRgb(RedOf(c), GreenOf(c), BlueOf(c));
        }
    }
    return image;
}

CanvasBitmap ToCanvasBitmap(const QImage &source)
{
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    CanvasBitmap bitmap(image.width(), image.height());
    for (int y = 0; y < image.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            bitmap.Set(x, y, Rgb(qRed(row[x]), qGreen(row[x]), qBlue(row[x])));
    }
    return bitmap;
}

void QtCanvas::DrawBitmap(const CanvasRect &dest, const CanvasBitmap &bitmap)
{
    if (painter_ && !bitmap.IsEmpty() && !dest.IsEmpty())
        painter_->drawImage(QRect(dest.Left, dest.Top, dest.Width(), dest.Height()),
                            ToQImage(bitmap));
}

void QtCanvas::DrawTransparentBitmap(int x, int y, const CanvasBitmap &bitmap, ColorRef transparent)
{
    if (!painter_ || bitmap.IsEmpty())
        return;
    QImage image = ToQImage(bitmap);
    for (int yy = 0; yy < bitmap.Height; ++yy) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(yy));
        for (int xx = 0; xx < bitmap.Width; ++xx)
            if (bitmap.At(xx, yy) == transparent)
                row[xx] = 0;
    }
    painter_->drawImage(QPoint(x, y), image);
}

void QtCanvas::DrawMask(int x, int y, const CanvasBitmap &mask, ColorRef color)
{
    if (!painter_ || mask.IsEmpty())
        return;
    const QColor c = qcolor(color);
    QImage image(mask.Width, mask.Height, QImage::Format_ARGB32);
    for (int yy = 0; yy < mask.Height; ++yy) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(yy));
        for (int xx = 0; xx < mask.Width; ++xx)
            row[xx] = (mask.At(xx, yy) & 0x00FFFFFF) == 0 ? c.rgb() : 0;
    }
    painter_->drawImage(QPoint(x, y), image);
}

QImage DibToImage(const uint8_t *dib, size_t size)
{
    auto u32 = [&](size_t at) {
        uint32_t v = 0;
        std::memcpy(&v, dib + at, 4);
        return v;
    };
    auto u16 = [&](size_t at) { return uint32_t(dib[at]) | (uint32_t(dib[at + 1]) << 8); };
    if (!dib || size < 12)
        return {};
    const uint32_t headerSize = u32(0);
    if (headerSize < 12 || headerSize > size)
        return {};
    size_t palette = 0;
    if (headerSize == 12) {
        const uint32_t bpp = u16(10);
        palette = bpp <= 8 ? (size_t(1) << bpp) * 3 : 0;
    } else {
        if (size < 40)
            return {};
        const uint32_t bpp = u16(14);
        const uint32_t compression = u32(16);
        const uint32_t used = u32(32);
        if (used > 65536)
            return {};
        palette = size_t(used ? used : (bpp <= 8 ? 1u << bpp : 0)) * 4;
        if (compression == 3 && headerSize == 40)
            palette += 12;
    }
    const size_t bitsOffset = 14 + headerSize + palette;
    if (bitsOffset - 14 > size)
        return {};
    QByteArray file;
    file.reserve(qsizetype(size + 14));
    file.append("BM", 2);
    auto put32 = [&](uint32_t v) {
        char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
        file.append(b, 4);
    };
    put32(uint32_t(size + 14));
    put32(0);
    put32(uint32_t(bitsOffset));
    file.append(reinterpret_cast<const char *>(dib), qsizetype(size));
    return QImage::fromData(file, "BMP");
}

bool QtCanvas::DrawDib(const CanvasRect &dest, const uint8_t *dib, size_t size)
{
    const QImage image = DibToImage(dib, size);
    if (image.isNull())
        return false;
    if (painter_ && !dest.IsEmpty()) {
        painter_->save();
        painter_->setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter_->drawImage(QRect(dest.Left, dest.Top, dest.Width(), dest.Height()), image);
        painter_->restore();
    }
    return true;
}

// ---------------------------------------------------------------------------
// Clipping and scrolling

void QtCanvas::SetClipRect(const CanvasRect &r)
{
    hasClip_ = true;
    clip_ = r;
    if (painter_)
        painter_->setClipRect(QRect(r.Left, r.Top, std::max(0, r.Width()), std::max(0, r.Height())),
                              Qt::ReplaceClip);
}

void QtCanvas::ClearClip()
{
    hasClip_ = false;
    clip_ = {};
    if (painter_)
        painter_->setClipping(false);
}

void QtCanvas::ScrollRect(int dx, int dy, const CanvasRect &scroll, const CanvasRect &clip)
{
    // Only a surface in memory holds pixels that can move.
    if (!image_ || !painter_ || scroll.IsEmpty())
        return;
    const QRect source(scroll.Left, scroll.Top, scroll.Width(), scroll.Height());
    const QImage piece = image_->copy(source);
    painter_->save();
    painter_->setClipRect(QRect(clip.Left, clip.Top, clip.Width(), clip.Height()));
    painter_->setCompositionMode(QPainter::CompositionMode_Source);
    painter_->drawImage(QPoint(scroll.Left + dx, scroll.Top + dy), piece);
    painter_->restore();
}

} // namespace qn
