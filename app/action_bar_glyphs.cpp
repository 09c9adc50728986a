#include "app/action_bar_glyphs.h"

#include "platform/qt/qt_canvas.h"

#include <QImage>

// Drawn for this program (resources/make_pictures.py); magenta is clear.
#include "resources/glyphs/cancel.xpm"
#include "resources/glyphs/date.xpm"
#include "resources/glyphs/exit.xpm"
#include "resources/glyphs/first.xpm"
#include "resources/glyphs/hide.xpm"
#include "resources/glyphs/last.xpm"
#include "resources/glyphs/next.xpm"
#include "resources/glyphs/prev.xpm"
#include "resources/glyphs/save.xpm"

namespace qn {

CanvasBitmap ActionBarGlyph(std::string_view name)
{
    struct Glyph {
        std::string_view Name;
        const char *const *Xpm;
    };
    static const Glyph glyphs[] = {
        {"first", glyph_first_xpm},   {"prev", glyph_prev_xpm}, {"date", glyph_date_xpm},
        {"next", glyph_next_xpm},     {"last", glyph_last_xpm}, {"save", glyph_save_xpm},
        {"cancel", glyph_cancel_xpm}, {"hide", glyph_hide_xpm}, {"exit", glyph_exit_xpm},
    };
    for (const Glyph &glyph : glyphs)
        if (glyph.Name == name)
            return ToCanvasBitmap(QImage(glyph.Xpm));
    return {};
}

} // namespace qn
