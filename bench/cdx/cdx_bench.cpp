// Times the compound index on a diary-sized workload of 8-byte date keys:
// rebuilding a tag of 100,000 keys (with the flush), seeking random keys,
// walking the whole tag in order, and single inserts and removes; then
// opening an index of 10,000 and of 100,000 keys and seeking one key, in
// clear, encrypted as earlier versions did (no tag) and encrypted and
// authenticated (every page read and its tag checked), best of 30 opens.
// Usage: cdx_bench [folder]   (default: the system's temporary folder)
#include "tests/support/earlier_index.h"
#include "xbase/cdx_index.h"
#include "xbase/table_key.h"

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
    char key[16];
    std::snprintf(key, sizeof key, "%04u%02u%02u", 1900 + day / 372, 1 + day / 31 % 12,
                  1 + day % 31);
    return key;
}

// The best of 30 opens of `file` with a seek of one key.
double bestOpen(const std::filesystem::path &file, const TableKey *key, const std::string &probe)
{
    double best = 1e30;
    for (int i = 0; i < 30; ++i) {
        auto start = std::chrono::steady_clock::now();
        auto index = CdxIndex::open(file, false, qn::DefaultFileSystem(), key);
        if (!index->findTag("DATE")->lowerBound(probe))
            std::fprintf(stderr, "key not found\n");
        best = std::min(best, millisecondsSince(start));
    }
    return best;
}

// The authenticated index at `from` written as earlier versions encrypted
// indexes: the pages under that form's tweaks, no tag in the header.
void writeEarlierForm(const std::filesystem::path &from, const std::filesystem::path &to,
                      const TableCipher &cipher, const KeyBlock &block)
{
    std::string bytes;
    {
        BinaryFile in(from, BinaryFile::Mode::ReadOnly);
        bytes.resize(in.size());
        in.readAt(0, bytes.data(), bytes.size());
    }
    qn::test::ToEarlierIndexForm(bytes, cipher, block);
    BinaryFile out(to, BinaryFile::Mode::Create);
    out.writeAt(0, bytes.data(), bytes.size());
    out.sync();
}

void timeOpening(const std::filesystem::path &dir, unsigned n)
{
    const std::string password = "bench pw";
    auto cipher = std::make_shared<const TableCipher>(password, TableCipher::newSalt(),
                                                      KeyDerivation::argon2id(64, 1, 1));
    const KeyBlock block{cipher->salt(), cipher->derivation(), cipher->keyCheck()};
    TableKey key("bench", block, password, cipher);
    std::vector<CdxEntry> entries;
    for (unsigned r = 1; r <= n; ++r)
        entries.push_back({dateKey(r), r});
    CdxTagInfo info;
    info.name = "DATE";
    info.expression = "date";
    info.keyLength = 8;
    const std::filesystem::path clear = dir / "cdx_bench_clear.cdx",
                                sealed = dir / "cdx_bench_sealed.cdx",
                                earlier = dir / "cdx_bench_earlier.cdx";
    CdxIndex::create(clear)->writeTag(info, entries);
    CdxIndex::create(sealed, qn::DefaultFileSystem(), cipher)->writeTag(info, entries);
    writeEarlierForm(sealed, earlier, *cipher, block);
    const std::string probe = dateKey(n / 2);
    std::printf("open %6u keys (%4llu KB): clear %6.3f ms, encrypted %6.3f ms, "
                "authenticated %6.3f ms\n",
                n, static_cast<unsigned long long>(std::filesystem::file_size(sealed) / 1024),
                bestOpen(clear, nullptr, probe), bestOpen(earlier, &key, probe),
                bestOpen(sealed, &key, probe));
    for (const auto &file : {clear, sealed, earlier})
        std::filesystem::remove(file);
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
    timeOpening(dir, 10000);
    timeOpening(dir, 100000);
    return 0;
}
