#pragma once

#include "data/vocabulary/Schema.h"

#include <QString>
#include <QVariant>
#include <optional>

class Regional;

namespace FieldFormat {

// A stored value as the user sees it: numbers whole or in the regional form (12,5),
// dates of date fields in the regional short form, anything else as it is; a null is empty.
// A day with a time of day (an old archive's "2038-01-19T01:30:00") shows both.
QString shown(const Schema::Field* field, const QVariant& stored, const Regional& regional);

// What a date field stores for a typed text: the ISO day ("2026-03-01"), or the day and
// the time as they are shown ("19/01/2038 01:30:00" gives "2038-01-19T01:30:00").
// Nothing when the text is not a date.
std::optional<QString> storedDate(const QString& typed, const Regional& regional);

} // namespace FieldFormat
