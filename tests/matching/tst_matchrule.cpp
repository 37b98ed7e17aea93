#include "matching/MatchRule.h"

#include <QTest>

// The rule on hand-made pairs: what it scores, what it says and where its bounds lie.
class MatchRuleTest : public QObject {
    Q_OBJECT
private slots:
    void pairs_data();
    void pairs();
    void nearMissSaysWhatMisses();
    void rangesHoldEveryMatch();
};

Q_DECLARE_METATYPE(PropertyTerms)
Q_DECLARE_METATYPE(RequestTerms)

namespace {

const QLocale italian(QLocale::Italian, QLocale::Italy);

PropertyTerms offer(const QString& surface, const QString& price, const QString& type = QStringLiteral("Appartamento"),
                       const QString& zone = QString(), const QString& purpose = QStringLiteral("vendita")) {
    return {1, purpose, type, surface, price, zone};
}

RequestTerms ask(const QString& surface, const QString& budget, const QString& type = QStringLiteral("appartamento"),
                     const QString& note = QString(), const QString& purpose = QStringLiteral("vendita")) {
    return {2, purpose, type, surface, budget, note};
}

} // namespace

void MatchRuleTest::pairs_data() {
    QTest::addColumn<PropertyTerms>("offered");
    QTest::addColumn<RequestTerms>("wanted");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("score");
    QTest::addColumn<QString>("reasons");

    const int none = MatchResult::None, near = MatchResult::NearMiss, exact = MatchResult::Exact;
    // Defaults: mq full within 10 %, none past 25 %; price full to 5 % over, none past 20 %; minimum 60.
    QTest::newRow("the issue's example") << offer("95", "240000") << ask("90", "250.000") << exact << 90
                                         << "mq 95 (ne cerca 90) · prezzo 240.000 € (budget 250.000 €) · tipo Appartamento";
    QTest::newRow("zone named in the note") << offer("90", "250000", "Appartamento", "Centro")
                                            << ask("90", "250000", "", "vuole il centro storico") << exact << 100
                                            << "mq 90 (ne cerca 90) · prezzo 250.000 € (budget 250.000 €) · tipo Appartamento · zona Centro nelle note";
    QTest::newRow("other purpose") << offer("90", "1000") << ask("90", "1000", "appartamento", "", "affitto")
                                   << none << 0 << "";
    QTest::newRow("purpose ignores case and blanks") << offer("90", "") << ask("90", "", "", "", " Vendita ")
                                                     << exact << 90 << "mq 90 (ne cerca 90) · tipo Appartamento";
    QTest::newRow("other type") << offer("90", "") << ask("90", "", "villa") << none << 0 << "";
    QTest::newRow("wanted type contains the offered") << offer("90", "", "villa")
                                                      << ask("90", "", "villa o attico") << exact << 90
                                                      << "mq 90 (ne cerca 90) · tipo villa";
    QTest::newRow("offered type contains the wanted") << offer("90", "", "Villa a schiera")
                                                      << ask("90", "", "VILLA") << exact << 90
                                                      << "mq 90 (ne cerca 90) · tipo Villa a schiera";
    QTest::newRow("surface at the band, 99 for 90") << offer("99", "") << ask("90", "") << exact << 90
                                                    << "mq 99 (ne cerca 90) · tipo Appartamento";
    QTest::newRow("surface halfway, 94 for 80") << offer("94", "") << ask("80", "") << exact << 73
                                                << "mq 94 (ne cerca 80) · tipo Appartamento";
    QTest::newRow("surface at the tolerance, 75 for 100") << offer("75", "") << ask("100", "") << near << 55
                                                           << "mq 75 (ne cerca 100) · tipo Appartamento";
    QTest::newRow("surface past the tolerance") << offer("74", "") << ask("100", "") << none << 0 << "";
    QTest::newRow("legacy mq text") << offer("80 mq", "") << ask("80 mq", "") << exact << 90
                                    << "mq 80 (ne cerca 80) · tipo Appartamento";
    QTest::newRow("wanted mq missing") << offer("80", "") << ask("", "") << exact << 90
                                       << "mq qualsiasi · tipo Appartamento";
    QTest::newRow("offered mq missing") << offer("", "") << ask("80", "") << exact << 90
                                        << "mq non indicati (ne cerca 80) · tipo Appartamento";
    QTest::newRow("price under the budget") << offer("90", "100000") << ask("90", "250000") << exact << 90
                                            << "mq 90 (ne cerca 90) · prezzo 100.000 € (budget 250.000 €) · tipo Appartamento";
    QTest::newRow("price at the band") << offer("90", "105000") << ask("90", "100.000") << exact << 90
                                       << "mq 90 (ne cerca 90) · prezzo 105.000 € (budget 100.000 €) · tipo Appartamento";
    QTest::newRow("price at the tolerance") << offer("90", "120000") << ask("90", "100000") << near << 55
                                            << "mq 90 (ne cerca 90) · prezzo 120.000 € (budget 100.000 €) · tipo Appartamento";
    QTest::newRow("price past the tolerance") << offer("90", "120001") << ask("90", "100000") << none << 0 << "";
    QTest::newRow("budget 250k is not read") << offer("90", "240000") << ask("90", "250k") << exact << 90
                                             << "mq 90 (ne cerca 90) · prezzo 240.000 € (budget non indicato) · tipo Appartamento";
    QTest::newRow("budget da concordare") << offer("90", "900000") << ask("90", "da concordare") << exact << 90
                                          << "mq 90 (ne cerca 90) · prezzo 900.000 € (budget non indicato) · tipo Appartamento";
    QTest::newRow("price in words") << offer("90", "trattabile") << ask("90", "250.000") << exact << 90
                                    << "mq 90 (ne cerca 90) · prezzo non indicato (budget 250.000 €) · tipo Appartamento";
    QTest::newRow("price with cents") << offer("90", "99.999,50") << ask("90", "100000") << exact << 90
                                      << "mq 90 (ne cerca 90) · prezzo 99.999,50 € (budget 100.000 €) · tipo Appartamento";
    QTest::newRow("both short of their bands") << offer("105", "110000") << ask("84", "100000") << near << 43
                                               << "mq 105 (ne cerca 84) · prezzo 110.000 € (budget 100.000 €) · tipo Appartamento";
    QTest::newRow("wildcards in the zone are the office's LIKE") << offer("90", "", "", "C?ntro")
                                                                 << ask("90", "", "", "zona centro") << exact << 100
                                                                 << "mq 90 (ne cerca 90) · tipo non indicato · zona C?ntro nelle note";
    QTest::newRow("nan is a word") << offer("nan", "nan") << ask("90", "inf") << exact << 90
                                   << "mq non indicati (ne cerca 90) · tipo Appartamento";
}

