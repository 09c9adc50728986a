#include <gtest/gtest.h>

#include "richtext/model/rtf_text.h"
#include "tests/richtext/model/model_test_util.h"

using namespace qn;
using namespace qn::test;

TEST(Objects, TagsIdsAndTheNeedObjectHook)
{
    TQnRTFText doc;
    std::vector<int> asked;
    doc.OnNeedObject = [&](int tag, TQnObject &o) {
        asked.push_back(tag);
        o.Graphic = std::make_shared<TQnGraphic>();
    };
    auto picture = std::make_shared<TQnGraphic>();
    TQnObject *a = doc.AddObject(picture, 0);
    TQnObject *b = doc.AddObject(picture, 0);
    EXPECT_EQ(a->Id, 1);
    EXPECT_EQ(b->Id, 2);
    EXPECT_EQ(a->Tag, 0);
    TQnObject *tagged = doc.AddObject(picture, 15);
    EXPECT_EQ(tagged->Tag, 15);
    TQnObject *autoTag = doc.AddObject(nullptr, -1);
    EXPECT_EQ(autoTag->Tag, 2000); // at least 2000
    EXPECT_EQ(doc.AddObject(picture, -1)->Tag, 2001);
    EXPECT_TRUE(asked.empty()); // automatic tags do not ask
    TQnObject *missing = doc.AddObject(nullptr, 33);
    ASSERT_EQ(asked, std::vector<int>{33});
    EXPECT_NE(missing->Graphic, nullptr);

    EXPECT_EQ(doc.FindObject(15, 0), tagged);
    EXPECT_EQ(doc.FindObject(0, 2), b);
    EXPECT_EQ(doc.FindObject(0, 0), nullptr);
    EXPECT_EQ(doc.FindObject(99, 0), nullptr);
    autoTag->FileName = "C:\\Pics\\Sun.bmp";
    EXPECT_EQ(doc.FindObjectByFileName("c:\\pics\\sun.BMP"), autoTag);
}

TEST(Objects, SizeComesFromTheGraphicUnlessSet)
{
    TQnRTFText doc;
    doc.Header->PixelsPerInchX = 96;
    doc.Header->PixelsPerInchY = 120;
    auto picture = std::make_shared<TQnGraphic>();
    picture->WidthPixels = 96;
    picture->HeightPixels = 60;
    TQnObject *o = doc.AddObject(picture, 0);
    doc.ObjectSize(*o);
    EXPECT_EQ(o->Width, 1440);
    EXPECT_EQ(o->Height, 720);
    o->Width = 500;
    o->Height = 0;
    picture->HeightPixels = 120;
    doc.ObjectSize(*o);
    EXPECT_EQ(o->Width, 500); // kept
    EXPECT_EQ(o->Height, 1440);
    TQnObject *empty = doc.AddObject(nullptr, -1);
    doc.ObjectSize(*empty);
    EXPECT_EQ(empty->Width, 32);
    EXPECT_EQ(empty->Height, 32);
}

TEST(Objects, CollectionKeepsOnlyObjectsTheTextRefersTo)
{
    TQnRTFText doc;
    Fill(doc, {"x\x01y", "\x02z"});
    auto shared = std::make_shared<TQnGraphic>();
    TQnObject *byTag = doc.AddObject(shared, 50);
    TQnObject *byId = doc.AddObject(shared, 0);
    doc.AddObject(shared, 0);  // never referred to
    doc.AddObject(shared, 60); // referred to only by a character without the object mark
    const int byIdId = byId->Id;

    TLine *first = doc.FirstParagraph->Lines;
    first->Attrs[1].Style = kStyleObject;
    first->Attrs[1].Tag = 50;
    first->Attrs[2].Tag = 60;
    TLine *second = doc.FirstParagraph->Next->Lines;
    second->Attrs[0].Style = kStyleObject;
    second->Attrs[0].Tag = static_cast<int16_t>(byIdId);

    doc.CollectObjects();
    ASSERT_EQ(doc.Objects.size(), 2u);
    EXPECT_EQ(doc.Objects[0].get(), byTag);
    EXPECT_EQ(doc.Objects[1].get(), byId);
    EXPECT_EQ(shared.use_count(), 3); // the freed records let go of the picture

    // Once the characters are gone, so are the objects.
    doc.DeleteText(doc.FirstParagraph, 0, 3);
    doc.DeleteText(doc.FirstParagraph->Next, 0, 1);
    doc.CollectObjects();
    EXPECT_TRUE(doc.Objects.empty());
}

