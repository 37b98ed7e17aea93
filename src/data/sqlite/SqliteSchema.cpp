#include "data/sqlite/SqliteSchema.h"

#include "data/sqlite/search/SearchIndex.h"

#include <QHash>

namespace SqliteSchema {

using Schema::SchemaObject;

namespace {

QString columnType(Schema::FieldKind kind) {
    switch (kind) {
    case Schema::FieldKind::Key:
        return QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    case Schema::FieldKind::Number:
        return QStringLiteral("NUMERIC");
    case Schema::FieldKind::Text:
    case Schema::FieldKind::Date:
        break;
    }
    return QStringLiteral("TEXT");
}

QList<SchemaObject> makeOwnObjects() {
    QList<SchemaObject> objects;
    for (const Schema::Table& t : Schema::tables()) {
        QStringList columns;
        for (const Schema::Field& f : t.fields)
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

QStringList createStatements() {
    QStringList statements;
    for (const SchemaObject& object : ownObjects())
        if (!object.implicit && !object.searchIndex)
            statements << object.sql;
    return statements;
}

} // namespace SqliteSchema
