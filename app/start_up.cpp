#include "app/start_up.h"

#include "platform/qt/messages.h"
#include "platform/qt/printers.h"
#include "platform/single_instance.h"

#include <QString>

namespace qn {

bool PrepareStart()
{
    try {
        TPrinterList::Instance().RemoveLoneRenderingPrinter();
    } catch (...) {
        // A printer list that cannot be read is no reason not to start.
    }
    if (AlreadyRunning()) {
        ShowInformation(QStringLiteral("Quillnook! is already running"));
        return false;
    }
    return true;
}

} // namespace qn
