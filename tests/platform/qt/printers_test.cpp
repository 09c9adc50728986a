#include "platform/qt/printers.h"

#include <gtest/gtest.h>

using namespace qn;

TEST(Printers, ThePdfPrinterFollowsTheSystemPrinters)
{
    TPrinterList list({"Laser", "Inkjet"});
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Printers()[0].Name, "Laser");
    EXPECT_EQ(list.Printers()[2].Name, "Print to PDF");
    EXPECT_TRUE(list.Printers()[2].IsPdf);
    EXPECT_EQ(list.SystemPrinterNames(), QStringList({"Laser", "Inkjet"}));
    EXPECT_EQ(list.DefaultIndex(), 0);
    EXPECT_EQ(TPrinterList(QStringList()).DefaultIndex(), 0) << "only the PDF printer";
}

TEST(Printers, ALoneRenderingPrinterIsDropped)
{
    TPrinterList lone({"Microsoft XPS Rendering Driver"});
    lone.RemoveLoneRenderingPrinter();
    EXPECT_TRUE(lone.SystemPrinterNames().isEmpty());
    EXPECT_EQ(lone.Count(), 1);

    // Kept when it is not alone, or when its name differs in case.
    TPrinterList two({"Rendering A", "Laser"});
    two.RemoveLoneRenderingPrinter();
    EXPECT_EQ(two.SystemPrinterNames().size(), 2);
    TPrinterList lower({"rendering"});
    lower.RemoveLoneRenderingPrinter();
    EXPECT_EQ(lower.SystemPrinterNames().size(), 1);
    TPrinterList other({"Laser"});
    other.RemoveLoneRenderingPrinter();
    EXPECT_EQ(other.SystemPrinterNames().size(), 1);
}

TEST(Printers, TheSystemListAlwaysEndsWithThePdfPrinter)
{
    const TPrinterList &list = TPrinterList::Instance();
    ASSERT_GE(list.Count(), 1);
    EXPECT_TRUE(list.Printers().back().IsPdf);
}
