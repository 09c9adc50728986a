#include "xbase/opened_records.h"

#include <gtest/gtest.h>

#include <string>

using qn::xbase::OpenedRecords;

namespace {

std::string recordOf(uint32_t recno, size_t size)
{
    std::string r(size, char('a' + recno % 26));
    r[0] = char(recno);
    return r;
}

bool holds(const OpenedRecords &cache, uint32_t recno, size_t size)
{
    std::string out(size, '\0');
    return cache.find(recno, out.data()) && out == recordOf(recno, size);
}

} // namespace

TEST(OpenedRecords, KeepsWhatWasPutUntilDroppedOrPushedOut)
{
    OpenedRecords cache;
    std::string out(19, '\0');
    EXPECT_FALSE(cache.find(1, out.data())); // nothing before the first put
    cache.setRecordSize(19);
    for (uint32_t r = 1; r <= 3000; ++r)
        cache.put(r, recordOf(r, 19).data(), 3000);
    for (uint32_t r = 1; r <= 3000; ++r)
        ASSERT_TRUE(holds(cache, r, 19)) << r;
    EXPECT_FALSE(cache.find(0, out.data()));
    EXPECT_FALSE(cache.find(3001, out.data()));

    for (uint32_t r = 10; r <= 20; ++r)
        cache.drop(r);
    for (uint32_t r = 9; r <= 21; ++r)
        EXPECT_EQ(cache.find(r, out.data()), r == 9 || r == 21) << r;

    // A larger table gets more slots; what was kept goes with the old ones.
    cache.put(9000, recordOf(9000, 19).data(), 9000);
    EXPECT_TRUE(holds(cache, 9000, 19));
    EXPECT_FALSE(cache.find(1, out.data()));

    cache.setRecordSize(20);
    EXPECT_FALSE(cache.find(9000, out.data()));
}

TEST(OpenedRecords, LargeRecordsShareSlotsWithinTheBound)
{
    // Records of 60,000 bytes: 128 slots fit the bound, so record 1 and
    // record 129 share one.
    const size_t size = 60000;
    OpenedRecords cache;
    cache.setRecordSize(size);
    cache.put(1, recordOf(1, size).data(), 1000);
    EXPECT_TRUE(holds(cache, 1, size));
    cache.put(129, recordOf(129, size).data(), 1000);
    EXPECT_TRUE(holds(cache, 129, size));
    EXPECT_FALSE(holds(cache, 1, size));
    // Dropping a record forgets only that one, not the one it shared with.
    cache.drop(1);
    EXPECT_TRUE(holds(cache, 129, size));
    cache.drop(129);
    EXPECT_FALSE(holds(cache, 129, size));
}
