#pragma once

#include "Context.h"
#include "Result.h"

class MainWindow;

// What happens between the program's start and its first window.
namespace Startup {

// A first start in an empty folder gets the ready default database; the report files
// that went missing beside the database come back.
Result prepareFolder(const Context& context);

// Gives the toolbar its windows and opens the start window, the property register.
void openWindows(MainWindow& frame, const Context& context);

} // namespace Startup
