#include "Schema.h"

namespace Schema {

namespace {

using K = FieldKind;

QList<Table> makeTables() {
    return {
        {"immobile",
         {{"id", K::Key},
          {"proprietario", K::Text},
          {"telefono", K::Text},
          {"cellulare", K::Text},
          {"indirizzo", K::Text},
          {"noteprop", K::Text},
          {"tipologia", K::Text},
          {"zona", K::Text},
          {"indirizzoimmobile", K::Text},
          {"mq", K::Number},
          {"prezzo", K::Text},
          {"noteimmobile", K::Text},
          {"motivo", K::Text}}},
        {"richiesta",
         {{"id", K::Key},
          {"nome", K::Text},
          {"cognome", K::Text},
          {"telefono", K::Text},
          {"indirizzo", K::Text},
          {"tipo", K::Text},
          {"mq", K::Number},
          {"prezzo", K::Text},
          {"note", K::Text},
          {"motivo", K::Text}}},
        {"visite",
         {{"idimmobile", K::Number},
          {"idrichiesta", K::Number},
          {"nome", K::Text},
          {"cognome", K::Text},
          {"data", K::Text},
          {"note", K::Text}}},
        {"foto", {{"idimmobile", K::Number}, {"foto", K::Text}}},
        {"notizie",
         {{"id", K::Key},
          {"data", K::Date},
          {"notizia", K::Text},
          {"fonte", K::Text},
          {"telefono", K::Text},
          {"svilutto", K::Text}}},
        {"agenda",
         {{"id", K::Key},
          {"datap", K::Date},
          {"ora", K::Text},
          {"agente", K::Text},
          {"appuntamento", K::Text},
          {"note", K::Text}}},
    };
}

QString columnType(FieldKind kind) {
    switch (kind) {
    case K::Key:
        return QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    case K::Number:
        return QStringLiteral("NUMERIC");
    case K::Text:
    case K::Date:
        break;
    }
    return QStringLiteral("TEXT");
}

} // namespace

const QList<Table>& tables() {
    static const QList<Table> all = makeTables();
    return all;
}

const Table* table(const QString& name) {
    for (const Table& t : tables())
        if (t.name.compare(name, Qt::CaseInsensitive) == 0)
            return &t;
    return nullptr;
}

const Field* field(const QString& tableName, const QString& fieldName) {
    const Table* t = table(tableName);
    if (!t)
        return nullptr;
    for (const Field& f : t->fields)
        if (f.name.compare(fieldName, Qt::CaseInsensitive) == 0)
            return &f;
    return nullptr;
}

QStringList createStatements() {
    QStringList statements;
    for (const Table& t : tables()) {
        QStringList columns;
        for (const Field& f : t.fields)
            columns << f.name + QLatin1Char(' ') + columnType(f.kind);
        statements << QStringLiteral("CREATE TABLE %1 (%2)").arg(t.name, columns.join(QStringLiteral(", ")));
    }
    statements << QStringLiteral("CREATE INDEX foto_idimmobile ON foto (idimmobile)")
               << QStringLiteral("CREATE INDEX visite_idimmobile ON visite (idimmobile)")
               << QStringLiteral("CREATE INDEX agenda_datap ON agenda (datap)");
    return statements;
}

} // namespace Schema
