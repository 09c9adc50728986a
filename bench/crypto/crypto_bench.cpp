// Encrypting, decrypting and packing a diary-like table: RECORDS records of a
// C(8) date key and a memo of about 2 KB of text (100,000 records make about
// 200 MB of memo text), with the production index on the date. Phases:
// encrypt (one standard key derivation included),
// decrypt, encrypt again, then delete every third record and pack the
// encrypted table, then pack it clear. Each phase ends with its files synced
// and switched in.
//
// Usage: crypto_bench [FOLDER] [RECORDS]   (FOLDER defaults to a fresh temporary one)

#include "xbase/table.h"
#include "xbase/table_cipher.h"
#include "xbase/xbase_date.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

using namespace qn::xbase;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

double seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string entryText(std::mt19937 &rng)
{
    static const char *words[] = {"today", "the",     "garden",  "was",    "quiet",   "and",
                                  "I",     "wrote",   "letters", "rain",   "morning", "walked",
                                  "to",    "market",  "bread",   "friend", "called",  "evening",
                                  "read",  "chapter", "tired",   "happy",  "weather", "cold"};
    std::string text = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 ";
    size_t target = 1800 + rng() % 500;
    while (text.size() < target) {
        text += words[rng() % (sizeof words / sizeof *words)];
        text += (rng() % 12 == 0) ? ".\\par " : " ";
    }
    return text + "}";
}

double megabytes(const fs::path &p)
{
    return fs::exists(p) ? double(fs::file_size(p)) / 1e6 : 0.0;
}

} // namespace

int main(int argc, char **argv)
{
    fs::path folder =
        argc > 1 ? fs::path(argv[1])
                 : fs::temp_directory_path() / ("qn-crypto-bench-" + std::to_string(getpid()));
    size_t records = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 100000;
    fs::create_directories(folder);
    fs::path table = folder / "QUILLNK.DBF";
    for (const char *name : {"QUILLNK.DBF", "QUILLNK.FPT", "QUILLNK.CDX"})
        fs::remove(folder / name);

    EngineSettings settings;
    settings.memoBlockSize = 64; // as the diary's engine settings leave it
    Table::create(table, {{"DATE", 'C', 8, 0, 0}, {"ENTRY", 'M', 10, 0, 0}},
                  settings.memoBlockSize);
    auto start = Clock::now();
    {
        auto t = Table::open(table, Table::Access::Exclusive, settings);
        std::mt19937 rng(7);
        long day = julianDay({1800, 1, 1});
        for (size_t i = 0; i < records; ++i) {
            t->appendBlank();
            t->replaceText(0, storedDate(fromJulianDay(day + long(i))));
            t->replaceMemo(1, entryText(rng));
        }
        t->indexTag({}, "DATE", "date", false, false, {});
        t->close();
    }
    double memoMB = megabytes(folder / "QUILLNK.FPT");
    std::printf("table: %zu records, memo file %.1f MB, table file %.1f MB, built in %.2f s\n",
                records, memoMB, megabytes(table), seconds(start));

    auto t = Table::open(table, Table::Access::Exclusive, settings);
    settings.password = "Secret 8";
    auto phase = [&](const char *name, auto &&body) {
        double mb = megabytes(folder / "QUILLNK.FPT") + megabytes(table);
        auto s = Clock::now();
        body();
        double secs = seconds(s);
        std::printf("%-32s %7.2f s  %7.1f MB/s (of %.1f MB before)\n", name, secs, mb / secs, mb);
    };
    // A derivation alone, as one password guess costs an attacker; best of
    // three, since other work on the machine only ever adds time. Each
    // encrypt phase below includes one derivation of a new key.
    const KeyDerivation standard = KeyDerivation::standard();
    for (const KeyDerivation &d : {standard, KeyDerivation::pbkdf2(200000)}) {
        double best = 1e9;
        for (int i = 0; i < 3; ++i) {
            auto s = Clock::now();
            TableCipher probe("Secret 8", TableCipher::newSalt(), d);
            best = std::min(best, seconds(s));
        }
        std::printf("%-32s %7.3f s  (%s, best of 3)\n", "key derivation alone", best,
                    d.describe().c_str());
    }
    phase("encrypt", [&] { t->encrypt(); });
    phase("decrypt", [&] { t->decrypt(); });
    phase("encrypt again", [&] { t->encrypt(); });
    for (uint32_t r = 3; r <= t->recordCount(); r += 3) {
        t->go(r);
        t->deleteRecord();
    }
    t->commit();
    phase("pack encrypted (a third deleted)", [&] { t->pack(); });
    phase("decrypt packed", [&] { t->decrypt(); });
    for (uint32_t r = 2; r <= t->recordCount(); r += 3) {
        t->go(r);
        t->deleteRecord();
    }
    t->commit();
    phase("pack clear (a third deleted)", [&] { t->pack(); });
    std::printf("after: %u records, memo file %.1f MB\n", t->recordCount(),
                megabytes(folder / "QUILLNK.FPT"));
    auto faults = t->checkIndexes();
    std::printf("index check: %s\n", faults.empty() ? "ok" : faults.front().c_str());
    t->close();
    if (argc <= 1)
        fs::remove_all(folder);
    return faults.empty() ? 0 : 1;
}
