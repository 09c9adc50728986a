// libFuzzer target: a table's rollback journal from outside. A small table
// (with its memo file and index) lies in a folder of its own; the input is
// written as its journal, and the table is checked, opened (which rolls the
// journal back) and recovered. Whatever the journal says, nothing outside
// the table's folder may be created, changed or removed, nor any file in it
// but the table's own three and the journal: the target checks a folder of
// known files beside the table and the list of names around it after every
// input, and stops (a crash libFuzzer reports) on any difference.

#include <cstdlib>
#include <exception>
#include <fstream>
#include <map>
#include <sstream>

#include "fuzz/fuzz_files.h"
#include "xbase/journal.h"
#include "xbase/table.h"

using namespace qn::xbase;
namespace fs = std::filesystem;

namespace {

const fs::path &diary()
{
    static const fs::path folder = qn::fuzz::workFolder() / "diary";
    return folder;
}
const fs::path &beside()
{
    static const fs::path folder = qn::fuzz::workFolder() / "beside";
    return folder;
}
fs::path table()
{
    return diary() / "T.DBF";
}

std::string readAll(const fs::path &file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeAll(const fs::path &file, const std::string &bytes)
{
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), std::streamsize(bytes.size()));
}

// Every name under the folder (recursively, links not followed) with the
// contents of its regular files.
std::map<std::string, std::string> snapshot(const fs::path &folder)
{
    std::map<std::string, std::string> found;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::file_status status = it->symlink_status();
        found[it->path().lexically_relative(folder).string()] =
            fs::is_regular_file(status) ? readAll(it->path())
                                        : "type " + std::to_string(int(status.type()));
    }
    return found;
}

// A table of a few records with memos and a date tag: the bytes of its
// three files, made once.
struct Template {
    std::map<std::string, std::string> files;
    std::map<std::string, std::string> aroundBefore, besideBefore;
};

const Template &pristine()
{
    static const Template t = [] {
        Template made;
        fs::create_directories(diary());
        fs::create_directories(beside());
        writeAll(beside() / "planted.txt", "a file of the user's that no journal may touch");
        writeAll(beside() / "T.DBF", "not the table: a file of the same name elsewhere");
        Table::create(table(), {{"DATE", 'C', 8, 0, 0}, {"ENTRY", 'M', 10, 0, 0}}, 1);
        EngineSettings settings;
        auto open = Table::open(table(), Table::Access::Exclusive, settings);
        for (int i = 1; i <= 6; ++i) {
            open->appendBlank();
            open->replaceText(0, "2024010" + std::to_string(i));
            open->replaceMemo(1, std::string(size_t(40 * i), char('a' + i)));
        }
        open->indexTag({}, "DATE", "date", false, false, {});
        open->close();
        for (const char *name : {"T.DBF", "T.FPT", "T.CDX"})
            made.files[name] = readAll(diary() / name);
        made.besideBefore = snapshot(beside());
        for (const auto &e : fs::directory_iterator(qn::fuzz::workFolder()))
            made.aroundBefore[e.path().filename().string()] = "";
        return made;
    }();
    return t;
}

void restoreTable(const Template &t)
{
    for (const auto &e : fs::directory_iterator(diary()))
        fs::remove_all(e.path());
    for (const auto &[name, bytes] : t.files)
        writeAll(diary() / name, bytes);
}

[[noreturn]] void escaped(const std::string &what)
{
    std::fprintf(stderr, "journal_fuzz: a journal wrote outside the table's files: %s\n",
                 what.c_str());
    std::abort();
}

void checkNothingElseChanged(const Template &t)
{
    if (snapshot(beside()) != t.besideBefore)
        escaped("the folder beside the table changed");
    std::map<std::string, std::string> around;
    for (const auto &e : fs::directory_iterator(qn::fuzz::workFolder()))
        around[e.path().filename().string()] = "";
    if (around != t.aroundBefore)
        escaped("a name appeared or went beside the table's folder");
    for (const auto &e : fs::directory_iterator(diary())) {
        const std::string name = e.path().filename().string();
        if (name != "T.DBF" && name != "T.FPT" && name != "T.CDX" && name != "T.DBF-journal")
            escaped("a file appeared in the table's folder: " + name);
    }
}

void put(std::string &out, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(char(v >> (8 * i)));
}

uint32_t crc32(uint32_t crc, const void *data, size_t n)
{
    const auto *p = static_cast<const uint8_t *>(data);
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k)
            crc = crc & 1 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    return ~crc;
}

// A complete journal with valid checksums: files by name (the first
// version) or by role, and one record of original bytes per file.
std::string craft(bool named, const std::vector<std::pair<std::string, int>> &files, uint64_t size)
{
    const uint64_t nonce = 0x0123456789ABCDEFull;
    std::string j = {'Q', 'N', 'J', 'R', 'N', 'L', named ? '\x01' : '\x02', '\0'};
    put(j, nonce, 8);
    put(j, files.size(), 4);
    put(j, files.size(), 4);
    for (const auto &[name, role] : files) {
        if (named) {
            put(j, name.size(), 2);
            j += name;
        } else {
            put(j, uint64_t(role), 1);
        }
        put(j, size, 8);
    }
    put(j, crc32(0, j.data(), j.size()), 4);
    for (size_t i = 0; i < files.size(); ++i) {
        std::string r;
        put(r, i, 2);
        put(r, 0, 8);
        put(r, 16, 4);
        r += "ORIGINAL BYTES..";
        put(r, crc32(crc32(0, &nonce, sizeof nonce), r.data(), r.size()), 4);
        j += r;
    }
    return j;
}

} // namespace

// With QN_FUZZ_SEEDS set to a folder, writes seed journals there (in both
// versions' layouts, naming the table's own files and others) and ends.
// Absolute names are left to the mutations: the work folder's own name
// differs from process to process.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const char *seeds = std::getenv("QN_FUZZ_SEEDS");
    if (!seeds)
        return 0;
    const fs::path dir(seeds);
    writeAll(dir / "roles", craft(false, {{"", 1}, {"", 2}, {"", 3}}, 512));
    writeAll(dir / "names", craft(true, {{"t.dbf", 0}, {"T.FPT", 0}, {"t.Cdx", 0}}, 512));
    writeAll(dir / "up", craft(true, {{"../beside/planted.txt", 0}}, 16));
    writeAll(dir / "foreign", craft(true, {{"T.DBF", 0}, {"../beside/T.DBF", 0}}, 16));
    std::exit(0);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const Template &t = pristine();
    restoreTable(t);
    writeAll(Journal::pathFor(table()), std::string(reinterpret_cast<const char *>(data), size));
    EngineSettings settings;
    try {
        (void)Table::journalProblem(table(), settings);
        (void)Table::hasHotJournal(table(), settings);
    } catch (const std::exception &) {
    }
    try {
        auto open = Table::open(table(), Table::Access::Exclusive, settings);
        open->goTop();
        open->close();
    } catch (const std::exception &) {
        // A damaged journal (or what it did to the table) is refused with an error.
    }
    try {
        Table::recover(table(), settings);
    } catch (const std::exception &) {
    }
    checkNothingElseChanged(t);
    return 0;
}
