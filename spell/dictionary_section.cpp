#include "spell/dictionary_section.h"

#include <algorithm>

namespace qn::spell {

namespace {

// A sane upper bound on the sections of one file; a damaged file cannot make
// us allocate caches without end.
constexpr size_t kMaxSections = 4096;

bool readHeader(const DictionaryFile &file, int64_t offset, SectionHeader &header)
{
    uint8_t bytes[kSectionHeaderSize];
    if (file.ReadAt(offset, bytes, sizeof bytes) != sizeof bytes)
        return false;
    header = DecodeSectionHeader(bytes);
    return true;
}

} // namespace

DictionarySection::DictionarySection(std::shared_ptr<DictionaryFile> file, int64_t headerOffset,
                                     const SectionHeader &header, Kind kind, int handle)
    : file_(std::move(file)), headerOffset_(headerOffset), header_(header), kind_(kind),
      handle_(handle)
{
    computeLimit();
}

std::vector<std::unique_ptr<DictionarySection>>
DictionarySection::ReadSections(const std::shared_ptr<DictionaryFile> &file, bool user)
{
    std::vector<std::unique_ptr<DictionarySection>> sections;
    int64_t offset = file->FirstSectionOffset();
    if (offset < 0)
        return sections;
    const int64_t size = file->Size();
    SectionHeader header;
    while (sections.size() < kMaxSections && readHeader(*file, offset, header)) {
        const Kind kind = user               ? Kind::User
                          : sections.empty() ? Kind::MainFirst
                                             : Kind::MainFurther;
        sections.push_back(std::make_unique<DictionarySection>(file, offset, header, kind, -1));
        if (user || header.NodeSlots < 0)
            break;
        const int64_t end =
            offset + kSectionHeaderSize + int64_t{kNodeSize} * int64_t{header.NodeSlots};
        if (size - end <= kMinSectionTail)
            break;
        offset = end;
    }
    return sections;
}

void DictionarySection::computeLimit()
{
    const int64_t available = std::max<int64_t>(0, (file_->Size() - AreaOffset()) / kNodeSize);
    int64_t limit = std::min<int64_t>(header_.NodeCount, header_.NodeSlots);
    limit = std::min<int64_t>(limit, available);
    limit = std::min<int64_t>(limit, 0xFFFF);
    limit_ = static_cast<int32_t>(std::max<int64_t>(0, limit));
}

void DictionarySection::decode()
{
    std::vector<uint8_t> bytes(static_cast<size_t>(limit_) * kNodeSize, 0);
    file_->ReadAt(AreaOffset(), bytes.data(), bytes.size());
    nodes_.resize(static_cast<size_t>(limit_) + 1);
    nodes_[0] = TrieNode{kNoChild, kLastInRun};
    for (int32_t n = 1; n <= limit_; ++n)
        nodes_[static_cast<size_t>(n)] = DecodeNode(bytes.data() + (n - 1) * kNodeSize);
}

const std::vector<TrieNode> &DictionarySection::Nodes()
{
    if (nodes_.empty())
        decode();
    return nodes_;
}

bool DictionarySection::ReadNode(int32_t n, TrieNode &node)
{
    if (n < 1 || n > limit_)
        return false;
    node = Nodes()[static_cast<size_t>(n)];
    return true;
}

void DictionarySection::RefreshHeader()
{
    SectionHeader header;
    if (!readHeader(*file_, headerOffset_, header))
        header = SectionHeader{};
    if (header == header_)
        return;
    Replace(header);
}

void DictionarySection::Replace(const SectionHeader &header)
{
    header_ = header;
    computeLimit();
    nodes_.clear();
}

} // namespace qn::spell
