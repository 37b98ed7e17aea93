#include "FieldFormat.h"

#include "Regional.h"

namespace FieldFormat {

QString shown(const Schema::Field* field, const QVariant& stored, const Regional& regional) {
    if (stored.isNull())
        return QString();
    if (field && (field->kind == Schema::FieldKind::Number || field->kind == Schema::FieldKind::Key) &&
        stored.typeId() != QMetaType::QString) {
        bool isNumber = false;
        const double number = stored.toDouble(&isNumber);
        if (isNumber) {
            if (number == static_cast<double>(static_cast<qint64>(number)))
                return QString::number(static_cast<qint64>(number));
            return regional.locale().toString(number, 'f', QLocale::FloatingPointShortest);
        }
    }
    if (field && field->kind == Schema::FieldKind::Date) {
        const QDate date = QDate::fromString(stored.toString(), Qt::ISODate);
        if (date.isValid())
            return regional.dateText(date);
    }
    return stored.toString();
}

} // namespace FieldFormat
