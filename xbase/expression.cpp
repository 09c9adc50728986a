#include "xbase/expression.h"

#include "platform/ascii_text.h"
#include "xbase/xbase_date.h"
#include "xbase/xbase_error.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace qn::xbase {

Value Value::character(std::string s)
{
    Value v;
    v.type = Type::Character;
    v.text = std::move(s);
    return v;
}
Value Value::numeric(double n)
{
    Value v;
    v.type = Type::Numeric;
    v.number = n;
    return v;
}
Value Value::logicalValue(bool b)
{
    Value v;
    v.type = Type::Logical;
    v.logical = b;
    return v;
}
Value Value::date(long jd)
{
    Value v;
    v.type = Type::Date;
    v.number = double(jd);
    v.text = jd > 0 ? storedDate(fromJulianDay(jd)) : std::string(8, ' ');
    return v;
}

std::string Value::toText() const
{
    switch (type) {
    case Type::Character:
    case Type::Date:
        return text;
    case Type::Logical:
        return logical ? ".T." : ".F.";
    case Type::Numeric: {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.10g", number);
        return buf;
    }
    }
    return text;
}

namespace {

int64_t le64(const unsigned char *p)
{
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = v << 8 | p[i];
    return int64_t(v);
}

} // namespace

Value fieldValue(const FieldInfo &f, const char *record, const RecordView *)
{
    const char *p = record + f.offset;
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    switch (f.type) {
    case 'N':
    case 'F': {
        std::string s(p, f.length);
        char *end = nullptr;
        double d = std::strtod(s.c_str(), &end);
        return Value::numeric(end == s.c_str() ? 0.0 : d);
    }
    case 'D': {
        auto d = parseStoredDate(std::string_view(p, f.length));
        return Value::date(d ? julianDay(*d) : 0);
    }
    case 'L':
        return Value::logicalValue(std::strchr("TtYy", *p) != nullptr && *p != 0);
    case 'I':
        if (f.length == 4)
            return Value::numeric(
                double(int32_t(u[0] | u[1] << 8 | u[2] << 16 | uint32_t(u[3]) << 24)));
        break;
    case 'B':
        if (f.length == 8) {
            double d;
            std::memcpy(&d, p, 8);
            return Value::numeric(d);
        }
        break;
    case 'Y':
        if (f.length == 8)
            return Value::numeric(double(le64(u)) / 10000.0);
        break;
    case 'T':
        if (f.length == 8) {
            long jd = long(u[0] | u[1] << 8 | u[2] << 16 | uint32_t(u[3]) << 24);
            return Value::date(jd > 0 && jd < 5373484 ? jd : 0);
        }
        break;
    default:
        break;
    }
    return Value::character(std::string(p, f.length));
}

// ---------------------------------------------------------------- parsing

struct Expression::Node {
    enum class Kind { Constant, Field, Unary, Binary, Call } kind = Kind::Constant;
    std::string op; // operator or function name
    Value constant;
    int field = -1;
    Value::Type type = Value::Type::Character;
    std::vector<std::unique_ptr<Node>> args;
};

namespace {

using Node = Expression::Node;
using Type = Value::Type;

struct Token {
    enum class Kind { End, Name, Number, String, Op } kind = Kind::End;
    std::string text;
    size_t pos = 0;
};

class Parser {
public:
    Parser(std::string_view text, const std::vector<FieldInfo> &fields)
        : text_(text), fields_(fields)
    {
        next();
    }

    std::unique_ptr<Node> parseAll()
    {
        if (tok_.kind == Token::Kind::End)
            fail("the expression is empty", 0);
        auto n = parseOr();
        if (tok_.kind != Token::Kind::End)
            fail("unexpected \"" + tok_.text + "\"", tok_.pos);
        return n;
    }

private:
    [[noreturn]] void fail(const std::string &what, size_t pos)
    {
        throw XbaseError::expression("Expression \"" + std::string(text_) + "\": " + what +
                                     " at position " + std::to_string(pos + 1));
    }

