#include "data/folder/ProgramSettings.h"

#include "data/folder/SettingsFile.h"
#include "data/vocabulary/DatabaseLocation.h"

ProgramSettings::ProgramSettings(const QString& programFolder) : m_folder(programFolder) {}

QString ProgramSettings::databaseIniPath() const {
    return m_folder + QStringLiteral("/daba.ini");
}

QString ProgramSettings::sheetIniPath() const {
    return m_folder + QStringLiteral("/dati.ini");
}

QString ProgramSettings::backgroundIniPath() const {
    return m_folder + QStringLiteral("/sfondo.ini");
}

QString ProgramSettings::databasePath() const {
    return SettingsFile::read(databaseIniPath(), 1).at(0);
}

QString ProgramSettings::backgroundPath() const {
    return SettingsFile::read(backgroundIniPath(), 1).at(0);
}

SheetSettings ProgramSettings::sheet() const {
    const SettingsFile::Values values = SettingsFile::read(sheetIniPath(), 4);
    return {values.at(0), values.at(1), values.at(2), parseColour(values.at(3))};
}

Result ProgramSettings::saveDatabasePath(const QString& path) const {
    return SettingsFile::write(databaseIniPath(), {path});
}

Result ProgramSettings::saveBackgroundPath(const QString& path) const {
    return SettingsFile::write(backgroundIniPath(), {path});
}

Result ProgramSettings::saveSheet(const QString& heading, const QString& footer, const QString& logoPath,
                                  const QString& headingColour) const {
    return SettingsFile::write(sheetIniPath(), {heading, footer, logoPath, headingColour});
}

QString ProgramSettings::databaseFolder(const QString& databasePath) {
    const qsizetype slash = databasePath.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : databasePath.left(slash + 1);
}

bool ProgramSettings::databaseOnServer() const {
    // Only a server address can fail to parse: a malformed one still names no folder.
    DatabaseLocation location;
    return !DatabaseLocation::parse(databasePath(), location).ok() || location.isPostgres();
}

QString ProgramSettings::databaseFolder() const {
    if (databaseOnServer())
        return m_folder + QLatin1Char('/');
    return databaseFolder(databasePath());
}

std::optional<int> ProgramSettings::parseColour(const QString& value) {
    const QString text = value.trimmed();
    if (text.isEmpty())
        return 0;
    bool ok = false;
    const int colour = text.toInt(&ok);
    if (!ok)
        return std::nullopt;
    return colour;
}
