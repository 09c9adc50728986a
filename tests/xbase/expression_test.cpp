#include "xbase/expression.h"
#include "xbase/xbase_error.h"

#include <gtest/gtest.h>

using namespace qn::xbase;

namespace {

// A record of NAME C(10), AMOUNT N(8,2), DAY D, DONE L, NOTE M.
class Record : public RecordView {
public:
    Record(std::string name, std::string amount, std::string day, char done, bool deleted = false)
    {
        image_ = std::string(deleted ? "*" : " ");
        name.resize(10, ' ');
        amount.insert(0, 8 - amount.size(), ' ');
        image_ += name + amount + day + done + "         1";
    }
    const char *recordImage() const override { return image_.c_str(); }
    std::string memoText(int) const override { return "a long memo text"; }
    uint32_t recordNumber() const override { return 7; }
    bool exactCompare() const override { return exact; }
    bool exact = false;

private:
    std::string image_;
};

std::vector<FieldInfo> fields()
{
    return {{"NAME", 'C', 10, 0, 1},
            {"AMOUNT", 'N', 8, 2, 11},
            {"DAY", 'D', 8, 0, 19},
            {"DONE", 'L', 1, 0, 27},
            {"NOTE", 'M', 10, 0, 28}};
}

Value eval(const std::string &text, const RecordView &r)
{
    return Expression::compile(text, fields()).evaluate(r);
}

} // namespace

TEST(Expression, FieldsLiteralsAndStringFunctions)
{
    Record r("Smith", "12.50", "20261207", 'T');
    EXPECT_EQ(eval("name", r).text, "Smith     ");
    EXPECT_EQ(eval("Name", r).text, "Smith     ");
    EXPECT_EQ(eval("TRIM(name) + '-' + \"x\"", r).text, "Smith-x");
    EXPECT_EQ(eval("upper(name)", r).text, "SMITH     ");
    EXPECT_EQ(eval("DTOS(day)", r).text, "20261207");
    EXPECT_EQ(eval("STR(amount, 8, 2)", r).text, "   12.50");
    EXPECT_EQ(eval("STR(amount)", r).text, "        13");
    EXPECT_EQ(eval("STR(12345, 3)", r).text, "***");
    EXPECT_EQ(eval("[br] + 'ac' + \"ket\"", r).text, "bracket");
    EXPECT_EQ(eval("note", r).text, "a long memo text");
    EXPECT_EQ(eval("name - 'x'", r).text, "Smithx     ");
    EXPECT_DOUBLE_EQ(eval("amount * 2 + 1", r).number, 26.0);
    EXPECT_DOUBLE_EQ(eval("-amount", r).number, -12.5);
    EXPECT_EQ(eval("DTOS(day + 25)", r).text, "20270101");
    EXPECT_DOUBLE_EQ(eval("RECNO()", r).number, 7);
    EXPECT_EQ(eval("SUBSTR(name, 2, 3)", r).text, "mit");
}

TEST(Expression, ComparisonsAndLogic)
{
    Record r("Smith", "12.50", "20261207", 'T');
    EXPECT_TRUE(eval("name = 'Sm'", r).logical); // prefix without exact
    EXPECT_FALSE(eval("name == 'Sm'", r).logical);
    EXPECT_TRUE(eval("name == 'Smith'", r).logical); // trailing blanks do not count
    EXPECT_TRUE(eval("'mit' $ name", r).logical);
    EXPECT_FALSE(eval("'xyz' $ name", r).logical);
    EXPECT_TRUE(eval("amount > 12 .AND. amount <= 12.5", r).logical);
    EXPECT_TRUE(eval("amount < 1 .OR. done", r).logical);
    EXPECT_FALSE(eval(".NOT. done", r).logical);
    EXPECT_TRUE(eval("!(amount <> 12.5)", r).logical);
    EXPECT_TRUE(eval("amount # 3", r).logical);
    EXPECT_TRUE(eval("name > 'Adams' .and. name < 'Zed'", r).logical);
    EXPECT_TRUE(eval("done = .T.", r).logical);
    EXPECT_FALSE(eval("DELETED()", r).logical);
    Record gone("Smith", "1", "        ", ' ', true);
    EXPECT_TRUE(eval("DELETED()", gone).logical);
    EXPECT_EQ(eval("DTOS(day)", gone).text, "        ");
    EXPECT_FALSE(eval("done", gone).logical);
    Record exact("Smith", "1", "20261207", 'T');
    exact.exact = true;
    EXPECT_FALSE(eval("name = 'Sm'", exact).logical);
    EXPECT_TRUE(eval("name = 'Smith'", exact).logical);
}

TEST(Expression, ErrorsSayWhatIsWrong)
{
    auto message = [](const std::string &text) {
        try {
            Expression::compile(text, fields());
        } catch (const XbaseError &e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_NE(message("nosuch = 'x'").find("unknown field \"NOSUCH\""), std::string::npos);
    EXPECT_NE(message("name = ").find("ends too early"), std::string::npos);
    EXPECT_NE(message("name = 'abc").find("unterminated string"), std::string::npos);
    EXPECT_NE(message("UPPER(amount)").find("must be text"), std::string::npos);
    EXPECT_NE(message("name = 5").find("cannot compare text with number"), std::string::npos);
    EXPECT_NE(message("FOO(name)").find("unknown function FOO()"), std::string::npos);
    EXPECT_NE(message("(name").find("missing \")\""), std::string::npos);
    EXPECT_NE(message("name .AND. done").find(".AND. needs logical operands"), std::string::npos);
    EXPECT_NE(message("").find("empty"), std::string::npos);
    EXPECT_NE(message("name name").find("unexpected \"NAME\""), std::string::npos);
    EXPECT_NE(message("name ~ 1").find("unexpected character"), std::string::npos);
    EXPECT_EQ(Expression::compile("upper(name)", fields()).type(), Value::Type::Character);
    EXPECT_EQ(Expression::compile("name", fields()).singleField(), 0);
    EXPECT_EQ(Expression::compile("upper(name)", fields()).singleField(), -1);
}
