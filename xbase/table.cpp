#include "xbase/table.h"

#include "xbase/cdx_index.h"
#include "xbase/file_switch.h"
#include "xbase/xbase_error.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

namespace qn::xbase {

namespace {

// Record locks live far beyond any real data so that they never block reads.
constexpr uint64_t lockBase = 0x40000000ull;

std::string rtrimmed(std::string s)
{
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

} // namespace

// Evaluates expressions against a record image other than the buffer.
class Table::ImageView : public RecordView {
public:
    ImageView(const Table &table, const char *image, uint32_t recno) : t_(table), image_(image), recno_(recno) {}
    const char *recordImage() const override { return image_; }
    std::string memoText(int field) const override
    {
        uint32_t block = t_.memoPointer(field, image_);
        return block ? t_.memo_->read(block) : std::string();
    }
    uint32_t recordNumber() const override { return recno_; }
    bool exactCompare() const override { return t_.settings_.exact; }

private:
    const Table &t_;
    const char *image_;
    uint32_t recno_;
};

Table::Table(const EngineSettings &settings) : settings_(settings) {}

Table::~Table()
{
    try {
        close();
    } catch (...) {
        // Destruction cannot report; close() is called explicitly where errors matter.
    }
}

void Table::create(const std::filesystem::path &pathIn, const std::vector<FieldInfo> &fields,
                   uint32_t memoBlockSizeSetting)
{
    std::filesystem::path path = findCaseInsensitive(pathIn);
    if (std::filesystem::exists(path))
        throw XbaseError::refused("Table " + path.string() + " already exists");
    std::vector<FieldInfo> normal = DbfFile::normalizeFields(fields);
    bool memo = std::any_of(normal.begin(), normal.end(), [](const FieldInfo &f) { return f.type == 'M'; });
    std::filesystem::path cdx = siblingWithExtension(path, ".CDX");
    if (std::filesystem::exists(cdx))
        removeFile(cdx);
    if (memo)
        MemoFile::create(siblingWithExtension(path, ".FPT"), memoBlockSizeSetting);
    DbfFile::create(path, normal);
    syncDirectory(path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path());
}

std::unique_ptr<Table> Table::open(const std::filesystem::path &pathIn, Access access,
                                   const EngineSettings &settings)
{
    std::filesystem::path path = findCaseInsensitive(pathIn);
    if (!std::filesystem::exists(path))
        throw XbaseError::io("Table " + pathIn.string() + " does not exist");
    if (file_switch::pending(path)) {
        // An interrupted pack or encryption: finish or undo it, but only
        // while nobody else has the table open (it may be theirs, running).
        BinaryFile guard(path, BinaryFile::Mode::ReadOnly);
        if (guard.tryLock(true)) {
            file_switch::recover(path);
        } else if (std::filesystem::exists(file_switch::markerFor(path))) {
            throw XbaseError::lock("Table " + path.string() +
                                   " is being rewritten by another program; try again later");
        }
    }
    std::unique_ptr<Table> t(new Table(settings));
    t->dbf_ = DbfFile::open(path, access);
    if (t->dbf_->hasMemoFields()) {
        std::filesystem::path fpt = siblingWithExtension(path, ".FPT");
        if (!std::filesystem::exists(fpt))
            throw XbaseError::damaged("The memo file " + fpt.string() + " of table " +
                                      path.string() + " is missing");
        t->memo_ = MemoFile::open(fpt, t->dbf_->writable(), access != Access::Shared);
    }
    t->attachKey();
    t->buffer_.assign(t->dbf_->recordLength(), ' ');
    t->diskImage_ = t->buffer_;
    // The index flag may be set while the index was removed on purpose
    // (it is then rebuilt), so a missing production index is no error.
    std::filesystem::path cdx = siblingWithExtension(path, ".CDX");
    if (std::filesystem::exists(cdx)) {
        t->addIndex(CdxIndex::open(cdx, t->dbf_->writable()));
        if (t->tagCount() > 0)
            t->order_ = 0;
    }
    if (t->key_ && !t->key_->usable())
        t->setEof(); // opens so that the password can still be given; reads fail clearly
    else
        t->goTop();
    return t;
}

void Table::close()
{
    if (closed_ || !dbf_)
        return;
    closed_ = true;
    std::exception_ptr error;
    try {
        if (dbf_->writable())
            commit();
    } catch (...) {
        error = std::current_exception();
    }
    unlockAll();
    tags_.clear();
    indexes_.clear();
    memo_.reset();
    dbf_.reset();
    key_.reset();
    if (error)
        std::rethrow_exception(error);
}

const FieldInfo &Table::field(int index) const
{
    if (index < 0 || size_t(index) >= fields().size())
        throw XbaseError::refused("Field number " + std::to_string(index + 1) + " does not exist");
    return fields()[size_t(index)];
}

uint32_t Table::recordCount()
{
    if (dbf_->access() == Access::Shared)
        dbf_->rereadCount();
    return dbf_->recordCount();
}

// ------------------------------------------------------------- positions

void Table::requireWritable(const char *what) const
{
    if (stale_)
        throw XbaseError::refused(
            std::string("Cannot ") + what + ": table " + path().string() +
            " was replaced by new files that could not be opened; close it and open it again");
    if (!dbf_->writable())
        throw XbaseError::refused(std::string("Cannot ") + what + ": table " + path().string() +
                                  " is open read-only");
}

void Table::requireRecord(const char *what) const
{
    if (eof_ || recno_ < 1 || recno_ > dbf_->recordCount())
        throw XbaseError::refused(std::string("Cannot ") + what + ": there is no current record");
}

void Table::load(uint32_t recno, const std::string *image)
{
    if (image)
        buffer_ = *image;
    else
        dbf_->readRecord(recno, buffer_.data());
    diskImage_ = buffer_;
    entry_.reset();
    dirty_ = false;
    recno_ = recno;
    eof_ = false;
}

void Table::setEof()
{
    entry_.reset();
    recno_ = dbf_->recordCount() + 1;
    eof_ = true;
    buffer_.assign(dbf_->recordLength(), ' ');
    diskImage_ = buffer_;
    dirty_ = false;
}

bool Table::inScope(const std::string &key) const
{
    if (!scopeTop_.empty() && key.compare(0, scopeTop_.size(), scopeTop_) < 0)
        return false;
    if (!scopeBottom_.empty() && key.compare(0, scopeBottom_.size(), scopeBottom_) > 0)
        return false;
    return true;
}

bool Table::visible(uint32_t recno, const char *image, const std::string *key) const
{
    if (settings_.deleted && image[0] == '*')
        return false;
    if (key && !inScope(*key))
        return false;
    if (filter_) {
        ImageView view(*this, image, recno);
        if (!filter_->evaluateLogical(view))
            return false;
    }
    return true;
}

void Table::goTop() { goEnd(true); }

void Table::goBottom() { goEnd(false); }

// The first (or last) visible record in the current order; past the end,
// and at the beginning as well, when no record is visible.
void Table::goEnd(bool top)
{
    flushPending();
    if (order_ > 0)
        reloadSharedIndexes();
    bof_ = false;
    if (order_ > 0)
        return walkIndexed(top);
    uint32_t n = recordCount();
    std::string image(dbf_->recordLength(), ' ');
    for (uint32_t i = 1; i <= n; ++i) {
        uint32_t r = top ? i : n + 1 - i;
        dbf_->readRecord(r, image.data());
        if (visible(r, image.data(), nullptr)) {
            load(r, &image);
            return;
        }
    }
    setEof();
    bof_ = true;
}

void Table::walkIndexed(bool fromTop)
{
    OpenTag &t = *tags_[size_t(order_ - 1)];
    std::optional<CdxEntry> e;
    if (fromTop) {
        e = scopeTop_.empty() ? t.tag->first() : t.tag->lowerBound(scopeTop_);
    } else if (scopeBottom_.empty()) {
        e = t.tag->last();
    } else {
        // The last entry whose key prefix is not beyond the bottom of the scope.
        std::string after = scopeBottom_;
        while (!after.empty() && static_cast<unsigned char>(after.back()) == 0xFF)
            after.pop_back();
        std::optional<CdxEntry> beyond;
        if (!after.empty()) {
            after.back() = char(static_cast<unsigned char>(after.back()) + 1);
            beyond = t.tag->lowerBound(after);
        }
        e = beyond ? t.tag->prev(*beyond) : t.tag->last();
    }
    std::string image(dbf_->recordLength(), ' ');
    uint32_t count = recordCount();
    while (e) {
        if (!inScope(e->key))
            break;
        if (e->recno >= 1 && e->recno <= count) {
            dbf_->readRecord(e->recno, image.data());
            if (visible(e->recno, image.data(), nullptr)) {
                load(e->recno, &image);
                entry_ = *e;
                return;
            }
        }
        e = fromTop ? t.tag->next(*e) : t.tag->prev(*e);
    }
    setEof();
    bof_ = true;
}

void Table::skip(long count)
{
    flushPending();
    if (order_ > 0)
        reloadSharedIndexes();
    if (count == 0) {
        if (!eof_)
            load(recno_);
        return;
    }
    if (order_ > 0)
        skipIndexed(count);
    else
        skipNatural(count);
}

// A skip that starts past the last record: going back it lands on the last
// one (false when there is none), going on it goes nowhere (false).
bool Table::backFromEof(bool forward)
{
    if (forward)
        return false;
    goBottom();
    return !eof_;
}

// A skip found no more records that way: past the end, or on the first one
// with bof set.
void Table::ranOffEnd(bool forward)
{
    if (forward) {
        setEof();
    } else {
        goTop();
        bof_ = true;
    }
}

void Table::skipNatural(long count)
{
    uint32_t n = recordCount();
    std::string image(dbf_->recordLength(), ' ');
    long step = count > 0 ? 1 : -1;
    for (long left = std::labs(count); left > 0; --left) {
        if (eof_) {
            if (!backFromEof(step > 0))
                return;
            continue;
        }
        uint32_t r = recno_;
        bool found = false;
        while (true) {
            if (step > 0 ? r >= n : r <= 1)
                break;
            r = uint32_t(long(r) + step);
            dbf_->readRecord(r, image.data());
            if (visible(r, image.data(), nullptr)) {
                found = true;
                break;
            }
        }
        if (found) {
            load(r, &image);
            bof_ = false;
        } else {
            ranOffEnd(step > 0);
            return;
        }
    }
}

void Table::skipIndexed(long count)
{
    OpenTag &t = *tags_[size_t(order_ - 1)];
    std::string image(dbf_->recordLength(), ' ');
    uint32_t n = recordCount();
    long step = count > 0 ? 1 : -1;
    for (long left = std::labs(count); left > 0; --left) {
        if (eof_) {
            if (!backFromEof(step > 0))
                return;
            continue;
        }
        CdxEntry here;
        if (entry_ && entry_->recno == recno_) {
            here = *entry_;
        } else {
            std::optional<std::string> key = tagKey(t, diskImage_.data(), recno_);
            here = CdxEntry{key ? *key : std::string(t.tag->info().keyLength, ' '), recno_};
        }
        std::optional<CdxEntry> e;
        bool found = false;
        while (true) {
            e = step > 0 ? t.tag->next(e ? *e : here) : t.tag->prev(e ? *e : here);
            if (!e || !inScope(e->key))
                break;
            if (e->recno < 1 || e->recno > n)
                continue;
            dbf_->readRecord(e->recno, image.data());
            if (visible(e->recno, image.data(), nullptr)) {
                found = true;
                break;
            }
        }
        if (found) {
            load(e->recno, &image);
            entry_ = *e;
            bof_ = false;
        } else {
            ranOffEnd(step > 0);
            return;
        }
    }
}

void Table::go(uint32_t recno)
{
    flushPending();
    bof_ = false;
    if (recno >= 1 && recno <= recordCount())
        load(recno);
    else
        setEof();
}

bool Table::seek(const std::string &text)
{
    flushPending();
    if (order_ > 0)
        reloadSharedIndexes();
    bof_ = false;
    if (order_ == 0)
        throw XbaseError::refused("Cannot seek: no index order is set");
    OpenTag &t = *tags_[size_t(order_ - 1)];
    std::string key = seekKey(t, text);
    std::string image(dbf_->recordLength(), ' ');
    uint32_t n = recordCount();
    std::optional<CdxEntry> e = t.tag->lowerBound(key);
    bool soft = settings_.softSeek;
    while (e) {
        bool equal = e->key.compare(0, key.size(), key) == 0;
        if (!equal && !soft)
            break;
        if (!inScope(e->key))
            break;
        if (e->recno >= 1 && e->recno <= n) {
            dbf_->readRecord(e->recno, image.data());
            if (visible(e->recno, image.data(), nullptr)) {
                load(e->recno, &image);
                entry_ = *e;
                return equal;
            }
        }
        e = t.tag->next(*e);
    }
    setEof();
    return false;
}

// ---------------------------------------------------------------- writes

uint32_t Table::memoPointer(int field, const char *image) const
{
    const FieldInfo &f = fields()[size_t(field)];
    const char *p = image + f.offset;
    if (f.length == 4) {
        const auto *u = reinterpret_cast<const unsigned char *>(p);
        return u[0] | u[1] << 8 | u[2] << 16 | uint32_t(u[3]) << 24;
    }
    uint64_t v = 0;
    bool digits = false;
    for (uint16_t i = 0; i < f.length; ++i) {
        char c = p[i];
        if (c == ' ' && !digits)
            continue;
        if (c == '\0' && !digits)
            continue;
        if (c < '0' || c > '9')
            throw XbaseError::damaged("Memo field " + f.name + " of record " +
                                      std::to_string(recno_) + " in " + path().string() +
                                      " holds a damaged pointer");
        digits = true;
        v = v * 10 + uint64_t(c - '0');
        if (v > 0xFFFFFFFFu)
            throw XbaseError::damaged("Memo field " + f.name +
                                      " holds a pointer past the end of the memo file");
    }
    return uint32_t(v);
}

std::string Table::memo(int field) const
{
    const FieldInfo &f = this->field(field);
    if (f.type != 'M' && f.type != 'G')
        throw XbaseError::refused("Field " + f.name + " is not a memo field");
    uint32_t block = memoPointer(field, buffer_.data());
    if (block == 0 || !memo_)
        return {};
    return memo_->read(block);
}

Value Table::value(int field) const
{
    const FieldInfo &f = this->field(field);
    if (f.type == 'M' || f.type == 'G')
        return Value::character(memo(field));
    return fieldValue(f, buffer_.data(), this);
}

std::string Table::text(int field) const
{
    const FieldInfo &f = this->field(field);
    if (f.type == 'M' || f.type == 'G')
        return memo(field);
    return std::string(buffer_.data() + f.offset, f.length);
}

void Table::replaceRaw(int field, const std::string &bytes)
{
    requireWritable("change a field");
    const FieldInfo &f = this->field(field);
    std::string v = bytes.substr(0, f.length);
    v.resize(f.length, ' ');
    std::memcpy(buffer_.data() + f.offset, v.data(), f.length);
    dirty_ = true;
}

void Table::replaceText(int field, const std::string &text)
{
    const FieldInfo &f = this->field(field);
    switch (f.type) {
    case 'C': return replaceRaw(field, text);
    case 'M': return replaceMemo(field, text);
    case 'L': {
        std::string t = rtrimmed(text);
        if (t.empty())
            return replaceRaw(field, " ");
        char c = char(std::toupper(static_cast<unsigned char>(t[t.front() == '.' && t.size() > 1 ? 1 : 0])));
        if (std::strchr("TY", c))
            return replaceLogical(field, true);
        if (std::strchr("FN", c))
            return replaceLogical(field, false);
        throw XbaseError::refused("\"" + text + "\" is not a logical value for field " + f.name);
    }
    case 'D': {
        if (rtrimmed(text).empty())
            return replaceDate(field, std::nullopt);
        auto d = parseDateText(text, settings_.dateFormat);
        if (!d)
            throw XbaseError::refused("\"" + text + "\" is not a date for field " + f.name);
        return replaceDate(field, d);
    }
    case 'N':
    case 'F': {
        std::string t = rtrimmed(text);
        size_t b = t.find_first_not_of(' ');
        if (b == std::string::npos)
            return replaceRaw(field, std::string(f.length, ' '));
        t = t.substr(b);
        char *end = nullptr;
        double d = std::strtod(t.c_str(), &end);
        if (end == t.c_str() || *end != '\0')
            throw XbaseError::refused("\"" + text + "\" is not a number for field " + f.name);
        return replaceNumber(field, d);
    }
    default:
        throw XbaseError::refused("Field " + f.name + " of type " + f.type + " cannot be changed");
    }
}

void Table::replaceNumber(int field, double value)
{
    const FieldInfo &f = this->field(field);
    if (f.type != 'N' && f.type != 'F')
        throw XbaseError::refused("Field " + f.name + " is not numeric");
    if (!std::isfinite(value))
        throw XbaseError::refused("Field " + f.name + " cannot hold this number");
    char buf[400];
    // Fewer decimals when the number does not fit, as long as it then fits.
    for (int dec = f.decimals; dec >= 0; --dec) {
        std::snprintf(buf, sizeof buf, "%*.*f", int(f.length), dec, value);
        if (std::strlen(buf) <= f.length)
            return replaceRaw(field, buf);
        if (dec == 0)
            break;
    }
    throw XbaseError::refused("The number " + std::string(buf) + " does not fit in field " +
                              f.name);
}

void Table::replaceLogical(int field, bool value)
{
    const FieldInfo &f = this->field(field);
    if (f.type != 'L')
        throw XbaseError::refused("Field " + f.name + " is not logical");
    replaceRaw(field, value ? "T" : "F");
}

void Table::replaceDate(int field, std::optional<CalendarDate> date)
{
    const FieldInfo &f = this->field(field);
    if (f.type != 'D')
        throw XbaseError::refused("Field " + f.name + " is not a date field");
    if (date && !validDate(*date))
        throw XbaseError::refused("Invalid date for field " + f.name);
    replaceRaw(field, date ? storedDate(*date) : std::string(8, ' '));
}

void Table::replaceMemo(int field, const std::string &text)
{
    requireWritable("change a memo");
    const FieldInfo &f = this->field(field);
    if (f.type != 'M')
        throw XbaseError::refused("Field " + f.name + " is not a memo field");
    if (!memo_)
        throw XbaseError::refused("Table " + path().string() + " has no memo file");
    if (text.find('\0') != std::string::npos)
        throw XbaseError::refused("A memo text cannot hold the byte 0");
    std::string pointer;
    if (text.empty()) {
        pointer.assign(f.length, f.length == 4 ? '\0' : ' ');
    } else {
        beginSharedWrite();
        uint32_t block;
        try {
            block = memo_->append(text);
        } catch (...) {
            if (dbf_->access() == Access::Shared)
                unlockRange(dbf_->file(), lockBase, 1);
            throw;
        }
        endSharedWrite();
        if (f.length == 4) {
            pointer.resize(4);
            for (int i = 0; i < 4; ++i)
                pointer[size_t(i)] = char(block >> (8 * i));
        } else {
            char buf[16];
            std::snprintf(buf, sizeof buf, "%10u", block);
            pointer = buf;
        }
    }
    std::memcpy(buffer_.data() + f.offset, pointer.data(), f.length);
    dirty_ = true;
}

bool Table::lockRange(uint64_t offset)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(std::max(0, settings_.lockTimeoutSeconds));
    for (;;) {
        if (tryLockRange(dbf_->file(), offset, 1))
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool Table::lockRecord(uint32_t recno)
{
    if (dbf_->access() != Access::Shared)
        return recno >= 1 && recno <= dbf_->recordCount();
    if (recno < 1 || recno > recordCount())
        return false;
    if (locks_.count(recno))
        return true;
    if (!lockRange(lockBase + recno))
        return false;
    locks_.insert(recno);
    return true;
}

void Table::unlockAll()
{
    if (!dbf_ || dbf_->access() != Access::Shared) {
        locks_.clear();
        return;
    }
    for (uint32_t r : locks_)
        unlockRange(dbf_->file(), lockBase + r, 1);
    locks_.clear();
}

void Table::ensureLocked(uint32_t recno, bool &temporary)
{
    temporary = false;
    if (dbf_->access() != Access::Shared || locks_.count(recno))
        return;
    if (!lockRange(lockBase + recno))
        throw XbaseError::lock("Record " + std::to_string(recno) + " is locked by another user");
    temporary = true;
}

// In shared mode other openers write the same files: every change happens
// under one table-wide lock, with the index files read afresh first and
// written out before the lock goes, so that no opener works from
// a stale copy of an index or of the memo file's free pointer.
void Table::beginSharedWrite()
{
    if (dbf_->access() != Access::Shared)
        return;
    if (!lockRange(lockBase))
        throw XbaseError::lock("Cannot write to " + path().string() +
                               ": the table is locked by another user");
    try {
        dbf_->rereadCount();
        reloadSharedIndexes();
    } catch (...) {
        unlockRange(dbf_->file(), lockBase, 1);
        throw;
    }
}

void Table::endSharedWrite()
{
    if (dbf_->access() != Access::Shared)
        return;
    try {
        for (auto &x : indexes_)
            x->flush();
    } catch (...) {
        unlockRange(dbf_->file(), lockBase, 1);
        throw;
    }
    unlockRange(dbf_->file(), lockBase, 1);
}

// File times are too coarse to tell two quick writes apart, so a shared
// opener reads the index files afresh before every use of an order.
void Table::reloadSharedIndexes()
{
    if (dbf_->access() != Access::Shared || indexes_.empty())
        return;
    std::vector<std::filesystem::path> paths;
    for (auto &x : indexes_)
        paths.push_back(x->path());
    int order = order_;
    tags_.clear();
    indexes_.clear();
    entry_.reset();
    for (const auto &p : paths)
        addIndex(CdxIndex::open(p, dbf_->writable()));
    order_ = order <= int(tags_.size()) ? order : 0;
}

void Table::writeImage(uint32_t recno, const std::string &oldImage, const std::string &newImage)
{
    entry_.reset();
    requireWritable("write a record");
    bool temporary = false;
    ensureLocked(recno, temporary);
    try {
        beginSharedWrite();
        try {
            dbf_->writeRecord(recno, newImage.data());
            indexUpdate(recno, &oldImage, newImage);
        } catch (...) {
            if (dbf_->access() == Access::Shared)
                unlockRange(dbf_->file(), lockBase, 1);
            throw;
        }
        endSharedWrite();
    } catch (...) {
        if (temporary)
            unlockRange(dbf_->file(), lockBase + recno, 1);
        throw;
    }
    if (temporary)
        unlockRange(dbf_->file(), lockBase + recno, 1);
}

void Table::flushPending()
{
    if (!dirty_ || eof_)
        return;
    dirty_ = false;
    if (buffer_ == diskImage_)
        return;
    std::string old = diskImage_;
    writeImage(recno_, old, buffer_);
    diskImage_ = buffer_;
}

void Table::putRecord(const char *image)
{
    requireWritable("write a record");
    requireRecord("write a record");
    std::string img(image, dbf_->recordLength());
    if (img[0] != ' ' && img[0] != '*')
        img[0] = ' ';
    buffer_ = img;
    dirty_ = false;
    std::string old = diskImage_;
    writeImage(recno_, old, buffer_);
    diskImage_ = buffer_;
}

void Table::appendBlank()
{
    requireWritable("append a record");
    flushPending();
    std::string blank(dbf_->recordLength(), ' ');
    bool shared = dbf_->access() == Access::Shared;
    beginSharedWrite();
    uint32_t recno;
    try {
        recno = dbf_->appendRecord(blank.data());
        indexUpdate(recno, nullptr, blank);
    } catch (...) {
        if (shared)
            unlockRange(dbf_->file(), lockBase, 1);
        throw;
    }
    endSharedWrite();
    bof_ = false;
    load(recno);
}

void Table::deleteRecord()
{
    requireWritable("delete a record");
    requireRecord("delete a record");
    flushPending();
    if (buffer_[0] == '*')
        return;
    buffer_[0] = '*';
    std::string old = diskImage_;
    writeImage(recno_, old, buffer_);
    diskImage_ = buffer_;
}

void Table::recallRecord()
{
    requireWritable("recall a record");
    requireRecord("recall a record");
    flushPending();
    if (buffer_[0] != '*')
        return;
    buffer_[0] = ' ';
    std::string old = diskImage_;
    writeImage(recno_, old, buffer_);
    diskImage_ = buffer_;
}

void Table::commit()
{
    flushPending();
    if (!dbf_->writable())
        return;
    dbf_->sync();
    if (memo_)
        memo_->sync();
    for (auto &index : indexes_)
        index->flush();
}

// --------------------------------------------------------------- indexes

std::optional<std::string> Table::tagKey(const OpenTag &t, const char *image, uint32_t recno) const
{
    if (!t.key)
        throw XbaseError::expression("Tag " + t.tag->info().name +
                                     " cannot be kept up to date: " + t.problem);
    ImageView view(*this, image, recno);
    if (t.condition && !t.condition->evaluateLogical(view))
        return std::nullopt;
    Value v = t.key->evaluate(view);
    const CdxTagInfo &info = t.tag->info();
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
    case Value::Type::Date: return cdxNumericKey(v.number);
    }
    return std::nullopt;
}

std::string Table::seekKey(const OpenTag &t, const std::string &text) const
{
    const CdxTagInfo &info = t.tag->info();
    Value::Type type = t.key ? t.key->type() : (info.characterKeys ? Value::Type::Character : Value::Type::Numeric);
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
    indexes_.push_back(std::move(index));
    for (size_t i = 0; i < x->tagCount(); ++i) {
        auto t = std::make_unique<OpenTag>();
        t->index = x;
        t->tag = &x->tag(i);
        try {
            t->key = std::make_unique<Expression>(Expression::compile(t->tag->info().expression, fields()));
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
    p = findCaseInsensitive(p);
    for (size_t i = 0; i < tags_.size(); ++i)
        if (std::filesystem::equivalent(tags_[i]->index->path(), p))
            return order_ = int(i) + 1;
    int first = int(tags_.size()) + 1;
    addIndex(CdxIndex::open(p, dbf_->writable()));
    if (int(tags_.size()) < first)
        return 0;
    order_ = first;
    return first;
}

int Table::indexTag(const std::filesystem::path &fileIn, const std::string &tagName, const std::string &expression,
                    bool unique, bool descending, const std::string &condition)
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
    bool production = fileIn.empty();
    std::filesystem::path file = production ? siblingWithExtension(path(), ".CDX") : fileIn;
    if (!production) {
        if (file.is_relative() && !file.has_parent_path())
            file = path().parent_path() / file;
        if (file.extension().empty())
            file += ".CDX";
        file = findCaseInsensitive(file);
    }

    CdxTagInfo info;
    info.name = name;
    info.expression = expression;
    info.forExpression = condition;
    info.descending = descending;
    info.unique = unique;
    // Key length from a blank record, as the key of a new record would be;
    // texts cut to nothing there take the longest key of the table.
    std::string blank(recordLength(), ' ');
    uint32_t n = recordCount();
    switch (key.type()) {
    case Value::Type::Character: {
        ImageView bv(*this, blank.data(), 0);
        size_t len = key.evaluate(bv).text.size();
        if (len == 0) {
            std::string image(recordLength(), ' ');
            for (uint32_t r = 1; r <= n; ++r) {
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
        info.keyLength = uint16_t(len);
        info.characterKeys = true;
        break;
    }
    case Value::Type::Logical: info.keyLength = 1; info.characterKeys = true; break;
    case Value::Type::Numeric:
    case Value::Type::Date: {
        int single = key.singleField();
        info.keyLength = (single >= 0 && fields()[size_t(single)].type == 'I') ? 4 : 8;
        info.characterKeys = false;
        break;
    }
    }

    // Which open index holds the file, if any.
    CdxIndex *target = nullptr;
    for (auto &x : indexes_)
        if (std::filesystem::exists(file) && std::filesystem::equivalent(x->path(), file))
            target = x.get();
    // An index file beside the table is built as a complete new file (a copy
    // of the old one plus the tag) that replaces it in one switch, so that an
    // interrupted build leaves the old index. Elsewhere it is written in place.
    const std::filesystem::path tableFolder = path().parent_path().empty() ? "." : path().parent_path();
    const std::filesystem::path fileFolder = file.parent_path().empty() ? "." : file.parent_path();
    const bool switched = std::filesystem::exists(fileFolder) && std::filesystem::equivalent(fileFolder, tableFolder);
    std::unique_ptr<CdxIndex> opened;
    if (!target && !switched) {
        opened = std::filesystem::exists(file) ? CdxIndex::open(file, true) : CdxIndex::create(file);
        target = opened.get();
    }

    // Progress runs from 0 to 400 over four passes: keys, sorting, writing
    // the tag, finishing.
    report(0);
    std::vector<CdxEntry> entries;
    entries.reserve(n);
    {
        int reported = 0;
        std::string image(recordLength(), ' ');
        // Build keys without a tag object: same rules as tagKey.
        for (uint32_t r = 1; r <= n; ++r) {
            dbf_->readRecord(r, image.data());
            ImageView v(*this, image.data(), r);
            if (cond && !cond->evaluateLogical(v))
                continue;
            Value val = key.evaluate(v);
            std::string k;
            switch (val.type) {
            case Value::Type::Character:
                k = val.text.substr(0, info.keyLength);
                k.resize(info.keyLength, ' ');
                break;
            case Value::Type::Logical: k = val.logical ? "T" : "F"; break;
            case Value::Type::Numeric:
                k = info.keyLength == 4 ? cdxIntegerKey(int32_t(val.number)) : cdxNumericKey(val.number);
                break;
            case Value::Type::Date: k = cdxNumericKey(val.number); break;
            }
            entries.push_back(CdxEntry{std::move(k), r});
            int value = int(uint64_t(r) * 99 / n);
            if (value > reported)
                report(reported = value);
        }
    }
    report(100);
    std::sort(entries.begin(), entries.end(), [](const CdxEntry &a, const CdxEntry &b) {
        return a.key != b.key ? a.key < b.key : a.recno < b.recno;
    });
    report(200);
    if (unique) {
        entries.erase(std::unique(entries.begin(), entries.end(),
                                  [](const CdxEntry &a, const CdxEntry &b) { return a.key == b.key; }),
                      entries.end());
    }
    if (switched) {
        const std::filesystem::path fresh = file_switch::newNameFor(file);
        try {
            std::unique_ptr<CdxIndex> built;
            if (std::filesystem::exists(file)) {
                if (target)
                    target->flush();
                file_switch::copyFile(file, fresh);
                built = CdxIndex::open(fresh, true);
            } else {
                built = CdxIndex::create(fresh);
            }
            built->writeTag(info, std::move(entries));
            report(300);
            built->flush();
        } catch (const SimulatedCrash &) {
            throw;
        } catch (...) {
            file_switch::discard({file});
            throw;
        }
        file_switch::commit(path(), {file});
        auto reopened = CdxIndex::open(file, true);
        bool replaced = false;
        for (auto &x : indexes_)
            if (x.get() == target) {
                tags_.clear(); // they point into the old object
                x = std::move(reopened);
                target = x.get();
                replaced = true;
                break;
            }
        if (!replaced) {
            opened = std::move(reopened);
            target = opened.get();
        }
    } else {
        target->writeTag(info, std::move(entries));
        report(300);
        target->flush();
    }
    if (production)
        dbf_->setIndexFlag(true);

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
    order_ = order;
    goTop();
    report(400);
    return order;
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

CdxTag *Table::currentTag() { return order_ > 0 ? tags_[size_t(order_ - 1)]->tag : nullptr; }

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
    for (auto &x : indexes_)
        if (dbf_->writable())
            x->flush();
    tags_.clear();
    indexes_.clear();
    order_ = 0;
    entry_.reset();
}

std::vector<std::string> Table::checkIndexes()
{
    flushPending();
    std::vector<std::string> faults;
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
        for (uint32_t r = 1; r <= n; ++r) {
            dbf_->readRecord(r, image.data());
            if (auto k = tagKey(t, image.data(), r))
                expected.push_back(CdxEntry{*k, r});
        }
        std::sort(expected.begin(), expected.end(), [](const CdxEntry &a, const CdxEntry &b) {
            return a.key != b.key ? a.key < b.key : a.recno < b.recno;
        });
        if (t.tag->info().descending)
            std::stable_sort(expected.begin(), expected.end(),
                             [](const CdxEntry &a, const CdxEntry &b) { return a.key > b.key; });
        std::vector<CdxEntry> actual;
        for (auto e = t.tag->first(); e; e = t.tag->next(*e)) {
            actual.push_back(*e);
            if (actual.size() > size_t(n) + 1)
                break;
        }
        if (t.tag->info().unique) {
            if (actual.size() > expected.size())
                faults.push_back("Tag " + name + " holds more keys than the table has records");
            continue;
        }
        if (actual.size() != expected.size()) {
            faults.push_back("Tag " + name + " holds " + std::to_string(actual.size()) + " keys for " +
                             std::to_string(expected.size()) + " records");
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

// ------------------------------------------------------- filters, scopes

Expression Table::compile(const std::string &expression) const { return Expression::compile(expression, fields()); }

void Table::setFilter(const std::string &expression)
{
    flushPending();
    std::string text = rtrimmed(expression);
    size_t b = text.find_first_not_of(' ');
    if (b == std::string::npos) {
        filter_.reset();
        filterText_.clear();
        return;
    }
    auto e = std::make_unique<Expression>(compile(text));
    if (e->type() != Value::Type::Logical)
        throw XbaseError::expression("Filter \"" + text +
                                     "\" is not a condition (it gives no logical value)");
    filter_ = std::move(e);
    filterText_ = text;
}

uint32_t Table::countVisible()
{
    flushPending();
    uint32_t n = recordCount(), visibleCount = 0;
    std::string image(recordLength(), ' ');
    for (uint32_t r = 1; r <= n; ++r) {
        dbf_->readRecord(r, image.data());
        if (visible(r, image.data(), nullptr))
            ++visibleCount;
    }
    return visibleCount;
}

void Table::setScope(const std::string &top, const std::string &bottom)
{
    flushPending();
    if (order_ == 0 && (!top.empty() || !bottom.empty()))
        throw XbaseError::refused("A scope needs an index order");
    if (order_ == 0) {
        scopeTop_.clear();
        scopeBottom_.clear();
        return;
    }
    const OpenTag &t = *tags_[size_t(order_ - 1)];
    scopeTop_ = top.empty() ? std::string() : seekKey(t, top);
    scopeBottom_ = bottom.empty() ? std::string() : seekKey(t, bottom);
}

Value Table::evaluate(const std::string &expression)
{
    Expression e = compile(expression);
    return e.evaluate(*this);
}

} // namespace qn::xbase
