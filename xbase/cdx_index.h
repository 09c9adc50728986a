#pragma once

#include "platform/file_system.h"
#include "xbase/journal.h"
#include "xbase/table_key.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qn::xbase {

namespace cdx {
class PageStore;
class Tree;
} // namespace cdx

struct CdxTagInfo {
    std::string name;          // upper case, at most 10 characters
    std::string expression;    // key expression text as stored
    std::string forExpression; // FOR condition text, empty when none
    uint16_t keyLength = 0;    // bytes of every key
    bool descending = false;
    bool unique = false;
    bool characterKeys = true; // trailing bytes trimmed by leaf compression are blanks
                               // (false: numeric/date/integer keys, trimmed bytes are 0)
};

struct CdxEntry {
    std::string key; // exactly keyLength bytes (the caller pads / encodes)
    uint32_t recno = 0;

    bool operator==(const CdxEntry &) const = default;
};

class CdxIndex;

// One tag of an open CdxIndex; owned by it. Entries live in the file in
// ascending (key, record number) order; a descending tag walks that order
// backwards, so its index order is the exact reverse of the ascending one.
class CdxTag {
public:
    ~CdxTag();
    CdxTag(const CdxTag &) = delete;
    CdxTag &operator=(const CdxTag &) = delete;

    const CdxTagInfo &info() const { return info_; }

    // Index order: key bytes compared unsigned (memcmp), equal keys by record
    // number; a descending tag reverses that order.
    std::optional<CdxEntry> first();
    std::optional<CdxEntry> last();
    // First entry whose key is >= `key` in index order, comparing only the first
    // key.size() bytes (so a shorter key seeks a prefix). Nullopt when none.
    std::optional<CdxEntry> lowerBound(std::string_view key);
    // Neighbours of an entry that is in the tag (or of the place it would take).
    std::optional<CdxEntry> next(const CdxEntry &from);
    std::optional<CdxEntry> prev(const CdxEntry &from);
    // Adds the entry (an exact duplicate is ignored; in a unique tag a key that
    // is already present keeps its entry). Pages reach the disk on flush().
    void insert(const CdxEntry &entry);
    bool remove(const CdxEntry &entry); // false when not present
    uint32_t count();                   // number of entries

    // The CDX file does not say whether a tag holds character keys; opening
    // guesses from the key bytes. The caller, which knows the key expression's
    // type, sets it right after opening when the guess may be wrong.
    void setCharacterKeys(bool characterKeys);

    // Walks the whole tag and checks every rule of the file format (order,
    // interior keys, sibling chains, equal depth of leaves, counts). Throws
    // XbaseError naming the first fault.
    void verify();

private:
    friend class CdxIndex;
    CdxTag(CdxIndex &owner, CdxTagInfo info, uint32_t headerOffset,
           std::unique_ptr<cdx::Tree> tree);
    void requireWritable() const;
    std::string normalized(std::string_view key) const;

    CdxIndex &owner_;
    CdxTagInfo info_;
    uint32_t headerOffset_;
    std::unique_ptr<cdx::Tree> tree_;
};

// One open .CDX file (the production index or another).
class CdxIndex {
public:
    // Where the header of an encrypted index keeps its key mark.
    static constexpr size_t kKeyMarkOffset = 36;

    ~CdxIndex(); // flushes a writable index; errors there are swallowed, call flush() to see them
    CdxIndex(const CdxIndex &) = delete;
    CdxIndex &operator=(const CdxIndex &) = delete;

