#include "data/sqlite/EngineError.h"

#include "platform/files/RegularFile.h"

#include <QFileInfo>
#include <QSqlError>
#include <sqlite3.h>

namespace EngineError {

namespace {

QString cannotOpen(const QString& path) {
    if (path.isEmpty())
        return QStringLiteral("il file del database non si può aprire");
    if (const QString problem = RegularFile::problem(path); !problem.isEmpty())
        return QStringLiteral("il file %1").arg(problem);
    const QFileInfo file(path);
    if (!QFileInfo(file.absolutePath()).isWritable())
        return QStringLiteral("la cartella «%1» non permette di scrivere").arg(file.absolutePath());
    return QStringLiteral("il file del database non si può aprire");
}

} // namespace

QString describe(int sqliteCode, const QString& path) {
    // The file was deleted, moved or replaced under the open database: SQLite then only
    // reads what it still holds, but nothing is protected against writing.
    if (sqliteCode == SQLITE_READONLY_DBMOVED ||
        ((sqliteCode & 0xff) == SQLITE_READONLY && !path.isEmpty() && !QFileInfo::exists(path)))
        return QStringLiteral("il file del database è stato cancellato, spostato o sostituito mentre il programma lo "
                              "usava: chiudere il programma e riaprirlo");
    switch (sqliteCode & 0xff) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
        return QStringLiteral("nessun errore");
    case SQLITE_ERROR:
        return QStringLiteral("il database ha rifiutato l'operazione");
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return QStringLiteral("permesso negato");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("il database è in uso da un'altra operazione o da un altro programma");
    case SQLITE_NOMEM:
        return QStringLiteral("memoria insufficiente");
    case SQLITE_READONLY:
        return QStringLiteral("il database si può solo leggere (file o cartella protetti dalla scrittura)");
    case SQLITE_INTERRUPT:
        return QStringLiteral("l'operazione è stata interrotta");
    case SQLITE_IOERR:
        return QStringLiteral("errore di lettura o di scrittura del disco");
    case SQLITE_CORRUPT:
        return QStringLiteral("il database è danneggiato");
    case SQLITE_FULL:
        return QStringLiteral("il disco è pieno");
    case SQLITE_CANTOPEN:
        return cannotOpen(path);
    case SQLITE_PROTOCOL:
        return QStringLiteral("il file è bloccato da un altro programma");
    case SQLITE_SCHEMA:
        return QStringLiteral("la struttura del database è cambiata durante l'operazione");
    case SQLITE_TOOBIG:
        return QStringLiteral("il valore è troppo grande");
    case SQLITE_CONSTRAINT:
        return QStringLiteral("il valore non è ammesso dal database");
    case SQLITE_MISMATCH:
        return QStringLiteral("il valore non è del tipo del campo");
    case SQLITE_NOTADB:
        return QStringLiteral("il file non è un database valido");
    case SQLITE_RANGE:
    case SQLITE_MISUSE:
        return QStringLiteral("errore interno del programma nell'uso del database");
    default:
        break;
    }
    return QStringLiteral("il database ha risposto con l'errore %1").arg(sqliteCode);
}

QString describe(const QSqlError& error, const QString& path) {
    bool numeric = false;
    const int code = error.nativeErrorCode().toInt(&numeric);
    if (numeric)
        return describe(code, path);
    // Qt's own checks (a parameter count that does not match, a driver not loaded).
    return QStringLiteral("errore interno del programma nell'uso del database");
}

QString describeReading(const QSqlError& error) {
    bool isCode = false;
    const int code = error.nativeErrorCode().toInt(&isCode) & 0xff;
    const QString text = error.databaseText();
    if (!isCode)
        return QStringLiteral("il database non ha potuto leggere i dati");
    switch (code) {
    case 5:  // SQLITE_BUSY
    case 6:  // SQLITE_LOCKED
        return QStringLiteral("il database è occupato da un altro programma; riprovare tra poco");
    case 7:  // SQLITE_NOMEM
        return QStringLiteral("la memoria non basta");
    case 10:  // SQLITE_IOERR
    case 14:  // SQLITE_CANTOPEN
        return QStringLiteral("il file del database non si può leggere dal disco");
    case 11:  // SQLITE_CORRUPT
    case 26:  // SQLITE_NOTADB
        return QStringLiteral("il file del database è danneggiato");
    case 1:  // SQLITE_ERROR
        if (text.contains(QLatin1String("stack overflow")) || text.contains(QLatin1String("too large")) ||
            text.contains(QLatin1String("too many")))
            return QStringLiteral("la formula di selezione è troppo complessa per il database");
        if (text.contains(QLatin1String("no such")))
            return QStringLiteral("nel database manca una tabella o un campo che il report usa");
        break;
    default:
        break;
    }
    return QStringLiteral("il database ha dato l'errore numero %1").arg(code);
}

} // namespace EngineError
