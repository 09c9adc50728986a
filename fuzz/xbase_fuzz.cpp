// libFuzzer target: a table, its memo file and its index from outside,
// opened read-only and read through the table interface: every record,
// every field and memo, every tag in both directions, seeks and the index
// check. Input: DBF, FPT and CDX bytes separated by kFileSeparator.
//
// An encrypted table whose key block asks for a cheap key derivation is
// read under the password the seeds were made with, so that the checks of
// records, memos and index pages meet changed bytes; a costly derivation
// would spend the run deriving keys, so such a table is read without one.

#include <cstdlib>
#include <exception>
#include <iterator>

#include "fuzz/fuzz_files.h"
#include "xbase/dbf_file.h"
#include "xbase/table.h"

using namespace qn::xbase;
namespace fs = std::filesystem;

namespace {

constexpr const char *kPassword = "fuzz pw";

std::string passwordFor(const fs::path &table)
{
    try {
        const auto file = DbfFile::open(table, DbfFile::Access::ReadOnly);
        if (!file->keyBlock())
            return {};
        const KeyDerivation &d = file->keyBlock()->derivation;
        const bool cheap = d.method == KeyDerivation::Method::Argon2id
                               ? d.memoryKiB <= 256 && d.passes <= 2 && d.lanes <= 2
                               : d.iterations <= 2000;
        return cheap ? kPassword : "";
    } catch (const std::exception &) {
        return {};
    }
}

// A small diary (dates, texts, the index on the date) encrypted under the
// password with the cheapest derivation, as one input.
std::string encryptedSeed()
{
    const fs::path dir = qn::fuzz::workFolder() / "seed";
    fs::create_directories(dir);
    const fs::path path = dir / "T.DBF";
    Table::create(path, {{"DATE", 'C', 8, 0, 0}, {"ENTRY", 'M', 10, 0, 0}}, 64);
    EngineSettings settings;
    settings.password = kPassword;
    settings.newKeyDerivation = KeyDerivation::argon2id(64, 1, 1);
    {
        auto t = Table::open(path, Table::Access::Exclusive, settings);
        for (int i = 1; i <= 6; ++i) {
            t->appendBlank();
            t->replaceText(0, "2026120" + std::to_string(i));
            t->replaceMemo(1, "{\\rtf1 entry " + std::string(size_t(i * 30), 'x') + "}");
        }
        t->go(3);
        t->deleteRecord();
        t->indexTag({}, "DATE", "date", false, false, {});
        t->encrypt();
        t->close();
    }
    auto bytes = [&](const char *name) {
        std::ifstream in(dir / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string sep(qn::fuzz::kFileSeparator);
    return bytes("T.DBF") + sep + bytes("T.FPT") + sep + bytes("T.CDX");
}

} // namespace

// With QN_FUZZ_SEEDS set to a folder, writes the encrypted seed there and ends.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const char *seeds = std::getenv("QN_FUZZ_SEEDS");
    if (!seeds)
        return 0;
    const std::string seed = encryptedSeed();
    std::ofstream(fs::path(seeds) / "encrypted", std::ios::binary)
        .write(seed.data(), std::streamsize(seed.size()));
    std::exit(0);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    qn::fuzz::writeParts(data, size, {"T.DBF", "T.FPT", "T.CDX"});
    try {
        const fs::path path = qn::fuzz::workFolder() / "T.DBF";
        EngineSettings settings;
        settings.password = passwordFor(path);
        auto table = Table::open(path, Table::Access::ReadOnly, settings);
        const int fields = static_cast<int>(table->fields().size());
        int budget = 2000; // records visited in all
        for (int order = 0; order <= table->tagCount(); ++order) {
            try {
                table->setOrder(order);
                table->goTop();
                for (int n = 0; n < 200 && !table->eof() && budget-- > 0; ++n) {
                    for (int f = 0; f < fields; ++f) {
                        try {
                            table->value(f);
                            table->text(f);
                        } catch (const std::exception &) {
                        }
                    }
                    if (order > 0)
                        table->keyData();
                    try {
                        table->skip(1);
                    } catch (const std::exception &) {
                        // A record changed outside: the table stands on it, empty.
                        if (!table->recordChangedOutside())
                            throw;
                        table->skip(1);
                    }
                }
                table->goBottom();
                for (int n = 0; n < 20 && !table->bof() && budget-- > 0; ++n)
                    table->skip(-1);
                if (order > 0) {
                    table->seek("A");
                    table->seek("");
                    table->seek("20261204");
                }
            } catch (const std::exception &) {
            }
        }
        for (uint32_t r = 1; r <= table->recordCount() && r <= 50; ++r)
            (void)table->dbf().authentic(r);
        table->checkIndexes();
        table->countVisible();
    } catch (const std::exception &) {
        // A damaged file is refused with an error: that is the point.
    }
    return 0;
}
