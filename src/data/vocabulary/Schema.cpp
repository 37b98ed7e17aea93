#include "data/vocabulary/Schema.h"

#include <QHash>

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
         {{"idimmobile", K::Number, true},
          {"idrichiesta", K::Number, true},
          {"nome", K::Text},
          {"cognome", K::Text},
          {"data", K::Text},
          {"note", K::Text}}},
        {"foto", {{"idimmobile", K::Number, true}, {"foto", K::Text}}},
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

const QList<SearchField>& searchFields() {
    static const QList<SearchField> all = {
        {"immobile", "proprietario"}, {"immobile", "telefono"},          {"immobile", "cellulare"},
        {"immobile", "zona"},         {"immobile", "indirizzoimmobile"}, {"immobile", "noteimmobile"},
        {"richiesta", "nome"},        {"richiesta", "cognome"},          {"notizie", "notizia"},
        {"notizie", "telefono"}};
    return all;
}

bool isSearchField(const QString& table, const QString& field) {
    for (const SearchField& f : searchFields())
        if (f.table.compare(table, Qt::CaseInsensitive) == 0 && f.field.compare(field, Qt::CaseInsensitive) == 0)
            return true;
    return false;
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

QString normalisedSql(const QString& sql) {
    // Blanks go where they separate two words and nowhere else; quoted texts and
    // identifiers stay as written, everything else is lower-cased.
    QString out;
    out.reserve(sql.size());
    bool pendingBlank = false;
    const auto isWordChar = [](QChar c) {
        return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$');
    };
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (c.isSpace()) {
            pendingBlank = true;
            continue;
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('[')) {
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : c;
            if (pendingBlank && !out.isEmpty())
                out += QLatin1Char(' ');
            pendingBlank = false;
            qsizetype end = i + 1;
            while (end < sql.size()) {
                if (sql.at(end) == close) {
                    // A doubled quote is a quote inside the text.
                    if (close != QLatin1Char(']') && end + 1 < sql.size() && sql.at(end + 1) == close) {
                        end += 2;
                        continue;
                    }
                    break;
                }
                ++end;
            }
            out += sql.mid(i, end - i + 1);
            i = end;
            continue;
        }
        if (pendingBlank && !out.isEmpty() && isWordChar(out.back()) && isWordChar(c))
            out += QLatin1Char(' ');
        pendingBlank = false;
        out += c.toLower();
    }
    while (out.endsWith(QLatin1Char(';')))
        out.chop(1);
    return out;
}

} // namespace Schema
