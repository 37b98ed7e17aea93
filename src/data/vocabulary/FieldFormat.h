#pragma once

#include "data/vocabulary/Schema.h"

#include <QString>
#include <QVariant>

class Regional;

namespace FieldFormat {

// A stored value as the user sees it: numbers whole or in the regional form (12,5),
// dates of date fields in the regional short form, anything else as it is; a null is empty.
QString shown(const Schema::Field* field, const QVariant& stored, const Regional& regional);

} // namespace FieldFormat
