// The control's events that fill a document from outside: the automatic text
// behind insert points (GetTextToInsert) and the pictures of an HTML page
// (OnHTMLBitmapRequest).
#include <QApplication>
#include <QImage>
#include <gtest/gtest.h>

#include <vector>

#include "richtext/controls/rich_text.h"
#include "tests/support/temp_dir.h"

using namespace qn;

namespace {

class RichTextFieldsTest : public testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        window->resize(420, 320);
        edit = new TQnRichText(window.get());
        edit->setGeometry(0, 0, 400, 300);
        window->show();
        QApplication::processEvents();
    }
    TQnRTFTextInput &doc() { return edit->RtfText(); }
    std::string text() { return edit->PlainText().toStdString(); }
    // The attribute of the n-th character of paragraph index.
    TCharAttr attrAt(int paragraph, int n)
    {
        for (const TLine *l = doc().ParagraphAt(paragraph)->Lines; l; l = l->Next) {
            if (n < l->Length)
                return l->Attrs[n];
            n -= l->Length;
        }
        ADD_FAILURE() << "no such character";
        return {};
    }

    std::unique_ptr<QWidget> window;
    TQnRichText *edit = nullptr;
};

// Two insert points with a field number each, the first with automatic text.
const char *kLetter = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 To: {\\inspnt1 @}"
                      "{\\inaut Old Name}, on {\\inspnt2 #}.\\par Signed {\\b\\inspnt3 @}\\par}";

struct Asked {
    int paragraph;
    std::string text;
    int length;
    int tag;
    char c;
};

} // namespace

TEST_F(RichTextFieldsTest, InsertPointsGetTheTextTheHandlerGivesAsAutomaticText)
{
    edit->SetText(kLetter);
    ASSERT_EQ(text(), "To: @Old Name, on #.\nSigned @\n");
    std::vector<Asked> asked;
    int changes = 0;
    edit->OnChange = [&](TQnCustomRtfEdit *) { ++changes; };
    edit->GetTextToInsert = [&](TQnCustomRichText *sender, TParagraph *p, std::string &t, int &len,
                                int tag, char c, bool &doContinue) {
        EXPECT_EQ(sender, edit);
        asked.push_back({doc().ParagraphAt(1) == p ? 1 : 0, t, len, tag, c});
        if (tag == 1)
            t = "Anna Berg";
        else if (tag == 2)
            t = "Monday";
        else
            t = "Jo";
        doContinue = true;
    };
    edit->SetCursorOffset(2);
    EXPECT_EQ(edit->FillInsertPoints(), 3);
    EXPECT_EQ(text(), "To: @Anna Berg, on #Monday.\nSigned @Jo\n");
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[0].text, "Old Name");
    EXPECT_EQ(asked[0].length, 8);
    EXPECT_EQ(asked[0].tag, 1);
    EXPECT_EQ(asked[0].c, '@');
    EXPECT_EQ(asked[1].text, "");
    EXPECT_EQ(asked[1].length, 0);
    EXPECT_EQ(asked[1].tag, 2);
    EXPECT_EQ(asked[1].c, '#');
    EXPECT_EQ(asked[2].paragraph, 1);
    EXPECT_EQ(asked[2].tag, 3);
    EXPECT_GE(changes, 1);
    EXPECT_EQ(edit->GetCursorOffset(), 2);

    // The new text is automatic text of its field; an empty field takes the
    // marker's look (bold here).
    for (int i = 5; i < 14; ++i) {
        const TCharAttr a = attrAt(0, i);
        EXPECT_TRUE(a.Style & kStyleAutoText) << i;
        EXPECT_FALSE(a.Style & kStyleInsertPoint) << i;
        EXPECT_EQ(a.Tag, 1) << i;
    }
    EXPECT_FALSE(attrAt(0, 14).Style & kStyleAutoText) << "the comma stays ordinary text";
    EXPECT_EQ(attrAt(1, 8).Tag, 3);
    EXPECT_TRUE(attrAt(1, 8).Style & kStyleBold);
    EXPECT_TRUE(attrAt(1, 8).Style & kStyleAutoText);

    // Saved and read again, the fields keep their automatic text.
    test::TempDir dir;
    const QString file = QString::fromStdString((dir / "letter.rtf").string());
    edit->SetSaveFormat(FormatRTF);
    edit->SaveToFile(file);
    edit->SetText("");
    edit->LoadFromFile(file);
    EXPECT_EQ(text(), "To: @Anna Berg, on #Monday.\nSigned @Jo\n");
}

