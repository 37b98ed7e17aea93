#include "report/RequestFormula.h"

#include "data/vocabulary/Numbers.h"
#include "platform/Regional.h"

namespace RequestFormula {

QString build(const QString& from, const QString& to, const QString& purpose, const QString& type,
              const Regional& regional) {
    const auto inQuotes = [](QString text) { return text.replace(QLatin1Char('\''), QStringLiteral("''")); };
    const auto bound = [&](const QString& text) {
        return Numbers::written(Numbers::leadingOrZero(text), regional.locale());
    };
    return QStringLiteral("{richiesta.mq} >= ") + bound(from) + QStringLiteral(" AND {richiesta.mq} <=") + bound(to) +
           QStringLiteral(" AND {richiesta.motivo} ='") + inQuotes(purpose) +
           QStringLiteral("' AND {richiesta.tipo} LIKE'*") + inQuotes(type) + QStringLiteral("*'");
}

} // namespace RequestFormula
