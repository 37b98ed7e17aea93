#pragma once

#include "Clock.h"
#include "Dialogs.h"
#include "Printing.h"
#include "Regional.h"

#include <QString>

// What every window needs from the world outside it, handed over at construction.
struct Context {
    QString programFolder;
    Dialogs& dialogs;
    const Clock& clock;
    const Regional& regional;
    Printing& printing;

    QString programFile(const QString& name) const { return programFolder + QLatin1Char('/') + name; }
};
