#pragma once

#include "Clock.h"
#include "Dialogs.h"
#include "Printing.h"
#include "Regional.h"
#include "WindowHost.h"

#include <QString>

// What every window needs from the world outside it, handed over at construction.
struct Context {
    QString programFolder;
    Dialogs& dialogs;
    const Clock& clock;
    const Regional& regional;
    Printing& printing;
    // The frame window, once there is one; windows opened without it stand alone.
    WindowHost* windows = nullptr;

    QString programFile(const QString& name) const { return programFolder + QLatin1Char('/') + name; }
};
