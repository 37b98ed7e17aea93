#pragma once

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Regional.h"
#include "platform/gui/Printing.h"
#include "platform/gui/WindowHost.h"

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
