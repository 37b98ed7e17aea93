// Typed dates and numbers: the regional short date, typed numbers in the regional
// form, the bounds of a search and the leading-number rule of the report bounds.
// No text crashes them, none gives a number that is not finite, and a date that is
// accepted is a real date that its own short form reads back.

#include "FuzzCheck.h"
#include "data/folder/ProgramSettings.h"
#include "data/vocabulary/Numbers.h"
#include "platform/Regional.h"

#include <cmath>

namespace {

void checkRegional(const Regional& regional, const QString& text) {
    const QString where = QStringLiteral("locale %1, text «%2»").arg(regional.locale().name(), text);
    if (const std::optional<QDate> date = regional.parseDate(text)) {
        FUZZ_CHECK(date->isValid(), where);
        const QString shown = regional.dateText(*date);
        FUZZ_CHECK(regional.parseDate(shown) == date, where + QStringLiteral(", shown as «%1»").arg(shown));
    }
    if (const std::optional<double> number = Numbers::typed(text, regional.locale())) {
        FUZZ_CHECK(std::isfinite(*number), where + QStringLiteral(" reads as %1").arg(*number));
        // What the program writes back it reads again as the same number.
        const QString written = Numbers::written(*number, regional.locale());
        FUZZ_CHECK(Numbers::typed(written, regional.locale()) == number,
                   where + QStringLiteral(", written back as «%1»").arg(written));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const Regional italian(QLocale(QLocale::Italian, QLocale::Italy));
    static const Regional english(QLocale(QLocale::English, QLocale::UnitedStates));
    static const Regional german(QLocale(QLocale::German, QLocale::Germany));
    const QString text = Fuzz::text(Fuzz::bytes(data, size));

    for (const Regional* regional : {&italian, &english, &german})
        checkRegional(*regional, text);
    if (const std::optional<double> bound = Numbers::plain(text))
        FUZZ_CHECK(std::isfinite(*bound), QStringLiteral("search bound «%1» reads as %2").arg(text).arg(*bound));
    const double leading = Numbers::leadingOrZero(text);
    FUZZ_CHECK(std::isfinite(leading), QStringLiteral("report bound «%1» reads as %2").arg(text).arg(leading));
    if (const std::optional<double> inFormula = Numbers::inFormula(text))
        FUZZ_CHECK(std::isfinite(*inFormula), QStringLiteral("formula number «%1» reads as %2").arg(text).arg(*inFormula));
    std::ignore = ProgramSettings::parseColour(text);
    return 0;
}
