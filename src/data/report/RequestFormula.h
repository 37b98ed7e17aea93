#pragma once

#include <QString>

class Regional;

// The selection formula of the requests that fit a profile (purpose, wanted surface
// range, type), built the same way by the property register and the request register.
namespace RequestFormula {

// The leading-number rule: blanks are ignored; the longest leading part that reads as a
// number (sign, digits, a point for decimals, exponent) is taken; anything else gives 0.
// "120 mq" is 120, "1.000" is 1, "12,5" is 12, "" is 0.
double leadingNumber(const QString& text);

// A bound written back: whole numbers as plain digits, others in the regional form.
QString numberText(double value, const Regional& regional);

// "{richiesta.mq} >= " + from + " AND {richiesta.mq} <=" + to + " AND {richiesta.motivo} ='"
//     + purpose + "' AND {richiesta.tipo} LIKE'*" + type + "*'"
// with the bounds through the leading-number rule. A quote in the purpose or type is
// doubled, so the formula stays whole and selects what was typed.
QString build(const QString& from, const QString& to, const QString& purpose, const QString& type,
              const Regional& regional);

} // namespace RequestFormula
