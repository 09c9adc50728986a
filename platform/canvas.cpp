#include "platform/canvas.h"

#include <algorithm>
#include <cstdlib>

#include "platform/ansi.h"
#include "platform/unicode_text.h"

namespace qn {

ColorRef DefaultSystemColor(ColorRef systemColor)
{
    switch (systemColor & 0xFF) {
    case 5:
        return Rgb(255, 255, 255); // window
    case 8:
        return Rgb(0, 0, 0); // window text
    case 13:
        return Rgb(0, 0, 128); // highlight
    case 14:
        return Rgb(255, 255, 255); // highlight text
    case 15:
        return Rgb(192, 192, 192); // button face
    case 16:
        return Rgb(128, 128, 128); // button shadow
    case 20:
        return Rgb(255, 255, 255); // button highlight
    default:
        return Rgb(192, 192, 192);
    }
}

CanvasBitmap CanvasBitmap::MaskOf(ColorRef color) const
{
    CanvasBitmap mask(Width, Height, 0x00FFFFFF);
    for (size_t i = 0; i < Pixels.size(); ++i)
        if (Pixels[i] == color)
            mask.Pixels[i] = 0;
    return mask;
}

ColorRef Canvas::ResolveColor(ColorRef color) const
{
    return IsSystemColor(color) ? DefaultSystemColor(color) : (color & 0x00FFFFFF);
}

int Canvas::TextWidth(std::string_view text) const
{
    const int16_t *widths = CharWidths();
    int w = 0;
    for (unsigned char c : text)
        w += widths[c];
    return w;
}

int Canvas::WideCharWidth(char32_t) const
{
    return CharWidths()['?'];
}

int Canvas::ClusterWidth(std::u32string_view cluster) const
{
    int w = 0;
    for (char32_t c : cluster)
        w += CharWidth(c);
    return w;
}

int Canvas::TextWidth(std::u32string_view text) const
{
    const int16_t *widths = CharWidths();
    int w = 0;
    for (size_t i = 0; i < text.size();) {
        // Only characters from U+0300 on continue a cluster.
        if (i + 1 == text.size() || text[i + 1] < 0x300) {
            const char32_t c = text[i++];
            const int code = c < 0x80 ? int(c) : AnsiCode(c);
            w += code >= 0 ? widths[code] : WideCharWidth(c);
            continue;
        }
        const size_t next = unicode::NextGraphemeBoundary(text, i);
        w += next == i + 1 ? CharWidth(text[i]) : ClusterWidth(text.substr(i, next - i));
        i = next;
    }
    return w;
}

void Canvas::DrawGlyphs(int x, int baseline, std::u32string_view text)
{
    DrawGlyphs(x, baseline, ToAnsiLossy(text));
}

void Canvas::TextOut(int x, int y, std::string_view text)
{
    ExtTextOut(x, y, 0, nullptr, text);
}

void Canvas::ExtTextOut(int x, int y, unsigned options, const CanvasRect *rect,
                        std::string_view text)
{
    extTextOut(x, y, options, rect, text);
}

void Canvas::ExtTextOut(int x, int y, unsigned options, const CanvasRect *rect,
                        std::u32string_view text)
{
    extTextOut(x, y, options, rect, text);
}

template <typename Text>
void Canvas::extTextOut(int x, int y, unsigned options, const CanvasRect *rect, Text text)
{
    if (textAlign_ & kAlignUpdateCp) {
        x = current_.X;
        y = current_.Y;
    }
    const FontMetrics m = Metrics();
    const bool baseline = (textAlign_ & kAlignBaseline) == kAlignBaseline;
    const int top = baseline ? y - m.Ascent : y;
    // The width only for a background of the text's own or a moving
    // current position: measuring every run painted costs.
    const bool opaqueRect = rect && (options & kTextOpaque);
    const bool needWidth =
        (backgroundMode_ == BackgroundMode::Opaque && !opaqueRect) || (textAlign_ & kAlignUpdateCp);
    const int width = needWidth ? TextWidth(text) : 0;
    const bool clipped = rect && (options & kTextClipped);
    const bool hadClip = HasClip();
    const CanvasRect oldClip = ClipRect();
    if (clipped) {
        CanvasRect r = *rect;
        if (hadClip) {
            r.Left = std::max(r.Left, oldClip.Left);
            r.Top = std::max(r.Top, oldClip.Top);
            r.Right = std::min(r.Right, oldClip.Right);
            r.Bottom = std::min(r.Bottom, oldClip.Bottom);
        }
        SetClipRect(r);
    }
    if (opaqueRect)
        FillRect(*rect, backgroundColor_);
    else if (backgroundMode_ == BackgroundMode::Opaque && width > 0)
        FillRect({x, top, x + width, top + m.Height}, backgroundColor_);
    if (!text.empty())
        DrawGlyphs(x, top + m.Ascent, text);
    if (clipped) {
        if (hadClip)
            SetClipRect(oldClip);
        else
            ClearClip();
    }
    if (textAlign_ & kAlignUpdateCp)
        current_.X = x + width;
}

void Canvas::SetPen(ColorRef color, int width, PenStyle style)
{
    penColor_ = color;
    penWidth_ = width < 1 ? 1 : width;
    penStyle_ = style;
}

void Canvas::SetBrush(ColorRef color, BrushStyle style)
{
    brushColor_ = color;
    brushStyle_ = style;
}

void Canvas::LineTo(int x, int y)
{
    const CanvasPoint from = current_;
    current_ = {x, y};
    if (penStyle_ == PenStyle::None)
        return;
    const int dx = x - from.X, dy = y - from.Y;
    const int major = std::max(std::abs(dx), std::abs(dy));
    if (major == 0)
        return;
    // The last point is not drawn: end one step short along the major axis.
    CanvasPoint to{from.X + dx * (major - 1) / major, from.Y + dy * (major - 1) / major};
    DrawLineSegment(from, to);
}

void Canvas::Polyline(const std::vector<CanvasPoint> &points)
{
    if (points.empty())
        return;
    const CanvasPoint saved = current_;
    MoveTo(points[0].X, points[0].Y);
    for (size_t i = 1; i < points.size(); ++i)
        LineTo(points[i].X, points[i].Y);
    current_ = saved;
}

void Canvas::FrameRect(const CanvasRect &r, ColorRef color)
{
    if (r.IsEmpty())
        return;
    FillRect({r.Left, r.Top, r.Right, r.Top + 1}, color);
    FillRect({r.Left, r.Bottom - 1, r.Right, r.Bottom}, color);
    FillRect({r.Left, r.Top, r.Left + 1, r.Bottom}, color);
    FillRect({r.Right - 1, r.Top, r.Right, r.Bottom}, color);
}

// ---------------------------------------------------------------------------
// DrawText

namespace {

struct TextLineSpan {
    std::string Text;
    int Width = 0;
};

} // namespace

int Canvas::DrawText(std::string_view input, CanvasRect &rect, unsigned format)
{
    const int16_t *widths = CharWidths();
    const FontMetrics m = Metrics();
    const int tabWidth = 8 * std::max<int>(1, widths['x']);

    // Accelerator marks: "&" is dropped, "&&" stays one "&".
    std::string text;
    text.reserve(input.size());
    for (size_t i = 0; i < input.size(); ++i) {
        if (!(format & kDtNoPrefix) && input[i] == '&') {
            if (i + 1 < input.size() && input[i + 1] == '&')
                text += '&', ++i;
            continue;
        }
        text += input[i];
    }

    auto measure = [&](std::string_view s) {
        int w = 0;
        for (unsigned char c : s) {
            if (c == '\t' && (format & kDtExpandTabs))
                w += tabWidth - w % tabWidth;
            else
                w += widths[c];
        }
        return w;
    };

    std::vector<TextLineSpan> lines;
    auto addLine = [&](std::string s) {
        const int w = measure(s);
        lines.push_back({std::move(s), w});
    };
    const int maxWidth = rect.Width();
    if (format & kDtSingleLine) {
        std::string s;
        for (char c : text)
            if (c != '\r' && c != '\n')
                s += c;
        addLine(std::move(s));
    } else {
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find_first_of("\r\n", start);
            std::string para =
                text.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (format & kDtWordBreak) {
                // Break at blanks; a word wider than the box stands alone.
                std::string current;
                size_t i = 0;
                while (i < para.size()) {
                    size_t wordEnd = para.find(' ', i);
                    if (wordEnd == std::string::npos)
                        wordEnd = para.size();
                    std::string word = para.substr(i, wordEnd - i);
                    std::string candidate = current.empty() ? word : current + " " + word;
                    if (!current.empty() && measure(candidate) > maxWidth) {
                        addLine(current);
                        current = word;
                    } else {
                        current = candidate;
                    }
                    i = wordEnd + 1;
                }
                addLine(current);
            } else {
                addLine(para);
            }
            if (end == std::string::npos)
                break;
            if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
                ++end;
            start = end + 1;
        }
    }

