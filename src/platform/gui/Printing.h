#pragma once

#include <QPrinter>
#include <memory>

// The way to the printer, behind a seam so tests can print without one.
class Printing {
public:
    virtual ~Printing() = default;
    // The default printer, set for an A4 page at its own resolution; nullptr when the
    // machine has no printer configured.
    virtual std::unique_ptr<QPrinter> defaultPrinter() = 0;
};
