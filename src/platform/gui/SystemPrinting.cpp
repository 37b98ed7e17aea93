#include "platform/gui/SystemPrinting.h"

#include <QPageLayout>
#include <QPrinterInfo>

std::unique_ptr<QPrinter> SystemPrinting::defaultPrinter() {
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return nullptr;
    auto printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    printer->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
    printer->setFullPage(true);
    return printer;
}
