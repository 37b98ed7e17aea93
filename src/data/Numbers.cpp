#include "Numbers.h"

#include <QRegularExpression>
#include <cmath>
#include <limits>

namespace Numbers {

namespace {

// The shape of a plain number, without the blanks around it.
const QString plainShape = QStringLiteral("[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?");

std::optional<double> finite(double value, bool ok) {
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool isWhole(double value) {
    return std::isfinite(value) && std::trunc(value) == value && std::abs(value) < 1e15;
}

} // namespace

std::optional<double> plain(const QString& text) {
    static const QRegularExpression shape(QStringLiteral("^\\s*") + plainShape + QStringLiteral("\\s*$"));
    if (!shape.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return finite(value, ok);
}

std::optional<double> typed(const QString& text, const QLocale& locale) {
    bool ok = false;
    const double value = locale.toDouble(text.trimmed(), &ok);
    if (const std::optional<double> regional = finite(value, ok))
        return regional;
    return plain(text);
}

std::optional<double> amount(const QVariant& stored, const QLocale& locale) {
    if (stored.isNull())
        return std::nullopt;
    if (stored.typeId() == QMetaType::QString || stored.typeId() == QMetaType::QByteArray)
        return typed(stored.toString(), locale);
    bool ok = false;
    const double value = stored.toDouble(&ok);
    return finite(value, ok);
}

std::optional<double> leading(const QString& text) {
    QString compact = text;
    compact.remove(QLatin1Char(' ')).remove(QLatin1Char('\t'));
    static const QRegularExpression shape(QLatin1Char('^') + plainShape);
    const QRegularExpressionMatch match = shape.match(compact);
    if (!match.hasMatch())
        return std::nullopt;
    const double value = match.captured().toDouble();
    if (std::isinf(value))
        return std::copysign(std::numeric_limits<double>::max(), value);
    return value;
}

double leadingOrZero(const QString& text) {
    return leading(text).value_or(0.0);
}

QString written(double value, const QLocale& locale) {
    if (!std::isfinite(value))
        value = std::isnan(value) ? 0.0 : std::copysign(std::numeric_limits<double>::max(), value);
    if (value == 0)
        value = 0;  // no "-0"
    QString text = QString::number(value, 'f', QLocale::FloatingPointShortest);
    if (locale.decimalPoint() == QStringLiteral(","))
        text.replace(QLatin1Char('.'), QLatin1Char(','));
    return text;
}

std::optional<double> inFormula(const QString& text) {
    static const QRegularExpression shape(QStringLiteral("^-?(\\d+([.,]\\d+|\\.)?|\\.\\d+)([eE][+-]?\\d+)?$"));
    if (!shape.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = QString(text).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    return finite(value, ok);
}

QString shown(double value, const QLocale& locale) {
    if (isWhole(value))
        return QString::number(static_cast<qint64>(value));
    return locale.toString(value, 'f', QLocale::FloatingPointShortest);
}

} // namespace Numbers
