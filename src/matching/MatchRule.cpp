#include "matching/MatchRule.h"

#include "data/vocabulary/LikePattern.h"
#include "data/vocabulary/Numbers.h"

#include <cmath>
#include <limits>

namespace {

// Verdicts and patterns kept before they are dropped and made again: bounds memory
// when every row brings a text of its own.
constexpr int mostKept = 4096;

QString percent(double value) {
    return QString::number(std::lround(value));
}

// Points for a deviation of `off` percent: all within the band, none at the tolerance.
double points(double off, double band, double tolerance, int full) {
    if (off <= band)
        return full;
    if (tolerance <= band)
        return 0;
    return full * (tolerance - off) / (tolerance - band);
}

bool positive(const std::optional<double>& value) {
    return value && *value > 0;
}

} // namespace

MatchRule::MatchRule(const MatchTolerances& tolerances, const QLocale& locale)
    : m_tolerances(tolerances), m_locale(locale) {}

MatchRule::~MatchRule() = default;

std::optional<double> MatchRule::surface(const QString& text, const QLocale& locale) {
    if (const std::optional<double> typed = Numbers::typed(text, locale))
        return typed;
    return Numbers::leading(text);
}

std::optional<double> MatchRule::amount(const QString& text, const QLocale& locale) {
    return Numbers::amount(text, locale);
}

std::pair<double, double> MatchRule::surfaceRange(double wanted, const MatchTolerances& tolerances) {
    const double t = tolerances.surfaceTolerance / 100;
    return {wanted * (1 - t), wanted * (1 + t)};
}

std::pair<double, double> MatchRule::wantedRange(double offered, const MatchTolerances& tolerances) {
    const double t = tolerances.surfaceTolerance / 100;
    return {offered / (1 + t), t < 1 ? offered / (1 - t) : std::numeric_limits<double>::max()};
}

QString MatchRule::money(double value) const {
    const bool whole = std::floor(value) == value;
    return m_locale.toString(value, 'f', whole ? 0 : 2) + QStringLiteral(" €");
}

// The same surfaces, budgets and amounts come back row after row: each text is read, and
// each number written, once while it stays here.
std::optional<double> MatchRule::read(NumberTexts& numbers, const QString& text, bool isSurface) {
    for (int i = 0; i < numbers.filled; ++i)
        if (numbers.recent[i] == text) {
            numbers.older = 1 - i;
            return numbers.recentValue[i];
        }
    if (numbers.kept.size() >= mostKept)
        numbers.kept.clear();
    auto found = numbers.kept.constFind(text);
    if (found == numbers.kept.constEnd())
        found = numbers.kept.insert(text, isSurface ? surface(text, m_locale) : amount(text, m_locale));
    const int slot = numbers.filled < 2 ? numbers.filled++ : numbers.older;
    numbers.recent[slot] = text;
    numbers.recentValue[slot] = *found;
    numbers.older = 1 - slot;
    return *found;
}

std::optional<double> MatchRule::readSurface(const QString& text) {
    return read(m_surfaces, text, true);
}

std::optional<double> MatchRule::readAmount(const QString& text) {
    return read(m_amounts, text, false);
}

QString MatchRule::shownNumber(double value) {
    if (m_shownNumbers.size() >= mostKept)
        m_shownNumbers.clear();
    auto found = m_shownNumbers.constFind(value);
    if (found == m_shownNumbers.constEnd())
        found = m_shownNumbers.insert(value, Numbers::shown(value, m_locale));
    return *found;
}

QString MatchRule::shownMoney(double value) {
    if (m_shownMoney.size() >= mostKept)
        m_shownMoney.clear();
    auto found = m_shownMoney.constFind(value);
    if (found == m_shownMoney.constEnd())
        found = m_shownMoney.insert(value, money(value));
    return *found;
}

bool MatchRule::contains(const QString& text, const QString& piece) {
    if (piece.isEmpty())
        return true;
    auto pattern = m_patterns.value(piece);
    if (!pattern) {
        if (m_patterns.size() >= mostKept)
            m_patterns.clear();
        pattern = std::make_shared<LikePattern>(QLatin1Char('*') + piece + QLatin1Char('*'));
        m_patterns.insert(piece, pattern);
    }
    return pattern->matches(text);
}

bool MatchRule::samePurpose(const QString& offered, const QString& wanted) {
    return offered.trimmed().compare(wanted.trimmed(), Qt::CaseInsensitive) == 0;
}

bool MatchRule::samePurposeAndType(const PropertyTerms& property, const RequestTerms& request) {
    if (!samePurpose(property.purpose, request.purpose))
        return false;
    // Type: either one contains the other, as the office's searches read it from each side.
    // Rows come in runs of the same type: the last verdict first.
    if (m_lastVerdict && property.type == m_lastOffered && request.type == m_lastWanted)
        return *m_lastVerdict;
    const QString offeredType = property.type.trimmed();
    const QString wantedType = request.type.trimmed();
    const QString typeKey = offeredType + QChar(0) + wantedType;
    auto verdict = m_verdicts.constFind(typeKey);
    if (verdict == m_verdicts.constEnd()) {
        if (m_verdicts.size() >= mostKept)
            m_verdicts.clear();
        verdict = m_verdicts.insert(typeKey, contains(wantedType, offeredType) || contains(offeredType, wantedType));
    }
    m_lastOffered = property.type;
    m_lastWanted = request.type;
    m_lastVerdict = *verdict;
    return *verdict;
}

