#pragma once

#include "xbase/field_info.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qn::xbase {

// A value of an xBase expression.
struct Value {
    enum class Type : char { Character = 'C', Numeric = 'N', Date = 'D', Logical = 'L' };
    Type type = Type::Character;
    std::string text;  // Character; Date as "yyyymmdd" (8 blanks when empty)
    double number = 0; // Numeric; Date as Julian day number (0 when empty)
    bool logical = false;

    static Value character(std::string s);
    static Value numeric(double n);
    static Value logicalValue(bool b);
    static Value date(long julianDay); // 0: empty date
    // The value as text: numbers without trailing zeros, dates yyyymmdd, .T./.F.
    std::string toText() const;
};

// The record an expression is evaluated against.
class RecordView {
public:
    virtual ~RecordView() = default;
    virtual const char *recordImage() const = 0; // deletion flag at byte 0
    virtual std::string memoText(int field) const = 0;
    virtual uint32_t recordNumber() const = 0;
    virtual bool exactCompare() const { return false; }
};

// Reads one field of a record image as an expression value.
Value fieldValue(const FieldInfo &field, const char *record, const RecordView *view);

// An expression compiled against a table's fields. Field names are found
// whatever their case; unknown names, wrong argument types and syntax
// errors are XbaseErrors that say where.
class Expression {
public:
    struct Node;
    static Expression compile(std::string_view text, const std::vector<FieldInfo> &fields);
    Expression(Expression &&) noexcept;
    Expression &operator=(Expression &&) noexcept;
    ~Expression();

    Value evaluate(const RecordView &record) const;
    bool evaluateLogical(const RecordView &record) const; // an XbaseError unless logical
    Value::Type type() const;
    const std::string &text() const { return text_; }
    // The field index when the whole expression is one field, else -1.
    int singleField() const;

private:
    Expression() = default;
    std::string text_;
    std::unique_ptr<Node> root_;
    std::vector<FieldInfo> fields_;
};

} // namespace qn::xbase
