#include "widgets/save_form_state.h"

#include "platform/profile.h"
#include "platform/program_dir.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <filesystem>

namespace qn {

namespace {

// Beyond this a saved size is taken for damage rather than a window.
constexpr int kLargestSide = 32767;

} // namespace

std::string PlacementFileName(const std::string &dir)
{
    QString program = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    if (program.isEmpty())
        program = QStringLiteral("quillnook");
    const std::string name = program.toStdString() + ".INI";
    if (std::optional<std::filesystem::path> found = FindFileNoCase(dir, name))
        return found->string();
    return (std::filesystem::path(dir) / name).string();
}

QRect PlaceOnScreens(const QRect &saved, const std::vector<QRect> &screens)
{
    if (screens.empty())
        return saved;
    // The screen that shows most of the window; none shows any of it when
    // the monitor it stood on is gone.
    const QRect *home = nullptr;
    long long best = 0;
    for (const QRect &screen : screens) {
        const QRect common = screen.intersected(saved);
        const long long area = common.isEmpty() ? 0 : 1LL * common.width() * common.height();
        if (area > best)
            best = area, home = &screen;
    }
    QRect placed = saved;
    if (!home) {
        home = &screens.front();
        placed.moveTopLeft(home->topLeft());
    }
    const int screenRight = home->x() + home->width();
    const int screenBottom = home->y() + home->height();
    if (screenRight < placed.x() + placed.width())
        placed.moveLeft(screenRight - placed.width());
    if (screenBottom < placed.y() + placed.height())
        placed.moveTop(screenBottom - placed.height());
    return placed;
}

TSaveFormStateAndPosition::TSaveFormStateAndPosition(QWidget *owner) : QObject(owner), form_(owner)
{
    if (!owner || !owner->isWindow())
        throw ESaveFormStateAndPositionError("Control parent must be a form!");
    form_->installEventFilter(this);
}

TSaveFormStateAndPosition::~TSaveFormStateAndPosition()
{
    // The window goes with us (we are its child): this is its destruction.
    if (SavePlacement)
        Save();
    form_->removeEventFilter(this);
}

void TSaveFormStateAndPosition::Loaded()
{
    if (IniFileName.empty())
        IniFileName = PlacementFileName(ProgramDir());
    if (SectionName.empty()) {
        std::string className = form_->metaObject()->className();
        const size_t colons = className.rfind("::");
        if (colons != std::string::npos)
            className.erase(0, colons + 2);
        SectionName = className + "_Placement";
    }
    if (SavePlacement)
        Restore();
}

void TSaveFormStateAndPosition::Restore()
{
    if (IniFileName.empty() || SectionName.empty())
        return;
    const TProfileFile ini(IniFileName);
    int left = 0, top = 0, right = 0, bottom = 0;
    bool maximized = form_->isMaximized();
    try {
        left = ini.ReadInteger(SectionName, "Left", 0);
        top = ini.ReadInteger(SectionName, "Top", 0);
        right = ini.ReadInteger(SectionName, "Right", 0);
        bottom = ini.ReadInteger(SectionName, "Bottom", 0);
        maximized = ini.ReadBool(SectionName, "Maximized", maximized);
    } catch (const std::exception &) {
        // An unreadable file is no placement at all.
        left = top = right = bottom = 0;
    }
    // A rectangle that no window can have is damage: start as on a first run.
    const int width = right - left, height = bottom - top;
    const bool usable =
        bottom != 0 && width > 0 && height > 0 && width <= kLargestSide && height <= kLargestSide;

    std::vector<QRect> screens;
    if (QScreen *primary = QGuiApplication::primaryScreen())
        screens.push_back(primary->geometry());
    for (QScreen *screen : QGuiApplication::screens())
        if (screen != QGuiApplication::primaryScreen())
            screens.push_back(screen->geometry());

    if (usable) {
        const QRect placed = PlaceOnScreens(QRect(left, top, width, height), screens);
        form_->move(placed.topLeft());
        form_->resize(placed.size());
    } else if (CenterAsDefault && !screens.empty()) {
        const QRect screen = screens.front();
        const QSize size = form_->frameGeometry().size();
        form_->move(screen.x() + (screen.width() - size.width()) / 2,
                    screen.y() + (screen.height() - size.height()) / 2);
    }
    if (usable && maximized)
        form_->setWindowState(form_->windowState() | Qt::WindowMaximized);
}

void TSaveFormStateAndPosition::Save()
{
    // A window that never came on screen (its start failed) has no place
    // worth keeping, and leaves no file behind.
    if (IniFileName.empty() || SectionName.empty() || !shown_)
        return;
    // The normal rectangle: where move() puts the window, and the size
    // resize() gives it, so that a restore puts it back exactly.
    const bool maximized = form_->isMaximized() || form_->isFullScreen();
    QRect normal = form_->geometry();
    if (maximized || form_->isMinimized()) {
        const QRect restored = form_->normalGeometry();
        if (restored.isValid())
            normal = restored;
    }
    const QPoint frameOffset = form_->geometry().topLeft() - form_->pos();
    const QPoint origin = normal.topLeft() - frameOffset;
    try {
        TProfileFile ini(IniFileName);
        ini.WriteInteger(SectionName, "Left", origin.x());
        ini.WriteInteger(SectionName, "Top", origin.y());
        ini.WriteInteger(SectionName, "Right", origin.x() + normal.width());
        ini.WriteInteger(SectionName, "Bottom", origin.y() + normal.height());
        ini.WriteBool(SectionName, "Maximized", maximized);
    } catch (const std::exception &) {
        // A folder that cannot be written must not stop the window closing.
    }
}

bool TSaveFormStateAndPosition::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == form_ && event->type() == QEvent::Show)
        shown_ = true;
    if (watched == form_ && event->type() == QEvent::Close && SavePlacement) {
        // The window answers first; a close it accepts ends it.
        form_->removeEventFilter(this);
        const bool handled = QCoreApplication::sendEvent(form_, event);
        form_->installEventFilter(this);
        if (event->isAccepted())
            Save();
        (void)handled;
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace qn