TEST(Footnotes, IdsCountUpAndZeroFindsNothing)
{
    TQnRTFText doc;
    TQnFootnote *a = doc.AddFootnote('#', 1, "{first}");
    TQnFootnote *b = doc.AddFootnote('?', 2, "{second}");
    EXPECT_EQ(a->Id, 1);
    EXPECT_EQ(b->Id, 2);
    EXPECT_EQ(b->MarkChar, '?');
    EXPECT_EQ(doc.FindFootnote(2), b);
    EXPECT_EQ(doc.FindFootnote(0), nullptr);
    EXPECT_EQ(doc.FindFootnote(3), nullptr);
    doc.Footnotes.erase(doc.Footnotes.begin());
    EXPECT_EQ(doc.AddFootnote('*', 3, "")->Id, 3); // highest + 1
}

TEST(Styles, NamesAreUpperCaseAndCut)
{
    TQnRTFText doc;
    TParProps props;
    props.LeftIndent = 720;
    EXPECT_EQ(doc.AddStyle(props, "Heading One"), 1);
    EXPECT_EQ(doc.AddStyle(props, "quote"), 2);
    EXPECT_EQ(doc.AddStyle(TParProps{}, "HEADING ONE MORE"), 1); // same first 8 letters
    EXPECT_EQ(doc.Styles[0]->Name, "HEADING ");
    EXPECT_EQ(doc.Styles[0]->Props.LeftIndent, 720);

    std::string name = "Quote";
    uint8_t id = 0;
    ASSERT_NE(doc.FindStyle(name, id), nullptr);
    EXPECT_EQ(id, 2);
    EXPECT_EQ(name, "QUOTE");
    name.clear();
    id = 1;
    ASSERT_NE(doc.FindStyle(name, id), nullptr);
    EXPECT_EQ(name, "HEADING ");
    name = "none";
    id = 0;
    EXPECT_EQ(doc.FindStyle(name, id), nullptr);
    EXPECT_EQ(id, 0);
}

TEST(NumberText, EveryKind)
{
    EXPECT_EQ(TQnRTFText::NumberText(1, 5), "l");
    EXPECT_EQ(TQnRTFText::NumberText(2, 1), "A)");
    EXPECT_EQ(TQnRTFText::NumberText(3, 26), "z)");
    EXPECT_EQ(TQnRTFText::NumberText(3, 27), "aa)");
    EXPECT_EQ(TQnRTFText::NumberText(3, 53), "ba)");
    EXPECT_EQ(TQnRTFText::NumberText(3, 702), "zz)");
    EXPECT_EQ(TQnRTFText::NumberText(3, 703), "a)"); // starts again
    EXPECT_EQ(TQnRTFText::NumberText(5, 4), "iv.");
    EXPECT_EQ(TQnRTFText::NumberText(5, 9), "ix.");
    EXPECT_EQ(TQnRTFText::NumberText(4, 14), "XIV.");
    EXPECT_EQ(TQnRTFText::NumberText(5, 49), "xxxxix."); // tens are always written out
    EXPECT_EQ(TQnRTFText::NumberText(4, 88), "LXXXVIII.");
    EXPECT_EQ(TQnRTFText::NumberText(5, 100), ".");
    EXPECT_EQ(TQnRTFText::NumberText(6, 42), "42.");
    EXPECT_EQ(TQnRTFText::NumberText(6, 1234567), "34567.");
    EXPECT_EQ(TQnRTFText::NumberText(7, 3), "");
    EXPECT_EQ(TQnRTFText::NumberText(8, 3), "");
}