    void next()
    {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_])))
            ++pos_;
        tok_ = Token{};
        tok_.pos = pos_;
        if (pos_ >= text_.size())
            return;
        char c = text_[pos_];
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            size_t b = pos_;
            while (pos_ < text_.size() &&
                   (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_'))
                ++pos_;
            tok_.kind = Token::Kind::Name;
            tok_.text = asciiUpper(std::string(text_.substr(b, pos_ - b)));
            return;
        }
        if (std::isdigit(static_cast<unsigned char>(c)) ||
            (c == '.' && pos_ + 1 < text_.size() &&
             std::isdigit(static_cast<unsigned char>(text_[pos_ + 1])))) {
            size_t b = pos_;
            while (pos_ < text_.size() &&
                   (std::isdigit(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '.'))
                ++pos_;
            tok_.kind = Token::Kind::Number;
            tok_.text = std::string(text_.substr(b, pos_ - b));
            return;
        }
        if (c == '\'' || c == '"' || c == '[') {
            char close = c == '[' ? ']' : c;
            size_t end = text_.find(close, pos_ + 1);
            if (end == std::string_view::npos)
                fail("unterminated string", pos_);
            tok_.kind = Token::Kind::String;
            tok_.text = std::string(text_.substr(pos_ + 1, end - pos_ - 1));
            pos_ = end + 1;
            return;
        }
        if (c == '.') {
            size_t end = text_.find('.', pos_ + 1);
            if (end != std::string_view::npos) {
                std::string word = asciiUpper(std::string(text_.substr(pos_, end - pos_ + 1)));
                if (word == ".AND." || word == ".OR." || word == ".NOT." || word == ".T." ||
                    word == ".F." || word == ".Y." || word == ".N.") {
                    tok_.kind = Token::Kind::Op;
                    tok_.text = word;
                    pos_ = end + 1;
                    return;
                }
            }
            fail("unexpected \".\"", pos_);
        }
        static const char *ops[] = {"==", "<>", "!=", "<=", ">=", "->", "=", "#", "<", ">",
                                    "+",  "-",  "*",  "/",  "(",  ")",  ",", "$", "!"};
        for (const char *op : ops) {
            size_t n = std::strlen(op);
            if (text_.substr(pos_, n) == op) {
                tok_.kind = Token::Kind::Op;
                tok_.text = op;
                pos_ += n;
                return;
            }
        }
        fail(std::string("unexpected character \"") + c + "\"", pos_);
    }

    bool isOp(const char *op) const { return tok_.kind == Token::Kind::Op && tok_.text == op; }

    static const char *typeName(Type t)
    {
        switch (t) {
        case Type::Character:
            return "text";
        case Type::Numeric:
            return "number";
        case Type::Date:
            return "date";
        case Type::Logical:
            return "logical";
        }
        return "?";
    }

    std::unique_ptr<Node> make(Node::Kind kind, std::string op, Type type)
    {
        auto n = std::make_unique<Node>();
        n->kind = kind;
        n->op = std::move(op);
        n->type = type;
        return n;
    }

    std::unique_ptr<Node> binary(std::string op, std::unique_ptr<Node> a, std::unique_ptr<Node> b,
                                 Type t)
    {
        auto n = make(Node::Kind::Binary, std::move(op), t);
        n->args.push_back(std::move(a));
        n->args.push_back(std::move(b));
        return n;
    }

    std::unique_ptr<Node> parseOr()
    {
        auto left = parseAnd();
        while (isOp(".OR.")) {
            size_t at = tok_.pos;
            next();
            auto right = parseAnd();
            if (left->type != Type::Logical || right->type != Type::Logical)
                fail(".OR. needs logical operands", at);
            left = binary(".OR.", std::move(left), std::move(right), Type::Logical);
        }
        return left;
    }

    std::unique_ptr<Node> parseAnd()
    {
        auto left = parseNot();
        while (isOp(".AND.")) {
            size_t at = tok_.pos;
            next();
            auto right = parseNot();
            if (left->type != Type::Logical || right->type != Type::Logical)
                fail(".AND. needs logical operands", at);
            left = binary(".AND.", std::move(left), std::move(right), Type::Logical);
        }
        return left;
    }

    std::unique_ptr<Node> parseNot()
    {
        if (isOp(".NOT.") || isOp("!")) {
            size_t at = tok_.pos;
            next();
            auto operand = parseNot();
            if (operand->type != Type::Logical)
                fail(".NOT. needs a logical operand", at);
            auto n = make(Node::Kind::Unary, ".NOT.", Type::Logical);
            n->args.push_back(std::move(operand));
            return n;
        }
        return parseComparison();
    }

    std::unique_ptr<Node> parseComparison()
    {
        auto left = parseAdditive();
        static const char *ops[] = {"==", "<>", "!=", "#", "<=", ">=", "=", "<", ">", "$"};
        for (const char *op : ops) {
            if (!isOp(op))
                continue;
            size_t at = tok_.pos;
            next();
            auto right = parseAdditive();
            std::string o = op;
            if (o == "!=" || o == "#")
                o = "<>";
            if (o == "$") {
                if (left->type != Type::Character || right->type != Type::Character)
                    fail("$ needs text operands", at);
            } else if (left->type != right->type) {
                fail(std::string("cannot compare ") + typeName(left->type) + " with " +
                         typeName(right->type),
                     at);
            } else if (left->type == Type::Logical && o != "=" && o != "<>" && o != "==") {
                fail("logical values can only be tested for equality", at);
            }
            return binary(o, std::move(left), std::move(right), Type::Logical);
        }
        return left;
    }

    std::unique_ptr<Node> parseAdditive()
    {
        auto left = parseMultiplicative();
        while (isOp("+") || isOp("-")) {
            std::string op = tok_.text;
            size_t at = tok_.pos;
            next();
            auto right = parseMultiplicative();
            Type t;
            if (left->type == Type::Character && right->type == Type::Character)
                t = Type::Character;
            else if (left->type == Type::Numeric && right->type == Type::Numeric)
                t = Type::Numeric;
            else if (left->type == Type::Date && right->type == Type::Numeric)
                t = Type::Date;
            else if (op == "+" && left->type == Type::Numeric && right->type == Type::Date)
                t = Type::Date;
            else if (op == "-" && left->type == Type::Date && right->type == Type::Date)
                t = Type::Numeric;
            else
                fail("cannot apply " + op + " to " + typeName(left->type) + " and " +
                         typeName(right->type),
                     at);
            left = binary(op, std::move(left), std::move(right), t);
        }
        return left;
    }

    std::unique_ptr<Node> parseMultiplicative()
    {
        auto left = parseUnary();
        while (isOp("*") || isOp("/")) {
            std::string op = tok_.text;
            size_t at = tok_.pos;
            next();
            auto right = parseUnary();
            if (left->type != Type::Numeric || right->type != Type::Numeric)
                fail(op + " needs numeric operands", at);
            left = binary(op, std::move(left), std::move(right), Type::Numeric);
        }
        return left;
    }

    std::unique_ptr<Node> parseUnary()
    {
        if (isOp("-") || isOp("+")) {
            std::string op = tok_.text;
            size_t at = tok_.pos;
            next();
            auto operand = parseUnary();
            if (operand->type != Type::Numeric)
                fail("sign needs a numeric operand", at);
            if (op == "+")
                return operand;
            auto n = make(Node::Kind::Unary, "-", Type::Numeric);
            n->args.push_back(std::move(operand));
            return n;
        }
        return parsePrimary();
    }

    std::unique_ptr<Node> constant(Value v)
    {
        auto n = make(Node::Kind::Constant, "", v.type);
        n->constant = std::move(v);
        return n;
    }

    std::unique_ptr<Node> parsePrimary()
    {
        Token t = tok_;
        switch (t.kind) {
        case Token::Kind::End:
            fail("the expression ends too early", t.pos);
        case Token::Kind::Number: {
            next();
            char *end = nullptr;
            double d = std::strtod(t.text.c_str(), &end);
            if (*end != '\0')
                fail("bad number \"" + t.text + "\"", t.pos);
            return constant(Value::numeric(d));
        }
        case Token::Kind::String:
            next();
            return constant(Value::character(t.text));
        case Token::Kind::Op:
            if (t.text == "(") {
                next();
                auto inner = parseOr();
                if (!isOp(")"))
                    fail("missing \")\"", tok_.pos);
                next();
                return inner;
            }
            if (t.text == ".T." || t.text == ".Y.") {
                next();
                return constant(Value::logicalValue(true));
            }
            if (t.text == ".F." || t.text == ".N.") {
                next();
                return constant(Value::logicalValue(false));
            }
            fail("unexpected \"" + t.text + "\"", t.pos);
        case Token::Kind::Name:
            break;
        }
        next();
        if (isOp("->")) { // alias->field: the alias is the table itself
            next();
            if (tok_.kind != Token::Kind::Name)
                fail("a field name must follow ->", tok_.pos);
            t = tok_;
            next();
        } else if (isOp("(")) {
            return parseCall(t);
        }
        for (size_t i = 0; i < fields_.size(); ++i) {
            if (fields_[i].name == t.text) {
                char ft = fields_[i].type;
                Type type = Type::Character;
                if (ft == 'N' || ft == 'F' || ft == 'I' || ft == 'B' || ft == 'Y')
                    type = Type::Numeric;
                else if (ft == 'D' || ft == 'T')
                    type = Type::Date;
                else if (ft == 'L')
                    type = Type::Logical;
                auto n = make(Node::Kind::Field, "", type);
                n->field = int(i);
                return n;
            }
        }
        fail("unknown field \"" + t.text + "\"", t.pos);
    }

    std::unique_ptr<Node> parseCall(const Token &name)
    {
        next(); // (
        std::vector<std::unique_ptr<Node>> args;
        if (!isOp(")")) {
            for (;;) {
                args.push_back(parseOr());
                if (isOp(","))
                    next();
                else
                    break;
            }
        }
        if (!isOp(")"))
            fail("missing \")\" after the arguments of " + name.text, tok_.pos);
        next();
        struct Sig {
            const char *name;
            const char *args; // argument types, lower case optional
            Type result;
        };
        static const Sig sigs[] = {
            {"UPPER", "C", Type::Character},    {"LOWER", "C", Type::Character},
            {"TRIM", "C", Type::Character},     {"RTRIM", "C", Type::Character},
            {"LTRIM", "C", Type::Character},    {"ALLTRIM", "C", Type::Character},
            {"DTOS", "D", Type::Character},     {"STR", "Nnn", Type::Numeric},
            {"DELETED", "", Type::Logical},     {"RECNO", "", Type::Numeric},
            {"SUBSTR", "CNn", Type::Character}, {"LEFT", "CN", Type::Character},
            {"RIGHT", "CN", Type::Character},   {"VAL", "C", Type::Numeric},
            {"LEN", "C", Type::Numeric},        {"IIF", "L??", Type::Character},
        };
        for (const Sig &s : sigs) {
            if (name.text != s.name)
                continue;
            size_t max = std::strlen(s.args), min = 0;
            for (size_t i = 0; i < max; ++i)
                if (std::isupper(static_cast<unsigned char>(s.args[i])) || s.args[i] == '?')
                    min = i + 1;
            if (args.size() < min || args.size() > max)
                fail(name.text + " takes " +
                         (min == max ? std::to_string(min)
                                     : std::to_string(min) + " to " + std::to_string(max)) +
                         " argument(s)",
                     name.pos);
            for (size_t i = 0; i < args.size(); ++i) {
                char want = char(std::toupper(static_cast<unsigned char>(s.args[i])));
                if (want != '?' && char(args[i]->type) != want)
                    fail(name.text + ": argument " + std::to_string(i + 1) + " must be " +
                             typeName(Type(want)),
                         name.pos);
            }
            Type result = s.result;
            if (name.text == "STR")
                result = Type::Character;
            if (name.text == "IIF") {
                if (args[1]->type != args[2]->type)
                    fail("IIF: both results must have the same type", name.pos);
                result = args[1]->type;
            }
            auto n = make(Node::Kind::Call, name.text, result);
            n->args = std::move(args);
            return n;
        }
        fail("unknown function " + name.text + "()", name.pos);
    }

    std::string_view text_;
    const std::vector<FieldInfo> &fields_;
    size_t pos_ = 0;
    Token tok_;
};

