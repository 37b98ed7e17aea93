#include "data/vocabulary/FieldFormat.h"

#include "data/vocabulary/Numbers.h"
#include "platform/Regional.h"

#include <QDateTime>
#include <QRegularExpression>

namespace FieldFormat {

namespace {

// The time of day as it is kept: to the second, to the millisecond where there are some.
QString isoTime(const QTime& time) {
    return time.toString(time.msec() ? QStringLiteral("HH:mm:ss.zzz") : QStringLiteral("HH:mm:ss"));
}

} // namespace

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
    // Only an ISO day, with or without a time of day, is the program's own form, shown in
    // the regional one; any other text ("2/12/2026") is shown as it is stored.
    const QString text = stored.toString();
    if (field && field->kind == Schema::FieldKind::Date && text.size() >= 10 && text.at(4) == QLatin1Char('-') &&
        text.at(7) == QLatin1Char('-')) {
        const QDate date = QDate::fromString(text.left(10), Qt::ISODate);
        if (date.isValid() && text.size() == 10)
            return regional.dateText(date);
        const QChar separator = text.size() > 10 ? text.at(10) : QChar();
        if (date.isValid() && (separator == QLatin1Char('T') || separator == QLatin1Char(' '))) {
            const QString clock = text.mid(11);
            QTime time = QTime::fromString(clock, Qt::ISODateWithMs);
            // Shown back exactly: a form this does not write again stays as it is.
            if (time.isValid() && (isoTime(time) == clock || time.toString(QStringLiteral("HH:mm")) == clock))
                return regional.dateText(date) + QLatin1Char(' ') +
                       (time.msec() ? isoTime(time) : regional.timeText(time));
        }
    }
    return text;
}

std::optional<QString> storedDate(const QString& typed, const Regional& regional) {
    if (const std::optional<QDate> day = regional.parseDate(typed))
        return day->toString(Qt::ISODate);
    // A day and a time of day, as a date with a time is shown.
    static const QRegularExpression withTime(QStringLiteral("^\\s*(.*\\S)\\s+(\\d{1,2}[:.]\\d{2}(?:[:.]\\d{2}(?:[.,]\\d{1,3})?)?)\\s*$"));
    const QRegularExpressionMatch match = withTime.match(typed);
    if (!match.hasMatch())
        return std::nullopt;
    const std::optional<QDate> day = regional.parseDate(match.captured(1));
    QString clock = match.captured(2);
    clock.replace(QLatin1Char(','), QLatin1Char('.'));
    // "01.30" and "01:30" alike; the fraction of a second after the last point.
    static const QRegularExpression pieces(QStringLiteral("^(\\d{1,2})[:.](\\d{2})(?:[:.](\\d{2})(?:\\.(\\d{1,3}))?)?$"));
    const QRegularExpressionMatch piece = pieces.match(clock);
    if (!day || !piece.hasMatch())
        return std::nullopt;
    const QTime time(piece.captured(1).toInt(), piece.captured(2).toInt(), piece.captured(3).toInt(),
                     piece.captured(4).leftJustified(3, QLatin1Char('0')).toInt());
    if (!time.isValid())
        return std::nullopt;
    if (time == QTime(0, 0))
        return day->toString(Qt::ISODate);
    return day->toString(Qt::ISODate) + QLatin1Char('T') + isoTime(time);
}

} // namespace FieldFormat
