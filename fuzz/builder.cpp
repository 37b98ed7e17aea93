// The matching-requests and requests-report formula, built from any four typed texts
// (from, to, purpose, type, cut at zero bytes): whatever the builder writes, the
// formula parser accepts and reads back to the same bounds and texts.

#include "FuzzCheck.h"
#include "data/vocabulary/Numbers.h"
#include "platform/Regional.h"
#include "report/Formula.h"
#include "report/RequestFormula.h"

#include <cmath>

namespace {

void checkRoundTrip(const QList<QString>& typed, const Regional& regional) {
    const QString built = RequestFormula::build(typed[0], typed[1], typed[2], typed[3], regional);
    const QString detail = QStringLiteral("locale %1\nfrom «%2» to «%3» purpose «%4» type «%5»\nformula: %6")
                               .arg(regional.locale().name(), typed[0], typed[1], typed[2], typed[3], built);
    const Formula formula = Formula::parse(built, regional);
    FUZZ_CHECK(formula.isValid(), detail + QStringLiteral("\n") + formula.error());
    QString where;
    QVariantList values;
    const Result written = formula.toSql(QStringLiteral("richiesta"), where, values);
    FUZZ_CHECK(written.ok(), detail + QStringLiteral("\n") + written.message());
    FUZZ_CHECK(values.size() == 4, detail);

    const double from = Numbers::leadingOrZero(typed[0]);
    const double to = Numbers::leadingOrZero(typed[1]);
    FUZZ_CHECK(values[0].toDouble() == from,
               detail + QStringLiteral("\nfrom reads back as %1, not %2").arg(values[0].toDouble(), 0, 'g', 17).arg(from, 0, 'g', 17));
    FUZZ_CHECK(values[1].toDouble() == to,
               detail + QStringLiteral("\nto reads back as %1, not %2").arg(values[1].toDouble(), 0, 'g', 17).arg(to, 0, 'g', 17));
    FUZZ_CHECK(values[2].toString() == typed[2] && !values[2].toString().isNull(),
               detail + QStringLiteral("\npurpose reads back as «%1»%2")
                            .arg(values[2].toString(), values[2].toString().isNull() ? QStringLiteral(" (null)") : QString()));
    const QString pattern = QLatin1Char('*') + typed[3] + QLatin1Char('*');
    FUZZ_CHECK(values[3].toString() == pattern, detail + QStringLiteral("\ntype reads back as «%1»").arg(values[3].toString()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    // The office's Italian, and a locale that writes numbers the other way round.
    static const Regional italian(QLocale(QLocale::Italian, QLocale::Italy));
    static const Regional english(QLocale(QLocale::English, QLocale::UnitedStates));
    const QList<QString> typed = Fuzz::texts(data, size, 4);
    checkRoundTrip(typed, italian);
    checkRoundTrip(typed, english);
    return 0;
}
