#pragma once

#include "platform/gui/Printing.h"

#include <QString>

// A "printer" that writes PDF files, or no printer at all.
class FakePrinting : public Printing {
public:
    QString outputFile;  // empty: the machine has no printer
    int printed = 0;

    std::unique_ptr<QPrinter> defaultPrinter() override {
        if (outputFile.isEmpty())
            return nullptr;
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(outputFile);
        printer->setPageSize(QPageSize(QPageSize::A4));
        printer->setFullPage(true);
        ++printed;
        return printer;
    }
};
