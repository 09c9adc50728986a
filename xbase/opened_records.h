#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qn::xbase {

// Records of an encrypted table as they read once decrypted and checked, so
// that a record read again (seeks and walks come back to the same ones all
// the time) is neither decrypted nor checked again. Direct-mapped by record
// number: each record has one slot, shared with the records a whole number
// of slots away, and a record put there pushes out the one it shares with.
// The table file keeps it only where nobody else writes the file (as its
// read cache) and drops what a commit, a key or a new header changes.
class OpenedRecords {
public:
    // At most this many bytes of slots (record bytes and record numbers).
    static constexpr size_t MaxBytes = size_t(8) << 20;

    OpenedRecords() = default;
    OpenedRecords(const OpenedRecords &) = delete;
    OpenedRecords &operator=(const OpenedRecords &) = delete;
    ~OpenedRecords() { clear(); }

    // Records of this many bytes from now on; empties the cache.
    void setRecordSize(size_t size);
    // Copies the record into out when it is here.
    bool find(uint32_t recno, char *out) const;
    // Keeps a record; recordCount sizes the slots (grown up to MaxBytes).
    void put(uint32_t recno, const char *record, uint32_t recordCount);
    // Forgets the record.
    void drop(uint32_t recno);
    // Forgets everything; the record bytes are wiped, not only let go.
    void clear();

private:
    size_t slotSize() const { return sizeof(uint32_t) + recordSize_; }
    size_t slotOf(uint32_t recno) const { return size_t(recno - 1) & (slots_ - 1); }

    size_t recordSize_ = 0;
    size_t slots_ = 0;     // a power of two, or 0 before the first put
    size_t mostSlots_ = 1; // what MaxBytes holds of records of this size
    // Which record each slot holds (0: none), apart from the records so that
    // asking for one never read before touches only this small array.
    std::vector<uint32_t> held_;
    std::vector<char> bytes_; // slots_ records of recordSize_ bytes
};

} // namespace qn::xbase
