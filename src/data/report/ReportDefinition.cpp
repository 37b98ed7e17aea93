#include "ReportDefinition.h"

#include "Schema.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

struct Invalid {
    QString why;
};

QString text(const QJsonObject& object, const char* key, const QString& fallback = {}) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return fallback;
    if (!value.isString())
        throw Invalid{QStringLiteral("«%1» deve essere un testo").arg(QLatin1String(key))};
    return value.toString();
}

QString tableName(const QJsonObject& object) {
    const QString table = text(object, "table");
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

QList<ReportDefinition::Column> readColumns(const QJsonObject& object, const QString& table) {
    const QJsonArray array = object.value(QLatin1String("columns")).toArray();
    if (array.isEmpty())
        throw Invalid{QStringLiteral("mancano le colonne di «%1»").arg(table)};
    QList<ReportDefinition::Column> result;
    for (const QJsonValue& value : array) {
        const QJsonObject column = value.toObject();
        ReportDefinition::Column c;
        c.field = fieldName(table, text(column, "field"));
        c.caption = text(column, "caption", c.field);
        c.width = column.value(QLatin1String("width")).toDouble(1);
        if (c.width <= 0)
            throw Invalid{QStringLiteral("la larghezza della colonna «%1» deve essere positiva").arg(c.caption)};
        const QString format = text(column, "format");
        if (!format.isEmpty() && format != QLatin1String("currency"))
            throw Invalid{QStringLiteral("il formato «%1» non esiste (si può usare «currency»)").arg(format)};
        c.currency = format == QLatin1String("currency");
        result << c;
    }
    return result;
}

QStringList sortFields(const QJsonObject& object, const QString& table) {
    QStringList result;
    for (const QJsonValue& value : object.value(QLatin1String("sort")).toArray())
        result << fieldName(table, value.toString());
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
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return Result::failure(QStringLiteral("Il file del report «%1» non è valido: non è un documento JSON (posizione %2).")
                                   .arg(path)
                                   .arg(error.offset));
    const QJsonObject root = document.object();
    ReportDefinition d;
    try {
        d.title = text(root, "title");
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
            const QJsonObject detail = root.value(QLatin1String("detail")).toObject();
            d.hasDetail = true;
            d.detail.title = text(detail, "title");
            d.detail.table = tableName(detail);
            d.detail.key = fieldName(d.detail.table, text(detail, "key"));
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
