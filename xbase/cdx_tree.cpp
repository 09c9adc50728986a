#include "xbase/cdx_tree.h"

#include "xbase/xbase_error.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace qn::xbase::cdx {

namespace {

// No real index is this deep (8-byte keys reach 31^10 entries before that);
// deeper means the links loop.
constexpr size_t kMaxDepth = 24;

// Unsigned byte order over the shorter length. Keys are short and seeks
// compare a few dozen of them, so eight bytes are compared at a time here
// rather than through a library call each.
int compareKeys(std::string_view a, std::string_view b)
{
    size_t n = std::min(a.size(), b.size());
    const auto *p = reinterpret_cast<const unsigned char *>(a.data());
    const auto *q = reinterpret_cast<const unsigned char *>(b.data());
    for (; n >= 8; n -= 8, p += 8, q += 8) {
        uint64_t x, y;
        std::memcpy(&x, p, 8);
        std::memcpy(&y, q, 8);
        if (x != y) {
            x = __builtin_bswap64(x);
            y = __builtin_bswap64(y);
            return x < y ? -1 : 1;
        }
    }
    for (; n > 0; --n, ++p, ++q)
        if (*p != *q)
            return *p < *q ? -1 : 1;
    return 0;
}

bool sameEntry(const Node &node, size_t i, std::string_view key, uint32_t recno)
{
    return node.recnos[i] == recno && node.key(i) == key;
}

} // namespace

bool Probe::test(std::string_view k, uint32_t r) const
{
    switch (kind) {
    case Always:
        return true;
    case Never:
        return false;
    case AtLeast: {
        int c = compareKeys(k, key);
        return c > 0 || (c == 0 && r >= recno);
    }
    case Greater: {
        int c = compareKeys(k, key);
        return c > 0 || (c == 0 && r > recno);
    }
    case PrefixAtLeast:
        return compareKeys(k, key) >= 0;
    case PrefixGreater:
        return compareKeys(k, key) > 0;
    }
    return true;
}

namespace {

size_t partitionPoint(const Node &node, const Probe &probe)
{
    size_t lo = 0, hi = node.count();
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        if (probe.test(node.key(mid), node.recnos[mid]))
            hi = mid;
        else
            lo = mid + 1;
    }
    return lo;
}

} // namespace

Tree::Tree(PageStore &store, uint32_t root, uint16_t keyLength, char pad, std::string name)
    : store_(store), root_(root), keyLength_(keyLength), pad_(pad), name_(std::move(name))
{
}

void Tree::setPad(char pad)
{
    pad_ = pad;
    changed();
}

std::shared_ptr<Node> Tree::load(uint32_t offset)
{
    return store_.node(offset, keyLength_, pad_);
}

void Tree::damaged(const std::string &why) const
{
    throw XbaseError::damaged("Index " + store_.name() + " is damaged (" + name_ + "): " + why);
}

void Tree::checkDepth(const Node &node, size_t depth)
{
    if (depth > kMaxDepth)
        damaged("its node links form a loop");
    if (node.leaf) {
        if (leafDepth_ < 0)
            leafDepth_ = int(depth);
        else if (int(depth) != leafDepth_)
            damaged("its leaves lie at different depths");
    } else {
        if (leafDepth_ >= 0 && int(depth) >= leafDepth_)
            damaged("its leaves lie at different depths");
        if (node.count() == 0)
            damaged("an interior node holds no entries");
    }
}

Tree::Path Tree::descend(const Probe &probe)
{
    Path path;
    path.reserve(8); // deeper trees are rare; one allocation per descent
    auto node = load(root_);
    for (size_t depth = 0;; ++depth) {
        checkDepth(*node, depth);
        size_t i = partitionPoint(*node, probe);
        if (node->leaf) {
            path.push_back({node, i});
            return path;
        }
        if (i == node->count())
            i = node->count() - 1; // greater than every key: the last subtree
        path.push_back({node, i});
        uint32_t child = node->children[i];
        for (const Step &step : path)
            if (step.node->offset == child)
                damaged("a node links back to one above it");
        node = load(child);
    }
}

