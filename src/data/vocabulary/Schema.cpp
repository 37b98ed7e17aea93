#include "data/vocabulary/Schema.h"

#include "data/sqlite/search/SearchIndex.h"

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

namespace {

QList<SchemaObject> makeOwnObjects() {
    QList<SchemaObject> objects;
    for (const Table& t : tables()) {
        QStringList columns;
        for (const Field& f : t.fields)
            columns << f.name + QLatin1Char(' ') + columnType(f.kind);
        objects.append({QStringLiteral("table"), t.name,
                        QStringLiteral("CREATE TABLE %1 (%2)").arg(t.name, columns.join(QStringLiteral(", ")))});
    }
    // The photos and visits of one property are read at every move.
    objects.append({QStringLiteral("index"), QStringLiteral("foto_idimmobile"),
                    QStringLiteral("CREATE INDEX foto_idimmobile ON foto (idimmobile)")});
    objects.append({QStringLiteral("index"), QStringLiteral("visite_idimmobile"),
                    QStringLiteral("CREATE INDEX visite_idimmobile ON visite (idimmobile)")});
    // The diary's range of days.
    objects.append({QStringLiteral("index"), QStringLiteral("agenda_datap"),
                    QStringLiteral("CREATE INDEX agenda_datap ON agenda (datap)")});
    // AUTOINCREMENT keeps its counters here.
    objects.append({QStringLiteral("table"), QStringLiteral("sqlite_sequence"),
                    QStringLiteral("CREATE TABLE sqlite_sequence(name,seq)"), true});
    // Made by SQLite for a UNIQUE or PRIMARY KEY constraint of a table above, which is
    // itself compared whole; such an index holds no SQL of its own.
    objects.append({QStringLiteral("index"), QStringLiteral("sqlite_autoindex_*"), QString(), true});
    objects.append(SearchIndex::schemaObjects());
    return objects;
}

bool nameMatches(const QString& pattern, const QString& name) {
    if (pattern.endsWith(QLatin1Char('*')))
        return name.startsWith(pattern.chopped(1), Qt::CaseInsensitive);
    return name.compare(pattern, Qt::CaseInsensitive) == 0;
}

} // namespace

const QList<SchemaObject>& ownObjects() {
    static const QList<SchemaObject> all = makeOwnObjects();
    return all;
}

const SchemaObject* ownObject(const QString& type, const QString& name) {
    // Looked up for every object of a file at each open: by exact name first, then the few
    // names that stand for many.
    static const auto byName = [] {
        QHash<QString, const SchemaObject*> exact;
        QList<const SchemaObject*> patterns;
        for (const SchemaObject& object : ownObjects()) {
            const QString key = object.type.toLower() + QLatin1Char(' ') + object.name.toLower();
            if (object.name.endsWith(QLatin1Char('*')))
                patterns << &object;
            else if (!exact.contains(key))
                exact.insert(key, &object);
        }
        return std::pair{exact, patterns};
    }();
    if (const auto found = byName.first.constFind(type.toLower() + QLatin1Char(' ') + name.toLower());
        found != byName.first.cend())
        return *found;
    for (const SchemaObject* object : byName.second)
        if (object->type.compare(type, Qt::CaseInsensitive) == 0 && nameMatches(object->name, name))
            return object;
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

QStringList createStatements() {
    QStringList statements;
    for (const SchemaObject& object : ownObjects())
        if (!object.implicit && !object.searchIndex)
            statements << object.sql;
    return statements;
}

} // namespace Schema
