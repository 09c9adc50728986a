#pragma once

#include "xbase/cdx_index.h"
#include "xbase/cdx_node.h"
#include "xbase/cdx_store.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One B+-tree of a compound index (a tag, or the directory of tags), in the
// file's own ascending (key, record number) order. Internal to the CDX module.
namespace qn::xbase::cdx {

// A condition on entries that is false for a prefix of the ascending order and
// true for the rest, so that a tree can be searched for where it turns true.
struct Probe {
    enum Kind { Always, Never, AtLeast, Greater, PrefixAtLeast, PrefixGreater };
    Kind kind = Always;
    std::string_view key;
    uint32_t recno = 0;

    Probe() = default;
    explicit Probe(Kind k, std::string_view key_ = {}, uint32_t recno_ = 0)
        : kind(k), key(key_), recno(recno_)
    {
    }

    bool test(std::string_view k, uint32_t r) const;
};

class Tree {
public:
    Tree(PageStore &store, uint32_t root, uint16_t keyLength, char pad, std::string name);
    // A new tree on fresh pages holding `sorted` (ascending, no exact
    // duplicates): leaves filled left to right, then each interior level.
    static std::unique_ptr<Tree> build(PageStore &store, uint16_t keyLength, char pad,
                                       std::string name, const std::vector<CdxEntry> &sorted);

    uint32_t root() const { return root_; }
    uint16_t keyLength() const { return keyLength_; }
    char pad() const { return pad_; }
    void setPad(char pad);
    bool rootChanged() const { return rootChanged_; }
    void clearRootChanged() { rootChanged_ = false; }

    // First entry for which the probe holds; the last entry before that.
    std::optional<CdxEntry> firstWhere(const Probe &probe);
    std::optional<CdxEntry> lastBefore(const Probe &probe);
    // The entries just after and just before (key, recno). A walk in order
    // steps inside the leaf of the previous answer instead of searching anew.
    std::optional<CdxEntry> after(std::string_view key, uint32_t recno);
    std::optional<CdxEntry> before(std::string_view key, uint32_t recno);

    // False when the exact entry is already there (or, for `unique`, the key).
    bool insert(std::string_view key, uint32_t recno, bool unique);
    bool remove(std::string_view key, uint32_t recno);
    uint32_t count();

    // Gives every page of the tree back to the store. A damaged tree keeps its
    // pages: freeing pages of unknown owners could destroy another tag.
    void releaseAll();
    // Adds the offset of every page of the tree; false (and nothing added)
    // when the tree is damaged.
    bool listPages(std::vector<uint32_t> &pages);
    // True when the leftmost leaf's stored key bytes look binary.
    bool looksBinary();
    void verify();

private:
    struct Step {
        std::shared_ptr<Node> node;
        size_t index;
    };
    using Path = std::vector<Step>;

    std::shared_ptr<Node> load(uint32_t offset);
    [[noreturn]] void damaged(const std::string &why) const;
    Path descend(const Probe &probe);
    void checkDepth(const Node &node, size_t depth);
    bool nextLeaf(Path &path, size_t &budget);
    bool prevLeaf(Path &path, size_t &budget);
    // Path to the first entry for which the probe holds; false when there is none.
    bool findFirst(const Probe &probe, Path &path);
    static CdxEntry entryAt(const Step &step);
    void rebalance(Path &path, bool appendHint);
    std::vector<std::shared_ptr<Node>> split(const std::shared_ptr<Node> &node, bool appendHint);
    void growRoot(std::vector<std::shared_ptr<Node>> pieces);
    void collapseRoot();
    bool mergeWithSibling(Path &path, size_t level);
    void unlink(Node &node);
    void setParentEntry(Node &parent, size_t index, const Node &child);
    std::vector<uint32_t> collectPages();

    void remember(const Step &step);
    void changed() { ++generation_; }

    // Where the last answer was found, valid while the tree is unchanged.
    struct Hint {
        std::shared_ptr<Node> leaf;
        size_t index = 0;
        uint64_t generation = 0;
    };
    Hint hint_;
    uint64_t generation_ = 1;

    PageStore &store_;
    uint32_t root_;
    uint16_t keyLength_;
    char pad_;
    std::string name_;
    int leafDepth_ = -1;
    std::optional<uint32_t> count_;
    bool rootChanged_ = false;
};

} // namespace qn::xbase::cdx
