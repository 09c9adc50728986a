#include "app/help_file.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <regex>

using namespace qn;

TEST(HelpFile, TopicsParagraphsListsAndLinks)
{
    THelpFile help;
    std::string error;
    ASSERT_TRUE(help.Parse("# comment\n\n@topic 1009 Contents\nFirst line\ncontinues.\n\n"
                           "== Sub <heading>\n- item [[1010|Other & more]]\n  goes on\n"
                           "Tail [[x|not a link]] & [[1010 no bar]]\n"
                           "@topic 1010 Other\r\nText\r\n",
                           error))
        << error;
    ASSERT_EQ(help.Topics().size(), 2u);
    ASSERT_NE(help.Find(1010), nullptr);
    EXPECT_EQ(help.Find(1010)->Title, "Other");
    EXPECT_EQ(help.Find(1011), nullptr);

    EXPECT_EQ(TopicToHtml(*help.Find(1009)),
              "<h2>Contents</h2>\n"
              "<p>First line continues.</p>\n"
              "<h3>Sub &lt;heading&gt;</h3>\n"
              "<ul>\n<li>item <a href=\"topic:1010\">Other &amp; more</a> goes on</li>\n</ul>\n"
              "<p>Tail [[x|not a link]] &amp; [[1010 no bar]]</p>\n");
}

TEST(HelpFile, BrokenFilesAreReportedWithTheirLine)
{
    struct Case {
        const char *text;
        const char *message;
    } cases[] = {
        {"", "The help file holds no topics."},
        {"stray\n@topic 1 A\n", "Line 1 of the help file: text before the first topic."},
        {"@topic 1 A\n@topic 1 B\n", "Line 2 of the help file: context 1 is used twice."},
        {"@topic x A\n", "Line 1 of the help file: a topic needs a context number and a title."},
        {"@topic 12\n", "Line 1 of the help file: a topic needs a context number and a title."},
        {"@topic -5 A\n", "Line 1 of the help file: a topic needs a context number and a title."},
    };
    for (const Case &c : cases) {
        THelpFile help;
        std::string error;
        EXPECT_FALSE(help.Parse(c.text, error)) << c.text;
        EXPECT_EQ(error, c.message);
    }
    THelpFile help;
    std::string error;
    EXPECT_FALSE(help.Load(qn::test::sourceDir() / "no-such-file.hlp", error));
    EXPECT_NE(error.find("cannot be read"), std::string::npos);
}

TEST(HelpFile, TheShippedHelpCoversEveryCommandAndHasNoDeadLinks)
{
    THelpFile help;
    std::string error;
    ASSERT_TRUE(help.Load(qn::test::sourceDir() / "resources" / "help" / "QUILLNK.HLP", error))
        << error;
    ASSERT_NE(help.Find(1009), nullptr) << "the Contents command opens context 1009";

    std::string all;
    for (const THelpTopic &topic : help.Topics()) {
        for (const std::string &line : topic.Lines)
            all += line + "\n";
        std::string html = TopicToHtml(topic);
        std::regex link("topic:(\\d+)");
        for (std::sregex_iterator it(html.begin(), html.end(), link), end; it != end; ++it)
            EXPECT_NE(help.Find(std::stoi((*it)[1])), nullptr)
                << "topic " << topic.Context << " links to " << (*it)[1];
    }
    const char *commands[] = {"Select or Change Password",
                              "Rebuild Indexes (do this often!)",
                              "Print Setup",
                              "Print",
                              "Exit",
                              "Find",
                              "Replace",
                              "Spell Check",
                              "Insert Today's Date",
                              "Wrap Text to fit Screen",
                              "Default Font",
                              "Find entry containing...",
                              "Find Next Entry",
                              "Contents",
                              "About",
                              "Save",
                              "Cancel",
                              "First",
                              "Prev",
                              "Date",
                              "Next",
                              "Last",
                              "Hide",
                              "Ctrl+Page Down",
                              "Ctrl+Page Up",
                              "Ctrl+F4",
                              "Ctrl+F5"};
    for (const char *command : commands)
        EXPECT_NE(all.find(std::string("- ") + command), std::string::npos) << command;
}
