#pragma once

#include "platform/Result.h"

#include <QString>
#include <optional>

// What the property sheet takes from dati.ini.
struct SheetSettings {
    QString heading;
    QString footer;
    QString logoPath;
    // The heading colour (red + 256 * green + 65536 * blue); nothing when the stored
    // value is not a number, so the sheet keeps its own design colour.
    std::optional<int> headingColour;
};

// The three settings files of the program folder: daba.ini (the database path),
// dati.ini (the property sheet) and sfondo.ini (the desktop background).
// A missing or short file reads as empty values; writes are atomic.
class ProgramSettings {
public:
    explicit ProgramSettings(const QString& programFolder);

    QString databaseIniPath() const;
    QString sheetIniPath() const;
    QString backgroundIniPath() const;

    QString databasePath() const;
    QString backgroundPath() const;
    SheetSettings sheet() const;

    Result saveDatabasePath(const QString& path) const;
    Result saveBackgroundPath(const QString& path) const;
    // The colour is written as the caption that holds it, as typed or as chosen.
    Result saveSheet(const QString& heading, const QString& footer, const QString& logoPath,
                     const QString& headingColour) const;

    // The folder of a database path with its trailing separator ("" for a bare name):
    // reports and photos are looked for there.
    static QString databaseFolder(const QString& databasePath);
    // The same for daba.ini's database; a database on a PostgreSQL server has no folder,
    // so its desk keeps reports and photos in the program folder.
    QString databaseFolder() const;
    // Whether daba.ini names a PostgreSQL database rather than a file.
    bool databaseOnServer() const;

    // A stored colour: empty counts as 0 (black); a value that is not a whole number gives nothing.
    static std::optional<int> parseColour(const QString& value);

private:
    QString m_folder;
};
