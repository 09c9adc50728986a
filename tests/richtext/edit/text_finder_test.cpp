// Matching rules, directions, filters and replacement of the text finder.

#include <gtest/gtest.h>

#include "finder_test_util.h"
#include "platform/ansi.h"
#include "tests/support/text32.h"

using qn::test::Ansi;
using qn::test::U32;

namespace qn {
namespace {

using test::allBackward;
using test::allForward;
using test::attrOf;
using test::buildLines;
using test::buildRuns;
using test::buildText;
using test::Hit;
using test::TextRun;
using test::texts;

TEST(TextFinderWords, DelimitersAreEverythingButWesternLetters)
{
    TQnTextFinder finder;
    for (int ch :
         std::initializer_list<int>{'A', 'Z', 'a', 'z', 138, 140, 154, 156, 159, 192, 0xE9, 255})
        EXPECT_FALSE(finder.IsDelimiter(AnsiToUnicode(static_cast<uint8_t>(ch)))) << ch;
    for (int ch : std::initializer_list<int>{'0', '9', ' ', '\'', '-', '\t', 0, 127, 142, 158, 191})
        EXPECT_TRUE(finder.IsDelimiter(AnsiToUnicode(static_cast<uint8_t>(ch)))) << ch;
}

TEST(TextFinderWords, WholeWordSkipsWordsThatMerelyContainThePattern)
{
    TQnRTFText doc;
    buildText(doc, {"concatenate cat", "bobcat cat, cats (cat)", "cat"});
    TQnTextFinder finder(&doc);
    finder.Opts.WholeWord = 1;
    // "cat" in paragraph 0 at 12; paragraph 1 starts at 16; paragraph 2 at 39.
    EXPECT_EQ(allForward(finder, "cat"), (std::vector<Hit>{{12, 3}, {23, 3}, {34, 3}, {39, 3}}));
    finder.Opts.WholeWord = 0;
    EXPECT_EQ(allForward(finder, "cat").size(), 7u);

    // A search that starts inside "bobcat" does not take its tail for a word.
    finder.Opts.WholeWord = 1;
    finder.SetPosition(16 + 3);
    ASSERT_TRUE(finder.FindNext(U32("cat")));
    EXPECT_EQ(finder.FoundPosition(), 23);
}

TEST(TextFinderCase, FoldsTheWesternCodePage)
{
    TQnRTFText doc;
    // "café CAFÉ ŠKODA škoda straße STRASSE"
    buildText(doc, {"caf\xE9 CAF\xC9 \x8AKODA \x9Akoda stra\xDF"
                    "e STRASSE \xFF\x9F"});
    TQnTextFinder finder(&doc);
    EXPECT_EQ(allForward(finder, "CAF\xC9"), (std::vector<Hit>{{0, 4}, {5, 4}}));
    EXPECT_EQ(allForward(finder, "\x9Akoda"), (std::vector<Hit>{{10, 5}, {16, 5}}));
    EXPECT_EQ(allForward(finder, "\xFF"), (std::vector<Hit>{{37, 1}, {38, 1}}));
    // ß has no upper case: it is not "SS".
    EXPECT_EQ(allForward(finder, "stra\xDF"
                                 "e"),
              (std::vector<Hit>{{22, 6}}));

    finder.Opts.CaseSensitive = 1;
    EXPECT_EQ(allForward(finder, "CAF\xC9"), (std::vector<Hit>{{5, 4}}));
    EXPECT_EQ(allForward(finder, "\x9Akoda"), (std::vector<Hit>{{16, 5}}));
    // Only 1 means exact case.
    finder.Opts.CaseSensitive = 2;
    EXPECT_EQ(allForward(finder, "CAF\xC9").size(), 2u);
}

TEST(TextFinderWildcard, HeadToTheNextTailAcrossLinesButNotParagraphs)
{
    TQnRTFText doc;
    // Paragraph 0 spans three lines; paragraph 1 starts at 14.
    buildLines(doc, {{"xxab", "bbc a", "cxyz"}, {"a", "123cXe ac"}});
    TQnTextFinder finder(&doc);
    finder.Opts.Wildcard = '?';
    EXPECT_EQ(allForward(finder, "a?c"), (std::vector<Hit>{{2, 5}, {8, 2}, {14, 5}, {22, 2}}));
    EXPECT_EQ(Ansi(finder.Pattern()), "a?c");
    finder.ToStart();
    ASSERT_TRUE(finder.FindNext(U32("a?c")));
    EXPECT_EQ(Ansi(finder.FoundText()), "abbbc");
    // A second wildcard in the tail stands for one character.
    EXPECT_EQ(allForward(finder, "a?c?e"), (std::vector<Hit>{{14, 7}}));
    // Wildcards in a head and tail never step over a paragraph end.
    EXPECT_EQ(allForward(finder, "z?1"), (std::vector<Hit>{}));
    EXPECT_EQ(allForward(finder, "yz?a"), (std::vector<Hit>{}));
    // Without a wildcard set, '?' is an ordinary character.
    finder.Opts.Wildcard = 0;
    EXPECT_EQ(allForward(finder, "a?c"), (std::vector<Hit>{}));
}

TEST(TextFinderWildcard, RunsOfWordsAndOfFilteredCharacters)
{
    TQnRTFText doc;
    buildText(doc, {"don't stop, quick quiet", "  qu x"});
    TQnTextFinder finder(&doc);
    finder.Opts.Wildcard = '*';
    finder.Opts.ToWordEnd = 1;
    std::vector<std::string> words;
    finder.ToStart();
    while (finder.FindNext(U32("*")))
        words.push_back(Ansi(finder.FoundText()));
    EXPECT_EQ(words, (std::vector<std::string>{"don't", "stop", "quick", "quiet", "qu", "x"}));

    // A trailing wildcard finishes the word the head began; a blank EndChar
    // means the same as ToWordEnd.
    finder.Opts.ToWordEnd = 0;
    finder.Opts.EndChar = ' ';
    EXPECT_EQ(allForward(finder, "qu*"), (std::vector<Hit>{{12, 5}, {18, 5}, {26, 2}}));
    // A leading wildcard takes the word up to the tail inside it.
    EXPECT_EQ(allForward(finder, "*ck"), (std::vector<Hit>{{12, 5}}));

    // Otherwise a run goes up to EndChar.
    finder.Opts.EndChar = ',';
    finder.ToStart();
    ASSERT_TRUE(finder.FindNext(U32("*")));
    EXPECT_EQ(Ansi(finder.FoundText()), "don't stop");
    ASSERT_TRUE(finder.FindNext(U32("*")));
    EXPECT_EQ(Ansi(finder.FoundText()), " quick quiet");
}

TEST(TextFinderWildcard, PatternsAreCutToTheirLimit)
{
    TQnRTFText doc;
    buildText(doc, {std::string(255, 'a') + "b"});
    TQnTextFinder finder(&doc);
    const std::string longPattern(300, 'a');
    ASSERT_TRUE(finder.FindNext(U32(longPattern)));
    EXPECT_EQ(finder.FoundLength(), 255);
    EXPECT_EQ(finder.Pattern().size(), 256u);
    // A wildcard beyond the head's limit is not a wildcard.
    finder.Opts.Wildcard = '?';
    finder.ToStart();
    EXPECT_TRUE(finder.FindNext(U32(std::string(280, 'a') + "?b")));
    EXPECT_EQ(finder.FoundLength(), 255);
}

TEST(TextFinderDirection, EndPositionAndBackwardSearch)
{
    TQnRTFText doc;
    buildText(doc, {"cat cat", "", "dog cat"});
    TQnTextFinder finder(&doc);

    EXPECT_EQ(finder.SetPosition(kFinderEndPosition), 9);
    EXPECT_EQ(finder.Offset(), 7);
    EXPECT_FALSE(finder.FindNext(U32("cat")));
    EXPECT_EQ(finder.FoundPosition(), 0);
    EXPECT_EQ(finder.FoundLength(), 0);

    finder.ToEnd();
    ASSERT_TRUE(finder.SearchBackward(U32("cat")));
    EXPECT_EQ(finder.FoundPosition(), 13);

    EXPECT_EQ(allBackward(finder, "cat"), (std::vector<Hit>{{13, 3}, {4, 3}, {0, 3}}));
    EXPECT_TRUE(finder.Backward());
    // Past the first match find-previous stays "not found".
    EXPECT_FALSE(finder.FindPrev(U32("cat")));
    EXPECT_FALSE(finder.FindPrev(U32("cat")));

    // Turning round: find-next after find-previous goes past the match.
    finder.SetPosition(5);
    ASSERT_TRUE(finder.FindPrev(U32("cat")));
    EXPECT_EQ(finder.FoundPosition(), 4);
    ASSERT_TRUE(finder.FindNext(U32("cat")));
    EXPECT_EQ(finder.FoundPosition(), 13);
    EXPECT_FALSE(finder.Backward());

    // A backward wildcard match is the one that starts nearest the position.
    finder.Opts.Wildcard = '?';
    finder.SetPosition(5);
    ASSERT_TRUE(finder.SearchBackward(U32("c?t")));
    EXPECT_EQ(finder.FoundPosition(), 4);
}

TEST(TextFinderDirection, KeepPositionSearchesFromOffset)
{
    TQnRTFText doc;
    buildText(doc, {"aaaa"});
    TQnTextFinder finder(&doc);
    ASSERT_TRUE(finder.FindNext(U32("aa")));
    EXPECT_EQ(finder.FoundPosition(), 0);
    ASSERT_TRUE(finder.FindNext(U32("aa")));
    EXPECT_EQ(finder.FoundPosition(), 2);
    // Kept: the search goes on from Offset plus the match.
    finder.KeepPosition = true;
    finder.SetPosition(1);
    ASSERT_TRUE(finder.FindNext(U32("aa")));
    EXPECT_EQ(finder.FoundPosition(), 1);
}

TEST(TextFinderFilters, CharacterAttributes)
{
    TQnRTFText doc;
    const TCharAttr plain = attrOf(0);
    const TCharAttr bold = attrOf(kStyleBold);
    const TCharAttr red = attrOf(0, 0x21, 0, 10); // text colour 1, background 2
    const TCharAttr big = attrOf(kStyleItalic | kStyleUnderline, 0, 3, 14);
    buildRuns(doc, {{{TextRun{"one ", plain}, TextRun{"one", bold}, TextRun{" ", plain}},
                     {TextRun{"one ", red}, TextRun{"one", big}}}});
    TQnTextFinder finder(&doc);
    EXPECT_EQ(allForward(finder, "one").size(), 4u);

    finder.Opts.AttrMatch = kMatchBold;
    EXPECT_EQ(allForward(finder, "one"), (std::vector<Hit>{{4, 3}}));
    finder.Opts.AttrMatch = kMatchTextColor | kMatchBackColor;
    finder.MatchAttr.Colors = 0x21;
    EXPECT_EQ(allForward(finder, "one"), (std::vector<Hit>{{8, 3}}));
    finder.Opts.AttrMatch = kMatchFont | kMatchSize | kMatchItalic | kMatchUnderline;
    finder.MatchAttr = attrOf(0, 0, 3, 14);
    EXPECT_EQ(allForward(finder, "one"), (std::vector<Hit>{{12, 3}}));
    finder.Opts.AttrMatch = kMatchDoubleUnderline;
    EXPECT_EQ(allForward(finder, "one"), (std::vector<Hit>{}));

    // A leading wildcard takes the run of characters that pass the filter.
    finder.Opts.AttrMatch = kMatchBold;
    finder.Opts.Wildcard = '*';
    finder.ToStart();
    ASSERT_TRUE(finder.FindNext(U32("*")));
    EXPECT_EQ(Ansi(finder.FoundText()), "one");
    EXPECT_EQ(finder.FoundPosition(), 4);

    // Plain text knows no attributes: the filter lets everything through.
    finder.Opts.Wildcard = 0;
    doc.SetMemoryFormat(fmPlainText);
    EXPECT_EQ(allForward(finder, "one").size(), 4u);
}

TEST(TextFinderFilters, ObjectsAndInsertPointsWithTags)
{
    TQnRTFText doc;
    const TCharAttr plain = attrOf(0);
    buildRuns(doc,
              {{{TextRun{"a", plain}, TextRun{"\x01", attrOf(kStyleObject, 0, 0, 10, 5)},
                 TextRun{"b", plain}, TextRun{"\x01", attrOf(kStyleObject, 0, 0, 10, 7)},
                 TextRun{"c", plain}, TextRun{"Name", attrOf(kStyleInsertPoint, 0, 0, 10, 3)},
                 TextRun{" ", plain}, TextRun{"Date", attrOf(kStyleInsertPoint, 0, 0, 10, 4)}}}});
    TQnTextFinder finder(&doc);
    finder.Opts.Wildcard = '?';

    finder.Opts.AttrMatch = kMatchObject;
    EXPECT_EQ(allForward(finder, "?"), (std::vector<Hit>{{1, 1}, {3, 1}}));
    finder.Opts.MatchTag = 7;
    EXPECT_EQ(allForward(finder, "?"), (std::vector<Hit>{{3, 1}}));

    finder.Opts.AttrMatch = kMatchInsertPoint;
    finder.Opts.MatchTag = 0;
    EXPECT_EQ(allForward(finder, "?"), (std::vector<Hit>{{5, 4}, {10, 4}}));
    finder.Opts.MatchTag = 4;
    EXPECT_EQ(allForward(finder, "?"), (std::vector<Hit>{{10, 4}}));
    // The filter holds for pattern characters too.
    EXPECT_EQ(allForward(finder, "date"), (std::vector<Hit>{{10, 4}}));
    EXPECT_EQ(allForward(finder, "name"), (std::vector<Hit>{}));
}

TEST(TextFinderReplace, ReplaceTheMatchAndGoOn)
{
    TQnRTFTextIo doc;
    buildLines(doc, {{"the ca", "t sat on the cat"}});
    int changes = 0;
    doc.OnChange = [&] { ++changes; };
    TQnTextFinder finder(&doc);
    EXPECT_FALSE(finder.ReplaceFound(U32("dog"))); // nothing found yet
    finder.ReplaceAttr = attrOf(kStyleBold);
    ASSERT_TRUE(finder.FindNext(U32("cat")));
    EXPECT_EQ(Ansi(finder.FoundText()), "cat");
    ASSERT_TRUE(finder.ReplaceFound(U32("horse")));
    EXPECT_EQ(texts(doc), (std::vector<std::string>{"the horse sat on the cat"}));
    EXPECT_EQ(finder.FoundLength(), 5);
    EXPECT_EQ(Ansi(finder.ReplaceText()), "horse");
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(doc.FirstParagraph->State & kStateRebreak);
    const TParagraph *p = doc.FirstParagraph;
    int at = 0;
    for (const TLine *l = p->Lines; l; l = l->Next)
        for (int i = 0; i < l->Length; ++i, ++at)
            EXPECT_EQ((l->Attrs[i].Style & kStyleBold) != 0, at >= 4 && at < 9) << at;

    ASSERT_TRUE(finder.FindNext(U32("cat")));
    EXPECT_EQ(finder.FoundPosition(), 21);
    ASSERT_TRUE(finder.ReplaceFound(U32("")));
    EXPECT_EQ(texts(doc), (std::vector<std::string>{"the horse sat on the "}));
    EXPECT_FALSE(finder.FindNext(U32("cat")));
}

TEST(TextFinderReplace, GuardedAndReadOnlyTextIsNotReplaced)
{
    TQnRTFTextIo doc;
    buildRuns(doc, {{{TextRun{"a b ", attrOf(0)}, TextRun{"a", attrOf(kStyleShadow)},
                      TextRun{" a", attrOf(0)}}},
                    {{TextRun{"a a", attrOf(0)}}}});
    doc.ParagraphAt(1)->ParFlags |= kParProtected;
    doc.ProtectOptions = kProtectShadow | kProtectParagraph;
    TQnTextFinder finder(&doc);
    EXPECT_EQ(finder.ReplaceAll(U32("a"), U32("X")), 2);
    EXPECT_EQ(texts(doc), (std::vector<std::string>{"X b a X", "a a"}));

    doc.ProtectOff = 1;
    doc.ReadOnly = true;
    finder.ToStart();
    EXPECT_EQ(finder.ReplaceAll(U32("a"), U32("X")), 0);
    ASSERT_TRUE(finder.FindNext(U32("a")));
    EXPECT_FALSE(finder.ReplaceFound(U32("X")));
    EXPECT_EQ(texts(doc), (std::vector<std::string>{"X b a X", "a a"}));
}

TEST(TextFinderReplace, ReplaceAllSkipsItsOwnTextAndPollsEscape)
{
    TQnRTFText doc;
    buildLines(doc, {{"ban", "ana"}, {"a"}, {""}, {"xyz"}});
    TQnTextFinder finder(&doc);
    EXPECT_EQ(finder.ReplaceAll(U32("a"), U32("aa")), 4);
    EXPECT_EQ(finder.Count(), 4);
    EXPECT_EQ(texts(doc), (std::vector<std::string>{"baanaanaa", "aa", "", "xyz"}));
    // The position ends after the last replacement.
    EXPECT_EQ(finder.ParagraphStart() + finder.Offset(), 12);

    // Replace-all starts at the current position.
    finder.SetPosition(3);
    EXPECT_EQ(finder.ReplaceAll(U32("aa"), U32("a")), 3);
    EXPECT_EQ(texts(doc), (std::vector<std::string>{"baanana", "a", "", "xyz"}));

    buildText(doc, {std::string(100, 'a')});
    finder.Reset();
    int polls = 0;
    finder.EscapePressed = [&] { return ++polls == 2; };
    EXPECT_EQ(finder.ReplaceAll(U32("a"), U32("b")), 60);
    EXPECT_EQ(polls, 2);
    EXPECT_EQ(texts(doc)[0], std::string(60, 'b') + std::string(40, 'a'));
}

TEST(TextFinderState, ResetAndDocumentChanges)
{
    TQnRTFText doc;
    buildText(doc, {"one", "two"});
    TQnTextFinder finder(&doc);
    finder.Opts = {kMatchBold, 3, 1, '?', ' ', 1, 1};
    finder.MatchAttr.Size = 12;
    finder.ReplaceAttr.Size = 12;
    finder.KeepPosition = true;
    finder.SetPosition(5);
    finder.Reset();
    EXPECT_EQ(finder.Opts.AttrMatch, 0);
    EXPECT_EQ(finder.Opts.Wildcard, 0);
    EXPECT_EQ(finder.Opts.WholeWord, 0);
    EXPECT_EQ(finder.MatchAttr, TCharAttr{});
    EXPECT_EQ(finder.ReplaceAttr, TCharAttr{});
    EXPECT_FALSE(finder.KeepPosition);
    EXPECT_EQ(finder.Paragraph(), doc.FirstParagraph);
    EXPECT_EQ(finder.Offset(), 0);

    // No pattern, no document: nothing is found.
    EXPECT_FALSE(finder.FindNext(U32("")));
    TQnTextFinder unbound;
    EXPECT_FALSE(unbound.FindNext(U32("one")));
    EXPECT_FALSE(unbound.FindPrev(U32("one")));
    EXPECT_EQ(unbound.ReplaceAll(U32("one"), U32("x")), 0);

    // The document is cleared and refilled behind the finder's back: the
    // next search places itself again instead of using freed records.
    ASSERT_TRUE(finder.FindNext(U32("two")));
    buildText(doc, {"a", "b", "two two"});
    ASSERT_TRUE(finder.FindNext(U32("two")));
    EXPECT_EQ(Ansi(finder.FoundText()), "two");
    EXPECT_EQ(finder.Paragraph(), doc.ParagraphAt(2));
}

} // namespace
} // namespace qn
