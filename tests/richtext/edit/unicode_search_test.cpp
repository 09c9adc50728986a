// Case-insensitive search beyond the code page, in the editor's finder and in
// the finder that searches the folded text of entries.

#include <gtest/gtest.h>

#include "richtext/edit/buffer_finder.h"
#include "richtext/edit/text_finder.h"
#include "richtext/io/rtf_plain_text.h"
#include "richtext/io/rtf_text_io.h"

namespace qn {
namespace {

void fill(TQnRTFTextIo &doc, const std::vector<std::u32string> &paragraphs)
{
    doc.Clear();
    for (size_t i = 0; i < paragraphs.size(); ++i)
        doc.AddParagraphWithText(static_cast<int>(i), paragraphs[i], nullptr);
}

TEST(UnicodeSearch, CaseFoldsInEveryScript)
{
    TQnRTFTextIo doc;
    fill(doc, {U"Wycieczka do Łodzi: łódź", U"Nocą w αθήνα i w Αθήνα", U"Ёлка и ёлка"});
    TQnTextFinder finder(&doc);
    finder.ToStart();
    ASSERT_TRUE(finder.SearchForward(U"ΑΘΉΝΑ"));
    EXPECT_EQ(finder.FoundText(), U"αθήνα");
    ASSERT_TRUE(finder.FindNext(U"ΑΘΉΝΑ"));
    EXPECT_EQ(finder.FoundText(), U"Αθήνα");
    EXPECT_FALSE(finder.FindNext(U"ΑΘΉΝΑ"));

    finder.ToStart();
    ASSERT_TRUE(finder.SearchForward(U"ŁÓDŹ"));
    EXPECT_EQ(finder.FoundText(), U"łódź");
    finder.ToStart();
    ASSERT_TRUE(finder.SearchForward(U"ЁЛКА"));
    EXPECT_EQ(finder.FoundText(), U"Ёлка");

    // Exact case finds only the same letters.
    finder.Opts.CaseSensitive = 1;
    finder.ToStart();
    EXPECT_FALSE(finder.SearchForward(U"ŁÓDŹ"));
    finder.ToStart();
    ASSERT_TRUE(finder.SearchForward(U"Αθήνα"));
    EXPECT_EQ(finder.FoundText(), U"Αθήνα");
    EXPECT_EQ(finder.FoundPosition(),
              doc.ParagraphLength(0) + 1 + 17); // the paragraph end counts one
}

TEST(UnicodeSearch, WholeWordsAreRunsOfLettersOfAnyScript)
{
    TQnRTFTextIo doc;
    fill(doc, {U"Łódź, łódźka i ŁÓDŹ."});
    TQnTextFinder finder(&doc);
    finder.Opts.WholeWord = 1;
    finder.ToStart();
    std::vector<int> found;
    for (bool hit = finder.SearchForward(U"łódź"); hit; hit = finder.FindNext(U"łódź"))
        found.push_back(finder.FoundPosition());
    // "łódźka" is a longer word, not a match.
    EXPECT_EQ(found, (std::vector<int>{0, 15}));
}

TEST(UnicodeSearch, EntryTextsFoldAsTheEditorDoes)
{
    const std::string rtf = "{\\rtf1 Nocny spacer po \\u321?odzi\\par "
                            "\\u913?\\u952?\\u942?\\u957?\\u945? noc\\u261?\\par}";
    std::u32string folded;
    ASSERT_EQ(AppendRtfPlainText(rtf, true, folded), PlainTextResult::Done);
    EXPECT_TRUE(TQnBufferFinder(U"ŁODZI", U'*').Matches(folded));
    EXPECT_TRUE(TQnBufferFinder(U"αθήνα", U'*').Matches(folded));
    EXPECT_TRUE(TQnBufferFinder(U"ΑΘΉΝΑ NOCĄ", U'*').Matches(folded));
    EXPECT_TRUE(TQnBufferFinder(U"spacer*ODZI", U'*').Matches(folded));
    // A match never crosses a paragraph end.
    EXPECT_FALSE(TQnBufferFinder(U"odzi*αθήνα", U'*').Matches(folded));
    EXPECT_FALSE(TQnBufferFinder(U"łódź", U'*').Matches(folded));
}

} // namespace
} // namespace qn
