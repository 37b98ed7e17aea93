#pragma once

#include "platform/Result.h"

#include <QString>
#include <QStringList>

// Where VELMORA keeps its files, and where it finds the files it ships with.
//
// The program folder is the executable's folder when that folder is writable and not an
// installed tree (the build tree, a copy on a USB stick). An installed program (bin/ with
// share/velmora/ beside it, as /usr/bin with /usr/share/velmora) or one in a folder it
// cannot write uses the user's own data folder, ~/.local/share/velmora, so that every
// user of the machine has their own. A folder named on the command line beats both.
namespace ProgramFolder {

// The user's data folder for VELMORA, shared by the program and its tools.
QString userFolder();

// The installed share/velmora/ beside the executable's bin/, or an empty text.
QString installedDataFolder(const QString& executableFolder);

// Picks the program folder (`chosen`, when not empty, else by the rules above) and makes
// sure it exists. The message says which folder could not be made and why.
Result choose(const QString& chosen, const QString& executableFolder, QString& folder);

// The folders that hold the files VELMORA ships with (report files, the default background),
// in the order they are looked in: the installed share/velmora/ of this executable, then
// velmora/ in the system's data folders.
QStringList sharedFolders();

// A shipped file: the program folder's own copy first, then the installed one; an empty
// text when there is neither (the program then uses the copy built into it).
QString findShared(const QString& programFolder, const QString& name);

} // namespace ProgramFolder
