#include "TestFolder.h"
#include "legacy/JetFile.h"
#include "legacy/LegacyConversion.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>
#include <unistd.h>

// The reader of old Access files against real files written by Access, value by value
// against a second, independent reader (mdb-reader), and against hostile files.
class JetReaderTest : public QObject {
    Q_OBJECT

private:
    static QString sample(const QString& name) { return QStringLiteral(LEGACY_SAMPLES "/") + name; }

    // The file's checksum with its size and time of change (only the first 64 MB are
    // summed: the 2 GB sparse file is all zeros).
    static QByteArray checksum(const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QCryptographicHash hash(QCryptographicHash::Sha256);
        hash.addData(file.read(64 << 20));
        const QFileInfo info(path);
        return hash.result().toHex() + ' ' + QByteArray::number(info.size()) + ' ' +
               QByteArray::number(info.lastModified().toMSecsSinceEpoch());
    }

    // What mdb-reader reads from the file: {tables: [{name, columns, rows}]}.
    static QJsonObject otherReader(const QString& path) {
        QProcess node;
        node.setWorkingDirectory(QStringLiteral(MDB_READER_FOLDER));
        node.start(QStringLiteral("node"), {QStringLiteral(MDB_READER_FOLDER "/mdb-reader-dump.mjs"), path});
        if (!node.waitForFinished(120000) || node.exitCode() != 0)
            qWarning() << node.readAllStandardError();
        return QJsonDocument::fromJson(node.readAllStandardOutput()).object();
    }

