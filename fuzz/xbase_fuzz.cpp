// libFuzzer target: a table, its memo file and its index from outside,
// opened read-only and read through the table interface: every record,
// every field and memo, every tag in both directions, seeks and the index
// check. Input: DBF, FPT and CDX bytes separated by kFileSeparator.

#include <exception>

#include "fuzz/fuzz_files.h"
#include "xbase/table.h"

using namespace qn::xbase;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    qn::fuzz::writeParts(data, size, {"T.DBF", "T.FPT", "T.CDX"});
    try {
        EngineSettings settings;
        auto table =
            Table::open(qn::fuzz::workFolder() / "T.DBF", Table::Access::ReadOnly, settings);
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
                    table->skip(1);
                }
                table->goBottom();
                for (int n = 0; n < 20 && !table->bof() && budget-- > 0; ++n)
                    table->skip(-1);
                if (order > 0) {
                    table->seek("A");
                    table->seek("");
                }
            } catch (const std::exception &) {
            }
        }
        table->checkIndexes();
        table->countVisible();
    } catch (const std::exception &) {
        // A damaged file is refused with an error: that is the point.
    }
    return 0;
}
