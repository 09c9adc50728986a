#pragma once

#include "spell/dictionary_file.h"
#include "spell/dictionary_format.h"

#include <array>
#include <memory>
#include <vector>

namespace qn::spell {

// One section of an open dictionary file: its header and a read cache over its
// nodes. Nodes are read from the file on demand, never loaded as a whole.
class DictionarySection {
public:
    enum class Kind { MainFirst, MainFurther, User };

    DictionarySection(std::shared_ptr<DictionaryFile> file, int64_t headerOffset,
                      const SectionHeader &header, Kind kind, int handle);

    // Every section of a file in order; a user dictionary has only its first.
    // Stops at the first header that cannot be read or that ends the chain.
    static std::vector<std::unique_ptr<DictionarySection>>
    ReadSections(const std::shared_ptr<DictionaryFile> &file, bool user);

    Kind SectionKind() const { return kind_; }
    int Handle() const { return handle_; }
    void SetHandle(int handle) { handle_ = handle; }
    const SectionHeader &Header() const { return header_; }
    int64_t HeaderOffset() const { return headerOffset_; }
    int64_t AreaOffset() const { return headerOffset_ + kSectionHeaderSize; }
    DictionaryFile &File() { return *file_; }

    // Nodes 1 .. NodeLimit() may be read: those the header counts as in use and
    // the file actually holds.
    int32_t NodeLimit() const { return limit_; }

    // False for node numbers outside 1 .. NodeLimit().
    bool ReadNode(int32_t n, TrieNode &node);

    // Reads the header again from the file (another program may have added
    // words); cached nodes are dropped when it changed.
    void RefreshHeader();

    // After the section was written: take the new header, forget cached nodes.
    void Replace(const SectionHeader &header);

private:
    static constexpr int kCacheSlots = 1024;
    static constexpr int kBlockNodes = 8;

    struct CacheSlot {
        int32_t Block = -1;
        std::array<uint8_t, kBlockNodes * kNodeSize> Bytes{};
    };

    void computeLimit();
    void dropCache();

    std::shared_ptr<DictionaryFile> file_;
    int64_t headerOffset_;
    SectionHeader header_;
    Kind kind_;
    int handle_;
    int32_t limit_ = 0;
    std::vector<CacheSlot> cache_;
};

} // namespace qn::spell
