#include "xbase/opened_records.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cstring>

namespace qn::xbase {

void OpenedRecords::setRecordSize(size_t size)
{
    clear();
    recordSize_ = size;
    mostSlots_ = 1;
    while (mostSlots_ * 2 * slotSize() <= MaxBytes)
        mostSlots_ *= 2;
}

bool OpenedRecords::find(uint32_t recno, char *out) const
{
    if (slots_ == 0 || recno == 0)
        return false;
    const size_t slot = slotOf(recno);
    if (held_[slot] != recno)
        return false;
    std::memcpy(out, bytes_.data() + slot * recordSize_, recordSize_);
    return true;
}

void OpenedRecords::put(uint32_t recno, const char *record, uint32_t recordCount)
{
    if (recno == 0 || recordSize_ == 0)
        return;
    // One slot per record while they fit; the slots grow with the table,
    // and what was kept goes with the old slots (it is only a cache).
    if (slots_ < mostSlots_ && slots_ < recordCount) {
        size_t want = 1024;
        while (want < recordCount && want < mostSlots_)
            want *= 2;
        clear();
        slots_ = std::min(want, mostSlots_);
        held_.assign(slots_, 0);
        bytes_.resize(slots_ * recordSize_);
    }
    const size_t slot = slotOf(recno);
    held_[slot] = recno;
    std::memcpy(bytes_.data() + slot * recordSize_, record, recordSize_);
}

void OpenedRecords::drop(uint32_t recno)
{
    if (slots_ == 0 || recno == 0)
        return;
    const size_t slot = slotOf(recno);
    if (held_[slot] == recno) {
        held_[slot] = 0;
        OPENSSL_cleanse(bytes_.data() + slot * recordSize_, recordSize_);
    }
}

void OpenedRecords::clear()
{
    if (!bytes_.empty())
        OPENSSL_cleanse(bytes_.data(), bytes_.size());
    bytes_.clear();
    bytes_.shrink_to_fit();
    held_.clear();
    held_.shrink_to_fit();
    slots_ = 0;
}

} // namespace qn::xbase
