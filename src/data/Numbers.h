#pragma once

#include <QLocale>
#include <QString>
#include <QVariant>
#include <optional>

// Every reading and writing of numbers as text: typed into a field, typed as a search
// bound, taken from the start of a text by the leading-number rule, written into a
// selection formula and read back from it. Only finite numbers are ever read: "nan",
// "inf" and "1e400" are words like any other.
namespace Numbers {

// The plain form: an optional sign, digits with a point for decimals, an optional
// exponent; blanks around allowed. "12,5", "80 mq" and "" are not numbers.
std::optional<double> plain(const QString& text);

// A number typed into a field: the regional form (1.000,5 or 12,5 in Italian) or the
// plain form (12.5, 1e3).
std::optional<double> typed(const QString& text, const QLocale& locale);

// The leading-number rule: blanks are ignored; the longest leading part that reads as a
// number (sign, digits, a point for decimals, exponent) is taken. "120 mq" is 120,
// "1.000" is 1, "12,5" is 12; nothing when the text does not start with a number.
// A number too large to hold is the largest that can be held, with its sign.
std::optional<double> leading(const QString& text);
// The same, with 0 for a text that does not start with a number.
double leadingOrZero(const QString& text);

// A number written back as text: whole numbers as plain digits, others with the
// regional decimal separator when it is a comma (a point otherwise), never with
// thousands separators or an exponent. Both `typed` and `inFormula` read it back to
// the same number.
QString written(double value, const QLocale& locale);

// A number as a selection formula holds it: like the plain form, with a point or a
// comma for decimals ("12.5", "12,5"), no blanks around.
std::optional<double> inFormula(const QString& text);

// A stored amount (a price, a budget) as every printout and window reads it, so the property
// sheet and the reports agree: a text is read as typed (the regional form first, so "1.100"
// is one thousand one hundred in Italian, then the plain form); a number the engine stores
// as such is taken as it is. Nothing for an empty value or a text that is not a number.
std::optional<double> amount(const QVariant& stored, const QLocale& locale);

// A stored number as a field shows it: whole numbers as plain digits, others in the
// regional form (1.234,5).
QString shown(double value, const QLocale& locale);

} // namespace Numbers
