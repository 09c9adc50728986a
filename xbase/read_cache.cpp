#include "xbase/read_cache.h"

#include "xbase/xbase_error.h"

#include <algorithm>
#include <cstring>

namespace qn::xbase {

ReadCache::Block &ReadCache::block(uint64_t index)
{
    auto it = blocks_.find(index);
    if (it != blocks_.end()) {
        ages_.splice(ages_.begin(), ages_, it->second.age);
        return it->second;
    }
    Block b;
    if (blocks_.size() >= maxBlocks_) { // the oldest block's memory is reused
        auto oldest = blocks_.find(ages_.back());
        b.bytes = std::move(oldest->second.bytes);
        blocks_.erase(oldest);
        ages_.pop_back();
    } else {
        b.bytes.reset(new char[blockSize_]); // filled by the read below
    }
    b.size = file_.readSomeAt(index * blockSize_, b.bytes.get(), blockSize_);
    ages_.push_front(index);
    b.age = ages_.begin();
    return blocks_.emplace(index, std::move(b)).first->second;
}

size_t ReadCache::readSomeAt(uint64_t offset, void *buffer, size_t n)
{
    if (!enabled_ || n > blockSize_)
        return file_.readSomeAt(offset, buffer, n);
    auto *out = static_cast<char *>(buffer);
    size_t done = 0;
    while (done < n) {
        uint64_t at = offset + done;
        Block &b = block(at / blockSize_);
        size_t inBlock = size_t(at % blockSize_);
        if (inBlock >= b.size)
            break;
        size_t take = std::min(n - done, b.size - inBlock);
        std::memcpy(out + done, b.bytes.get() + inBlock, take);
        done += take;
        if (b.size < blockSize_)
            break; // the end of the file
    }
    return done;
}

void ReadCache::readAt(uint64_t offset, void *buffer, size_t n)
{
    if (readSomeAt(offset, buffer, n) != n)
        throw XbaseError::damaged("Unexpected end of file in " + file_.path().string());
}

void ReadCache::invalidate(uint64_t offset, size_t n)
{
    if (blocks_.empty())
        return;
    uint64_t first = offset / blockSize_, last = (offset + std::max<size_t>(n, 1) - 1) / blockSize_;
    for (uint64_t i = first; i <= last; ++i) {
        auto it = blocks_.find(i);
        if (it != blocks_.end()) {
            ages_.erase(it->second.age);
            blocks_.erase(it);
        }
    }
}

void ReadCache::clear()
{
    blocks_.clear();
    ages_.clear();
}

} // namespace qn::xbase