bool Tree::nextLeaf(Path &path, size_t &budget)
{
    if (budget-- == 0)
        damaged("its leaves form a loop");
    path.pop_back();
    while (!path.empty()) {
        Step &top = path.back();
        if (top.index + 1 < top.node->count()) {
            ++top.index;
            auto node = load(top.node->children[top.index]);
            for (;;) {
                checkDepth(*node, path.size());
                path.push_back({node, 0});
                if (node->leaf)
                    return true;
                node = load(node->children[0]);
            }
        }
        path.pop_back();
    }
    return false;
}

bool Tree::prevLeaf(Path &path, size_t &budget)
{
    if (budget-- == 0)
        damaged("its leaves form a loop");
    path.pop_back();
    while (!path.empty()) {
        Step &top = path.back();
        if (top.index > 0) {
            --top.index;
            auto node = load(top.node->children[top.index]);
            for (;;) {
                checkDepth(*node, path.size());
                if (node->leaf) {
                    path.push_back({node, node->count()});
                    return true;
                }
                path.push_back({node, node->count() - 1});
                node = load(node->children.back());
            }
        }
        path.pop_back();
    }
    return false;
}

CdxEntry Tree::entryAt(const Step &step)
{
    return CdxEntry{std::string(step.node->key(step.index)), step.node->recnos[step.index]};
}

bool Tree::findFirst(const Probe &probe, Path &path)
{
    path = descend(probe);
    size_t budget = store_.pageCount() + 1;
    // Normally the leaf reached holds the entry; an interior key larger than
    // its subtree's last entry (left by another writer) sends us one leaf early.
    while (path.back().index == path.back().node->count()) {
        if (!nextLeaf(path, budget))
            return false;
        path.back().index = partitionPoint(*path.back().node, probe);
    }
    return true;
}

void Tree::remember(const Step &step)
{
    hint_.leaf = step.node;
    hint_.index = step.index;
    hint_.generation = generation_;
}

std::optional<CdxEntry> Tree::firstWhere(const Probe &probe)
{
    Path path;
    if (!findFirst(probe, path))
        return std::nullopt;
    remember(path.back());
    return entryAt(path.back());
}

std::optional<CdxEntry> Tree::after(std::string_view key, uint32_t recno)
{
    // The neighbour in the leaf is taken only when it is really greater, so a
    // damaged leaf out of order can never make a walk go round in circles.
    Probe greater(Probe::Greater, key, recno);
    if (hint_.generation == generation_ && hint_.leaf) {
        const Node &leaf = *hint_.leaf;
        size_t i = hint_.index;
        if (i + 1 < leaf.count() && sameEntry(leaf, i, key, recno) &&
            greater.test(leaf.key(i + 1), leaf.recnos[i + 1])) {
            ++hint_.index;
            return entryAt(Step{hint_.leaf, i + 1});
        }
    }
    return firstWhere(greater);
}

std::optional<CdxEntry> Tree::before(std::string_view key, uint32_t recno)
{
    Probe atLeast(Probe::AtLeast, key, recno);
    if (hint_.generation == generation_ && hint_.leaf) {
        const Node &leaf = *hint_.leaf;
        size_t i = hint_.index;
        if (i > 0 && i < leaf.count() && sameEntry(leaf, i, key, recno) &&
            !atLeast.test(leaf.key(i - 1), leaf.recnos[i - 1])) {
            --hint_.index;
            return entryAt(Step{hint_.leaf, i - 1});
        }
    }
    return lastBefore(atLeast);
}

std::optional<CdxEntry> Tree::lastBefore(const Probe &probe)
{
    Path path = descend(probe);
    size_t budget = store_.pageCount() + 1;
    while (path.back().index == 0) {
        if (!prevLeaf(path, budget))
            return std::nullopt;
        path.back().index = partitionPoint(*path.back().node, probe);
    }
    Step step = path.back();
    --step.index;
    remember(step);
    return entryAt(step);
}

