#pragma once

#include <QString>

class Regional;

// The selection formula of the requests that fit a profile (purpose, wanted surface
// range, type), built the same way by the property register and the request register.
namespace RequestFormula {

// "{richiesta.mq} >= " + from + " AND {richiesta.mq} <=" + to + " AND {richiesta.motivo} ='"
//     + purpose + "' AND {richiesta.tipo} LIKE'*" + type + "*'"
// with the bounds through the leading-number rule (Numbers::leading) and written back
// so that the formula reads them as the same numbers. A quote in the purpose or type is
// doubled, so the formula stays whole and selects what was typed.
QString build(const QString& from, const QString& to, const QString& purpose, const QString& type,
              const Regional& regional);

} // namespace RequestFormula