std::string strFunction(double n, int width, int decimals)
{
    if (width < 1 || width > 255)
        width = 10;
    if (decimals < 0)
        decimals = 0;
    if (decimals > 0 && decimals > width - 2)
        decimals = std::max(0, width - 2);
    // Halves round away from zero, as xBase does (printf alone rounds 12.5 to 12).
    double scale = std::pow(10.0, decimals);
    double rounded = std::floor(std::fabs(n) * scale + 0.5 + 1e-9) / scale;
    char buf[400];
    std::snprintf(buf, sizeof buf, "%*.*f", width, decimals, n < 0 ? -rounded : rounded);
    std::string s = buf;
    if (int(s.size()) > width)
        return std::string(size_t(width), '*');
    return s;
}

int compareText(const std::string &a, const std::string &b)
{
    // The shorter text is taken as padded with blanks.
    size_t n = std::max(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = i < a.size() ? a[i] : ' ', y = i < b.size() ? b[i] : ' ';
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

class Evaluator {
public:
    Evaluator(const std::vector<FieldInfo> &fields, const RecordView &view)
        : fields_(fields), view_(view)
    {
    }

    Value eval(const Node &n) const
    {
        switch (n.kind) {
        case Node::Kind::Constant:
            return n.constant;
        case Node::Kind::Field: {
            const FieldInfo &f = fields_[size_t(n.field)];
            if (f.type == 'M' || f.type == 'G')
                return Value::character(view_.memoText(n.field));
            return fieldValue(f, view_.recordImage(), &view_);
        }
        case Node::Kind::Unary: {
            Value a = eval(*n.args[0]);
            if (n.op == "-")
                return Value::numeric(-a.number);
            return Value::logicalValue(!a.logical);
        }
        case Node::Kind::Binary:
            return binary(n);
        case Node::Kind::Call:
            return call(n);
        }
        return Value{};
    }

private:
    Value binary(const Node &n) const
    {
        if (n.op == ".AND.") {
            if (!eval(*n.args[0]).logical)
                return Value::logicalValue(false);
            return Value::logicalValue(eval(*n.args[1]).logical);
        }
        if (n.op == ".OR.") {
            if (eval(*n.args[0]).logical)
                return Value::logicalValue(true);
            return Value::logicalValue(eval(*n.args[1]).logical);
        }
        Value a = eval(*n.args[0]);
        Value b = eval(*n.args[1]);
        if (n.op == "+") {
            if (a.type == Type::Character)
                return Value::character(a.text + b.text);
            if (n.type == Type::Date)
                return a.type == Type::Date
                           ? Value::date(a.number > 0 ? long(a.number + b.number) : 0)
                           : Value::date(b.number > 0 ? long(a.number + b.number) : 0);
            return Value::numeric(a.number + b.number);
        }
        if (n.op == "-") {
            if (a.type == Type::Character) { // trailing blanks of the left move to the end
                std::string t(TrimRight(a.text));
                return Value::character(t + b.text + std::string(a.text.size() - t.size(), ' '));
            }
            if (n.type == Type::Date)
                return Value::date(a.number > 0 ? long(a.number - b.number) : 0);
            return Value::numeric(a.number - b.number);
        }
        if (n.op == "*")
            return Value::numeric(a.number * b.number);
        if (n.op == "/") {
            if (b.number == 0)
                throw XbaseError::expression("Division by zero in expression");
            return Value::numeric(a.number / b.number);
        }
        if (n.op == "$")
            return Value::logicalValue(b.text.find(a.text) != std::string::npos);
        int c = 0;
        bool equal;
        switch (a.type) {
        case Type::Character:
            if (n.op == "==")
                equal = TrimRight(a.text) == TrimRight(b.text);
            else if (view_.exactCompare())
                equal = TrimRight(a.text) == TrimRight(b.text);
            else // without exact, the left side only has to begin with the right
                equal =
                    a.text.compare(0, b.text.size(), b.text) == 0 && a.text.size() >= b.text.size();
            c = compareText(a.text, b.text);
            break;
        case Type::Logical:
            equal = a.logical == b.logical;
            break;
        default:
            c = a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
            equal = c == 0;
            break;
        }
        if (n.op == "=" || n.op == "==")
            return Value::logicalValue(equal);
        if (n.op == "<>")
            return Value::logicalValue(!equal);
        if (n.op == "<")
            return Value::logicalValue(c < 0);
        if (n.op == "<=")
            return Value::logicalValue(c <= 0);
        if (n.op == ">")
            return Value::logicalValue(c > 0);
        return Value::logicalValue(c >= 0);
    }

    Value call(const Node &n) const
    {
        const std::string &f = n.op;
        if (f == "DELETED")
            return Value::logicalValue(view_.recordImage()[0] == '*');
        if (f == "RECNO")
            return Value::numeric(view_.recordNumber());
        if (f == "IIF")
            return eval(*n.args[0]).logical ? eval(*n.args[1]) : eval(*n.args[2]);
        std::vector<Value> a;
        for (const auto &arg : n.args)
            a.push_back(eval(*arg));
        if (f == "UPPER" || f == "LOWER") {
            std::string s = a[0].text;
            for (char &c : s) {
                unsigned char u = static_cast<unsigned char>(c);
                if (f == "UPPER" && (std::islower(u) || (u >= 0xE0 && u != 0xF7 && u != 0xFF)))
                    c = char(u >= 0xE0 ? u - 0x20 : std::toupper(u));
                else if (f == "LOWER" && (std::isupper(u) || (u >= 0xC0 && u <= 0xDE && u != 0xD7)))
                    c = char(u >= 0xC0 ? u + 0x20 : std::tolower(u));
            }
            return Value::character(s);
        }
        if (f == "TRIM" || f == "RTRIM")
            return Value::character(std::string(TrimRight(a[0].text)));
        if (f == "LTRIM")
            return Value::character(std::string(TrimLeft(a[0].text)));
        if (f == "ALLTRIM")
            return Value::character(std::string(Trim(a[0].text)));
        if (f == "DTOS")
            return Value::character(a[0].number > 0 ? a[0].text : std::string(8, ' '));
        if (f == "STR")
            return Value::character(strFunction(a[0].number, a.size() > 1 ? int(a[1].number) : 10,
                                                a.size() > 2 ? int(a[2].number) : 0));
        if (f == "SUBSTR" || f == "LEFT" || f == "RIGHT") {
            const std::string &s = a[0].text;
            long start = 1, len;
            if (f == "LEFT") {
                len = long(a[1].number);
            } else if (f == "RIGHT") {
                len = long(a[1].number);
                start = long(s.size()) - len + 1;
                if (start < 1) {
                    start = 1;
                    len = long(s.size());
                }
            } else {
                start = long(a[1].number);
                len = a.size() > 2 ? long(a[2].number) : long(s.size());
            }
            if (start < 1 || len <= 0 || size_t(start) > s.size())
                return Value::character("");
            return Value::character(s.substr(size_t(start - 1), size_t(len)));
        }
        if (f == "VAL") {
            char *end = nullptr;
            double d = std::strtod(a[0].text.c_str(), &end);
            return Value::numeric(end == a[0].text.c_str() ? 0.0 : d);
        }
        if (f == "LEN")
            return Value::numeric(double(a[0].text.size()));
        throw XbaseError::expression("Unknown function " + f);
    }

    const std::vector<FieldInfo> &fields_;
    const RecordView &view_;
};

} // namespace

Expression::Expression(Expression &&) noexcept = default;
Expression &Expression::operator=(Expression &&) noexcept = default;
Expression::~Expression() = default;

Expression Expression::compile(std::string_view text, const std::vector<FieldInfo> &fields)
{
    Expression e;
    e.text_ = std::string(text);
    e.fields_ = fields;
    Parser p(e.text_, e.fields_);
    e.root_ = p.parseAll();
    return e;
}

Value Expression::evaluate(const RecordView &record) const
{
    return Evaluator(fields_, record).eval(*root_);
}

bool Expression::evaluateLogical(const RecordView &record) const
{
    if (root_->type != Value::Type::Logical)
        throw XbaseError::expression("Expression \"" + text_ +
                                     "\" is not a condition (it gives no logical value)");
    return evaluate(record).logical;
}

Value::Type Expression::type() const
{
    return root_->type;
}

int Expression::singleField() const
{
    return root_->kind == Node::Kind::Field ? root_->field : -1;
}

} // namespace qn::xbase
