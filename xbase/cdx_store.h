#pragma once

#include "xbase/cdx_node.h"
#include "xbase/file_io.h"
#include "xbase/journal.h"
#include "xbase/table_cipher.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

// The pages of one .CDX file: a cache of decoded nodes, page allocation and
// the ordered write-back on flush. Internal to the CDX module.
//
// With a cipher, every page after the file's header (its first two pages) is
// encrypted on its way to the file and decrypted on its way in, each page
// one unit whose tweak is its page number; the cache holds clear pages only.
// A write of a few bytes into such a page (a tag header's root) is made
// into a write of the whole page, read, changed and encrypted again.
//
// An authenticated file (the current form of an encrypted index) also
// carries the tag of the whole file in its header: over the header itself
// (the tag's own bytes taken as zeros), the file's size and the tag of every
// page as it is stored, encrypted, at its place. Opening reads every page
// once and checks that tag; the pages' tags stay in memory, so a page read
// later is checked too. Every commit that changes the file writes the new
// tag into the header in the same commit, so the file is always the old
// one with the old tag or the new one with the new.
namespace qn::xbase::cdx {

class PageStore {
public:
    static constexpr uint32_t kClearBytes = 2 * kPageSize; // the file's header
    // Where an authenticated file keeps its tag: bytes the header otherwise
    // leaves zero (after the index's key mark).
    static constexpr uint32_t kTagOffset = 56;
    PageStore(BinaryFile file, bool writable);

    const std::string &name() const { return name_; }
    // Set before any page after the header is read; null: pages in clear.
    // `authenticated`: the file's form; authenticate() then checks an
    // existing file before anything else is read.
    void setCipher(std::shared_ptr<const TableCipher> cipher, bool authenticated = false)
    {
        cipher_ = std::move(cipher);
        authenticated_ = cipher_ && authenticated;
    }
    bool encrypted() const { return cipher_ != nullptr; }
    bool authenticated() const { return authenticated_; }
    // Reads the whole file and checks its tag: an XbaseError of kind
    // Tampered when it does not match.
    void authenticate();
    // Takes over what `earlier`, a store of the same file, checked, when the
    // file's header (its tag included) and size are still as it left them:
    // no one with the password changed the file since, and any page changed
    // without it fails its own tag when read. False when they differ.
    bool adoptChecked(const PageStore &earlier);
    // The tag of a page of an authenticated file, as stored (encrypted) at
    // `offset`; the tag of a whole file from its header and the tags of its
    // pages (by page number, one per page of the file; the header's two are
    // not used).
    static TableCipher::Tag pageTag(const TableCipher &cipher, uint64_t offset,
                                    const uint8_t *stored);
    static TableCipher::Tag fileTag(const TableCipher &cipher, const uint8_t *header,
                                    const std::vector<TableCipher::Tag> &pageTags);
    bool writable() const { return writable_; }
    uint64_t end() const { return end_; } // one past the last page, pages not yet written included
    uint64_t pageCount() const { return end_ / kPageSize; }

    // The node at `offset`, decoded for a tree of the given key length. Bad
    // offsets and damaged bytes are XbaseErrors naming the file and offset.
    std::shared_ptr<Node> node(uint32_t offset, uint16_t keyLength, char pad);
    // A fresh empty node on a page taken from the free pages or the end.
    std::shared_ptr<Node> newNode(uint16_t keyLength, char pad, bool leaf);
    void markDirty(const Node &node) { dirty_.insert(node.offset); }
    // The page no longer belongs to any tree. It is reused only after the next
    // flush, so that a crash before then leaves the old tree readable.
    void release(uint32_t offset);
    // Two adjacent pages at the end of the file, for an index header.
    uint32_t allocateHeader();
    // Lists every page the index uses (false when it cannot tell, e.g. a
    // damaged tree). Asked once, when the first new page is needed, so that
    // pages orphaned by earlier sessions or other programs are used again.
    void setUsedPagesSource(std::function<bool(std::vector<uint32_t> &)> source)
    {
        usedPages_ = std::move(source);
    }

    // Raw bytes (index headers); writes are staged and reach the file on
    // flush, after the nodes, in the order given.
    void readRaw(uint32_t offset, uint8_t *buffer, size_t n) const;
    void writeRaw(uint32_t offset, const void *data, size_t n);
    void readPage(uint32_t offset, uint8_t *page) const; // clear page, staged writes ignored
    uint64_t fileSize() const { return file_.size(); }

    void checkPageOffset(uint32_t offset, const char *what) const;
    bool hasChanges() const { return !dirty_.empty() || !staged_.empty(); }
    void trimCache();
    // What a commit writes: dirty nodes in file order, then the staged raw
    // bytes (headers pointing to them). committed() after it was written.
    FileChange changes();
    void committed();
    void flush(); // changes written and synced without a journal (new files)

private:
    BinaryFile file_;
    bool writable_;
    std::string name_;
    uint64_t end_ = 0;
    std::unordered_map<uint32_t, std::shared_ptr<Node>> cache_;
    std::set<uint32_t> dirty_;
    std::set<uint32_t> free_;
    std::vector<uint32_t> pendingFree_;
    std::vector<std::pair<uint32_t, std::string>> staged_;
    std::function<bool(std::vector<uint32_t> &)> usedPages_;
    bool reclaimed_ = false;
    uint64_t sizeAtOpen_ = 0;
    std::shared_ptr<const TableCipher> cipher_;
    bool authenticated_ = false;
    // Of an authenticated file: its header and the tags of its pages as
    // checked at open and written by every commit since; what the commit
    // being made will leave (pending until committed()).
    std::array<uint8_t, kClearBytes> header_{};
    std::vector<TableCipher::Tag> pageTags_;
    struct Sealed {
        bool pending = false;
        std::array<uint8_t, kClearBytes> header{};
        std::vector<TableCipher::Tag> pageTags;
    } sealed_;

    void reclaimOrphans();
    bool encryptedAt(uint64_t offset) const { return cipher_ && offset >= kClearBytes; }
    TableCipher::Domain pageDomain() const
    {
        return authenticated_ ? TableCipher::Domain::SealedIndexPage
                              : TableCipher::Domain::IndexPage;
    }
    void encryptPage(uint32_t offset, uint8_t *page) const;
    void stagedWrites(FileChange &c) const;
    void seal(FileChange &c);
};

} // namespace qn::xbase::cdx
