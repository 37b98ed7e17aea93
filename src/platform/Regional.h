#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>
#include <optional>

// The regional settings: how dates, times, numbers and money are written and read.
// Dates always carry a four-digit year (06/12/2026).
class Regional {
public:
    // The system locale; Italian (Italy) where the system has none (C/POSIX).
    static QLocale systemLocale();

    explicit Regional(const QLocale& locale = systemLocale());

    const QLocale& locale() const { return m_locale; }
    const QString& shortDateFormat() const { return m_dateFormat; }

    QString dateText(const QDate& date) const;
    QString timeText(const QTime& time) const;
    QString numberText(double value, int decimals) const;
    QString currencyText(double value) const;

    // Reads a typed date in the short form or a common variant of it: any of / - . or
    // blank between the parts, one or two digits for day and month, two or four for the
    // year (00-29 are 2000-2029, 30-99 are 1930-1999). Nothing when it is not a real date.
    std::optional<QDate> parseDate(const QString& text) const;
    // The same with the order of the parts written as dateOrder() writes it.
    static std::optional<QDate> parseDate(const QString& text, QStringView order);
    // "dmy", "mdy" or "ymd": the order of day, month and year in the short form.
    QString dateOrder() const;

private:
    enum class DatePart { Day, Month, Year };

    QLocale m_locale;
    QString m_dateFormat;
    QString m_timeFormat;
    DatePart m_order[3] = {DatePart::Day, DatePart::Month, DatePart::Year};
};
