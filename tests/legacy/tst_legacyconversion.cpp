#include "MemoryTables.h"
#include "FolderCheck.h"
#include "TestFolder.h"
#include "legacy/LegacyConversion.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

// The rules by which an old archive's rows become the program's: tables and fields by
// name in any case, keys kept, every character of a text, Currency exact, dates from their
// day count, and whatever cannot be placed kept as text and listed.
class LegacyConversionTest : public QObject {
    Q_OBJECT

private:
    using M = MemoryTables;

    static QList<LegacyTables::Column> columns(const QStringList& names) {
        QList<LegacyTables::Column> list;
        for (const QString& name : names)
            list.append({name, QStringLiteral("Testo")});
        return list;
    }


    static MemoryTables office() {
        const QString memo = QStringLiteral("Riga uno\r\nRiga\tdue\u00A0con spazio fisso, È così ").repeated(700);
        MemoryTables old;
        old.content.append({QStringLiteral("IMMOBILE"),
                            columns({"ID", "Proprietario", "telefono", "Indirizzo", "NoteProp", "tipologia", "zona",
                                     "indirizzoimmobile", "MQ", "Prezzo", "noteimmobile", "motivo", "Vecchio"}),
                            {{M::integer(5), M::text("Dell'Acqua Niccolò"), M::text("0521 123"), M::text("via Po 1"),
                              M::text("nota\r\ncon a capo"), M::text("villa"), M::text("centro"), M::text("via Roma 2"),
                              M::integer(120), M::currency(2500005000), M::text(memo), M::text("vendita"), M::boolean(true)},
                             {M::integer(12), M::text("Rossi"), M::null(), M::null(), M::null(), M::null(), M::null(),
                              M::null(), M::text("120 circa"), M::currency(std::numeric_limits<qint64>::max()), M::null(),
                              M::text("affitto"), M::boolean(false)},
                             {M::null(), M::text("Senza chiave"), M::null(), M::null(), M::null(), M::null(), M::null(),
                              M::null(), M::null(), M::null(), M::null(), M::null(), M::null()},
                             {M::integer(5), M::text("Chiave doppia"), M::null(), M::null(), M::null(), M::null(),
                              M::null(), M::null(), M::null(), M::null(), M::null(), M::null(), M::null()}}});
        old.content.append({QStringLiteral("Visite"),
                            columns({"idimmobile", "idrichiesta", "Nome", "cognome", "data", "note"}),
                            {{M::integer(5), M::integer(3), M::text("Anna"), M::text("Bianchi"), M::date(36161.0),
                              M::text("ok")},
                             {M::integer(12), M::null(), M::text("Ugo"), M::null(), M::text("03/04/2005"), M::null()}}});
        old.content.append({QStringLiteral("foto"),
                            columns({"IDIMMOBILE", "Foto"}),
                            {{M::integer(5), M::text("C:\\Programmi\\Immobiliare\\foto\\A1.JPG")},
                             {M::integer(5), M::text("C:\\Programmi\\Immobiliare\\foto\\manca.jpg")}}});
        old.content.append({QStringLiteral("notizie"),
                            columns({"id", "data", "notizia", "fonte", "telefono", "svilutto"}),
                            {{M::integer(1), M::date(50424.5), M::text("Vende"), M::null(), M::null(), M::null()},
                             {M::integer(2), M::text("7/1/1999"), M::null(), M::null(), M::null(), M::null()},
                             {M::integer(3), M::text("ieri"), M::null(), M::null(), M::null(), M::null()}}});
        old.content.append({QStringLiteral("AGENDA"),
                            columns({"id", "datap", "ora", "agente", "appuntamento", "note"}),
                            {{M::integer(7), M::date(36526.0), M::date(0.3958333333333333), M::text("Sara"),
                              M::text("Rogito"), M::null()},
                             {M::integer(8), M::date(-700000.0), M::text("10:00"), M::null(), M::null(), M::null()}}});
        old.content.append({QStringLiteral("Clienti"), columns({"x"}), {}});
        return old;
    }

private slots:
    void convertsTheOfficeKeepingEveryValue() {
        TestFolder folder;
        QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("foto")));
        folder.write(QStringLiteral("foto/a1.jpg"), "jpeg");
        const QString target = folder.file(QStringLiteral("daba-velmora.mdb"));
        ConversionReport report;
        report.source = folder.file(QStringLiteral("daba.mdb"));
        LegacyConversion::Options options;
        options.photoFolder = folder.file(QStringLiteral("foto"));
        const Result done = LegacyConversion::convert(office(), target, options, report);
        QVERIFY2(done.ok(), qPrintable(done.message()));

        const auto properties = FolderCheck::rows(target, QStringLiteral("SELECT id, proprietario, noteprop, mq, prezzo, noteimmobile, "
                                                            "typeof(mq), cellulare FROM immobile ORDER BY id"));
        QCOMPARE(properties.size(), 4);
        QCOMPARE(properties[0][0].toLongLong(), 5);
        QCOMPARE(properties[0][1].toString(), QStringLiteral("Dell'Acqua Niccolò"));
        QCOMPARE(properties[0][2].toString(), QStringLiteral("nota\r\ncon a capo"));
        QCOMPARE(properties[0][3].toLongLong(), 120);
        QCOMPARE(properties[0][4].toString(), QStringLiteral("250000.5"));
        QCOMPARE(properties[0][5].toString(), office().content[0].rows[0][10].text);
        QCOMPARE(properties[0][6].toString(), QStringLiteral("integer"));
        QVERIFY(properties[0][7].isNull());
        QCOMPARE(properties[1][0].toLongLong(), 12);
        QCOMPARE(properties[1][3].toString(), QStringLiteral("120 circa"));
        QCOMPARE(properties[1][4].toString(), QStringLiteral("922337203685477.5807"));
        // The row without a key and the second row with key 5 come after the largest key.
        QCOMPARE(properties[2][0].toLongLong(), 13);
        QCOMPARE(properties[2][1].toString(), QStringLiteral("Senza chiave"));
        QCOMPARE(properties[3][0].toLongLong(), 14);
        QCOMPARE(properties[3][1].toString(), QStringLiteral("Chiave doppia"));

        const auto visits = FolderCheck::rows(target, QStringLiteral("SELECT idimmobile, idrichiesta, nome, data FROM visite ORDER BY rowid"));
        QCOMPARE(visits.size(), 2);
        QCOMPARE(visits[0], (QVariantList{5, 3, "Anna", "01/01/1999"}));
        QVERIFY(visits[1][1].isNull());
        QCOMPARE(visits[1][3].toString(), QStringLiteral("03/04/2005"));
        const auto photos = FolderCheck::rows(target, QStringLiteral("SELECT foto FROM foto ORDER BY rowid"));
        QCOMPARE(photos[0][0].toString(), folder.file(QStringLiteral("foto/a1.jpg")));
        QCOMPARE(photos[1][0].toString(), QStringLiteral("C:\\Programmi\\Immobiliare\\foto\\manca.jpg"));
        const auto leads = FolderCheck::rows(target, QStringLiteral("SELECT data FROM notizie ORDER BY id"));
        QCOMPARE(leads, (QList<QVariantList>{{"2038-01-19T12:00:00"}, {"1999-01-07"}, {"ieri"}}));
        const auto diary = FolderCheck::rows(target, QStringLiteral("SELECT id, datap, ora FROM agenda ORDER BY id"));
        QCOMPARE(diary, (QList<QVariantList>{{7, "2000-01-01", "09:30"}, {8, "-700000", "10:00"}}));
        // New keys go on after the largest the old file gave.
        QCOMPARE(FolderCheck::rows(target, QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = 'agenda'"))[0][0].toLongLong(), 8);

        QCOMPARE(report.missingTables, QStringList{"richiesta"});
        QCOMPARE(report.extraTables, QStringList{"Clienti"});
        QCOMPARE(report.missingFields, QStringList{"immobile.cellulare"});
        QCOMPARE(report.extraFields, QStringList{"IMMOBILE.Vecchio (Testo)"});
        QStringList listed;
        for (const auto& one : report.values)
            listed << one.table + QLatin1Char('/') + one.row + QLatin1Char('/') + one.field + QLatin1Char('/') + one.value;
        QCOMPARE(listed, (QStringList{"immobile/chiave 12/mq/120 circa", "immobile/riga 3/id/",
                                      "immobile/riga 4/id/5", "notizie/chiave 3/data/ieri", "agenda/chiave 8/datap/-700000"}));
        QVERIFY(report.values[1].why.endsWith(QStringLiteral("(13)")));
        QCOMPARE(report.photosFound, 1);
        QCOMPARE(report.photosMissing, QStringList{"C:\\Programmi\\Immobiliare\\foto\\manca.jpg"});
        QVERIFY(report.anythingListed());
        const QString text = report.text();
        QVERIFY(text.contains(QStringLiteral("  immobile: 4\n")));
        QVERIFY(text.contains(QStringLiteral("Foto trovate: 1; non trovate: 1.")));

        QString written;
        QVERIFY(report.write(&written).ok());
        QCOMPARE(written, folder.file(QStringLiteral("daba-velmora-trasferimento.txt")));
        QFile file(written);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()), text);
    }

    // Stopped halfway, or into a file that exists, the conversion leaves no new file.
    void stoppedOrRefusedLeavesNothing() {
        struct Stop : Progress {
            bool advance(qint64, qint64) override { return false; }
        } stop;
        MemoryTables many;
        MemoryTables::Table table{QStringLiteral("agenda"), columns({"id", "note"}), {}};
        for (int i = 1; i <= 2000; ++i)
            table.rows.append({M::integer(i), M::text("x")});
        many.content.append(table);
        TestFolder folder;
        const QString target = folder.file(QStringLiteral("nuovo.mdb"));
        ConversionReport report;
        LegacyConversion::Options options;
        options.progress = &stop;
        const Result stopped = LegacyConversion::convert(many, target, options, report);
        QVERIFY(stopped.cancelled());
        QVERIFY(!QFileInfo::exists(target));
        QVERIFY(!QFileInfo::exists(target + QStringLiteral(".parziale")));

        folder.write(QStringLiteral("nuovo.mdb"), "mine");
        const Result refused = LegacyConversion::convert(many, target, {}, report);
        QVERIFY(!refused.ok());
        QCOMPARE(folder.read(QStringLiteral("nuovo.mdb")), QByteArray("mine"));
        QCOMPARE(LegacyConversion::convertedName(folder.file(QStringLiteral("nuovo.mdb"))),
                 folder.file(QStringLiteral("nuovo-velmora.mdb")));
    }
};

QTEST_GUILESS_MAIN(LegacyConversionTest)
#include "tst_legacyconversion.moc"
