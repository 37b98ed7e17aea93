#include "data/vocabulary/FieldFormat.h"

#include "data/vocabulary/Numbers.h"
#include "platform/Regional.h"

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
    if (field && field->kind == Schema::FieldKind::Date) {
        const QDate date = QDate::fromString(stored.toString(), Qt::ISODate);
        if (date.isValid())
            return regional.dateText(date);
    }
    return stored.toString();
}

} // namespace FieldFormat
