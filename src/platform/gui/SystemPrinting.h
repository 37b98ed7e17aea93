#pragma once

#include "platform/gui/Printing.h"

class SystemPrinting : public Printing {
public:
    std::unique_ptr<QPrinter> defaultPrinter() override;
};
