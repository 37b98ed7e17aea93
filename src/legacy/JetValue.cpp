#include "legacy/JetValue.h"

#include <QLocale>
#include <cmath>

namespace JetText {

namespace {

QString currencyDigits(qint64 scaled, bool trim) {
    const bool negative = scaled < 0;
    // The magnitude as unsigned, so the smallest amount has one too.
    const quint64 magnitude = negative ? quint64(0) - quint64(scaled) : quint64(scaled);
    QString fraction = QStringLiteral("%1").arg(magnitude % 10000, 4, 10, QLatin1Char('0'));
    if (trim)
        while (fraction.endsWith(QLatin1Char('0')))
            fraction.chop(1);
    QString text = QString::number(magnitude / 10000);
    if (!fraction.isEmpty())
        text += QLatin1Char('.') + fraction;
    return negative ? QLatin1Char('-') + text : text;
}

// The shortest decimal that reads back as the same double, without an exponent where
// the office would not write one.
QString numberText(double value) {
    const bool plainDigits = std::fabs(value) < 1e15 && (value == 0 || std::fabs(value) >= 1e-6);
    return QString::number(value, plainDigits ? 'f' : 'g', QLocale::FloatingPointShortest);
}

} // namespace

QString currency(qint64 scaled) { return currencyDigits(scaled, true); }
QString currencyFull(qint64 scaled) { return currencyDigits(scaled, false); }

std::optional<QDateTime> dateTime(double days) {
    // Years 1 to 9999 lie between these counts; beyond them there is no date to show.
    if (!std::isfinite(days) || days < -693593.0 || days >= 2958466.0)
        return std::nullopt;
    // The whole part counts days, the fraction is the time of that day, also for days
    // before 1899 (-1.25 is 29/12/1899 at 06:00).
    const double whole = std::trunc(days);
    qint64 milliseconds = std::llround(std::fabs(days - whole) * 86400000.0);
    qint64 day = qint64(whole);
    if (milliseconds >= 86400000) {
        milliseconds -= 86400000;
        day += days < 0 ? -1 : 1;
    }
    const QDate date = QDate(1899, 12, 30).addDays(day);
    if (!date.isValid() || date.year() < 1 || date.year() > 9999)
        return std::nullopt;
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(int(milliseconds)), Qt::UTC);
}

QString isoText(const QDateTime& when) {
    const QTime time = when.time();
    if (time == QTime(0, 0))
        return when.date().toString(Qt::ISODate);
    return when.date().toString(Qt::ISODate) + QLatin1Char('T') +
           time.toString(time.msec() ? QStringLiteral("HH:mm:ss.zzz") : QStringLiteral("HH:mm:ss"));
}

QString shortText(const QDateTime& when, bool timeOnly) {
    const QTime time = when.time();
    const QString clock = time.toString(time.second() || time.msec() ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm"));
    if (timeOnly)
        return clock;
    const QString date = when.date().toString(QStringLiteral("dd/MM/yyyy"));
    return time == QTime(0, 0) ? date : date + QLatin1Char(' ') + clock;
}

QString plain(const JetValue& value) {
    using Kind = JetValue::Kind;
    switch (value.kind) {
    case Kind::Null:
        return QString();
    case Kind::Integer:
    case Kind::Bool:
        return QString::number(value.integer);
    case Kind::Real:
        return numberText(value.real);
    case Kind::Currency:
        return currency(value.integer);
    case Kind::DateTime:
        if (const auto when = dateTime(value.real))
            return isoText(*when);
        return numberText(value.real);
    case Kind::Decimal:
    case Kind::Text:
    case Kind::Unreadable:
        return value.text;
    case Kind::Binary:
        return QStringLiteral("0x") + QString::fromLatin1(value.bytes.toHex());
    }
    return QString();
}

} // namespace JetText
