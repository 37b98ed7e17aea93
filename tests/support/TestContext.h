#pragma once

#include "FakeClock.h"
#include "FakePrinting.h"
#include "ScriptedDialogs.h"
#include "TestDatabase.h"
#include "platform/gui/Context.h"

// The world around a window in a test: scripted dialogs, a clock set by the test,
// Italian regional settings and a printer that writes PDF files, on a program folder.
struct TestContext {
    ScriptedDialogs dialogs;
    FakeClock clock;
    Regional regional{QLocale(QLocale::Italian, QLocale::Italy)};
    FakePrinting printing;
    Context context;

    explicit TestContext(const QString& programFolder,
                         const QDateTime& now = QDateTime(QDate(2026, 12, 6), QTime(9, 0)))
        : clock(now), context{programFolder, dialogs, clock, regional, printing} {}
};

// A bare program folder to go with it; first, so it exists before the context names it.
struct WithFolder {
    TestFolder folder;
};

// A test database to go with it; first, so it exists before the context names its folder.
struct WithDatabase {
    TestDatabase db;
};

// An office: a program folder with a fresh database, and the world around its windows.
struct TestOffice : WithDatabase, TestContext {
    explicit TestOffice(const QDateTime& now = QDateTime(QDate(2026, 12, 6), QTime(9, 0)))
        : TestContext(db.folder().path(), now) {}
};