bool Tree::insert(std::string_view key, uint32_t recno, bool unique)
{
    if (unique) {
        auto found = firstWhere(Probe{Probe::PrefixAtLeast, key});
        if (found && found->key == key)
            return false;
    }
    Path path = descend(Probe{Probe::AtLeast, key, recno});
    Node &leaf = *path.back().node;
    size_t i = path.back().index;
    if (i < leaf.count() && sameEntry(leaf, i, key, recno))
        return false;
    changed();
    leaf.insert(i, key, recno);
    store_.markDirty(leaf);
    rebalance(path, i + 1 == leaf.count());
    if (count_)
        ++*count_;
    return true;
}

bool Tree::remove(std::string_view key, uint32_t recno)
{
    Path path;
    if (!findFirst(Probe{Probe::AtLeast, key, recno}, path))
        return false;
    // A path found by walking on may pass one node twice in a damaged tree;
    // changing it then would corrupt memory, not just the file.
    for (size_t a = 0; a < path.size(); ++a)
        for (size_t b = a + 1; b < path.size(); ++b)
            if (path[a].node == path[b].node)
                damaged("a node is linked twice");
    Node &leaf = *path.back().node;
    size_t i = path.back().index;
    if (!sameEntry(leaf, i, key, recno))
        return false;
    changed();
    leaf.erase(i);
    store_.markDirty(leaf);
    rebalance(path, false);
    if (count_)
        --*count_;
    return true;
}

void Tree::setParentEntry(Node &parent, size_t index, const Node &child)
{
    size_t last = child.count() - 1;
    if (parent.recnos[index] != child.recnos[last] || parent.key(index) != child.key(last)) {
        parent.setEntry(index, child.key(last), child.recnos[last]);
        store_.markDirty(parent);
    }
}

// Restores every rule of the tree along `path` after its leaf changed: splits
// overfull nodes, drops empty ones, merges small ones with a neighbour, and
// keeps each interior entry equal to the last entry of its subtree.
void Tree::rebalance(Path &path, bool appendHint)
{
    for (size_t level = path.size(); level-- > 0;) {
        std::shared_ptr<Node> node = path[level].node;
        if (!fits(*node)) {
            auto pieces = split(node, appendHint);
            if (level == 0) {
                growRoot(std::move(pieces));
                return;
            }
            Node &parent = *path[level - 1].node;
            size_t index = path[level - 1].index;
            if (index >= parent.count())
                damaged("a node is linked twice");
            setParentEntry(parent, index, *pieces[0]);
            for (size_t k = 1; k < pieces.size(); ++k) {
                const Node &piece = *pieces[k];
                parent.insert(index + k, piece.key(piece.count() - 1), piece.recnos.back(),
                              piece.offset);
            }
            store_.markDirty(parent);
            continue;
        }
        if (level == 0) {
            collapseRoot();
            return;
        }
        Node &parent = *path[level - 1].node;
        size_t index = path[level - 1].index;
        if (index >= parent.count() || parent.children[index] != node->offset)
            damaged("a node is linked twice");
        if (node->count() == 0) {
            unlink(*node);
            store_.release(node->offset);
            parent.erase(index);
            store_.markDirty(parent);
            continue;
        }
        if (usedSpace(*node) * 4 < capacity(*node) && mergeWithSibling(path, level))
            continue;
        setParentEntry(parent, index, *node);
    }
}

