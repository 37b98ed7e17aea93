#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

// One value of an Access/Jet row, as the file stores it: nothing is turned into text
// on the way, so Currency stays a scaled integer and a date stays its day count.
struct JetValue {
    enum class Kind {
        Null,
        Integer,  // Byte, Integer, Long Integer
        Real,     // Single, Double
        Currency, // `integer` holds the amount times 10,000
        Decimal,  // a Decimal column, exact, as text
        Bool,     // `integer` is 1 or 0
        DateTime, // `real` is the day count from 30/12/1899, the fraction the time of day
        Text,     // Text and Memo, every character kept
        Binary,   // OLE objects, binary and replication ids
        Unreadable, // the stored bytes do not make a value of the column's type
    };
    Kind kind = Kind::Null;
    qint64 integer = 0;
    double real = 0;
    QString text;
    QByteArray bytes;

    bool isNull() const { return kind == Kind::Null; }
};

namespace JetText {

// The exact decimal of a Currency amount (scaled by 10,000), with only the decimals it
// needs: 1995.5, 250000, -0.0001.
QString currency(qint64 scaled);
// The same with the four decimals Access keeps: 1995.5000.
QString currencyFull(qint64 scaled);

// The date and time of a Jet day count, to the millisecond; nothing for a count that is
// no date (not a number, or beyond any calendar). The year may be any from 1 to 9999.
std::optional<QDateTime> dateTime(double days);

// ISO text: "2038-01-19", or "2038-01-19T03:14:07" when the time of day is not midnight.
QString isoText(const QDateTime& when);
// The regional short form the old program wrote into text fields: "19/01/2038", with
// " 03:14:07" when there is a time, or just "03:14" for a time without a day.
QString shortText(const QDateTime& when, bool timeOnly);

// A value as plain text: what goes into a text field, and how a value that cannot be
// placed is kept.
QString plain(const JetValue& value);

} // namespace JetText
