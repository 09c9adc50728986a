#include "xbase/table.h"

#include "platform/file_lookup.h"
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

// A file system call that fails for another reason than a missing file (a
// name too long, a loop of links, a folder that may not be searched) is an
// I/O error of the engine like any other.
template <typename F> auto ioErrors(F &&body) -> decltype(body())
{
    try {
        return body();
    } catch (const std::filesystem::filesystem_error &e) {
        throw XbaseError::io("Cannot reach " + e.path1().string() + ": " + e.code().message());
    }
}

} // namespace

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
                   uint32_t memoBlockSizeSetting, FileSystem &fs)
{
    ioErrors([&] {
        std::filesystem::path path = FindPathNoCase(pathIn);
        if (std::filesystem::exists(path))
            throw XbaseError::refused("Table " + path.string() + " already exists");
        std::vector<FieldInfo> normal = DbfFile::normalizeFields(fields);
        bool memo = std::any_of(normal.begin(), normal.end(),
                                [](const FieldInfo &f) { return f.type == 'M'; });
        std::filesystem::path cdx = siblingWithExtension(path, ".CDX");
        if (std::filesystem::exists(cdx))
            removeFile(cdx, fs);
        if (memo)
            MemoFile::create(siblingWithExtension(path, ".FPT"), memoBlockSizeSetting, fs);
        DbfFile::create(path, normal, fs);
        syncDirectory(FolderOf(path), fs);
    });
}

std::unique_ptr<Table> Table::open(const std::filesystem::path &pathIn, Access access,
                                   const EngineSettings &settings)
{
    return ioErrors([&] {
        std::filesystem::path path = FindPathNoCase(pathIn);
        FileSystem &fs = settings.fileSystem ? *settings.fileSystem : DefaultFileSystem();
        if (!std::filesystem::exists(path))
            throw XbaseError::io("Table " + pathIn.string() + " does not exist");
        if (file_switch::pending(path)) {
            // An interrupted pack or encryption: finish or undo it, but only
            // while nobody else has the table open (it may be theirs, running).
            BinaryFile guard(path, BinaryFile::Mode::ReadOnly, fs);
            if (guard.tryLock(true)) {
                file_switch::recover(fs, path);
            } else if (std::filesystem::exists(file_switch::markerFor(path))) {
                throw XbaseError::lock("Table " + path.string() +
                                       " is being rewritten by another program; try again later");
            }
        }
        const bool recovered = recoverAtOpen(fs, path, access, settings);
        std::unique_ptr<Table> t(new Table(settings));
        t->recovered_ = recovered;
        t->dbf_ = DbfFile::open(path, access, fs);
        if (t->dbf_->writable())
            t->journal_ = std::make_unique<Journal>(fs, path, access == Access::Exclusive);
        if (t->dbf_->hasMemoFields()) {
            std::filesystem::path fpt = siblingWithExtension(path, ".FPT");
            if (!std::filesystem::exists(fpt))
                throw XbaseError::damaged("The memo file " + fpt.string() + " of table " +
                                          path.string() + " is missing");
            t->memo_ = MemoFile::open(fpt, t->dbf_->writable(), access != Access::Shared, fs);
        }
        t->attachKey();
        t->buffer_.assign(t->dbf_->fieldsLength(), ' ');
        t->diskImage_ = t->buffer_;
        // The index flag may be set while the index was removed on purpose
        // (it is then rebuilt), so a missing production index is no error.
        // A damaged one does not keep the records from being read: the table
        // opens without it, checkIndexes names the damage and a tag build
        // replaces the file.
        std::filesystem::path cdx = siblingWithExtension(path, ".CDX");
        if (std::filesystem::exists(cdx)) {
            try {
                t->addIndex(CdxIndex::open(cdx, t->dbf_->writable(), fs, t->key_.get()));
            } catch (const XbaseError &e) {
                t->indexProblem_ = e.what();
            }
            t->order_ = 0;
        }
        if (t->key_ && !t->key_->usable())
            t->setEof(); // opens so that the password can still be given; reads fail clearly
        else
            try {
                t->goTop();
            } catch (const XbaseError &e) {
                if (!e.isTampered()) // it opens on that record, which then tells
                    throw;
            }
        return t;
    });
}

