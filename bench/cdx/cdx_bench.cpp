// Times the compound index on a diary-sized workload of 8-byte date keys:
// rebuilding a tag of 100,000 keys (with the flush), seeking random keys,
// walking the whole tag in order, and single inserts and removes.
// Usage: cdx_bench [folder]   (default: the system's temporary folder)
#include "xbase/cdx_index.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

using namespace qn::xbase;

namespace {

double millisecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

std::string dateKey(unsigned day)
{
    char key[9];
    std::snprintf(key, sizeof key, "%04u%02u%02u", 1900 + day / 372, 1 + day / 31 % 12,
                  1 + day % 31);
    return key;
}

} // namespace

int main(int argc, char **argv)
{
    std::filesystem::path dir = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    std::filesystem::path file = dir / "cdx_bench.cdx";
    const unsigned n = 100000;
    std::mt19937 rng(42);
    std::vector<CdxEntry> entries;
    for (unsigned r = 1; r <= n; ++r)
        entries.push_back({dateKey(r * 7 % 120000), r});
    std::shuffle(entries.begin(), entries.end(), rng);

    CdxTagInfo info;
    info.name = "DATE";
    info.expression = "date";
    info.keyLength = 8;

    auto index = CdxIndex::create(file);
    auto start = std::chrono::steady_clock::now();
    CdxTag *tag = &index->writeTag(info, entries);
    index->flush();
    std::printf("rebuild %u keys + flush: %8.1f ms\n", n, millisecondsSince(start));

    index.reset();
    index = CdxIndex::open(file, true);
    tag = index->findTag("DATE");
    start = std::chrono::steady_clock::now();
    unsigned found = 0;
    for (unsigned i = 0; i < n; ++i) {
        auto e = tag->lowerBound(entries[rng() % n].key);
        found += e ? 1 : 0;
    }
    std::printf("seek %u random keys:      %8.1f ms (%u found)\n", n, millisecondsSince(start),
                found);

    start = std::chrono::steady_clock::now();
    unsigned walked = 0;
    for (auto e = tag->first(); e; e = tag->next(*e))
        ++walked;
    std::printf("walk %u entries in order: %8.1f ms\n", walked, millisecondsSince(start));

    start = std::chrono::steady_clock::now();
    for (unsigned i = 0; i < 10000; ++i)
        tag->insert({dateKey(rng() % 120000), n + 1 + i});
    index->flush();
    std::printf("insert 10000 keys + flush: %7.1f ms\n", millisecondsSince(start));

    start = std::chrono::steady_clock::now();
    for (unsigned i = 0; i < 10000; ++i)
        tag->remove(entries[i]);
    index->flush();
    std::printf("remove 10000 keys + flush: %7.1f ms\n", millisecondsSince(start));

    index.reset();
    std::filesystem::remove(file);
    return 0;
}
