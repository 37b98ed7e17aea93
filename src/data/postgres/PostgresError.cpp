#include "data/postgres/PostgresError.h"

#include <QSqlError>

namespace PostgresError {

bool isConnectionLoss(const QSqlError& error) {
    const QString state = error.nativeErrorCode();
    if (state.size() != 5)
        return error.type() == QSqlError::ConnectionError || !error.databaseText().isEmpty();
    return state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("57P"));
}

QString describe(const QSqlError& error) {
    const QString state = error.nativeErrorCode();
    if (isConnectionLoss(error))
        return QStringLiteral("la connessione con il server PostgreSQL si è interrotta: riprovare quando il server "
                              "risponde di nuovo");
    if (state.size() != 5)
        return QStringLiteral("errore interno del programma nell'uso del database");
    const QString kind = state.left(2);
    if (state == QLatin1String("57014"))
        return QStringLiteral("l'operazione è stata interrotta");
    if (state == QLatin1String("42501"))
        return QStringLiteral("permesso negato: l'utente non può leggere o scrivere questa tabella");
    if (state == QLatin1String("42P01") || state == QLatin1String("42703"))
        return QStringLiteral("nel database manca una tabella o un campo");
    if (state == QLatin1String("25006"))
        return QStringLiteral("il database si può solo leggere");
    if (state == QLatin1String("53100"))
        return QStringLiteral("il disco del server è pieno");
    if (state == QLatin1String("54001"))
        return QStringLiteral("l'operazione è troppo complessa per il database");
    if (state == QLatin1String("2201B"))
        return QStringLiteral("il modello di ricerca non è valido");
    if (kind == QLatin1String("23"))
        return QStringLiteral("il valore non è ammesso dal database");
    if (kind == QLatin1String("22"))
        return QStringLiteral("il valore non è del tipo del campo, o è troppo grande");
    if (kind == QLatin1String("40") || kind == QLatin1String("55"))
        return QStringLiteral("il dato è in uso da un'altra postazione; riprovare tra poco");
    if (kind == QLatin1String("53"))
        return QStringLiteral("il server non ha risorse sufficienti (memoria o connessioni)");
    if (kind == QLatin1String("28"))
        return QStringLiteral("il server ha rifiutato l'accesso");
    return QStringLiteral("il server PostgreSQL ha risposto con l'errore %1").arg(state);
}

} // namespace PostgresError
