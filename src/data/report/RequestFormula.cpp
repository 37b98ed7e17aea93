#include "RequestFormula.h"

#include "Regional.h"

#include <QRegularExpression>
#include <cmath>

namespace RequestFormula {

double leadingNumber(const QString& text) {
    QString compact = text;
    compact.remove(QLatin1Char(' ')).remove(QLatin1Char('\t'));
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?"));
    const QRegularExpressionMatch match = number.match(compact);
    return match.hasMatch() ? match.captured().toDouble() : 0.0;
}

QString numberText(double value, const Regional& regional) {
    if (std::isfinite(value) && value == std::floor(value) && std::abs(value) < 1e15)
        return QString::number(static_cast<qint64>(value));
    return regional.locale().toString(value, 'f', QLocale::FloatingPointShortest);
}

QString build(const QString& from, const QString& to, const QString& purpose, const QString& type,
              const Regional& regional) {
    const auto inQuotes = [](QString text) { return text.replace(QLatin1Char('\''), QStringLiteral("''")); };
    return QStringLiteral("{richiesta.mq} >= ") + numberText(leadingNumber(from), regional) +
           QStringLiteral(" AND {richiesta.mq} <=") + numberText(leadingNumber(to), regional) +
           QStringLiteral(" AND {richiesta.motivo} ='") + inQuotes(purpose) + QStringLiteral("' AND {richiesta.tipo} LIKE'*") +
           inQuotes(type) + QStringLiteral("*'");
}

} // namespace RequestFormula