bool MatchRule::withinTolerances(const QString& offeredSurface, const QString& wantedSurface, const QString& price,
                                 const QString& budget) {
    // The same tests as match() makes, in the same terms.
    const std::optional<double> offered = readSurface(offeredSurface);
    const std::optional<double> wanted = readSurface(wantedSurface);
    if (positive(offered) && positive(wanted) &&
        std::abs(*offered - *wanted) * 100 > m_tolerances.surfaceTolerance * *wanted)
        return false;
    const std::optional<double> asked = readAmount(price);
    const std::optional<double> affordable = readAmount(budget);
    return !(positive(asked) && positive(affordable) &&
             std::max(0.0, *asked - *affordable) * 100 > m_tolerances.priceTolerance * *affordable);
}

MatchResult MatchRule::match(const PropertyTerms& property, const RequestTerms& request) {
    MatchResult result;
    if (!samePurposeAndType(property, request))
        return result;
    const QString offeredType = property.type.trimmed();
    double score = typePoints;

    const std::optional<double> offered = readSurface(property.surface);
    const std::optional<double> wanted = readSurface(request.surface);
    if (positive(offered) && positive(wanted)) {
        const double off = std::abs(*offered - *wanted);
        // Compared as products, so a bound such as 99 against 90 at 10 % is exact.
        if (off * 100 > m_tolerances.surfaceTolerance * *wanted)
            return result;
        const double offPercent = off * 100 / *wanted;
        const double gained = off * 100 <= m_tolerances.surfaceBand * *wanted
                                  ? surfacePoints
                                  : points(offPercent, m_tolerances.surfaceBand, m_tolerances.surfaceTolerance,
                                           surfacePoints);
        score += gained;
        result.reasons << QStringLiteral("mq %1 (ne cerca %2)")
                              .arg(shownNumber(*offered), shownNumber(*wanted));
        if (gained < surfacePoints)
            result.misses << QStringLiteral("mq %1%2 % (ne cerca %3)")
                                 .arg(*offered > *wanted ? QStringLiteral("+") : QStringLiteral("-"),
                                      percent(offPercent), shownNumber(*wanted));
    } else {
        score += surfacePoints;
        result.reasons << (positive(wanted) ? QStringLiteral("mq non indicati (ne cerca %1)")
                                                  .arg(shownNumber(*wanted))
                                            : QStringLiteral("mq qualsiasi"));
    }

    const std::optional<double> price = readAmount(property.price);
    const std::optional<double> budget = readAmount(request.budget);
    if (positive(price) && positive(budget)) {
        const double over = std::max(0.0, *price - *budget);
        if (over * 100 > m_tolerances.priceTolerance * *budget)
            return result;
        const double overPercent = over * 100 / *budget;
        const double gained =
            over * 100 <= m_tolerances.priceBand * *budget
                ? pricePoints
                : points(overPercent, m_tolerances.priceBand, m_tolerances.priceTolerance, pricePoints);
        score += gained;
        result.reasons << QStringLiteral("prezzo %1 (budget %2)").arg(shownMoney(*price), shownMoney(*budget));
        if (gained < pricePoints)
            result.misses << QStringLiteral("prezzo +%1 % sul budget").arg(percent(overPercent));
    } else {
        // A request without a readable budget, or a property without a readable price,
        // is not held against either.
        score += pricePoints;
        if (positive(price))
            result.reasons << QStringLiteral("prezzo %1 (budget non indicato)").arg(shownMoney(*price));
        else if (positive(budget))
            result.reasons << QStringLiteral("prezzo non indicato (budget %1)").arg(shownMoney(*budget));
    }

    result.reasons << (offeredType.isEmpty() ? QStringLiteral("tipo non indicato")
                                             : QStringLiteral("tipo %1").arg(offeredType));

    const QString zone = property.zone.trimmed();
    if (!zone.isEmpty() && contains(request.note, zone)) {
        score += zonePoints;
        result.reasons << QStringLiteral("zona %1 nelle note").arg(zone);
    }

    result.score = std::clamp(static_cast<int>(std::lround(score)), 0, 100);
    result.kind = result.score >= m_tolerances.minimumScore ? MatchResult::Exact : MatchResult::NearMiss;
    return result;
}

MatchResult MatchRule::one(const PropertyTerms& property, const RequestTerms& request,
                           const MatchTolerances& tolerances, const QLocale& locale) {
    MatchRule rule(tolerances, locale);
    return rule.match(property, request);
}