    // One value of ours as mdb-reader gives it; a mismatch names itself.
    static QString mismatch(const JetValue& ours, const QJsonValue& theirs, const QString& type) {
        using Kind = JetValue::Kind;
        const auto differ = [&](const QString& mine) {
            return QStringLiteral("ours %1, mdb-reader %2").arg(mine, QString::fromUtf8(QJsonDocument(QJsonArray{theirs}).toJson(QJsonDocument::Compact)));
        };
        switch (ours.kind) {
        case Kind::Null:
            return theirs.isNull() ? QString() : differ(QStringLiteral("null"));
        case Kind::Integer:
            return theirs.isDouble() && theirs.toDouble() == double(ours.integer) ? QString() : differ(QString::number(ours.integer));
        case Kind::Real:
            if (type == QLatin1String("float"))
                return theirs.isDouble() && float(theirs.toDouble()) == float(ours.real) ? QString() : differ(QString::number(ours.real));
            return theirs.isDouble() && theirs.toDouble() == ours.real ? QString() : differ(QString::number(ours.real));
        case Kind::Currency:
            return theirs.toString() == JetText::currencyFull(ours.integer) ? QString() : differ(JetText::currencyFull(ours.integer));
        case Kind::Bool:
            return theirs.isBool() && theirs.toBool() == (ours.integer == 1) ? QString() : differ(QString::number(ours.integer));
        case Kind::DateTime: {
            const auto when = JetText::dateTime(ours.real);
            if (!when)
                return theirs.toString() == QLatin1String("invalid") ? QString() : differ(QString::number(ours.real));
            return theirs.isDouble() && qint64(theirs.toDouble()) == when->toMSecsSinceEpoch() ? QString() : differ(JetText::isoText(*when));
        }
        case Kind::Text:
        case Kind::Decimal:
            return theirs.toString() == ours.text ? QString() : differ(ours.text);
        case Kind::Binary:
            return theirs.toString() == QStringLiteral("0x") + QString::fromLatin1(ours.bytes.toHex()) ? QString() : differ(QStringLiteral("binary"));
        case Kind::Unreadable:
            return differ(ours.text);
        }
        return differ(QStringLiteral("?"));
    }

private slots:
    // Every value of every table, read by libmdb, is the value mdb-reader reads: Jet 4
    // dates of years 1000-9999, Jet 3 texts in cp1252 with memos and Currency, an .accdb.
    void everyValueAsTheOtherReaderReadsIt_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("version");
        QTest::newRow("jet4 dates") << "DateTestDatabase.mdb" << "Jet 4";
        QTest::newRow("jet3 northwind") << "nwind.mdb" << "Jet 3";
        QTest::newRow("accdb") << "ASampleDatabase.accdb" << "ACE (Access 2007 o successivo)";
    }
    void everyValueAsTheOtherReaderReadsIt() {
        QFETCH(QString, file);
        QFETCH(QString, version);
        const QString path = sample(file);
        const QByteArray before = checksum(path);
        const QJsonObject other = otherReader(path);
        QVERIFY2(other.contains(QStringLiteral("tables")), "mdb-reader could not read the sample");

        std::unique_ptr<JetFile> jet;
        const Result opened = JetFile::open(path, jet);
        QVERIFY2(opened.ok(), qPrintable(opened.message()));
        QCOMPARE(jet->version(), version);
        QStringList theirNames;
        for (const QJsonValue& table : other.value(QStringLiteral("tables")).toArray())
            theirNames << table.toObject().value(QStringLiteral("name")).toString();
        QCOMPARE(jet->tables(), theirNames);

        qint64 compared = 0;
        for (const QJsonValue& tableValue : other.value(QStringLiteral("tables")).toArray()) {
            const QJsonObject table = tableValue.toObject();
            const QString name = table.value(QStringLiteral("name")).toString();
            const QJsonArray theirRows = table.value(QStringLiteral("rows")).toArray();
            QStringList types;
            for (const QJsonValue& column : table.value(QStringLiteral("columns")).toArray())
                types << column.toObject().value(QStringLiteral("type")).toString();
            QStringList columnNames;
            QList<QList<JetValue>> rows;
            const Result read = jet->read(
                name,
                [&](const QList<LegacyTables::Column>& columns) {
                    for (const auto& column : columns)
                        columnNames << column.name;
                },
                [&](const QList<JetValue>& row) {
                    rows.append(row);
                    return true;
                });
            QVERIFY2(read.ok(), qPrintable(read.message()));
            QCOMPARE(columnNames.size(), types.size());
            QCOMPARE(rows.size(), theirRows.size());
            for (int r = 0; r < rows.size(); ++r)
                for (int c = 0; c < types.size(); ++c) {
                    const QString wrong = mismatch(rows[r][c], theirRows[r].toArray().at(c), types[c]);
                    QVERIFY2(wrong.isEmpty(),
                             qPrintable(QStringLiteral("%1 row %2 %3: %4").arg(name).arg(r).arg(columnNames[c], wrong)));
                    ++compared;
                }
        }
        QVERIFY(compared > 0);
        QCOMPARE(checksum(path), before);
    }

    // The texts of the Jet 3 sample keep their accented letters (cp1252), memos their
    // line breaks whole, and Currency its exact amount.
    void jet3TextsMemosAndCurrency() {
        std::unique_ptr<JetFile> jet;
        QVERIFY(JetFile::open(sample(QStringLiteral("nwind.mdb")), jet).ok());
        QVERIFY(jet->tables().contains(QStringLiteral("Umsätze")));
        bool accented = false;
        bool lineBreak = false;
        QStringList prices;
        const auto scan = [&](const QString& table) {
            return jet->read(table, [](const QList<LegacyTables::Column>&) {},
                             [&](const QList<JetValue>& row) {
                                 for (const JetValue& value : row) {
                                     accented |= value.kind == JetValue::Kind::Text && value.text.contains(QChar(0xE9));
                                     lineBreak |= value.kind == JetValue::Kind::Text && value.text.contains(QLatin1String("\r\n"));
                                     if (value.kind == JetValue::Kind::Currency && prices.size() < 3)
                                         prices << JetText::currency(value.integer);
                                 }
                                 return true;
                             });
        };
        QVERIFY(scan(QStringLiteral("Customers")).ok());
        QVERIFY(scan(QStringLiteral("Employees")).ok());
        QVERIFY(scan(QStringLiteral("Products")).ok());
        QVERIFY(accented);
        QVERIFY(lineBreak);
        QCOMPARE(prices, (QStringList{"18", "19", "10"}));
    }

    // A real Access file without the office's tables converts into an empty database,
    // every table of it listed as not copied, the file itself untouched.
    void realFileWithoutTheOfficeTables() {
        TestFolder folder;
        const QString old = sample(QStringLiteral("nwind.mdb"));
        const QByteArray before = checksum(old);
        const QString target = folder.file(QStringLiteral("nwind-velmora.mdb"));
        ConversionReport report;
        const Result done = LegacyConversion::convert(old, target, {}, report);
        QVERIFY2(done.ok(), qPrintable(done.message()));
        QVERIFY(QFileInfo::exists(target));
        QCOMPARE(report.version, QStringLiteral("Jet 3"));
        QCOMPARE(report.missingTables.size(), 6);
        QVERIFY(report.extraTables.contains(QStringLiteral("Umsätze")));
        QCOMPARE(checksum(old), before);
    }

    // Day counts into dates: the time of day also before 1899, years 1 to 9999 and no
    // further; Currency at its extremes without a double on the way.
    void dayCountsAndCurrency() {
        QCOMPARE(JetText::isoText(*JetText::dateTime(36526.0)), QStringLiteral("2000-01-01"));
        QCOMPARE(JetText::isoText(*JetText::dateTime(-1.25)), QStringLiteral("1899-12-29T06:00:00"));
        QCOMPARE(JetText::isoText(*JetText::dateTime(50424.5)), QStringLiteral("2038-01-19T12:00:00"));
        QCOMPARE(JetText::shortText(*JetText::dateTime(0.75), true), QStringLiteral("18:00"));
        QCOMPARE(JetText::shortText(*JetText::dateTime(36161.0), false), QStringLiteral("01/01/1999"));
        QCOMPARE(JetText::dateTime(2958465.0)->date(), QDate(9999, 12, 31));
        QVERIFY(!JetText::dateTime(2958466.0));
        QVERIFY(!JetText::dateTime(-700000.0));
        QVERIFY(!JetText::dateTime(std::numeric_limits<double>::quiet_NaN()));
        QCOMPARE(JetText::currency(std::numeric_limits<qint64>::max()), QStringLiteral("922337203685477.5807"));
        QCOMPARE(JetText::currency(std::numeric_limits<qint64>::min()), QStringLiteral("-922337203685477.5808"));
        QCOMPARE(JetText::currency(-1), QStringLiteral("-0.0001"));
        QCOMPARE(JetText::currencyFull(19955000), QStringLiteral("1995.5000"));
    }

    // Files that are not whole Jet files are refused in one Italian sentence, quickly,
    // and left as they were.
    void hostileFilesAreRefused_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("because");
        QTest::newRow("truncated mid-page") << "truncated" << "troncato";
        QTest::newRow("truncated at a page") << "short" << "danneggiat";
        QTest::newRow("page pointer out of range") << "pointer" << "danneggiat";
        QTest::newRow("zeros") << "zeros" << "non è un file di Access";
        QTest::newRow("2 GB sparse") << "sparse" << "non è un file di Access";
        QTest::newRow("text") << "text" << "non è un file di Access";
        QTest::newRow("folder") << "folder" << "cartella";
    }
    void hostileFilesAreRefused() {
        QFETCH(QString, kind);
        QFETCH(QString, because);
        TestFolder folder;
        const QString path = folder.file(QStringLiteral("daba.mdb"));
        QFile original(sample(QStringLiteral("DateTestDatabase.mdb")));
        QVERIFY(original.open(QIODevice::ReadOnly));
        QByteArray bytes = original.readAll();
        if (kind == QLatin1String("truncated")) {
            folder.write(QStringLiteral("daba.mdb"), bytes.left(bytes.size() / 2 + 100));
        } else if (kind == QLatin1String("short")) {
            folder.write(QStringLiteral("daba.mdb"), bytes.left(6 * 4096));
        } else if (kind == QLatin1String("pointer")) {
            // The table's page of definitions is the one naming its first column; its
            // pointer to the map of the table's pages is made to point past the end.
            const qsizetype at = bytes.indexOf(QByteArray("I\0D\0C\0o\0l\0", 10));
            QVERIFY(at > 0);
            const qsizetype page = at / 4096 * 4096;
            QCOMPARE(int(bytes[page]), 2);
            bytes[page + 56] = char(0xFF);
            bytes[page + 57] = char(0xFF);
            bytes[page + 58] = char(0x7F);
            folder.write(QStringLiteral("daba.mdb"), bytes);
        } else if (kind == QLatin1String("zeros")) {
            folder.write(QStringLiteral("daba.mdb"), QByteArray(64 * 4096, '\0'));
        } else if (kind == QLatin1String("sparse")) {
            QFile sparse(path);
            QVERIFY(sparse.open(QIODevice::WriteOnly));
            QVERIFY(sparse.resize(qint64(2) << 30));
        } else if (kind == QLatin1String("text")) {
            folder.write(QStringLiteral("daba.mdb"), "C:\\Programmi\\Immobiliare\\daba.mdb\r\n");
        } else {
            QVERIFY(QDir().mkpath(path));
        }
        const QByteArray before = QFileInfo(path).isDir() ? QByteArray() : checksum(path);

        QElapsedTimer clock;
        clock.start();
        std::unique_ptr<JetFile> jet;
        Result result = JetFile::open(path, jet);
        if (result)
            for (const QString& table : jet->tables()) {
                result = jet->read(table, [](const QList<LegacyTables::Column>&) {}, [](const QList<JetValue>&) { return true; });
                if (!result)
                    break;
            }
        QVERIFY2(!result.ok(), qPrintable(kind));
        QVERIFY2(result.message().contains(because), qPrintable(result.message()));
        QVERIFY(result.message().startsWith(QStringLiteral("Il file «")));
        QVERIFY(result.message().endsWith(QLatin1Char('.')) && !result.message().contains(QLatin1Char('\n')));
        QVERIFY2(clock.elapsed() < 10000, "a hostile file must not hold the reader");

        ConversionReport report;
        const QString target = folder.file(QStringLiteral("nuovo.mdb"));
        QVERIFY(!LegacyConversion::convert(path, target, {}, report).ok() || kind == QLatin1String("pointer") ||
                kind == QLatin1String("short"));
        QVERIFY(!QFileInfo::exists(target + QStringLiteral(".parziale")));
        if (!QFileInfo(path).isDir())
            QCOMPARE(checksum(path), before);
    }
};

QTEST_GUILESS_MAIN(JetReaderTest)
#include "tst_jetreader.moc"
