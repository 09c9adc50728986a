#include "spell/trie_image.h"

#include <cstdint>

namespace qn::spell {

TrieImage TrieImage::FromBytes(const uint8_t *bytes, int32_t count, int32_t words)
{
    TrieImage image;
    image.child_.resize(static_cast<size_t>(count) + 1);
    image.flags_.resize(static_cast<size_t>(count) + 1);
    for (int32_t n = 1; n <= count; ++n) {
        const TrieNode node = DecodeNode(bytes + static_cast<size_t>(n - 1) * kNodeSize);
        image.child_[n] = node.Child;
        image.flags_[n] = node.Flags;
    }
    image.words_ = words;
    return image;
}

int32_t TrieImage::findInRun(int32_t run, uint8_t code) const
{
    for (int32_t n = run; n >= 1 && n <= NodeCount(); ++n) {
        if ((flags_[n] & kLetterMask) == code)
            return n;
        if (flags_[n] & kLastInRun)
            break;
    }
    return 0;
}

int32_t TrieImage::appendChain(std::string_view codes)
{
    int32_t first = 0, previous = 0;
    for (char c : codes) {
        child_.push_back(kNoChild);
        flags_.push_back(
            static_cast<uint8_t>((static_cast<uint8_t>(c) & kLetterMask) | kLastInRun));
        const int32_t n = NodeCount();
        if (previous)
            child_[previous] = static_cast<uint16_t>(n);
        else
            first = n;
        previous = n;
    }
    flags_[previous] |= kWordEnds;
    return first;
}

void TrieImage::insertAt(int32_t k, uint8_t code)
{
    // Links to the moved nodes follow them. A link to k itself belongs to the
    // run's parent and now reaches the new first node, as intended.
    for (uint16_t &c : child_)
        c = static_cast<uint16_t>(c + (c > k && c != kFreeSlot));
    child_.insert(child_.begin() + k, kNoChild);
    flags_.insert(flags_.begin() + k, static_cast<uint8_t>(code & kLetterMask));
}

TrieImage::AddResult TrieImage::Add(std::string_view codes)
{
    const auto length = static_cast<int32_t>(codes.size());
    if (length == 0 || length > kMaxWordLength || NodeCount() + length > kNodeLimit)
        return AddResult::Refused;
    if (NodeCount() == 0) {
        appendChain(codes);
        ++words_;
        return AddResult::Added;
    }
    int32_t run = 1;
    for (int32_t i = 0; i < length; ++i) {
        if (run < 1 || run > NodeCount())
            return AddResult::Refused; // only an unsound image gets here
        const auto code = static_cast<uint8_t>(codes[i] & kLetterMask);
        const bool last = i == length - 1;
        const int32_t n = findInRun(run, code);
        if (n == 0) {
            insertAt(run, code);
            if (last)
                flags_[run] |= kWordEnds;
            else
                child_[run] = static_cast<uint16_t>(appendChain(codes.substr(i + 1)));
            ++words_;
            return AddResult::Added;
        }
        if (last) {
            if (flags_[n] & kWordEnds)
                return AddResult::Present;
            flags_[n] |= kWordEnds;
            ++words_;
            return AddResult::Added;
        }
        if (child_[n] == kNoChild || child_[n] == kFreeSlot) {
            const int32_t chain = appendChain(codes.substr(i + 1));
            child_[n] = static_cast<uint16_t>(chain);
            ++words_;
            return AddResult::Added;
        }
        run = child_[n];
    }
    return AddResult::Refused; // not reached
}

bool TrieImage::Contains(std::string_view codes) const
{
    int32_t run = 1;
    for (size_t i = 0; i < codes.size(); ++i) {
        const int32_t n = findInRun(run, static_cast<uint8_t>(codes[i] & kLetterMask));
        if (n == 0)
            return false;
        if (i + 1 == codes.size())
            return (flags_[n] & kWordEnds) != 0;
        run = child_[n];
    }
    return false;
}

bool TrieImage::IsSound() const
{
    const int32_t count = NodeCount();
    if (count == 0)
        return true;
    std::vector<bool> seen(static_cast<size_t>(count) + 1, false);
    std::vector<int32_t> runs{1};
    while (!runs.empty()) {
        int32_t n = runs.back();
        runs.pop_back();
        uint64_t letters = 0;
        for (;; ++n) {
            if (n < 1 || n > count || seen[n])
                return false;
            seen[n] = true;
            const uint64_t bit = uint64_t{1} << (flags_[n] & kLetterMask);
            if (letters & bit)
                return false;
            letters |= bit;
            const uint16_t c = child_[n];
            if (c != kNoChild) {
                if (c == kFreeSlot || c > count)
                    return false;
                runs.push_back(c);
            }
            if (flags_[n] & kLastInRun)
                break;
        }
    }
    return true;
}

void TrieImage::AppendArea(std::string &out, int32_t slots) const
{
    const size_t start = out.size();
    out.resize(start + static_cast<size_t>(slots) * kNodeSize);
    auto *p = reinterpret_cast<uint8_t *>(out.data()) + start;
    for (int32_t n = 1; n <= slots; ++n, p += kNodeSize)
        EncodeNode(n <= NodeCount() ? Node(n) : kFreeNode, p);
}

} // namespace qn::spell
