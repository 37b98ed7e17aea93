#include "matching/MatchSettings.h"

#include "data/folder/SettingsFile.h"
#include "data/vocabulary/Numbers.h"

#include <QDir>
#include <QLocale>
#include <algorithm>
#include <cmath>

namespace {

constexpr int valueCount = 5;

QString plainNumber(double value) {
    return Numbers::written(value, QLocale::c());
}

} // namespace

MatchSettings::MatchSettings(const QString& programFolder) : m_folder(programFolder) {}

QString MatchSettings::path() const {
    return QDir(m_folder).filePath(QStringLiteral("incroci.ini"));
}

MatchTolerances MatchSettings::read() const {
    const SettingsFile::Values file = SettingsFile::read(path(), valueCount);
    MatchTolerances stored;
    double* const percentages[] = {&stored.surfaceBand, &stored.surfaceTolerance, &stored.priceBand,
                                   &stored.priceTolerance};
    for (int i = 0; i < 4; ++i)
        if (const std::optional<double> value = Numbers::plain(file.at(i)))
            *percentages[i] = *value;
    if (const std::optional<double> minimum = Numbers::plain(file.at(4)))
        stored.minimumScore = static_cast<int>(std::lround(std::clamp(*minimum, -1.0, 101.0)));
    // A file edited by hand out of range falls back to the defaults as a whole.
    return checked(stored).value_or(MatchTolerances{});
}

Result MatchSettings::write(const MatchTolerances& tolerances) const {
    return SettingsFile::write(path(), {plainNumber(tolerances.surfaceBand), plainNumber(tolerances.surfaceTolerance),
                                        plainNumber(tolerances.priceBand), plainNumber(tolerances.priceTolerance),
                                        QString::number(tolerances.minimumScore)});
}

std::optional<MatchTolerances> MatchSettings::checked(const MatchTolerances& tolerances, QString* why) {
    const auto refuse = [why](const QString& sentence) -> std::optional<MatchTolerances> {
        if (why)
            *why = sentence;
        return std::nullopt;
    };
    for (const double value : {tolerances.surfaceBand, tolerances.surfaceTolerance, tolerances.priceBand,
                               tolerances.priceTolerance})
        if (!(value >= 0 && value <= 1000))
            return refuse(QStringLiteral("Le percentuali vanno da 0 a 1000."));
    if (tolerances.minimumScore < 0 || tolerances.minimumScore > 100)
        return refuse(QStringLiteral("Il punteggio minimo va da 0 a 100."));
    if (tolerances.surfaceTolerance < tolerances.surfaceBand || tolerances.priceTolerance < tolerances.priceBand)
        return refuse(QStringLiteral("La tolleranza non può essere minore della fascia a punteggio pieno."));
    return tolerances;
}
