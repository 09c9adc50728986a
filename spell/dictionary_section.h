#pragma once

#include "spell/dictionary_file.h"
#include "spell/dictionary_format.h"

#include <memory>
#include <vector>

namespace qn::spell {

// One section of an open dictionary file: its header and its nodes. The nodes
// are read and decoded in one go when they are first needed and kept decoded
// (a section holds at most 65535 nodes, 256 KB decoded) until the header
// changes.
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

    // Nodes 0 .. NodeLimit(), decoded; node 0 is no node and reads as an empty
    // last node. Nodes the file could not give read as zero bytes.
    const std::vector<TrieNode> &Nodes();

    // Reads the header again from the file (another program may have added
    // words); cached nodes are dropped when it changed.
    void RefreshHeader();

    // After the section was written: take the new header, forget cached nodes.
    void Replace(const SectionHeader &header);

private:
    void computeLimit();
    void decode();

    std::shared_ptr<DictionaryFile> file_;
    int64_t headerOffset_;
    SectionHeader header_;
    Kind kind_;
    int handle_;
    int32_t limit_ = 0;
    std::vector<TrieNode> nodes_; // empty until first needed
};

} // namespace qn::spell
