#pragma once

#include "Context.h"
#include "Result.h"

#include <QCommandLineOption>
#include <QString>

class MainWindow;

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

} // namespace Startup
