#pragma once

#include "matching/MatchRule.h"
#include "platform/Result.h"

#include <QString>

// incroci.ini in the program folder, beside the three settings files: the tolerances of
// the matching and the lowest score an exact match has, one number a line, in the order
// surface band, surface tolerance, price band, price tolerance, minimum score. A missing
// file, line or number keeps the default; numbers are written with a point for decimals.
class MatchSettings {
public:
    explicit MatchSettings(const QString& programFolder);

    QString path() const;
    MatchTolerances read() const;
    // Written whole and atomically, UTF-8 with CR LF, as the other settings files.
    Result write(const MatchTolerances& tolerances) const;

    // What the office may set: percentages from 0 to 1000, the minimum from 0 to 100,
    // each tolerance at least its band. Nothing when a value is out of range; `why` then
    // holds the sentence that says which.
    static std::optional<MatchTolerances> checked(const MatchTolerances& tolerances, QString* why = nullptr);

private:
    QString m_folder;
};
