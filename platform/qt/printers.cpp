#include "platform/qt/printers.h"

#include <QPrinterInfo>

namespace qn {

TPrinterList &TPrinterList::Instance()
{
    static TPrinterList list = [] {
        TPrinterList l{QStringList()};
        l.Refresh();
        return l;
    }();
    return list;
}

TPrinterList::TPrinterList(const QStringList &systemPrinters)
{
    build(systemPrinters, QString());
}

void TPrinterList::Refresh()
{
    build(QPrinterInfo::availablePrinterNames(), QPrinterInfo::defaultPrinterName());
}

void TPrinterList::build(const QStringList &systemPrinters, const QString &defaultPrinter)
{
    printers_.clear();
    for (const QString &name : systemPrinters)
        printers_.push_back({name, false});
    printers_.push_back({kPdfPrinterName, true});
    defaultPrinter_ = defaultPrinter;
}

QStringList TPrinterList::SystemPrinterNames() const
{
    QStringList names;
    for (const TPrinterEntry &entry : printers_)
        if (!entry.IsPdf)
            names << entry.Name;
    return names;
}

int TPrinterList::DefaultIndex() const
{
    int firstSystem = -1;
    int pdf = -1;
    for (int i = 0; i < Count(); ++i) {
        const TPrinterEntry &entry = printers_[static_cast<size_t>(i)];
        if (entry.IsPdf) {
            pdf = i;
            continue;
        }
        if (!defaultPrinter_.isEmpty() && entry.Name == defaultPrinter_)
            return i;
        if (firstSystem < 0)
            firstSystem = i;
    }
    return firstSystem >= 0 ? firstSystem : pdf;
}

void TPrinterList::RemoveLoneRenderingPrinter()
{
    QStringList system = SystemPrinterNames();
    if (system.size() != 1 || !system.front().contains(QStringLiteral("Rendering")))
        return;
    std::erase_if(printers_, [](const TPrinterEntry &e) { return !e.IsPdf; });
}

} // namespace qn