std::vector<std::shared_ptr<Node>> Tree::split(const std::shared_ptr<Node> &node, bool appendHint)
{
    const size_t n = node->count();
    std::vector<size_t> cuts;
    // Entries added in ascending order fill the rightmost node: leave it full
    // and start a new one, as a rebuild would.
    if (appendHint && node->right == kNoPage && n >= 2 && fits(*node, 0, n - 1) &&
        fits(*node, n - 1, n)) {
        cuts.push_back(n - 1);
    }
    for (size_t d = 0; cuts.empty() && d <= n / 2; ++d) {
        for (size_t s : {n / 2 - d, n / 2 + d}) {
            if (s >= 1 && s < n && fits(*node, 0, s) && fits(*node, s, n)) {
                cuts.push_back(s);
                break;
            }
        }
    }
    if (cuts.empty()) { // no halving fits: as many nodes as it takes
        for (size_t start = 0; start < n;) {
            size_t end = start + 1;
            while (end < n && fits(*node, start, end + 1))
                ++end;
            if (start > 0)
                cuts.push_back(start);
            start = end;
        }
    }

    std::shared_ptr<Node> oldRight;
    if (node->right != kNoPage) {
        oldRight = load(node->right);
        if (oldRight->leaf != node->leaf)
            damaged("a sibling link leads to another level");
    }
    std::vector<std::shared_ptr<Node>> pieces(cuts.size() + 1);
    pieces[0] = node;
    for (size_t k = cuts.size(); k-- > 0;) {
        pieces[k + 1] = store_.newNode(keyLength_, pad_, node->leaf);
        node->moveTail(cuts[k], *pieces[k + 1]);
    }
    uint32_t rightmost = node->right;
    for (size_t k = 0; k < pieces.size(); ++k) {
        Node &piece = *pieces[k];
        piece.root = false;
        if (k > 0)
            piece.left = pieces[k - 1]->offset;
        piece.right = k + 1 < pieces.size() ? pieces[k + 1]->offset : rightmost;
        store_.markDirty(piece);
    }
    if (oldRight) {
        oldRight->left = pieces.back()->offset;
        store_.markDirty(*oldRight);
    }
    return pieces;
}

void Tree::growRoot(std::vector<std::shared_ptr<Node>> pieces)
{
    for (;;) {
        auto root = store_.newNode(keyLength_, pad_, false);
        for (const auto &piece : pieces)
            root->insert(root->count(), piece->key(piece->count() - 1), piece->recnos.back(),
                         piece->offset);
        if (fits(*root)) {
            root->root = true;
            root_ = root->offset;
            rootChanged_ = true;
            leafDepth_ = -1;
            return;
        }
        pieces = split(root, false);
    }
}

void Tree::collapseRoot()
{
    for (;;) {
        auto root = load(root_);
        if (!root->root) {
            root->root = true;
            store_.markDirty(*root);
        }
        if (root->leaf || root->count() > 1)
            return;
        if (root->count() == 0) { // the last entry went: an empty tree is one empty leaf
            root->leaf = true;
            root->sizeKnown = false;
            root->left = root->right = kNoPage;
            store_.markDirty(*root);
            leafDepth_ = -1;
            return;
        }
        auto child = load(root->children[0]);
        child->root = true;
        child->left = child->right = kNoPage;
        store_.markDirty(*child);
        store_.release(root->offset);
        root_ = child->offset;
        rootChanged_ = true;
        leafDepth_ = -1;
    }
}

bool Tree::mergeWithSibling(Path &path, size_t level)
{
    Node &parent = *path[level - 1].node;
    size_t index = path[level - 1].index;
    std::shared_ptr<Node> node = path[level].node;

    auto tryMerge = [&](std::shared_ptr<Node> left, std::shared_ptr<Node> right, size_t leftIndex) {
        if (left->leaf != right->leaf)
            damaged("siblings lie at different levels");
        for (const Step &step : path)
            if ((step.node == left && left != node) || (step.node == right && right != node))
                damaged("a node is linked twice");
        if (left == right)
            damaged("a node is linked twice");
        Node combined = *left;
        combined.append(*right, 0, right->count());
        if (!fits(combined))
            return false;
        std::shared_ptr<Node> after;
        if (right->right != kNoPage) {
            after = load(right->right);
            if (after->leaf != right->leaf || after == left || after == right)
                damaged("a sibling link leads to the wrong node");
        }
        left->append(*right, 0, right->count());
        left->right = right->right;
        store_.markDirty(*left);
        if (after) {
            after->left = left->offset;
            store_.markDirty(*after);
        }
        store_.release(right->offset);
        parent.erase(leftIndex + 1);
        setParentEntry(parent, leftIndex, *left);
        store_.markDirty(parent);
        return true;
    };
    if (index > 0 && tryMerge(load(parent.children[index - 1]), node, index - 1))
        return true;
    if (index + 1 < parent.count() && tryMerge(node, load(parent.children[index + 1]), index))
        return true;
    return false;
}

