#pragma once

// The program's list of printers: the system's printers as Qt sees them, and
// one more, "Print to PDF", that writes a PDF file.

#include <QString>
#include <QStringList>

#include <vector>

namespace qn {

inline const QString kPdfPrinterName = QStringLiteral("Print to PDF");

struct TPrinterEntry {
    QString Name;
    bool IsPdf = false; // the "Print to PDF" entry
};

class TPrinterList {
public:
    // The program-wide list, filled from the system at the first use.
    static TPrinterList &Instance();

    // A list over the given system printers (tests).
    explicit TPrinterList(const QStringList &systemPrinters);

    const std::vector<TPrinterEntry> &Printers() const { return printers_; }
    int Count() const { return static_cast<int>(printers_.size()); }
    // Printers of the system, without the PDF entry.
    QStringList SystemPrinterNames() const;
    // Index of the system's default printer, else of the first system
    // printer, else of the PDF entry.
    int DefaultIndex() const;

    // The start-up correction: when the system has exactly one printer and
    // its name contains "Rendering", that printer is dropped from the list.
    void RemoveLoneRenderingPrinter();

    // Reads the system's printers again.
    void Refresh();

private:
    void build(const QStringList &systemPrinters, const QString &defaultPrinter);

    std::vector<TPrinterEntry> printers_;
    QString defaultPrinter_;
};

} // namespace qn