// A hot journal is rolled back before anything of the table is read, by
// the one opener that may change it: the sole opener, or, while others have
// the table open, the shared opener that holds the table lock (a journal is
// hot only while its writer holds that lock, or after the writer died).
bool Table::recoverAtOpen(FileSystem &fs, const std::filesystem::path &path, Access access,
                          const EngineSettings &settings)
{
    std::string problem;
    const Journal::State state = Journal::state(fs, path, &problem);
    if (state == Journal::State::Damaged)
        throw XbaseError::damaged(problem);
    if (state == Journal::State::Missing)
        return false;
    BinaryFile guard;
    try {
        guard = BinaryFile(path, BinaryFile::Mode::ReadWrite, fs);
    } catch (const XbaseError &e) {
        if (state == Journal::State::Hot)
            throw XbaseError::refused(
                "Table " + path.string() +
                " has an unfinished save to undo, which needs write access: " + e.what());
        return false;
    }
    if (guard.tryLock(true))
        return Journal::recover(fs, path,
                                access == Access::Exclusive || state == Journal::State::Cold);
    if (state == Journal::State::Cold || access == Access::Exclusive)
        return false; // another opener's, or the exclusive open fails anyway
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::seconds(std::max(1, settings.lockTimeoutSeconds));
    while (!guard.tryLockRange(lockBase, 1)) {
        if (std::chrono::steady_clock::now() >= deadline)
            throw XbaseError::lock("Table " + path.string() +
                                   " is being saved by another program; try again later");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    bool undone = false;
    try {
        undone = Journal::recover(fs, path, false);
    } catch (...) {
        guard.unlockRange(lockBase, 1);
        throw;
    }
    guard.unlockRange(lockBase, 1);
    return undone;
}

bool Table::recover(const std::filesystem::path &pathIn, const EngineSettings &settings)
{
    return ioErrors([&] {
        FileSystem &fs = settings.fileSystem ? *settings.fileSystem : DefaultFileSystem();
        std::filesystem::path path = FindPathNoCase(pathIn);
        if (!std::filesystem::exists(path))
            throw XbaseError::io("Table " + pathIn.string() + " does not exist");
        BinaryFile guard(path, BinaryFile::Mode::ReadWrite, fs);
        if (!guard.tryLock(true))
            throw XbaseError::lock("Table " + path.string() + " is in use by another program");
        return Journal::recover(fs, path, true);
    });
}

bool Table::hasHotJournal(const std::filesystem::path &path, const EngineSettings &settings)
{
    return ioErrors([&] {
        FileSystem &fs = settings.fileSystem ? *settings.fileSystem : DefaultFileSystem();
        return Journal::state(fs, FindPathNoCase(path)) == Journal::State::Hot;
    });
}

std::string Table::journalProblem(const std::filesystem::path &path, const EngineSettings &settings)
{
    return ioErrors([&] {
        FileSystem &fs = settings.fileSystem ? *settings.fileSystem : DefaultFileSystem();
        std::string problem;
        Journal::state(fs, FindPathNoCase(path), &problem);
        return problem;
    });
}

// A writer in shared mode that finds a hot journal under the table lock
// finds the journal of a writer that died: its save is undone first.
void Table::recoverUnderLock()
{
    const Journal::State state = Journal::state(fs(), path());
    if (state != Journal::State::Hot && state != Journal::State::Damaged)
        return; // a damaged one is an error from recover
    Journal::recover(fs(), path(), false);
    recovered_ = true;
}

bool Table::isProductionIndex(const CdxIndex &index) const
{
    const std::filesystem::path production = siblingWithExtension(path(), ".CDX");
    std::error_code ec;
    const bool same = std::filesystem::equivalent(index.path(), production, ec);
    return ec ? index.path() == production : same;
}

void Table::commitChanges()
{
    if (!journal_)
        return;
    // The journal restores the table's own three files. Other index files a
    // caller opened are written once the commit is done: they only repeat
    // what the table holds, and a check finds them out of step after a crash.
    std::vector<FileChange> changes;
    changes.push_back(dbf_->changes());
    changes.back().role = FileRole::Table;
    if (memo_) {
        changes.push_back(memo_->changes());
        changes.back().role = FileRole::Memo;
    }
    std::vector<CdxIndex *> others;
    for (auto &x : indexes_) {
        if (!x->writable())
            continue;
        if (!isProductionIndex(*x)) {
            others.push_back(x.get());
            continue;
        }
        changes.push_back(x->changes());
        changes.back().role = FileRole::Index;
    }
    try {
        journal_->commit(changes);
    } catch (...) {
        undoFailedCommit();
        throw;
    }
    dbf_->committed();
    if (memo_)
        memo_->committed();
    for (auto &x : indexes_)
        if (std::find(others.begin(), others.end(), x.get()) == others.end())
            x->committed();
    for (CdxIndex *x : others)
        x->flush();
}

// The files may be half written: the journal puts them back as the last
// commit left them, and this object, which is ahead of them, takes no more
// writes. A journal that never became complete undid nothing, for nothing
// but new memos beyond the memo file's end had been written: they go.
void Table::undoFailedCommit()
{
    failedCommit_ = true;
    try {
        Journal::recover(fs(), path(), false);
        if (memo_)
            memo_->discardUncommitted();
    } catch (...) {
        // Left for the next open, which undoes the save or drops the journal.
    }
}

void Table::rollback()
{
    if (closed_ || !dbf_ || !dbf_->writable())
        return;
    const uint32_t recno = eof_ ? 0 : recno_;
    entry_.reset();
    dirty_ = false;
    dbf_->discardUncommitted();
    if (memo_)
        memo_->discardUncommitted();
    reloadIndexes();
    if (recno >= 1 && recno <= dbf_->recordCount())
        go(recno);
    else
        goTop();
}

bool Table::journalIsCold() const
{
    try {
        return Journal::state(fs(), path()) == Journal::State::Cold;
    } catch (...) {
        return false;
    }
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
    if (journal_) {
        try {
            // After a failure the journal goes only when nothing waits in it.
            const bool clean = !failedCommit_ && !error;
            journal_->close(access() == Access::Exclusive && (clean || journalIsCold()));
        } catch (...) {
            // A cold journal left behind is removed at the next open.
        }
    }
    journal_.reset();
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
    if (failedCommit_)
        throw XbaseError::refused(std::string("Cannot ") + what + ": a save of table " +
                                  path().string() +
                                  " failed and was undone; close it and open it again");
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
    changedOutside_ = false;
    if (image) {
        buffer_ = *image;
    } else {
        try {
            dbf_->readRecord(recno, buffer_.data());
        } catch (const XbaseError &e) {
            if (e.isTampered())
                landChanged(recno, std::nullopt);
            throw;
        }
    }
    diskImage_ = buffer_;
    entry_.reset();
    dirty_ = false;
    recno_ = recno;
    eof_ = false;
}

// The table stands on a record whose tag does not match, empty, so that a
// skip goes on past it; nothing is ever written over it.
void Table::landChanged(uint32_t recno, const std::optional<CdxEntry> &entry)
{
    buffer_.assign(dbf_->fieldsLength(), ' ');
    diskImage_ = buffer_;
    entry_ = entry;
    dirty_ = false;
    recno_ = recno;
    eof_ = false;
    bof_ = false;
    changedOutside_ = true;
}

// A record on the way of a walk or seek; one changed outside is where the
// walk stops (the caller learns it by the error).
void Table::readOnTheWay(uint32_t recno, char *image, const std::optional<CdxEntry> &entry)
{
    try {
        dbf_->readRecord(recno, image);
    } catch (const XbaseError &e) {
        if (e.isTampered())
            landChanged(recno, entry);
        throw;
    }
}

void Table::setEof()
{
    entry_.reset();
    recno_ = dbf_->recordCount() + 1;
    eof_ = true;
    buffer_.assign(dbf_->fieldsLength(), ' ');
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

void Table::goTop()
{
    goEnd(true);
}

void Table::goBottom()
{
    goEnd(false);
}

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
    std::string image(dbf_->fieldsLength(), ' ');
    for (uint32_t i = 1; i <= n; ++i) {
        uint32_t r = top ? i : n + 1 - i;
        readOnTheWay(r, image.data(), std::nullopt);
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
    std::string image(dbf_->fieldsLength(), ' ');
    uint32_t count = recordCount();
    while (e) {
        if (!inScope(e->key))
            break;
        if (e->recno >= 1 && e->recno <= count) {
            readOnTheWay(e->recno, image.data(), e);
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
    std::string image(dbf_->fieldsLength(), ' ');
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
            readOnTheWay(r, image.data(), std::nullopt);
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
    std::string image(dbf_->fieldsLength(), ' ');
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
            readOnTheWay(e->recno, image.data(), e);
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
    std::string &image = scratch_; // seeks come by the thousand: no allocation each
    image.resize(dbf_->fieldsLength());
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
            readOnTheWay(e->recno, image.data(), e);
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
    case 'C':
        return replaceRaw(field, text);
    case 'M':
        return replaceMemo(field, text);
    case 'L': {
        std::string t = rtrimmed(text);
        if (t.empty())
            return replaceRaw(field, " ");
        char c = char(
            std::toupper(static_cast<unsigned char>(t[t.front() == '.' && t.size() > 1 ? 1 : 0])));
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
            // The memo goes beyond the file's end at once: the journal that
            // lets a failure cut it off again must exist first.
            if (journal_)
                journal_->open();
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
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::seconds(std::max(0, settings_.lockTimeoutSeconds));
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
        recoverUnderLock();
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
        commitChanges();
    } catch (...) {
        unlockRange(dbf_->file(), lockBase, 1);
        throw;
    }
    unlockRange(dbf_->file(), lockBase, 1);
}

void Table::writeImage(uint32_t recno, const std::string &oldImage, const std::string &newImage)
{
    entry_.reset();
    requireWritable("write a record");
    if (changedOutside_ && recno == recno_)
        throw XbaseError::tampered("Record " + std::to_string(recno) + " of " + path().string() +
                                   " was changed by someone without the password: it is not "
                                   "written over");
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
    std::string img(image, dbf_->fieldsLength());
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
    std::string blank(dbf_->fieldsLength(), ' ');
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
    if (!dbf_->writable() || failedCommit_)
        return;
    if (dbf_->access() != Access::Shared)
        return commitChanges();
    // Shared writes commit before their lock goes; anything else waiting
    // (a header flag) commits under the lock too.
    if (!dbf_->changed())
        return;
    if (!lockRange(lockBase))
        throw XbaseError::lock("Cannot write to " + path().string() +
                               ": the table is locked by another user");
    try {
        commitChanges();
    } catch (...) {
        unlockRange(dbf_->file(), lockBase, 1);
        throw;
    }
    unlockRange(dbf_->file(), lockBase, 1);
}

// ------------------------------------------------------- filters, scopes

Expression Table::compile(const std::string &expression) const
{
    return Expression::compile(expression, fields());
}

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
        try {
            dbf_->readRecord(r, image.data());
        } catch (const XbaseError &e) {
            if (!e.isTampered())
                throw;
            ++visibleCount; // shown, as a changed entry
            continue;
        }
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