TEST_F(RichTextFieldsTest, TheHandlerCanKeepPrependOrStop)
{
    edit->SetText(kLetter);
    std::vector<int> tags;
    // Unchanged text changes nothing.
    edit->GetTextToInsert = [&](TQnCustomRichText *, TParagraph *, std::string &, int &, int tag,
                                char, bool &) { tags.push_back(tag); };
    int changes = 0;
    edit->OnChange = [&](TQnCustomRtfEdit *) { ++changes; };
    EXPECT_EQ(edit->FillInsertPoints(), 0);
    EXPECT_EQ(tags, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(changes, 0);

    // Replacing none of the old characters puts the text in front of them;
    // doContinue false ends the walk after this field.
    tags.clear();
    edit->GetTextToInsert = [&](TQnCustomRichText *, TParagraph *, std::string &t, int &len,
                                int tag, char, bool &doContinue) {
        tags.push_back(tag);
        t = "Dr.\r\n ";
        len = 0;
        doContinue = false;
    };
    EXPECT_EQ(edit->FillInsertPoints(), 1);
    EXPECT_EQ(tags, (std::vector<int>{1}));
    EXPECT_EQ(text(), "To: @Dr. Old Name, on #.\nSigned @\n")
        << "line breaks in the answer are dropped";

    // A very long answer is cut; read-only documents are not asked.
    edit->GetTextToInsert = [&](TQnCustomRichText *, TParagraph *, std::string &t, int &, int, char,
                                bool &) { t = std::string(400, 'x'); };
    EXPECT_EQ(edit->FillInsertPoints(), 3);
    EXPECT_EQ(doc().ParagraphLength(0), 4 + 1 + kMaxAutoText + 5 + 1 + kMaxAutoText + 1);
    edit->SetReadOnly(true);
    tags.clear();
    edit->GetTextToInsert = [&](TQnCustomRichText *, TParagraph *, std::string &, int &, int tag,
                                char, bool &) { tags.push_back(tag); };
    EXPECT_EQ(edit->FillInsertPoints(), 0);
    EXPECT_TRUE(tags.empty());
}

TEST_F(RichTextFieldsTest, HtmlPicturesComeFromTheHandlerOrElseFromTheirFiles)
{
    test::TempDir dir;
    QImage onDisk(6, 4, QImage::Format_RGB32);
    onDisk.fill(Qt::blue);
    ASSERT_TRUE(onDisk.save(QString::fromStdString((dir / "disk.bmp").string()), "BMP"));
    edit->SetHTMLFilePath(QString::fromStdString(dir.path().string()));

    std::vector<std::string> requested;
    edit->OnHTMLBitmapRequest = [&](TQnCustomRichText *sender, const std::string &src,
                                    QImage &bitmap) {
        EXPECT_EQ(sender, edit);
        requested.push_back(src);
        if (src == "sea.png") {
            bitmap = QImage(16, 8, QImage::Format_RGB32);
            bitmap.fill(Qt::red);
        }
    };
    std::vector<int> needed;
    edit->ProvideObjectEvent = [&](int tag, TQnObject &) { needed.push_back(tag); };
    edit->SetText("<html><body><p>Sea <img src=\"sea.png\" width=\"20\" height=\"10\"> "
                  "disk <img src=\"disk.bmp\"> none <img src=\"gone.gif\"></p></body></html>");

    EXPECT_EQ(requested, (std::vector<std::string>{"sea.png", "disk.bmp", "gone.gif"}));
    const TQnObject *sea = doc().FindObjectByFileName("sea.png");
    ASSERT_NE(sea, nullptr);
    ASSERT_TRUE(sea->Graphic);
    EXPECT_EQ(sea->Graphic->WidthPixels, 16);
    EXPECT_EQ(sea->Graphic->HeightPixels, 8);
    EXPECT_EQ(sea->Width, 20 * 15) << "the page's size stays the object's size";
    const TQnObject *disk = doc().FindObjectByFileName("disk.bmp");
    ASSERT_NE(disk, nullptr);
    ASSERT_TRUE(disk->Graphic) << "an empty answer lets the file load";
    EXPECT_EQ(disk->Graphic->WidthPixels, 6);
    const TQnObject *gone = doc().FindObjectByFileName("gone.gif");
    ASSERT_NE(gone, nullptr);
    EXPECT_FALSE(gone->Graphic);
    EXPECT_EQ(needed, (std::vector<int>{gone->Tag})) << "then the object is asked for";
}
