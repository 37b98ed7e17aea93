#include "StoredAmounts.h"
#include "data/vocabulary/FieldFormat.h"
#include "data/vocabulary/Numbers.h"
#include "platform/Regional.h"

#include <QRandomGenerator>
#include <QTest>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

const QLocale italian(QLocale::Italian, QLocale::Italy);
const QLocale english(QLocale::English, QLocale::UnitedStates);

} // namespace

class NumbersTest : public QObject {
    Q_OBJECT

private slots:
    void typedNumbers_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("isNumber");
        QTest::addColumn<double>("number");
        QTest::newRow("regional decimals") << "12,5" << true << 12.5;
        QTest::newRow("regional thousands") << "1.000,5" << true << 1000.5;
        QTest::newRow("plain decimals") << "12.5" << true << 12.5;
        QTest::newRow("exponent") << "1e3" << true << 1000.0;
        QTest::newRow("blanks around") << " 80 " << true << 80.0;
        QTest::newRow("a unit after it") << "80 mq" << false << 0.0;
        QTest::newRow("not a number") << "nan" << false << 0.0;
        QTest::newRow("infinite") << "inf" << false << 0.0;
        QTest::newRow("negative infinite") << "-inf" << false << 0.0;
        QTest::newRow("infinity spelt out") << "Infinity" << false << 0.0;
        QTest::newRow("too large") << "1e400" << false << 0.0;
        QTest::newRow("too large, negative") << "-1e400" << false << 0.0;
        QTest::newRow("too large, regional") << "1,5e400" << false << 0.0;
    }

    void typedNumbers() {
        QFETCH(QString, typed);
        QFETCH(bool, isNumber);
        QFETCH(double, number);
        const std::optional<double> read = Numbers::typed(typed, italian);
        QCOMPARE(read.has_value(), isNumber);
        if (isNumber)
            QCOMPARE(*read, number);
        // The plain reader is stricter still: only finite numbers in the plain form.
        if (!isNumber)
            QVERIFY(!Numbers::plain(typed));
    }

    void leadingNumbers_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<double>("number");
        QTest::newRow("plain") << "120" << 120.0;
        QTest::newRow("with a unit") << "80 mq" << 80.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("thousands point") << "1.000" << 1.0;
        QTest::newRow("decimal comma") << "12,5" << 12.0;
        QTest::newRow("decimal point") << "12.5" << 12.5;
        QTest::newRow("blanks inside") << " 1 2 0 " << 120.0;
        QTest::newRow("sign") << "-5" << -5.0;
        QTest::newRow("exponent") << "1e3" << 1000.0;
        QTest::newRow("a word") << "cento" << 0.0;
        QTest::newRow("nan is a word") << "nan" << 0.0;
        QTest::newRow("too large is the largest") << "1e400 mq" << std::numeric_limits<double>::max();
        QTest::newRow("too large, negative") << "-1e400" << -std::numeric_limits<double>::max();
    }

    void leadingNumbers() {
        QFETCH(QString, typed);
        QFETCH(double, number);
        QCOMPARE(Numbers::leadingOrZero(typed), number);
    }

    // Whatever is written back reads back as the same number, in the formula and in a field.
    void writtenNumbersReadBackTheSame() {
        QList<double> values = {0,
                                1,
                                12.5,
                                999.5,
                                1000.5,
                                1234567.891,
                                1e15,
                                1e15 + 1,
                                123456789012345678.0,
                                1e20,
                                2e300,
                                1e-7,
                                1e-300,
                                5e-324,
                                0.1,
                                1.0 / 3,
                                -0.0,
                                -1000.5,
                                -1e300,
                                std::numeric_limits<double>::max(),
                                std::numeric_limits<double>::lowest()};
        QRandomGenerator random(20261207);
        for (int i = 0; i < 2000; ++i) {
            double value;
            do {
                const quint64 bits = random.generate64();
                std::memcpy(&value, &bits, sizeof value);
            } while (!std::isfinite(value));
            values << value << static_cast<double>(random.bounded(100000000)) / 100;
            if (const double rounded = std::round(value * 1000) / 1000; std::isfinite(rounded))
                values << rounded;
        }
        for (const QLocale& locale : {italian, english}) {
            for (const double value : values) {
                const QString text = Numbers::written(value, locale);
                QVERIFY2(Numbers::inFormula(text) == value, qPrintable(text));
                QVERIFY2(Numbers::typed(text, locale) == value, qPrintable(text));
                QVERIFY2(!text.contains(QLatin1Char('e')) && !text.contains(QLatin1Char(' ')), qPrintable(text));
            }
        }
        QCOMPARE(Numbers::written(1000.5, italian), QStringLiteral("1000,5"));
        QCOMPARE(Numbers::written(1000.5, english), QStringLiteral("1000.5"));
        QCOMPARE(Numbers::written(200000000, italian), QStringLiteral("200000000"));
    }

    // The one reading of stored amounts: texts as the office types them, numbers as stored.
    void storedAmounts() {
        for (const StoredAmount& amount : ::storedAmounts()) {
            QVERIFY2(Numbers::amount(amount.stored, italian) == amount.number, qPrintable(amount.stored));
            QVERIFY2(Numbers::amount(amount.stored.toUtf8(), italian) == amount.number, qPrintable(amount.stored));
        }
        // A number the engine holds as such is not read again as a text ("1.125" is not 1125).
        QCOMPARE(Numbers::amount(1.125, italian), 1.125);
        QCOMPARE(Numbers::amount(qint64(1100), italian), 1100.0);
        QVERIFY(!Numbers::amount(QVariant(), italian));
        QVERIFY(!Numbers::amount(std::numeric_limits<double>::quiet_NaN(), italian));
        QVERIFY(!Numbers::amount(QString(), italian));
    }

    void storedNumbersShowWithoutOverflow() {
        const Regional regional(italian);
        const Schema::Field* mq = Schema::field(QStringLiteral("immobile"), QStringLiteral("mq"));
        QCOMPARE(FieldFormat::shown(mq, 1000.0, regional), QStringLiteral("1000"));
        QCOMPARE(FieldFormat::shown(mq, 12.5, regional), QStringLiteral("12,5"));
        QCOMPARE(FieldFormat::shown(mq, 1e20, regional), QStringLiteral("100.000.000.000.000.000.000"));
        // Older files may hold an infinity: it shows, as no number of the integer range.
        const QString infinite = FieldFormat::shown(mq, std::numeric_limits<double>::infinity(), regional);
        QVERIFY2(!infinite.isEmpty() && !infinite.contains(QLatin1String("922")), qPrintable(infinite));
    }

    // An old archive's day with a time of day shows as the program shows days and times,
    // and what is shown reads back to the very value stored; other texts stay as they are.
    void aDateWithATimeShowsAndReadsBack() {
        const Regional regional(italian);
        const Schema::Field* data = Schema::field(QStringLiteral("notizie"), QStringLiteral("data"));
        const Schema::Field* datap = Schema::field(QStringLiteral("agenda"), QStringLiteral("datap"));
        QCOMPARE(FieldFormat::shown(data, QStringLiteral("2038-01-19T01:30:00"), regional),
                 QStringLiteral("19/01/2038 01:30:00"));
        QCOMPARE(FieldFormat::shown(datap, QStringLiteral("1999-12-31 23:59:58"), regional),
                 QStringLiteral("31/12/1999 23:59:58"));
        QCOMPARE(FieldFormat::shown(datap, QStringLiteral("2038-01-19"), regional), QStringLiteral("19/01/2038"));
        QCOMPARE(FieldFormat::shown(data, QStringLiteral("2038-01-19T01:30:00.250"), regional),
                 QStringLiteral("19/01/2038 01:30:00.250"));
        for (const char* kept : {"2038-01-19T25:00:00", "2038-01-19Tmezzogiorno", "2/12/2026", "2038-02-30T01:00:00"})
            QCOMPARE(FieldFormat::shown(data, QString::fromLatin1(kept), regional), QString::fromLatin1(kept));

        for (const char* stored : {"2038-01-19T01:30:00", "2038-01-19T01:30:00.250", "2038-01-19", "1999-06-15T09:05:07"})
            QCOMPARE(FieldFormat::storedDate(FieldFormat::shown(data, QString::fromLatin1(stored), regional), regional),
                     std::optional<QString>(QString::fromLatin1(stored)));
        QCOMPARE(FieldFormat::storedDate(QStringLiteral("20/01/2038 7.45"), regional),
                 std::optional<QString>(QStringLiteral("2038-01-20T07:45:00")));
        QCOMPARE(FieldFormat::storedDate(QStringLiteral("20/01/2038 00:00"), regional),
                 std::optional<QString>(QStringLiteral("2038-01-20")));
        for (const char* refused : {"20/01/2038 25:00", "20/01/2038 dopo", "ieri 10:00", "10:00", "31/02/2038 10:00"})
            QCOMPARE(FieldFormat::storedDate(QString::fromLatin1(refused), regional), std::nullopt);
    }
};

QTEST_MAIN(NumbersTest)
#include "tst_numbers.moc"
