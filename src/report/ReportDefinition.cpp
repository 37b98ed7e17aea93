#include "report/ReportDefinition.h"

#include "data/vocabulary/Schema.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

struct Invalid {
    QString why;
};

// A hand-edited file with a misspelt key would otherwise lose that setting without a word.
void onlyKnownKeys(const QJsonObject& object, const QStringList& known, const QString& where) {
    for (auto it = object.begin(); it != object.end(); ++it)
        if (!known.contains(it.key()))
            throw Invalid{QStringLiteral("la chiave «%1»%2 non esiste (si possono usare: %3)")
                              .arg(it.key(), where, known.join(QStringLiteral(", ")))};
}

QString text(const QJsonObject& object, const char* key, const QString& fallback = {}) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return fallback;
    if (!value.isString())
        throw Invalid{QStringLiteral("«%1» deve essere un testo").arg(QLatin1String(key))};
    return value.toString();
}

QString required(const QJsonObject& object, const char* key, const QString& where = {}) {
    const QString value = text(object, key);
    if (value.trimmed().isEmpty())
        throw Invalid{QStringLiteral("manca «%1»%2").arg(QLatin1String(key), where)};
    return value;
}

QJsonObject object(const QJsonValue& value, const QString& what) {
    if (!value.isObject())
        throw Invalid{QStringLiteral("%1 deve essere un oggetto tra graffe { }").arg(what)};
    return value.toObject();
}

QString tableName(const QJsonObject& object, const QString& where = {}) {
    const QString table = required(object, "table", where);
    if (!Schema::table(table))
        throw Invalid{QStringLiteral("la tabella «%1» non esiste").arg(table)};
    return Schema::table(table)->name;
}

QString fieldName(const QString& table, const QString& field) {
    const Schema::Field* found = Schema::field(table, field);
    if (!found)
        throw Invalid{QStringLiteral("il campo «%1» non esiste nella tabella «%2»").arg(field, table)};
    return found->name;
}

// Widths are shares of the page: beyond this a column's neighbours would vanish.
constexpr double maxWidth = 1000;

QList<ReportDefinition::Column> readColumns(const QJsonObject& owner, const QString& table) {
    const QJsonValue columns = owner.value(QLatin1String("columns"));
    if (!columns.isUndefined() && !columns.isArray())
        throw Invalid{QStringLiteral("«columns» di «%1» deve essere un elenco tra parentesi quadre [ ]").arg(table)};
    const QJsonArray array = columns.toArray();
    if (array.isEmpty())
        throw Invalid{QStringLiteral("mancano le colonne di «%1»").arg(table)};
    QList<ReportDefinition::Column> result;
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QString where = QStringLiteral(" nella colonna %1 di «%2»").arg(i + 1).arg(table);
        const QJsonObject column = object(array.at(i), QStringLiteral("la colonna %1 di «%2»").arg(i + 1).arg(table));
        onlyKnownKeys(
            column,
            {QStringLiteral("field"), QStringLiteral("caption"), QStringLiteral("width"), QStringLiteral("format")},
            where);
        ReportDefinition::Column c;
        c.field = fieldName(table, required(column, "field", where));
        c.caption = text(column, "caption", c.field);
        const QJsonValue width = column.value(QLatin1String("width"));
        if (!width.isUndefined()) {
            if (!width.isDouble() || !(width.toDouble() > 0) || width.toDouble() > maxWidth)
                throw Invalid{
                    QStringLiteral(
                        "la larghezza «width» della colonna «%1» deve essere un numero maggiore di 0 e al massimo %2")
                        .arg(c.caption)
                        .arg(maxWidth)};
            c.width = width.toDouble();
        }
        const QString format = text(column, "format");
        if (!format.isEmpty() && format != QLatin1String("currency"))
            throw Invalid{QStringLiteral("il formato «%1» non esiste (si può usare «currency»)").arg(format)};
        c.currency = format == QLatin1String("currency");
        result << c;
    }
    return result;
}

QStringList sortFields(const QJsonObject& object, const QString& table) {
    const QJsonValue sort = object.value(QLatin1String("sort"));
    if (sort.isUndefined() || sort.isNull())
        return {};
    if (!sort.isArray())
        throw Invalid{QStringLiteral("«sort» deve essere un elenco di campi tra parentesi quadre [ ]")};
    QStringList result;
    for (const QJsonValue& value : sort.toArray()) {
        if (!value.isString())
            throw Invalid{QStringLiteral("«sort» deve elencare nomi di campi tra virgolette")};
        result << fieldName(table, value.toString());
    }
    return result;
}

} // namespace