    // An encrypted index (one whose header carries a key mark) opens only
    // with the key of its table, `key`, and needs its password: a
    // PasswordError without it, an XbaseError (damaged) when the mark is not
    // that key's, and (Tampered) when an authenticated index was changed
    // without it. An index without a mark is read in clear, whatever `key`.
    // `earlier`: an object of the same file about to be given up (a reload):
    // an authenticated file whose header it has seen is not read whole again.
    static std::unique_ptr<CdxIndex> open(const std::filesystem::path &path, bool writable,
                                          FileSystem &fs = DefaultFileSystem(),
                                          const TableKey *key = nullptr,
                                          const CdxIndex *earlier = nullptr);
    // A new file with an empty directory of tags, replacing any file of that
    // name; encrypted under `cipher` when one is given.
    static std::unique_ptr<CdxIndex> create(const std::filesystem::path &path,
                                            FileSystem &fs = DefaultFileSystem(),
                                            std::shared_ptr<const TableCipher> cipher = nullptr);
    // Whether the file's header carries a key mark (its pages are encrypted);
    // reads the header only, so it needs no password. False for a file too
    // short to be an index.
    static bool isEncrypted(const std::filesystem::path &path,
                            FileSystem &fs = DefaultFileSystem());
    // The same, telling the two forms of an encrypted index apart: the
    // earlier, encrypted only, and the current, whose every byte is checked
    // against the tag in its header when it opens (a mismatch is an
    // XbaseError of kind Tampered) and whose every commit writes that tag
    // anew. Read from the header only, without the password.
    enum class Protection { None, Encrypted, Authenticated };
    static Protection protectionOf(const std::filesystem::path &path,
                                   FileSystem &fs = DefaultFileSystem());
    bool encrypted() const;
    bool authenticated() const;
    // A copy of the committed file at `to`, every page as it is but under
    // `cipher` (null: in clear), the header's key mark set to match, in the
    // current (authenticated) form; for a change of the table's key.
    // Written and synced, not switched in.
    void copyTo(const std::filesystem::path &to, FileSystem &fs,
                const std::shared_ptr<const TableCipher> &cipher) const;

    const std::filesystem::path &path() const { return path_; }
    bool writable() const { return writable_; }
    size_t tagCount() const { return tags_.size(); } // in directory order (order numbers 1..n)
    CdxTag &tag(size_t i);                           // 0-based
    CdxTag *findTag(std::string_view name);          // case-insensitive; nullptr when missing

    // Adds the tag, or replaces the tag of that name, filled with `entries`
    // (any order; sorted here and built bottom-up). The directory is ordered by
    // name, so adding a tag can change the positions of the others; references
    // to other tags stay valid.
    CdxTag &writeTag(const CdxTagInfo &info, std::vector<CdxEntry> entries);
    // Drops the tag; references to it become invalid.
    bool removeTag(std::string_view name);
    void flush(); // writes dirty pages, then fsync (files not under a table's journal)
    // For a table's commit: what to write (changes), then committed().
    FileChange changes();
    void committed();
    // Under a table's journal: writes only through its commits, never on destruction.
    void setJournaled(bool journaled) { journaled_ = journaled; }

private:
    friend class CdxTag;
    CdxIndex(const std::filesystem::path &path, bool writable);
    void attachKey(const TableKey *key, const CdxIndex *earlier);
    void loadDirectory();
    void stageRoots();
    void writeTagHeader(const CdxTag &tag);
    void writeDirectoryHeader();
    void sortTags();
    void housekeeping();

    std::filesystem::path path_;
    bool writable_;
    std::unique_ptr<cdx::PageStore> store_;
    bool journaled_ = false;
    std::unique_ptr<cdx::Tree> directory_;
    std::vector<std::unique_ptr<CdxTag>> tags_;
};

// Key encodings of FoxPro-style indexes, so that keys sort as unsigned bytes:
std::string cdxNumericKey(double value);  // 8-byte sortable form of a number
std::string cdxIntegerKey(int32_t value); // 4-byte form of an integer field key
// (date keys are numeric keys of the Julian day number.)
double cdxNumericFromKey(std::string_view key);  // inverse of cdxNumericKey
int32_t cdxIntegerFromKey(std::string_view key); // inverse of cdxIntegerKey

} // namespace qn::xbase
