#pragma once

#include "platform/Result.h"
#include "platform/gui/Context.h"

#include <QCommandLineOption>
#include <QString>

class MainWindow;
class SessionDialogs;

// What happens between the program's start and its first window.
namespace Startup {

// What `velmora --help` says the program is.
QString description();
// --cartella DIR: the program folder, chosen by hand.
QCommandLineOption folderOption();

// A first start in an empty folder gets the ready default database; the report files
// that went missing beside the database come back.
Result prepareFolder(const Context& context);

// Gives the toolbar its windows and opens the start window, the property register.
void openWindows(MainWindow& frame, const Context& context);

// Ends the program as "FINE" does when the system asks it to (SIGTERM, SIGHUP): pending
// edits are written; a refusal, with nobody there to read it, goes to the standard error
// stream, and the program ends all the same.
void endOnSystemSignals(MainWindow& frame, SessionDialogs& dialogs);

} // namespace Startup
