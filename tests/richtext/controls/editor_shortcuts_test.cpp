// Keys every editor has: Alt stays the window's, AltGr types, Ctrl+A and
// the style keys, deleting words, the context menu, and what a font change
// or the start of the text does to the typing attribute.
#include <QContextMenuEvent>
#include <QMenu>

#include "tests/richtext/controls/editor_test_util.h"
#include "tests/support/notification_capture.h"

using namespace qn;
using namespace qn::test;

namespace {

const std::string kHead = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 ";

class EditorShortcuts : public EditorTest {
protected:
    // A key event as the window system delivers it, through the shortcut
    // override first as QApplication does; answers whether the editor
    // claimed the key before the window's shortcuts.
    bool deliver(int key, Qt::KeyboardModifiers modifiers, const QString &text)
    {
        QKeyEvent override(QEvent::ShortcutOverride, key, modifiers, text);
        override.ignore();
        QApplication::sendEvent(edit, &override);
        QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
        QApplication::sendEvent(edit, &press);
        QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
        QApplication::sendEvent(edit, &release);
        return override.isAccepted();
    }

    QAction *menuAction(QMenu &menu, const char *name)
    {
        for (QAction *a : menu.actions())
            if (a->objectName() == QLatin1String(name))
                return a;
        ADD_FAILURE() << "no action " << name;
        return nullptr;
    }
};

TEST_F(EditorShortcuts, AltLettersAreLeftToTheWindowAndNeverTyped)
{
    load(kHead + "word}");
    for (const char letter : std::string("SDNPFEUHXLRCI")) {
        const int key = Qt::Key_A + (letter - 'A');
        const QString text(QChar(letter).toLower());
        EXPECT_FALSE(deliver(key, Qt::AltModifier, text)) << letter;
        EXPECT_FALSE(deliver(key, Qt::AltModifier | Qt::ShiftModifier, text.toUpper())) << letter;
    }
    EXPECT_EQ(text(0), "word");
    EXPECT_FALSE(edit->Modified);
    // Without Alt the same keys type.
    EXPECT_TRUE(deliver(Qt::Key_S, Qt::NoModifier, QStringLiteral("s")));
    EXPECT_EQ(text(0), "sword");
}

TEST_F(EditorShortcuts, AltGrCharactersAreTypedHoweverTheSystemReportsAltGr)
{
    // X with a German layout: AltGr+Q and AltGr+E as the group switch, or
    // with no modifier at all; elsewhere AltGr arrives as Ctrl+Alt.
    EXPECT_TRUE(deliver(Qt::Key_Q, Qt::GroupSwitchModifier, QStringLiteral("@")));
    EXPECT_TRUE(deliver(Qt::Key_E, Qt::GroupSwitchModifier, QString(QChar(0x20AC))));
    EXPECT_TRUE(deliver(Qt::Key_At, Qt::NoModifier, QStringLiteral("@")));
    EXPECT_TRUE(deliver(Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier, QStringLiteral("@")));
    EXPECT_TRUE(deliver(Qt::Key_E, Qt::ControlModifier | Qt::AltModifier, QString(QChar(0x20AC))));
    EXPECT_EQ(text(0), "@\x80@@\x80");
}

TEST_F(EditorShortcuts, CtrlASelectsAllAndCtrlBackspaceAndCtrlDeleteDeleteWords)
{
    load(kHead + "one two three\\par four}");
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(copiedBlock(), "one two three\nfour");

    // Ctrl+Backspace deletes back to the start of the word, Ctrl+Delete on
    // to the end of the next one, as Ctrl+Left and Ctrl+Right move.
    QTest::keyClick(edit, Qt::Key_Home, Qt::ControlModifier);
    for (int i = 0; i < 7; ++i)
        QTest::keyClick(edit, Qt::Key_Right);
    QTest::keyClick(edit, Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_EQ(text(0), "one  three");
    QTest::keyClick(edit, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(text(0), "one ");
    EXPECT_EQ(text(1), "four");
    EXPECT_TRUE(edit->Modified);
    // At the start of the text Ctrl+Backspace has nothing to delete.
    QTest::keyClick(edit, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_EQ(text(0), "one ");

    // With a selection both delete the selection.
    QTest::keyClick(edit, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(edit, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(edit, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(text(0), "e ");
    EXPECT_EQ(text(1), "four");
}

TEST_F(EditorShortcuts, TheOldClipboardKeysStay)
{
    load(kHead + "alpha beta}");
    QTest::keyClick(edit, Qt::Key_Home);
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(edit, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(edit, Qt::Key_Insert, Qt::ControlModifier); // copy
    EXPECT_EQ(QApplication::clipboard()->text(), "alpha");
    QTest::keyClick(edit, Qt::Key_Delete, Qt::ShiftModifier); // cut
    EXPECT_EQ(text(0), " beta");
    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClick(edit, Qt::Key_Insert, Qt::ShiftModifier); // paste
    EXPECT_EQ(text(0), " betaalpha");
}

TEST_F(EditorShortcuts, TheSelectionStateFollowsTypingOverASelection)
{
    load(kHead + "some text}");
    std::vector<bool> marked;
    edit->EditStateEvent = [&](TQnCustomRtfEdit *, bool selection, bool) {
        marked.push_back(selection);
    };
    QTest::keyClick(edit, Qt::Key_End, Qt::ShiftModifier);
    ASSERT_FALSE(marked.empty());
    EXPECT_TRUE(marked.back());
    QTest::keyClicks(edit, "x");
    EXPECT_EQ(text(0), "x");
    EXPECT_FALSE(marked.back()); // Cut and Copy go grey at once
}

TEST_F(EditorShortcuts, TheContextMenuOffersWhatApplies)
{
    load(kHead + "alpha beta}");
    {
        std::unique_ptr<QMenu> menu(edit->CreateContextMenu());
        for (const char *name : {"Undo", "Redo", "Cut", "Copy", "Delete", "Paste"})
            EXPECT_FALSE(menuAction(*menu, name)->isEnabled()) << name;
        EXPECT_TRUE(menuAction(*menu, "SelectAll")->isEnabled());
        menuAction(*menu, "SelectAll")->trigger();
    }
    EXPECT_EQ(copiedBlock(), "alpha beta");
    {
        std::unique_ptr<QMenu> menu(edit->CreateContextMenu());
        for (const char *name : {"Cut", "Copy", "Delete", "Paste"})
            EXPECT_TRUE(menuAction(*menu, name)->isEnabled()) << name;
        EXPECT_FALSE(menuAction(*menu, "Undo")->isEnabled());
        menuAction(*menu, "Delete")->trigger();
    }
    EXPECT_EQ(text(0), "");
    EXPECT_TRUE(edit->Modified);
    {
        // The menu's Undo and Redo are the editor's own history.
        std::unique_ptr<QMenu> menu(edit->CreateContextMenu());
        EXPECT_TRUE(menuAction(*menu, "Undo")->isEnabled());
        EXPECT_FALSE(menuAction(*menu, "Redo")->isEnabled());
        menuAction(*menu, "Undo")->trigger();
    }
    EXPECT_EQ(text(0), "alpha beta");
    {
        std::unique_ptr<QMenu> menu(edit->CreateContextMenu());
        EXPECT_TRUE(menuAction(*menu, "Redo")->isEnabled());
        menuAction(*menu, "Redo")->trigger();
    }
    EXPECT_EQ(text(0), "");
    EXPECT_TRUE(edit->Modified);

    // Read-only: only Copy and Select All remain.
    load(kHead + "alpha beta}");
    edit->SetReadOnly(true);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    std::unique_ptr<QMenu> menu(edit->CreateContextMenu());
    for (const char *name : {"Undo", "Cut", "Delete", "Paste"})
        EXPECT_FALSE(menuAction(*menu, name)->isEnabled()) << name;
    EXPECT_TRUE(menuAction(*menu, "Copy")->isEnabled());
}

TEST_F(EditorShortcuts, ARightClickPopsTheMenuUpAndMovesTheCursorOutsideTheSelection)
{
    load(kHead + "alpha beta}");
    QContextMenuEvent event(QContextMenuEvent::Mouse, charPoint(0, 7),
                            edit->mapToGlobal(charPoint(0, 7)));
    QApplication::sendEvent(edit, &event);
    QMenu *menu = edit->findChild<QMenu *>(QStringLiteral("EditorContextMenu"));
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->isVisible());
    menu->close();
    QApplication::processEvents();
    const int at = edit->CursorAbsolutePosition();
    EXPECT_TRUE(at == 7 || at == 8) << at;
}

TEST_F(EditorShortcuts, AFontChangeNeverClearsText)
{
    load(kHead + "keep me}");
    QFont larger = edit->font();
    larger.setPointSize(larger.pointSize() + 4);
    edit->setFont(larger);
    QApplication::processEvents();
    EXPECT_EQ(text(0), "keep me");
    // An empty document takes the new font as its typing attribute.
    load(kHead + "}");
    doc().Clear();
    QFont other = edit->font();
    other.setPointSize(14);
    edit->setFont(other);
    EXPECT_EQ(doc().CurrentAttr.Size, 14);
}

TEST_F(EditorShortcuts, TypingAtTheStartTakesTheLookOfTheFirstCharacter)
{
    QFont small = edit->font();
    small.setPixelSize(11); // 8 pt, as the diary's editor font
    edit->setFont(small);
    load(kHead + "{\\b ten} points}");
    QTest::keyClick(edit, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(doc().CurrentAttr.Size, 10);
    QTest::keyClicks(edit, "X");
    const TLine *line = doc().ParagraphAt(0)->Lines;
    ASSERT_NE(line->Attrs, nullptr);
    EXPECT_EQ(line->Attrs[0].Size, 10);
    EXPECT_TRUE(line->Attrs[0].Style & kStyleBold);
    EXPECT_EQ(text(0), "Xten points");
}

TEST_F(EditorShortcuts, WordDeletesAndStyleKeysAreEachOneUndoStep)
{
    load(kHead + "one two three}");
    const auto bold = [this] {
        const TLine *line = doc().ParagraphAt(0)->Lines;
        return line->Attrs && (line->Attrs[0].Style & kStyleBold) != 0;
    };
    QTest::keyClick(edit, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_EQ(text(0), "one two ");
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_B, Qt::ControlModifier);
    EXPECT_TRUE(bold());

    edit->Undo();
    EXPECT_FALSE(bold());
    EXPECT_EQ(text(0), "one two ");
    edit->Undo();
    EXPECT_EQ(text(0), "one two three");
    EXPECT_FALSE(edit->CanUndo());
    edit->Redo();
    edit->Redo();
    EXPECT_EQ(text(0), "one two ");
    EXPECT_TRUE(bold());
}

} // namespace
