#pragma once

#include "legacy/ConversionReport.h"
#include "legacy/LegacyTables.h"
#include "platform/Progress.h"
#include "platform/Result.h"

#include <QString>
#include <functional>

// Turns an old office's Access/Jet database into a new database of this program (a
// SQLite file), reading the old file only. Tables and fields are matched by name without
// regard to case; keys keep their values; texts keep every character, Currency its exact
// amount, dates their day count; what cannot be placed as it was is kept as text and
// listed in the report, never dropped.
namespace LegacyConversion {

struct Options {
    // The photo folder beside the old database; each foto.foto path whose file is found
    // there (by name, in any case) is written as the path of that file.
    QString photoFolder;
    // Where found photos are to be: when set, each found photo is given as this folder
    // followed by its file name (velmora-trasferisci copies them there).
    QString photoTarget;
    Progress* progress = nullptr;
    std::function<void(const QString& caption)> stage;
};

// Converts `jetFile` into the new file `target`, which must not exist. The file appears
// only when the whole conversion went through: a failure or a stop leaves nothing.
Result convert(const QString& jetFile, const QString& target, const Options& options, ConversionReport& report);
// The same from tables already open (`report.source` names them).
Result convert(const LegacyTables& tables, const QString& target, const Options& options, ConversionReport& report);

// The name the converted database takes beside the old one: "daba.mdb" gives
// "daba-velmora.mdb" (or "daba-velmora-2.mdb" when that is taken).
QString convertedName(const QString& jetFile);

} // namespace LegacyConversion
