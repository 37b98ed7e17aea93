#include "Regional.h"

#include <QRegularExpression>
#include <algorithm>

QLocale Regional::systemLocale() {
    const QLocale system = QLocale::system();
    if (system.language() == QLocale::C)
        return QLocale(QLocale::Italian, QLocale::Italy);
    return system;
}

Regional::Regional(const QLocale& locale) : m_locale(locale) {
    m_dateFormat = m_locale.dateFormat(QLocale::ShortFormat);
    static const QRegularExpression years(QStringLiteral("y+"));
    m_dateFormat.replace(years, QStringLiteral("yyyy"));

    m_timeFormat = m_locale.timeFormat(QLocale::ShortFormat);
    if (!m_timeFormat.contains(QLatin1Char('s')))
        m_timeFormat.replace(QStringLiteral("mm"), QStringLiteral("mm:ss"));

    // The order of day, month and year as the short form writes them.
    struct Found {
        qsizetype at;
        DatePart part;
    };
    Found found[3] = {{m_dateFormat.indexOf(QLatin1Char('d')), DatePart::Day},
                      {m_dateFormat.indexOf(QLatin1Char('M')), DatePart::Month},
                      {m_dateFormat.indexOf(QLatin1Char('y')), DatePart::Year}};
    if (std::all_of(std::begin(found), std::end(found), [](const Found& f) { return f.at >= 0; })) {
        std::sort(std::begin(found), std::end(found), [](const Found& a, const Found& b) { return a.at < b.at; });
        for (int i = 0; i < 3; ++i)
            m_order[i] = found[i].part;
    }
}

QString Regional::dateText(const QDate& date) const {
    return m_locale.toString(date, m_dateFormat);
}

QString Regional::timeText(const QTime& time) const {
    return m_locale.toString(time, m_timeFormat);
}

QString Regional::numberText(double value, int decimals) const {
    return m_locale.toString(value, 'f', decimals);
}

QString Regional::currencyText(double value) const {
    return m_locale.toCurrencyString(value, m_locale.currencySymbol(), 2);
}

std::optional<QDate> Regional::parseDate(const QString& text) const {
    return parseDate(text, dateOrder());
}

QString Regional::dateOrder() const {
    QString order;
    for (const DatePart part : m_order)
        order += part == DatePart::Day ? QLatin1Char('d') : part == DatePart::Month ? QLatin1Char('m') : QLatin1Char('y');
    return order;
}

std::optional<QDate> Regional::parseDate(const QString& text, QStringView order) {
    static const QRegularExpression shape(QStringLiteral("^\\s*(\\d{1,4})[/.\\- ]+(\\d{1,4})[/.\\- ]+(\\d{1,4})\\s*$"));
    if (order.size() != 3)
        return std::nullopt;
    const QRegularExpressionMatch match = shape.match(text);
    if (!match.hasMatch())
        return std::nullopt;

    int day = 0, month = 0, year = 0;
    for (int i = 0; i < 3; ++i) {
        const QString digits = match.captured(i + 1);
        const int value = digits.toInt();
        switch (order[i].unicode()) {
        case 'd':
            if (digits.size() > 2)
                return std::nullopt;
            day = value;
            break;
        case 'm':
            if (digits.size() > 2)
                return std::nullopt;
            month = value;
            break;
        default:
            if (digits.size() == 2 || digits.size() == 1)
                year = value < 30 ? 2000 + value : 1900 + value;
            else if (digits.size() == 4)
                year = value;
            else
                return std::nullopt;
            break;
        }
    }
    const QDate date(year, month, day);
    if (!date.isValid())
        return std::nullopt;
    return date;
}
