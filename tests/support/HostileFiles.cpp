#include "HostileFiles.h"

#include "data/store/Database.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <sys/stat.h>
#include <unistd.h>

namespace HostileFiles {

namespace {

// A fresh database at the path, then the statements run on it.
void databaseWith(const QString& path, const QStringList& statements) {
    if (!Database::create(path).ok())
        qFatal("cannot create %s", qPrintable(path));
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (!db.open())
            qFatal("cannot open %s", qPrintable(path));
        QSqlQuery query(db);
        for (const QString& statement : statements)
            if (!query.exec(statement))
                qFatal("%s: %s", qPrintable(statement), qPrintable(query.lastError().text()));
        query.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

} // namespace

QStringList kinds() {
    return {QStringLiteral("testo"),      QStringLiteral("vuoto"),    QStringLiteral("troncato"),
            QStringLiteral("vista"),      QStringLiteral("colonna"),  QStringLiteral("senza rowid"),
            QStringLiteral("trigger"),    QStringLiteral("cartella"), QStringLiteral("fifo"),
            QStringLiteral("illeggibile")};
}

QString make(const QString& kind, const QString& path) {
    if (kind == QLatin1String("testo")) {
        writeBytes(path, "Elenco immobili\nvia Roma 1, 80 mq\n");
        return QStringLiteral("non è un database");
    }
    if (kind == QLatin1String("vuoto")) {
        writeBytes(path, QByteArray());
        return QStringLiteral("mancano le tabelle «immobile», «richiesta»");
    }
    if (kind == QLatin1String("troncato")) {
        QStringList fill{QStringLiteral("BEGIN")};
        for (int i = 0; i < 200; ++i)
            fill << QStringLiteral("INSERT INTO immobile (proprietario, noteimmobile) VALUES ('Rossi', '%1')")
                        .arg(QString(300, QLatin1Char('n')));
        fill << QStringLiteral("COMMIT");
        databaseWith(path, fill);
        QFile file(path);
        if (!file.resize(file.size() / 2))
            qFatal("cannot truncate %s", qPrintable(path));
        return QStringLiteral("danneggiato|incompleto");
    }
    if (kind == QLatin1String("vista")) {
        databaseWith(path, {QStringLiteral("DROP TABLE immobile"),
                            QStringLiteral("CREATE VIEW immobile AS SELECT * FROM richiesta")});
        return QStringLiteral("«immobile» non è una tabella");
    }
    if (kind == QLatin1String("colonna")) {
        databaseWith(path,
                     {QStringLiteral("ALTER TABLE immobile RENAME TO vecchio"),
                      QStringLiteral("CREATE TABLE immobile (id INTEGER PRIMARY KEY AUTOINCREMENT, proprietario TEXT, "
                                     "telefono TEXT, cellulare TEXT, indirizzo TEXT, noteprop TEXT, tipologia TEXT, "
                                     "zona TEXT, indirizzoimmobile TEXT, prezzo TEXT, noteimmobile TEXT, motivo TEXT)"),
                      QStringLiteral("DROP TABLE vecchio")});
        return QStringLiteral("nella tabella «immobile» manca la colonna «mq»");
    }
    if (kind == QLatin1String("senza rowid")) {
        databaseWith(path,
                     {QStringLiteral("ALTER TABLE immobile RENAME TO vecchio"),
                      QStringLiteral("CREATE TABLE immobile (id INTEGER PRIMARY KEY, proprietario TEXT, telefono TEXT, "
                                     "cellulare TEXT, indirizzo TEXT, noteprop TEXT, tipologia TEXT, zona TEXT, "
                                     "indirizzoimmobile TEXT, mq NUMERIC, prezzo TEXT, noteimmobile TEXT, motivo TEXT) "
                                     "WITHOUT ROWID"),
                      QStringLiteral("INSERT INTO immobile (id, proprietario) VALUES (7, 'Rossi')"),
                      QStringLiteral("DROP TABLE vecchio")});
        return QStringLiteral("la tabella «immobile» è dichiarata WITHOUT ROWID");
    }
    if (kind == QLatin1String("trigger")) {
        databaseWith(
            path, {QStringLiteral("CREATE TRIGGER svuota AFTER UPDATE ON immobile BEGIN DELETE FROM richiesta; END")});
        return QStringLiteral("il trigger «svuota»");
    }
    if (kind == QLatin1String("cartella")) {
        if (!QDir().mkpath(path))
            qFatal("cannot make %s", qPrintable(path));
        return QStringLiteral("cartella");
    }
    if (kind == QLatin1String("fifo")) {
        if (::mkfifo(QFile::encodeName(path).constData(), 0600) != 0)
            qFatal("cannot make a FIFO at %s", qPrintable(path));
        return QStringLiteral("non è un file normale");
    }
    if (kind == QLatin1String("illeggibile")) {
        databaseWith(path, {});
        QFile::setPermissions(path, QFileDevice::Permissions());
        if (::geteuid() == 0)
            return QString(); // the root user reads it all the same
        return QStringLiteral("permesso negato");
    }
    qFatal("unknown kind %s", qPrintable(kind));
}

QByteArray fingerprint(const QString& path) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return "assente";
    if (!S_ISREG(info.st_mode))
        return "tipo " + QByteArray::number(info.st_mode, 8);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "illeggibile " + QByteArray::number(info.st_size) + ' ' + QByteArray::number(qint64(info.st_mtime));
    return file.readAll();
}

} // namespace HostileFiles
