#pragma once

#include <QHash>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class LikePattern;

// How far a property may stray from a request and still be offered: the office sets these.
struct MatchTolerances {
    double surfaceBand = 10;       // % off the wanted mq with full points
    double surfaceTolerance = 25;  // % off the wanted mq beyond which it is no match
    double priceBand = 5;          // % over the budget with full points
    double priceTolerance = 20;    // % over the budget beyond which it is no match
    int minimumScore = 60;         // below it, a match within the tolerances is a near miss

    bool operator==(const MatchTolerances&) const = default;
};

// What the rule reads of a property and of a request, as stored (numbers may be text).
struct PropertyTerms {
    qint64 id = 0;
    QString purpose;  // motivo
    QString type;     // tipologia
    QString surface;  // mq
    QString price;    // prezzo
    QString zone;     // zona
};
struct RequestTerms {
    qint64 id = 0;
    QString purpose;  // motivo
    QString type;     // tipo
    QString surface;  // mq wanted
    QString budget;   // prezzo
    QString note;     // note: a property's zone named there counts
};

struct MatchResult {
    enum Kind { None, NearMiss, Exact };
    Kind kind = None;
    int score = 0;        // out of 100
    QStringList reasons;  // why it fits, each in a few words
    QStringList misses;   // what costs it points, each in a few words

    QString reasonText() const { return reasons.join(QStringLiteral(" · ")); }
    QString missText() const { return misses.join(QStringLiteral(" · ")); }
};

// The one rule that says how well a property and a request fit, and why. Purpose must be
// equal; the type must be contained in the other's (the office's LIKE, either way round);
// surface and price score full points within their band and fewer out to the tolerance,
// beyond which there is no match; an unreadable surface, budget or price is not held
// against either side; the property's zone named in the request's note adds points.
//
// One side is fixed (the record the user is on) and many of the other side are scored
// against it, so its patterns are made once and the other side's types and zones,
// which repeat, are decided once each.
class MatchRule {
public:
    static constexpr int typePoints = 20;
    static constexpr int surfacePoints = 35;
    static constexpr int pricePoints = 35;
    static constexpr int zonePoints = 10;

    MatchRule(const MatchTolerances& tolerances, const QLocale& locale);
    ~MatchRule();

    const MatchTolerances& tolerances() const { return m_tolerances; }

    MatchResult match(const PropertyTerms& property, const RequestTerms& request);
    // The first test of match(), on purpose and type alone: false means no match whatever
    // the rest holds, so a search need read no more of that row.
    bool samePurposeAndType(const PropertyTerms& property, const RequestTerms& request);
    // Purposes are the same when they differ only in case and surrounding blanks.
    static bool samePurpose(const QString& offered, const QString& wanted);

    // Whether surface and price lie within the tolerances, as match() tests them: false means
    // no match, so a search need not read the rest of that row.
    bool withinTolerances(const QString& offeredSurface, const QString& wantedSurface, const QString& price,
                          const QString& budget);

    // The same for one pair, without keeping anything.
    static MatchResult one(const PropertyTerms& property, const RequestTerms& request,
                           const MatchTolerances& tolerances, const QLocale& locale);

    // How surfaces and prices are read: amounts as the property sheet and the printouts read
    // them (Numbers::amount); a surface as typed, or else the leading number of an old "80 mq".
    static std::optional<double> surface(const QString& text, const QLocale& locale);
    static std::optional<double> amount(const QString& text, const QLocale& locale);

    // The widest surfaces a request of `wanted` mq can be offered, and the other way round:
    // what a search may narrow its candidates by before the rule confirms each.
    static std::pair<double, double> surfaceRange(double wanted, const MatchTolerances& tolerances);
    static std::pair<double, double> wantedRange(double offered, const MatchTolerances& tolerances);

    QString money(double value) const;

private:
    bool contains(const QString& text, const QString& piece);
    std::optional<double> readSurface(const QString& text);
    std::optional<double> readAmount(const QString& text);
    QString shownNumber(double value);
    QString shownMoney(double value);

    MatchTolerances m_tolerances;
    QLocale m_locale;
    // Contains-patterns by the piece they look for, and their verdicts by text.
    QHash<QString, std::shared_ptr<LikePattern>> m_patterns;
    QHash<QString, bool> m_verdicts;
    QString m_lastOffered;
    QString m_lastWanted;
    std::optional<bool> m_lastVerdict;
    // Numbers read from texts, each text once: the two asked for last are looked at first,
    // as the record the user is on comes with every row.
    struct NumberTexts {
        QHash<QString, std::optional<double>> kept;
        QString recent[2];
        std::optional<double> recentValue[2];
        int older = 0;
        int filled = 0;
    };
    std::optional<double> read(NumberTexts& numbers, const QString& text, bool surface);
    NumberTexts m_surfaces;
    NumberTexts m_amounts;
    QHash<double, QString> m_shownNumbers;
    QHash<double, QString> m_shownMoney;
};