void Tree::unlink(Node &node)
{
    std::shared_ptr<Node> left, right;
    if (node.left != kNoPage)
        left = load(node.left);
    if (node.right != kNoPage)
        right = load(node.right);
    if (left) {
        left->right = node.right;
        store_.markDirty(*left);
    }
    if (right) {
        right->left = node.left;
        store_.markDirty(*right);
    }
}

std::unique_ptr<Tree> Tree::build(PageStore &store, uint16_t keyLength, char pad, std::string name,
                                  const std::vector<CdxEntry> &sorted)
{
    auto tree = std::make_unique<Tree>(store, 0, keyLength, pad, std::move(name));
    std::vector<std::shared_ptr<Node>> level;
    auto leaf = store.newNode(keyLength, pad, true);
    size_t stored = 0;
    uint32_t maxRecno = 0;
    for (const CdxEntry &entry : sorted) {
        std::string_view previous = leaf->count() ? leaf->key(leaf->count() - 1) : "";
        size_t bytes = storedKeyBytes(previous, entry.key, pad);
        uint32_t newMax = std::max(maxRecno, entry.recno);
        if (leaf->count() > 0 &&
            (leaf->count() + 1) * leafEntryBytes(keyLength, newMax) + stored + bytes > kLeafSpace) {
            level.push_back(leaf);
            leaf = store.newNode(keyLength, pad, true);
            leaf->keys.reserve(kLeafSpace);
            stored = 0;
            bytes = storedKeyBytes("", entry.key, pad);
            newMax = entry.recno;
        }
        leaf->keys.append(entry.key);
        leaf->recnos.push_back(entry.recno);
        stored += bytes;
        maxRecno = newMax;
    }
    level.push_back(leaf);

    const size_t capacity = interiorCapacity(keyLength);
    for (;;) {
        for (size_t k = 0; k < level.size(); ++k) {
            level[k]->left = k > 0 ? level[k - 1]->offset : kNoPage;
            level[k]->right = k + 1 < level.size() ? level[k + 1]->offset : kNoPage;
        }
        if (level.size() == 1)
            break;
        // Spread the children evenly so that no interior node is left nearly empty.
        size_t parents = (level.size() + capacity - 1) / capacity;
        std::vector<std::shared_ptr<Node>> above;
        size_t next = 0;
        for (size_t p = 0; p < parents; ++p) {
            size_t take = level.size() / parents + (p < level.size() % parents ? 1 : 0);
            auto node = store.newNode(keyLength, pad, false);
            for (size_t t = 0; t < take; ++t, ++next) {
                const Node &child = *level[next];
                node->insert(node->count(), child.key(child.count() - 1), child.recnos.back(),
                             child.offset);
            }
            above.push_back(node);
        }
        level = std::move(above);
    }
    level[0]->root = true;
    tree->root_ = level[0]->offset;
    tree->count_ = uint32_t(sorted.size());
    return tree;
}

uint32_t Tree::count()
{
    if (count_)
        return *count_;
    uint64_t total = 0;
    descend(Probe{}); // learns the depth of the leaves
    std::unordered_set<uint32_t> seen;
    std::vector<std::pair<uint32_t, size_t>> stack{{root_, 0}};
    while (!stack.empty()) {
        auto [offset, depth] = stack.back();
        stack.pop_back();
        if (!seen.insert(offset).second)
            damaged("a node is linked twice");
        auto node = load(offset);
        checkDepth(*node, depth);
        if (node->leaf)
            total += node->count();
        else
            for (uint32_t child : node->children)
                stack.emplace_back(child, depth + 1);
    }
    count_ = uint32_t(total);
    return *count_;
}

