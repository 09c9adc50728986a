// The program's find and replace dialogs: one of each, bound to one target
// at a time, with the options of the classic dialogs.
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "richtext/controls/find_replace_dialog.h"
#include "tests/support/temp_dir.h"

using namespace qn;

namespace {

struct Target : TQnFindTarget {
    std::vector<std::string> Calls;
    void DialogFind(TQnFindDialog &d) override
    {
        Calls.push_back("find:" + d.FindText().toStdString() + (d.Down() ? ":down" : ":up"));
    }
    void DialogReplace(TQnFindDialog &d, bool all) override
    {
        Calls.push_back(std::string(all ? "all:" : "one:") + d.FindText().toStdString() + ">" +
                        d.ReplaceText().toStdString());
    }
};

QPushButton *button(QDialog *dialog, const QString &text)
{
    for (QPushButton *b : dialog->findChildren<QPushButton *>())
        if (b->text() == text)
            return b;
    return nullptr;
}

} // namespace

TEST(RichTextFindDialog, OneDialogOfEachKindForTheWholeProgram)
{
    TQnFindDialog *find = SharedFindDialog(true);
    ASSERT_NE(find, nullptr);
    EXPECT_EQ(SharedFindDialog(true), find);
    EXPECT_EQ(SharedFindDialog(false), find);
    TQnFindDialog *replace = SharedReplaceDialog(true);
    ASSERT_NE(replace, nullptr);
    EXPECT_NE(static_cast<QDialog *>(replace), static_cast<QDialog *>(find));
    EXPECT_EQ(find->DialogKind(), TQnFindDialog::Find);
    EXPECT_EQ(replace->DialogKind(), TQnFindDialog::Replace);
    EXPECT_FALSE(find->isModal());
    // The find dialog has no replace buttons; the replace dialog has all.
    EXPECT_EQ(button(find, "&Replace"), nullptr);
    EXPECT_NE(button(replace, "&Replace"), nullptr);
    EXPECT_NE(button(replace, "Replace &All"), nullptr);
    EXPECT_NE(button(replace, "Cancel"), nullptr);
    EXPECT_TRUE(find->Down()) << "down is the first direction";
    // A picture of the replace dialog for review.
    replace->SetFindText("cat");
    replace->SetReplaceText("dog");
    replace->adjustSize();
    const auto dir = test::binaryDir() / "screenshots";
    std::filesystem::create_directories(dir);
    EXPECT_TRUE(
        replace->grab().save(QString::fromStdString((dir / "rich_text_replace.png").string())));
}

TEST(RichTextFindDialog, ButtonsGoToTheBoundTargetOnly)
{
    TQnFindDialog *dialog = SharedReplaceDialog(true);
    Target a, b;
    dialog->Bind(&a);
    dialog->SetFindText("");
    QPushButton *findNext = button(dialog, "&Find Next");
    ASSERT_NE(findNext, nullptr);
    EXPECT_FALSE(findNext->isEnabled()) << "nothing to find yet";
    dialog->findChild<QLineEdit *>("findWhat")->setText("cat");
    dialog->findChild<QLineEdit *>("replaceWith")->setText("dog");
    EXPECT_TRUE(findNext->isEnabled());
    QTest::mouseClick(findNext, Qt::LeftButton);
    dialog->SetDown(false);
    QTest::mouseClick(button(dialog, "&Replace"), Qt::LeftButton);
    dialog->Bind(&b);
    QTest::mouseClick(button(dialog, "Replace &All"), Qt::LeftButton);
    QTest::mouseClick(findNext, Qt::LeftButton);
    EXPECT_EQ(a.Calls, (std::vector<std::string>{"find:cat:down", "one:cat>dog"}));
    EXPECT_EQ(b.Calls, (std::vector<std::string>{"all:cat>dog", "find:cat:up"}));
    // A target that goes away is forgotten; the other stays bound.
    UnbindFindDialogs(&a);
    EXPECT_EQ(dialog->Target(), &b);
    UnbindFindDialogs(&b);
    EXPECT_EQ(dialog->Target(), nullptr);
    dialog->FindNext(); // unbound: nothing happens
    EXPECT_EQ(b.Calls.size(), 2u);
    dialog->SetDown(true);
}