    if (format & kDtEndEllipsis) {
        for (TextLineSpan &line : lines) {
            if (line.Width <= maxWidth)
                continue;
            const int dots = 3 * widths['.'];
            while (!line.Text.empty() && measure(line.Text) + dots > maxWidth)
                line.Text.pop_back();
            line.Text += "...";
            line.Width = measure(line.Text);
        }
    }

    int widest = 0;
    for (const TextLineSpan &line : lines)
        widest = std::max(widest, line.Width);
    const int height = int(lines.size()) * m.Height;
    if (format & kDtCalcRect) {
        rect.Right = rect.Left + widest;
        rect.Bottom = rect.Top + height;
        return height;
    }

    int y = rect.Top;
    if (format & kDtSingleLine) {
        if (format & kDtVCenter)
            y = (rect.Top + rect.Bottom - m.Height) / 2;
        else if (format & kDtBottom)
            y = rect.Bottom - m.Height;
    }
    const unsigned savedAlign = textAlign_;
    textAlign_ = kAlignTop;
    for (const TextLineSpan &line : lines) {
        int x = rect.Left;
        if (format & kDtCenter)
            x = rect.Left + (rect.Width() - line.Width) / 2;
        else if (format & kDtRight)
            x = rect.Right - line.Width;
        if (format & kDtExpandTabs) {
            // Draw piece by piece so that tabs land on their stops.
            size_t pieceStart = 0;
            int offset = 0;
            for (size_t i = 0; i <= line.Text.size(); ++i) {
                if (i == line.Text.size() || line.Text[i] == '\t') {
                    std::string_view piece(line.Text.data() + pieceStart, i - pieceStart);
                    TextOut(x + offset, y, piece);
                    offset += TextWidth(piece);
                    if (i < line.Text.size())
                        offset += tabWidth - offset % tabWidth;
                    pieceStart = i + 1;
                }
            }
        } else {
            TextOut(x, y, line.Text);
        }
        y += m.Height;
    }
    textAlign_ = savedAlign;
    return height;
}

} // namespace qn
