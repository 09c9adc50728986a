// Diary-like workload on the table engine and on SQLite, in the same run:
// 100,000 records of a C(8) date key and a ~2 KB memo. Phases: append all
// (one commit), seek 100,000 random keys, scan everything in index order
// reading every memo, rebuild the tag. The read phases and the rebuild are
// timed as the best of three passes.
//
// Usage: xbase_bench [FOLDER] [RECORDS]   (FOLDER defaults to a fresh temporary one)

#include "xbase/table.h"
#include "xbase/xbase_date.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

using namespace qn::xbase;
using Clock = std::chrono::steady_clock;

namespace {

double since(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::vector<std::string> makeKeys(size_t n)
{
    std::vector<std::string> keys;
    long start = julianDay({1800, 1, 1});
    for (size_t i = 0; i < n; ++i)
        keys.push_back(storedDate(fromJulianDay(start + long(i))));
    return keys;
}

std::string memoText(size_t i, std::mt19937 &rng)
{
    static const char *words[] = {"{\\rtf1 ", "today ",        "the ",    "weather ",
                                  "was ",     "\\par ",        "walked ", "garden ",
                                  "letters ", "\\b bold\\b0 ", "quiet ",  "evening "};
    std::string s = "{\\rtf1\\ansi entry " + std::to_string(i) + " ";
    size_t target = 1800 + rng() % 500;
    while (s.size() < target)
        s += words[rng() % 12];
    return s + "}";
}

// The machine may be busy with other work: each read phase runs a few times
// and the best pass counts (appending runs once; it changes the files).
constexpr int passes = 3;
double best(double sofar, double now)
{
    return sofar == 0 || now < sofar ? now : sofar;
}

struct Times {
    double append = 0, seek = 0, scan = 0, rebuild = 0;
};

Times runEngine(const std::filesystem::path &dir, const std::vector<std::string> &keys,
                const std::vector<std::string> &memos, const std::vector<size_t> &order,
                size_t &checksum)
{
    Times t;
    std::filesystem::path path = dir / "BENCH.DBF";
    Table::create(path, {{"DATE", 'C', 8, 0, 0}, {"ENTRY", 'M', 10, 0, 0}}, 64);
    EngineSettings settings;
    settings.deleted = true;
    auto table = Table::open(path, Table::Access::Exclusive, settings);
    table->indexTag({}, "DATE", "date", false, false, {});

    auto start = Clock::now();
    for (size_t i = 0; i < keys.size(); ++i) {
        table->appendBlank();
        table->replaceText(0, keys[i]);
        table->replaceMemo(1, memos[i]);
    }
    table->commit();
    t.append = since(start);

    for (int pass = 0; pass < passes; ++pass) {
        start = Clock::now();
        for (size_t i : order) {
            if (!table->seek(keys[i])) {
                std::fprintf(stderr, "engine: key %s not found\n", keys[i].c_str());
                std::exit(1);
            }
            checksum += table->recno();
        }
        t.seek = best(t.seek, since(start));
    }

    for (int pass = 0; pass < passes; ++pass) {
        start = Clock::now();
        size_t n = 0;
        for (table->goTop(); !table->eof(); table->skip(1)) {
            checksum += table->memo(1).size();
            ++n;
        }
        t.scan = best(t.scan, since(start));
        if (n != keys.size()) {
            std::fprintf(stderr, "engine: scan saw %zu records\n", n);
            std::exit(1);
        }
    }

    for (int pass = 0; pass < passes; ++pass) {
        start = Clock::now();
        table->indexTag({}, "DATE", "date", false, false, {});
        t.rebuild = best(t.rebuild, since(start));
    }
    table->close();
    return t;
}

void check(int rc, sqlite3 *db, const char *what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite %s: %s\n", what, sqlite3_errmsg(db));
        std::exit(1);
    }
}

Times runSqlite(const std::filesystem::path &dir, const std::vector<std::string> &keys,
                const std::vector<std::string> &memos, const std::vector<size_t> &order,
                size_t &checksum)
{
    Times t;
    sqlite3 *db = nullptr;
    check(sqlite3_open((dir / "bench.sqlite").c_str(), &db), db, "open");
    check(sqlite3_exec(
              db,
              "CREATE TABLE diary(date TEXT, entry TEXT); CREATE INDEX diary_date ON diary(date);",
              nullptr, nullptr, nullptr),
          db, "create");

    auto start = Clock::now();
    check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
    sqlite3_stmt *insert = nullptr;
    check(sqlite3_prepare_v2(db, "INSERT INTO diary VALUES(?, ?)", -1, &insert, nullptr), db,
          "prepare");
    for (size_t i = 0; i < keys.size(); ++i) {
        sqlite3_bind_text(insert, 1, keys[i].data(), int(keys[i].size()), SQLITE_STATIC);
        sqlite3_bind_text(insert, 2, memos[i].data(), int(memos[i].size()), SQLITE_STATIC);
        check(sqlite3_step(insert), db, "insert");
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
    t.append = since(start);

    for (int pass = 0; pass < passes; ++pass) {
        start = Clock::now();
        check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
        sqlite3_stmt *seek = nullptr;
        check(sqlite3_prepare_v2(db, "SELECT rowid FROM diary WHERE date = ? ORDER BY date LIMIT 1",
                                 -1, &seek, nullptr),
              db, "prepare");
        for (size_t i : order) {
            sqlite3_bind_text(seek, 1, keys[i].data(), int(keys[i].size()), SQLITE_STATIC);
            if (sqlite3_step(seek) != SQLITE_ROW) {
                std::fprintf(stderr, "sqlite: key not found\n");
                std::exit(1);
            }
            checksum += size_t(sqlite3_column_int64(seek, 0));
            sqlite3_reset(seek);
        }
        sqlite3_finalize(seek);
        check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
        t.seek = best(t.seek, since(start));
    }

    for (int pass = 0; pass < passes; ++pass) {
        start = Clock::now();
        check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
        sqlite3_stmt *scan = nullptr;
        check(sqlite3_prepare_v2(db, "SELECT date, entry FROM diary ORDER BY date", -1, &scan,
                                 nullptr),
              db, "prepare");
        size_t n = 0;
        while (sqlite3_step(scan) == SQLITE_ROW) {
            checksum += size_t(sqlite3_column_bytes(scan, 1));
            ++n;
        }
        sqlite3_finalize(scan);
        check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
        t.scan = best(t.scan, since(start));
        if (n != keys.size()) {
            std::fprintf(stderr, "sqlite: scan saw %zu rows\n", n);
            std::exit(1);
        }
    }

    for (int pass = 0; pass < passes; ++pass) {
        start = Clock::now();
        check(sqlite3_exec(db, "REINDEX diary_date", nullptr, nullptr, nullptr), db, "reindex");
        t.rebuild = best(t.rebuild, since(start));
    }
    sqlite3_close(db);
    return t;
}

} // namespace

int main(int argc, char **argv)
{
    std::filesystem::path dir;
    bool temporary = argc < 2 || std::string(argv[1]).empty();
    if (temporary) {
        char pattern[] = "/tmp/xbase_bench_XXXXXX";
        if (!mkdtemp(pattern)) {
            std::perror("mkdtemp");
            return 1;
        }
        dir = pattern;
    } else {
        dir = argv[1];
        std::filesystem::create_directories(dir);
    }
    size_t records = argc > 2 ? size_t(std::atol(argv[2])) : 100000;
    std::vector<std::string> keys = makeKeys(records);
    std::mt19937 rng(42);
    std::vector<std::string> memos;
    for (size_t i = 0; i < records; ++i)
        memos.push_back(memoText(i, rng));
    std::vector<size_t> order(records);
    for (size_t i = 0; i < records; ++i)
        order[i] = rng() % records;

    size_t engineSum = 0, sqliteSum = 0;
    Times e = runEngine(dir, keys, memos, order, engineSum);
    Times s = runSqlite(dir, keys, memos, order, sqliteSum);

    std::printf("%zu records, memos of about 2 KB, folder %s\n", records, dir.c_str());
    std::printf("%-28s %12s %12s %16s\n", "phase", "engine ms", "sqlite ms", "sqlite/engine");
    auto row = [](const char *name, double a, double b) {
        std::printf("%-28s %12.1f %12.1f %16.2f\n", name, a, b, b / a);
    };
    row("append all, one commit", e.append, s.append);
    row("seek random keys", e.seek, s.seek);
    row("index-order scan with memos", e.scan, s.scan);
    row("rebuild the tag", e.rebuild, s.rebuild);
    std::printf("(a ratio above 1 means the engine was faster; checksums %zu %zu)\n", engineSum,
                sqliteSum);
    if (temporary)
        std::filesystem::remove_all(dir);
    return 0;
}
