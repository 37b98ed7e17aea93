#pragma once

#include "legacy/ConversionReport.h"
#include "platform/Progress.h"
#include "platform/Result.h"

#include <QString>
#include <QStringList>
#include <functional>

// Moving an office in from its old program: the Access/Jet database that daba.ini names
// is converted into this program's database, and the old folder's Windows paths are
// found here. The old files are only read.
namespace MoveIn {

// What daba.ini of a program folder names, once its Windows path is resolved.
struct Found {
    QString written;   // daba.ini's value
    QString database;  // the file used (the value itself when nothing was found)
    bool exists = false;
    bool jet = false;  // an Access/Jet file, to be converted
    QString sentence;  // which file was used, when daba.ini holds a Windows path
};
Found databaseOf(const QString& programFolder);

// The photo folder beside a database: "foto" in any case; empty when there is none.
QString photoFolderBeside(const QString& database);

// The pictures dati.ini (logo) and sfondo.ini (background) name by a Windows path, made to
// name the files found here (the old files kept as .prima), and the foreign report files
// beside the database set aside. One sentence for each thing done.
struct Settled {
    QStringList said;
    bool backgroundChanged = false; // sfondo.ini names another picture now
};
Settled settleFolder(const QString& programFolder);

// The conversion offered at start: the Jet file daba.ini names becomes a new database
// beside it ("daba-velmora.mdb"), daba.ini is kept as daba.ini.prima and rewritten to name
// the new file; the pictures and report files are settled as at every start, and the
// report, with what was said about each, is written beside the new database.
Result convertInPlace(const QString& programFolder, const Found& found, Progress* progress, ConversionReport& report,
                      Settled* settled = nullptr);

// Keeps a settings file as "<name>.prima" (once: an older copy is never replaced).
Result keepPrevious(const QString& iniPath);

// Why the file daba.ini's Windows path led to cannot be taken as the database (neither an
// Access archive nor a database of this program: zeros, a broken copy), as one sentence
// that says daba.ini was left as it was; empty when it can.
QString unusableFound(const Found& found);

// velmora-trasferisci --da-cartella: the old program folder `oldFolder` into the new
// program folder `newFolder` (made if missing; it must hold no database yet): the database
// converted into newFolder/daba.mdb, the photos copied into newFolder/foto, the settings
// files rewritten with the paths found here, the report files (another engine's set
// aside), and the report written beside the new database. Sentences said on the way
// (which files were used) go into the report's notes.
Result fromFolder(const QString& oldFolder, const QString& newFolder, Progress* progress,
                  const std::function<void(const QString&)>& stage, ConversionReport& report);

} // namespace MoveIn
