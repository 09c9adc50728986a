// The editor's context menu on the right button: Undo, Redo, Cut, Copy,
// Paste, Delete and Select All, each enabled when it applies.
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>

#include "richtext/controls/rtf_edit.h"

namespace qn {

QMenu *TQnCustomRtfEdit::CreateContextMenu(QPoint at)
{
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("EditorContextMenu"));
    const bool editable = !ReadOnly() && Document->FirstParagraph;
    const bool block = BlockMarked();
    auto add = [menu](const QString &text, const QKeySequence &keys, bool enabled,
                      std::function<void()> run) {
        QAction *action = menu->addAction(text);
        action->setShortcut(keys);
        // The keys are the editor's own; the menu only shows them.
        action->setShortcutContext(Qt::WidgetShortcut);
        action->setEnabled(enabled);
        QObject::connect(action, &QAction::triggered, menu, std::move(run));
        return action;
    };
    add(QStringLiteral("&Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z), editable && CanUndo(), [this] {
        Undo();
    })->setObjectName(QStringLiteral("Undo"));
    add(QStringLiteral("&Redo"), QKeySequence(Qt::CTRL | Qt::Key_Y), editable && CanRedo(), [this] {
        Redo();
    })->setObjectName(QStringLiteral("Redo"));
    menu->addSeparator();
    add(QStringLiteral("Cu&t"), QKeySequence(Qt::CTRL | Qt::Key_X), editable && block, [this] {
        CutToClipboard();
    })->setObjectName(QStringLiteral("Cut"));
    add(QStringLiteral("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C), block, [this] {
        CopyToClipboard();
    })->setObjectName(QStringLiteral("Copy"));
    add(QStringLiteral("&Paste"), QKeySequence(Qt::CTRL | Qt::Key_V),
        editable && CanPaste(QApplication::clipboard()->mimeData()),
        [this] { PasteFromClipboard(); })
        ->setObjectName(QStringLiteral("Paste"));
    add(QStringLiteral("&Delete"), QKeySequence(Qt::Key_Delete), editable && block, [this] {
        if (!BeginEdit())
            return;
        if (SaveForUNDO)
            SaveForUNDO(this);
        DeleteSelection();
        barsChanged();
        Changed();
    })->setObjectName(QStringLiteral("Delete"));
    menu->addSeparator();
    add(QStringLiteral("Select &All"), QKeySequence(Qt::CTRL | Qt::Key_A),
        Document->FirstParagraph && !Document->IsEmpty(), [this] { SelectAllText(); })
        ->setObjectName(QStringLiteral("SelectAll"));
    AddContextMenuItems(*menu, at);
    return menu;
}

void TQnCustomRtfEdit::contextMenuEvent(QContextMenuEvent *event)
{
    // A right click outside the selection moves the cursor there first, as a
    // left click would; inside it the selection stays for Cut and Copy.
    const QPoint at = event->pos() - clientOrigin();
    if (event->reason() == QContextMenuEvent::Mouse && !pressInSelection(at) &&
        Document->FirstParagraph) {
        ClearSelection();
        Document->PointToPosition(at.x(), at.y(), false);
        Document->PlaceCaret();
        cursorPlacedByMouse();
    }
    // From the keyboard the menu is for the word at the caret.
    const bool byMouse = event->reason() == QContextMenuEvent::Mouse;
    QMenu *menu = CreateContextMenu(byMouse || caretRect_.x() < 0 ? at : caretRect_.center());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
    event->accept();
}

} // namespace qn
