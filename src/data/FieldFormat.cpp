#include "FieldFormat.h"

#include "Numbers.h"
#include "Regional.h"

namespace FieldFormat {

QString shown(const Schema::Field* field, const QVariant& stored, const Regional& regional) {
    if (stored.isNull())
        return QString();
    if (field && (field->kind == Schema::FieldKind::Number || field->kind == Schema::FieldKind::Key) &&
        stored.typeId() != QMetaType::QString) {
        bool isNumber = false;
        const double number = stored.toDouble(&isNumber);
        if (isNumber)
            return Numbers::shown(number, regional.locale());
    }
    // Only an ISO day is the program's own form, shown in the regional one; any other
    // text ("2026-12-03 10:00:00", "2/12/2026") is shown as it is stored.
    const QString text = stored.toString();
    if (field && field->kind == Schema::FieldKind::Date && text.size() == 10 && text.at(4) == QLatin1Char('-') &&
        text.at(7) == QLatin1Char('-')) {
        const QDate date = QDate::fromString(text, Qt::ISODate);
        if (date.isValid())
            return regional.dateText(date);
    }
    return text;
}

} // namespace FieldFormat