Result ReportDefinition::load(const QString& path, ReportDefinition& definition) {
    QFile file(path);
    if (!QFileInfo(path).isFile())
        return Result::failure(QStringLiteral("Il file del report «%1» non esiste.").arg(path));
    if (!file.open(QIODevice::ReadOnly))
        return Result::failure(QStringLiteral("Il file del report «%1» non si può leggere.").arg(path));
    return parse(file.readAll(), path, definition);
}

Result ReportDefinition::parse(const QByteArray& json, const QString& path, ReportDefinition& definition) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        return Result::failure(QStringLiteral("Il file del report «%1» non è valido: non è un documento JSON (posizione %2).")
                                   .arg(path)
                                   .arg(error.offset));
    if (!document.isObject())
        return Result::failure(
            QStringLiteral("Il file del report «%1» non è valido: non è un oggetto JSON tra graffe { }.").arg(path));
    const QJsonObject root = document.object();
    ReportDefinition d;
    try {
        onlyKnownKeys(root,
                      {QStringLiteral("title"), QStringLiteral("table"), QStringLiteral("layout"),
                       QStringLiteral("window"), QStringLiteral("columns"), QStringLiteral("sort"),
                       QStringLiteral("header"), QStringLiteral("footer"), QStringLiteral("empty"),
                       QStringLiteral("destination"), QStringLiteral("pdf"), QStringLiteral("detail")},
                      QString());
        d.title = required(root, "title");
        d.table = tableName(root);
        const QString layout = text(root, "layout", QStringLiteral("list"));
        if (layout != QLatin1String("list") && layout != QLatin1String("record"))
            throw Invalid{QStringLiteral("la disposizione «%1» non esiste (si può usare «list» o «record»)").arg(layout)};
        d.layout = layout == QLatin1String("record") ? Layout::Record : Layout::List;
        d.columns = readColumns(root, d.table);
        d.sort = sortFields(root, d.table);
        d.header = text(root, "header");
        d.footer = text(root, "footer");
        d.empty = text(root, "empty", d.empty);
        d.windowTitle = text(root, "window", d.title);
        const QString destination = text(root, "destination", QStringLiteral("preview"));
        if (destination == QLatin1String("preview"))
            d.destination = Destination::Preview;
        else if (destination == QLatin1String("printer"))
            d.destination = Destination::Printer;
        else if (destination == QLatin1String("pdf"))
            d.destination = Destination::Pdf;
        else
            throw Invalid{QStringLiteral("la destinazione «%1» non esiste (si può usare «preview», «printer» o «pdf»)")
                              .arg(destination)};
        d.pdfFile = text(root, "pdf");
        if (d.destination == Destination::Pdf && d.pdfFile.isEmpty())
            throw Invalid{QStringLiteral("con la destinazione «pdf» serve il nome del file in «pdf»")};

        if (root.contains(QLatin1String("detail"))) {
            const QJsonObject detail = object(root.value(QLatin1String("detail")), QStringLiteral("«detail»"));
            const QString where = QStringLiteral(" in «detail»");
            onlyKnownKeys(detail,
                          {QStringLiteral("title"), QStringLiteral("table"), QStringLiteral("key"),
                           QStringLiteral("masterKey"), QStringLiteral("columns"), QStringLiteral("sort"),
                           QStringLiteral("empty")},
                          where);
            d.hasDetail = true;
            d.detail.title = text(detail, "title");
            d.detail.table = tableName(detail, where);
            d.detail.key = fieldName(d.detail.table, required(detail, "key", where));
            d.detail.masterKey = fieldName(d.table, text(detail, "masterKey", QStringLiteral("id")));
            d.detail.columns = readColumns(detail, d.detail.table);
            d.detail.sort = sortFields(detail, d.detail.table);
            d.detail.empty = text(detail, "empty");
            if (d.layout != Layout::Record)
                throw Invalid{QStringLiteral("un dettaglio va con la disposizione «record»")};
        }
    } catch (const Invalid& invalid) {
        return Result::failure(QStringLiteral("Il file del report «%1» non è valido: %2.").arg(path, invalid.why));
    }
    definition = d;
    return Result::success();
}
