#pragma once

// The text of the entries a search has read, kept for the session so that
// the next search reads no entry again. Each text is folded for
// TQnBufferFinder. The texts live in memory only (nothing of an encrypted
// diary reaches the disk), up to a limit; past it further entries are read
// again by every search. The owner drops an entry's text whenever its record
// is changed, and all of them when the diary closes.

#include <cstddef>
#include <string>
#include <unordered_map>

namespace qn {

class TQnRTFTextIo;

class TEntryTexts {
public:
    static constexpr size_t kDefaultLimit = size_t(96) << 20;

    explicit TEntryTexts(size_t limit = kDefaultLimit) : limit_(limit) {}

    // The text kept for the entry of this date key, or nullptr.
    const std::u32string *Find(const std::string &key) const;
    // Keeps the text unless that would take the texts past the limit.
    void Store(const std::string &key, std::u32string text);
    void Drop(const std::string &key);
    void Clear();
    size_t Bytes() const { return bytes_; }
    size_t Count() const { return texts_.size(); }

private:
    static size_t cost(const std::string &key, const std::u32string &text);

    std::unordered_map<std::string, std::u32string> texts_;
    size_t bytes_ = 0;
    size_t limit_;
};

// The folded text of an entry as stored (its RTF): read in one pass, or,
// when the pass cannot read it, loaded into `scratch` as the editor loads
// an entry and taken from its paragraphs.
std::u32string FoldedEntryText(const std::string &stored, TQnRTFTextIo &scratch);

// The folded text of a loaded document's paragraphs.
std::u32string FoldedDocumentText(const TQnRTFTextIo &document);

} // namespace qn
