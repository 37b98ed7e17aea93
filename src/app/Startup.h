#pragma once

#include "Context.h"
#include "Result.h"

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

// Gives the toolbar its windows and opens the start window, the property register; says
// where an earlier end kept what the database refused (unsavedNotice).
void openWindows(MainWindow& frame, const Context& context);

// Ends the program as "FINE" does when the system asks it to (SIGTERM, SIGHUP): pending
// edits are written; a refusal, with nobody there to read it, goes to the standard error
// stream and what was refused to a file, and the program ends all the same. Should it go
// on all the same, its dialogs speak again.
void endOnSystemSignals(MainWindow& frame, SessionDialogs& dialogs);

// The program's event loop ends once the frame has closed (FINE) or the system asked it to
// end: without asking the windows again, which may refuse to close.
void endWithFrame(MainWindow& frame);

// The sentence that points at the files an earlier end kept (what the database refused),
// or "" when there are none.
QString unsavedNotice(const QString& programFolder);

} // namespace Startup
