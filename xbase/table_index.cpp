// The index half of Table: opening index files, keeping tags in step with
// records, building tags, orders and the check of every key.

#include "xbase/table.h"

#include "platform/file_lookup.h"
#include "xbase/cdx_index.h"
#include "xbase/file_switch.h"
#include "xbase/xbase_error.h"

#include <algorithm>

namespace qn::xbase {

namespace {

// The key of one record for a tag: nullopt when its condition leaves the
// record out. Shared by the upkeep of open tags and by tag builds.
std::optional<std::string> keyOf(const Expression &key, const Expression *condition,
                                 const CdxTagInfo &info, const RecordView &view)
{
    if (condition && !condition->evaluateLogical(view))
        return std::nullopt;
    Value v = key.evaluate(view);
    switch (v.type) {
    case Value::Type::Character: {
        std::string k = v.text.substr(0, info.keyLength);
        k.resize(info.keyLength, ' ');
        return k;
    }
    case Value::Type::Logical: {
        std::string k(v.logical ? "T" : "F");
        k.resize(info.keyLength, ' ');
        return k;
    }
    case Value::Type::Numeric:
        if (info.keyLength == 4)
            return cdxIntegerKey(int32_t(v.number));
        return cdxNumericKey(v.number);
    case Value::Type::Date:
        return cdxNumericKey(v.number);
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> Table::tagKey(const OpenTag &t, const char *image, uint32_t recno) const
{
    if (!t.key)
        throw XbaseError::expression("Tag " + t.tag->info().name +
                                     " cannot be kept up to date: " + t.problem);
    return keyOf(*t.key, t.condition.get(), t.tag->info(), ImageView(*this, image, recno));
}

std::string Table::seekKey(const OpenTag &t, const std::string &text) const
{
    const CdxTagInfo &info = t.tag->info();
    Value::Type type = t.key ? t.key->type()
                             : (info.characterKeys ? Value::Type::Character : Value::Type::Numeric);
    switch (type) {
    case Value::Type::Character:
    case Value::Type::Logical: {
        std::string k = text;
        if (k.size() > info.keyLength) {
            // Only blanks may be cut from a key that is longer than the tag's.
            if (k.find_first_not_of(' ', info.keyLength) != std::string::npos)
                return std::string(info.keyLength, '\xFF') + "\xFF";
            k.resize(info.keyLength);
        }
        if (settings_.exact)
            k.resize(info.keyLength, ' ');
        return k;
    }
    case Value::Type::Numeric: {
        char *end = nullptr;
        double d = std::strtod(text.c_str(), &end);
        if (info.keyLength == 4)
            return cdxIntegerKey(int32_t(d));
        return cdxNumericKey(d);
    }
    case Value::Type::Date: {
        auto d = parseDateText(text, settings_.dateFormat);
        return cdxNumericKey(d ? double(julianDay(*d)) : 0.0);
    }
    }
    return text;
}

void Table::indexUpdate(uint32_t recno, const std::string *oldImage, const std::string &newImage)
{
    for (auto &tp : tags_) {
        OpenTag &t = *tp;
        std::optional<std::string> oldKey;
        if (oldImage)
            oldKey = tagKey(t, oldImage->data(), recno);
        std::optional<std::string> newKey = tagKey(t, newImage.data(), recno);
        if (oldImage && oldKey == newKey)
            continue;
        if (oldKey)
            t.tag->remove(CdxEntry{*oldKey, recno});
        if (newKey) {
            if (t.tag->info().unique) {
                auto e = t.tag->lowerBound(*newKey);
                if (e && e->key == *newKey)
                    continue;
            }
            t.tag->insert(CdxEntry{*newKey, recno});
        }
    }
}

void Table::addIndex(std::unique_ptr<CdxIndex> index)
{
    CdxIndex *x = index.get();
    x->setJournaled(journal_ != nullptr && x->writable());
    indexes_.push_back(std::move(index));
    for (size_t i = 0; i < x->tagCount(); ++i) {
        auto t = std::make_unique<OpenTag>();
        t->index = x;
        t->tag = &x->tag(i);
        try {
            t->key = std::make_unique<Expression>(
                Expression::compile(t->tag->info().expression, fields()));
            if (!t->tag->info().forExpression.empty())
                t->condition = std::make_unique<Expression>(
                    Expression::compile(t->tag->info().forExpression, fields()));
            // The file does not record the key type; the expression does.
            Value::Type type = t->key->type();
            bool characterKeys = type == Value::Type::Character || type == Value::Type::Logical;
            if (characterKeys != t->tag->info().characterKeys)
                t->tag->setCharacterKeys(characterKeys);
        } catch (const XbaseError &e) {
            t->key.reset();
            t->problem = e.what();
        }
        tags_.push_back(std::move(t));
    }
}

int Table::openIndex(const std::filesystem::path &pathIn)
{
    flushPending();
    std::filesystem::path p = pathIn;
    if (p.is_relative() && !p.has_parent_path())
        p = path().parent_path() / p;
    if (p.extension().empty())
        p += ".CDX";
    p = FindPathNoCase(p);
    for (size_t i = 0; i < tags_.size(); ++i)
        if (std::filesystem::equivalent(tags_[i]->index->path(), p))
            return order_ = int(i) + 1;
    int first = int(tags_.size()) + 1;
    addIndex(CdxIndex::open(p, dbf_->writable(), fs(), key_.get()));
    if (int(tags_.size()) < first)
        return 0;
    order_ = first;
    return first;
}

std::filesystem::path Table::indexFileNamed(const std::filesystem::path &fileIn) const
{
    if (fileIn.empty())
        return siblingWithExtension(path(), ".CDX");
    std::filesystem::path file = fileIn;
    if (file.is_relative() && !file.has_parent_path())
        file = path().parent_path() / file;
    if (file.extension().empty())
        file += ".CDX";
    return FindPathNoCase(file);
}

uint16_t Table::characterKeyLength(const Expression &key, const std::string &expression)
{
    // Key length from a blank record, as the key of a new record would be;
    // texts cut to nothing there take the longest key of the table.
    std::string blank(recordLength(), ' ');
    ImageView bv(*this, blank.data(), 0);
    size_t len = key.evaluate(bv).text.size();
    if (len == 0) {
        std::string image(recordLength(), ' ');
        for (uint32_t r = 1, n = recordCount(); r <= n; ++r) {
            dbf_->readRecord(r, image.data());
            ImageView v(*this, image.data(), r);
            len = std::max(len, key.evaluate(v).text.size());
        }
    }
    if (len == 0)
        len = 1;
    if (len > 240)
        throw XbaseError::expression("Index key \"" + expression +
                                     "\" is longer than 240 characters");
    return uint16_t(len);
}

void Table::setKeyForm(CdxTagInfo &info, const Expression &key)
{
    switch (key.type()) {
    case Value::Type::Character:
        info.keyLength = characterKeyLength(key, info.expression);
        info.characterKeys = true;
        break;
    case Value::Type::Logical:
        info.keyLength = 1;
        info.characterKeys = true;
        break;
    case Value::Type::Numeric:
    case Value::Type::Date: {
        int single = key.singleField();
        info.keyLength = (single >= 0 && fields()[size_t(single)].type == 'I') ? 4 : 8;
        info.characterKeys = false;
        break;
    }
    }
}

std::vector<CdxEntry> Table::tagEntries(const Expression &key, const Expression *condition,
                                        const CdxTagInfo &info)
{
    // Progress 0 to 200: the keys, then sorting.
    const uint32_t n = recordCount();
    std::vector<CdxEntry> entries;
    entries.reserve(n);
    int reported = 0;
    std::string image(recordLength(), ' ');
    for (uint32_t r = 1; r <= n; ++r) {
        dbf_->readRecord(r, image.data());
        std::optional<std::string> k =
            keyOf(key, condition, info, ImageView(*this, image.data(), r));
        if (!k)
            continue;
        entries.push_back(CdxEntry{std::move(*k), r});
        int value = int(uint64_t(r) * 99 / n);
        if (value > reported)
            report(reported = value);
    }
    report(100);
    std::sort(entries.begin(), entries.end(), [](const CdxEntry &a, const CdxEntry &b) {
        return a.key != b.key ? a.key < b.key : a.recno < b.recno;
    });
    report(200);
    if (info.unique) {
        entries.erase(
            std::unique(entries.begin(), entries.end(),
                        [](const CdxEntry &a, const CdxEntry &b) { return a.key == b.key; }),
            entries.end());
    }
    return entries;
}

CdxIndex *Table::writeTagBySwitch(const std::filesystem::path &file, bool production,
                                  CdxIndex *target, const CdxTagInfo &info,
                                  std::vector<CdxEntry> entries, std::unique_ptr<CdxIndex> &opened)
{
    const std::filesystem::path fresh = file_switch::newNameFor(file);
    try {
        std::unique_ptr<CdxIndex> built;
        // A production index too damaged to open is built afresh.
        if (std::filesystem::exists(file) && !(production && !target && !indexProblem_.empty())) {
            if (target)
                commit(); // the copy starts from the committed file
            file_switch::copyFile(fs(), file, fresh);
            built = CdxIndex::open(fresh, true, fs(), key_.get());
        } else {
            built = CdxIndex::create(fresh, fs(), newIndexCipher());
        }
        built->writeTag(info, std::move(entries));
        report(300);
        built->flush();
    } catch (...) {
        file_switch::discard(fs(), {file});
        throw;
    }
    file_switch::commit(fs(), path(), {file});
    auto reopened = CdxIndex::open(file, true, fs(), key_.get());
    for (auto &x : indexes_)
        if (x.get() == target) {
            tags_.clear(); // they point into the old object
            x = std::move(reopened);
            return x.get();
        }
    opened = std::move(reopened);
    return opened.get();
}

int Table::reopenTags(CdxIndex *target, std::unique_ptr<CdxIndex> opened, const std::string &name)
{
    // Rebuild the list of open tags: tag objects of the target may have moved.
    std::vector<std::unique_ptr<CdxIndex>> all;
    tags_.clear();
    for (auto &x : indexes_)
        all.push_back(std::move(x));
    if (opened)
        all.push_back(std::move(opened));
    indexes_.clear();
    tags_.clear();
    for (auto &x : all)
        addIndex(std::move(x));
    int order = 0;
    for (size_t i = 0; i < tags_.size(); ++i)
        if (tags_[i]->index == target && tags_[i]->tag->info().name == name)
            order = int(i) + 1;
    return order;
}

int Table::indexTag(const std::filesystem::path &fileIn, const std::string &tagName,
                    const std::string &expression, bool unique, bool descending,
                    const std::string &condition)
{
    requireWritable("build an index");
    flushPending();
    std::string name = asciiUpper(tagName);
    if (name.empty() || name.size() > 10)
        throw XbaseError::refused("Tag name \"" + tagName + "\" must have 1 to 10 characters");
    Expression key = Expression::compile(expression, fields());
    std::unique_ptr<Expression> cond;
    if (!condition.empty()) {
        cond = std::make_unique<Expression>(Expression::compile(condition, fields()));
        if (cond->type() != Value::Type::Logical)
            throw XbaseError::expression("Index condition \"" + condition +
                                         "\" is not a logical expression");
    }
    const bool production = fileIn.empty();
    const std::filesystem::path file = indexFileNamed(fileIn);

    CdxTagInfo info;
    info.name = name;
    info.expression = expression;
    info.forExpression = condition;
    info.descending = descending;
    info.unique = unique;
    setKeyForm(info, key);

    // Which open index holds the file, if any.
    CdxIndex *target = nullptr;
    for (auto &x : indexes_)
        if (std::filesystem::exists(file) && std::filesystem::equivalent(x->path(), file))
            target = x.get();
    // An index file beside the table is built as a complete new file (a copy
    // of the old one plus the tag) that replaces it in one switch, so that an
    // interrupted build leaves the old index. Elsewhere it is written in place.
    const std::filesystem::path tableFolder =
        path().parent_path().empty() ? "." : path().parent_path();
    const std::filesystem::path fileFolder = file.parent_path().empty() ? "." : file.parent_path();
    const bool switched =
        std::filesystem::exists(fileFolder) && std::filesystem::equivalent(fileFolder, tableFolder);
    std::unique_ptr<CdxIndex> opened;
    if (!target && !switched) {
        opened = std::filesystem::exists(file) ? CdxIndex::open(file, true, fs(), key_.get())
                                               : CdxIndex::create(file, fs(), newIndexCipher());
        target = opened.get();
    }

    // Progress runs from 0 to 400 over four passes: keys, sorting, writing
    // the tag, finishing.
    report(0);
    std::vector<CdxEntry> entries = tagEntries(key, cond.get(), info);
    if (switched) {
        target = writeTagBySwitch(file, production, target, info, std::move(entries), opened);
    } else {
        target->writeTag(info, std::move(entries));
        report(300);
        if (opened)
            target->flush(); // not yet one of the table's files
        else
            commit();
    }
    if (production) {
        indexProblem_.clear();
        dbf_->setIndexFlag(true);
        commit();
    }
    order_ = reopenTags(target, std::move(opened), name);
    goTop();
    report(400);
    return order_;
}

int Table::tagOrder(std::string_view tag) const
{
    std::string name = asciiUpper(std::string(tag));
    for (size_t i = 0; i < tags_.size(); ++i)
        if (asciiUpper(tags_[i]->tag->info().name) == name)
            return int(i) + 1;
    return 0;
}

std::string Table::tagName(int order) const
{
    if (order < 1 || order > int(tags_.size()))
        return {};
    return tags_[size_t(order - 1)]->tag->info().name;
}

void Table::setOrder(int order)
{
    if (order < 0 || order > int(tags_.size()))
        throw XbaseError::refused("Order " + std::to_string(order) + " does not exist");
    flushPending();
    if (order != order_) {
        entry_.reset();
        scopeTop_.clear();
        scopeBottom_.clear();
    }
    order_ = order;
}

CdxTag *Table::currentTag()
{
    return order_ > 0 ? tags_[size_t(order_ - 1)]->tag : nullptr;
}

std::string Table::indexFileName() const
{
    return order_ > 0 ? tags_[size_t(order_ - 1)]->index->path().string() : std::string();
}

std::string Table::indexExpression() const
{
    return order_ > 0 ? tags_[size_t(order_ - 1)]->tag->info().expression : std::string();
}

std::string Table::indexCondition() const
{
    return order_ > 0 ? tags_[size_t(order_ - 1)]->tag->info().forExpression : std::string();
}

std::string Table::keyData()
{
    if (order_ == 0 || eof_)
        return {};
    OpenTag &t = *tags_[size_t(order_ - 1)];
    if (!t.key)
        return {};
    Value v = t.key->evaluate(*this);
    if (v.type == Value::Type::Character) {
        std::string k = v.text.substr(0, t.tag->info().keyLength);
        k.resize(t.tag->info().keyLength, ' ');
        return k;
    }
    return v.toText();
}

void Table::closeIndexes()
{
    flushPending();
    if (dbf_->writable())
        commit();
    tags_.clear();
    indexes_.clear();
    order_ = 0;
    entry_.reset();
}

std::vector<std::string> Table::checkIndexes()
{
    flushPending();
    std::vector<std::string> faults;
    if (!indexProblem_.empty())
        faults.push_back(indexProblem_);
    uint32_t n = recordCount();
    std::string image(recordLength(), ' ');
    for (auto &tp : tags_) {
        OpenTag &t = *tp;
        const std::string name = t.tag->info().name;
        if (!t.key) {
            faults.push_back("Tag " + name + ": " + t.problem);
            continue;
        }
        try {
            t.tag->verify();
        } catch (const XbaseError &e) {
            faults.push_back(e.what());
            continue;
        }
        std::vector<CdxEntry> expected;
        std::vector<uint32_t> changed; // records changed outside: their keys cannot be known
        for (uint32_t r = 1; r <= n; ++r) {
            try {
                dbf_->readRecord(r, image.data());
            } catch (const XbaseError &e) {
                if (!e.isTampered())
                    throw;
                changed.push_back(r);
                continue;
            }
            if (auto k = tagKey(t, image.data(), r))
                expected.push_back(CdxEntry{*k, r});
        }
        std::vector<CdxEntry> actual;
        for (auto e = t.tag->first(); e; e = t.tag->next(*e)) {
            actual.push_back(*e);
            if (actual.size() > size_t(n) + 1)
                break;
        }
        // What the tag says of those records is taken as it is: they are
        // reported as changed, not the index as damaged.
        for (const CdxEntry &e : actual)
            if (std::binary_search(changed.begin(), changed.end(), e.recno))
                expected.push_back(e);
        std::sort(expected.begin(), expected.end(), [](const CdxEntry &a, const CdxEntry &b) {
            return a.key != b.key ? a.key < b.key : a.recno < b.recno;
        });
        if (t.tag->info().descending)
            std::stable_sort(expected.begin(), expected.end(),
                             [](const CdxEntry &a, const CdxEntry &b) { return a.key > b.key; });
        if (t.tag->info().unique) {
            if (actual.size() > expected.size())
                faults.push_back("Tag " + name + " holds more keys than the table has records");
            continue;
        }
        if (actual.size() != expected.size()) {
            faults.push_back("Tag " + name + " holds " + std::to_string(actual.size()) +
                             " keys for " + std::to_string(expected.size()) + " records");
            continue;
        }
        for (size_t i = 0; i < actual.size(); ++i) {
            if (actual[i].key != expected[i].key || actual[i].recno != expected[i].recno) {
                faults.push_back("Tag " + name + ": key " + std::to_string(i + 1) + " (record " +
                                 std::to_string(actual[i].recno) + ") does not match its record");
                break;
            }
        }
    }
    return faults;
}

// File times are too coarse to tell two quick writes apart, so a shared
// opener reads the index files afresh before every use of an order.
void Table::reloadSharedIndexes()
{
    if (dbf_->access() == Access::Shared)
        reloadIndexes();
}

// Every open index file read again from the disk; what was not committed of
// them is given up (they are journaled: their objects write nothing when
// they go). The old objects go only after the new ones are open, so that an
// authenticated index nobody changed is not read and checked whole again.
//
// A file that no longer opens: a shared opener, whose index objects hold
// only what was committed (every shared write commits), keeps them and
// raises the error, and its next use reads the files again; after a
// rollback the table goes on without indexes, the production index's
// problem told as when the table opens.
void Table::reloadIndexes()
{
    if (indexes_.empty())
        return;
    std::vector<std::unique_ptr<CdxIndex>> earlier = std::move(indexes_);
    int order = order_;
    tags_.clear();
    indexes_.clear();
    entry_.reset();
    bool lost = false;
    for (const auto &x : earlier) {
        try {
            addIndex(CdxIndex::open(x->path(), dbf_->writable(), fs(), key_.get(), x.get()));
        } catch (const XbaseError &e) {
            if (dbf_->access() == Access::Shared) {
                tags_.clear();
                indexes_.clear();
                for (auto &kept : earlier)
                    addIndex(std::move(kept));
                order_ = order;
                throw;
            }
            if (isProductionIndex(*x))
                indexProblem_ = e.what();
            lost = true;
        }
    }
    order_ = !lost && order <= int(tags_.size()) ? order : 0;
}

} // namespace qn::xbase