std::vector<uint32_t> Tree::collectPages()
{
    descend(Probe{});
    std::vector<uint32_t> pages;
    std::unordered_set<uint32_t> seen;
    std::vector<std::pair<uint32_t, size_t>> stack{{root_, 0}};
    while (!stack.empty()) {
        auto [offset, depth] = stack.back();
        stack.pop_back();
        if (!seen.insert(offset).second)
            damaged("a node is linked twice");
        pages.push_back(offset);
        auto node = load(offset);
        checkDepth(*node, depth);
        if (!node->leaf)
            for (uint32_t child : node->children)
                stack.emplace_back(child, depth + 1);
    }
    return pages;
}

bool Tree::listPages(std::vector<uint32_t> &pages)
{
    try {
        std::vector<uint32_t> mine = collectPages();
        pages.insert(pages.end(), mine.begin(), mine.end());
        return true;
    } catch (const XbaseError &) {
        return false;
    }
}

void Tree::releaseAll()
{
    std::vector<uint32_t> pages;
    try {
        pages = collectPages();
    } catch (const XbaseError &) {
        return;
    }
    for (uint32_t page : pages)
        store_.release(page);
    count_.reset();
    changed();
}

bool Tree::looksBinary()
{
    Path path = descend(Probe{});
    uint8_t page[kPageSize];
    store_.readPage(path.back().node->offset, page);
    return leafHasControlBytes(page);
}

void Tree::verify()
{
    descend(Probe{});
    std::unordered_set<uint32_t> seen;
    std::vector<std::vector<std::shared_ptr<Node>>> levels;
    std::string previousKey;
    uint32_t previousRecno = 0;
    bool havePrevious = false;
    uint64_t total = 0;

    // Depth-first, left to right; returns nothing, checks as it goes.
    auto visit = [&](auto &self, uint32_t offset, size_t depth) -> void {
        if (!seen.insert(offset).second)
            damaged("a node is linked twice");
        auto node = load(offset);
        checkDepth(*node, depth);
        if (node->root != (depth == 0))
            damaged(depth == 0 ? "the root node lacks its root mark"
                               : "a node below the root carries the root mark");
        if (levels.size() <= depth)
            levels.resize(depth + 1);
        levels[depth].push_back(node);
        if (node->leaf) {
            for (size_t i = 0; i < node->count(); ++i) {
                std::string_view key = node->key(i);
                if (havePrevious) {
                    int c = compareKeys(key, previousKey);
                    if (c < 0 || (c == 0 && node->recnos[i] <= previousRecno))
                        damaged("its keys are out of order");
                }
                previousKey.assign(key);
                previousRecno = node->recnos[i];
                havePrevious = true;
            }
            total += node->count();
            if (node->count() == 0 && depth > 0)
                damaged("a leaf below the root holds no entries");
            return;
        }
        for (size_t i = 0; i < node->count(); ++i) {
            self(self, node->children[i], depth + 1);
            if (!havePrevious || previousRecno != node->recnos[i] || previousKey != node->key(i))
                damaged("an interior key differs from the last key below it");
        }
    };
    visit(visit, root_, 0);

    for (const auto &nodes : levels) {
        for (size_t k = 0; k < nodes.size(); ++k) {
            uint32_t left = k > 0 ? nodes[k - 1]->offset : kNoPage;
            uint32_t right = k + 1 < nodes.size() ? nodes[k + 1]->offset : kNoPage;
            if (nodes[k]->left != left || nodes[k]->right != right)
                damaged("the sibling links of a level do not follow the key order");
        }
    }
    if (count_ && *count_ != total)
        damaged("it holds " + std::to_string(total) + " entries, not " + std::to_string(*count_));
    count_ = uint32_t(total);
}

} // namespace qn::xbase::cdx