void MatchRuleTest::pairs() {
    QFETCH(PropertyTerms, offered);
    QFETCH(RequestTerms, wanted);
    QFETCH(int, kind);
    QFETCH(int, score);
    QFETCH(QString, reasons);
    const MatchResult result = MatchRule::one(offered, wanted, MatchTolerances{}, italian);
    QCOMPARE(int(result.kind), kind);
    if (kind != MatchResult::None) {
        QCOMPARE(result.score, score);
        QCOMPARE(result.reasonText(), reasons);
    }
}

void MatchRuleTest::nearMissSaysWhatMisses() {
    const MatchResult result =
        MatchRule::one(offer("105", "111200"), ask("84", "100000"), MatchTolerances{}, italian);
    QCOMPARE(int(result.kind), int(MatchResult::NearMiss));
    QCOMPARE(result.missText(), QStringLiteral("mq +25 % (ne cerca 84) · prezzo +11 % sul budget"));

    // A minimum of 0 takes every pair within the tolerances; one over 100 none.
    MatchTolerances lenient;
    lenient.minimumScore = 0;
    QCOMPARE(int(MatchRule::one(offer("105", "111200"), ask("84", "100000"), lenient, italian).kind),
             int(MatchResult::Exact));
    // A band as wide as the tolerance gives full points up to it.
    MatchTolerances flat;
    flat.surfaceBand = flat.surfaceTolerance;
    QCOMPARE(MatchRule::one(offer("75", ""), ask("100", ""), flat, italian).score, 90);
}

// A search narrows its candidates by these ranges: none that the rule takes may lie outside.
void MatchRuleTest::rangesHoldEveryMatch() {
    const MatchTolerances tolerances;
    for (int wanted = 1; wanted <= 200; ++wanted) {
        const auto [low, high] = MatchRule::surfaceRange(wanted, tolerances);
        for (int offered = 1; offered <= 300; ++offered) {
            const bool fits = MatchRule::one(offer(QString::number(offered), ""),
                                             ask(QString::number(wanted), ""), tolerances, italian)
                                  .kind != MatchResult::None;
            const auto [wantedLow, wantedHigh] = MatchRule::wantedRange(offered, tolerances);
            if (fits) {
                QVERIFY2(offered >= low - 1e-9 && offered <= high + 1e-9, qPrintable(QString::number(offered)));
                QVERIFY2(wanted >= wantedLow - 1e-9 && wanted <= wantedHigh + 1e-9, qPrintable(QString::number(wanted)));
            }
        }
    }
}

QTEST_GUILESS_MAIN(MatchRuleTest)
#include "tst_matchrule.moc"
