#include "legacy/LegacyConversion.h"

#include "data/Database.h"
#include "data/EngineError.h"
#include "data/Schema.h"
#include "legacy/JetFile.h"
#include "legacy/PhotoLookup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <algorithm>

namespace {

using Kind = JetValue::Kind;

// A value as its new field keeps it; `why` says why it is listed, when it is.
struct Placed {
    QVariant value;
    QString why;
};

QVariant nullValue() { return QVariant(QMetaType(QMetaType::QString)); }

const QString outOfRange = QStringLiteral("è una data fuori dagli anni 100–9999: tenuta come numero di giorni");

bool isPlainNumber(const QString& text) {
    static const QRegularExpression number(QStringLiteral("^\\s*[+-]?(\\d+(\\.\\d*)?|\\.\\d+)([eE][+-]?\\d+)?\\s*$"));
    return number.match(text).hasMatch();
}

// A date of the old file whose year the program can show, or nothing (and why in `why`).
std::optional<QDateTime> usableDate(const JetValue& value, QString& why) {
    const auto when = JetText::dateTime(value.real);
    if (!when || when->date().year() < 100) {
        why = outOfRange;
        return std::nullopt;
    }
    return when;
}

Placed unplaceable(const JetValue& value, const QString& why) { return {JetText::plain(value), why}; }

Placed forKey(const JetValue& value) {
    if (value.kind == Kind::Integer && value.integer > 0)
        return {value.integer, {}};
    if (value.kind == Kind::Real && value.real >= 1 && value.real < 9e15 && value.real == std::trunc(value.real))
        return {qint64(value.real), {}};
    return {nullValue(), QStringLiteral("non è una chiave valida: la riga ha avuto una chiave nuova")};
}

Placed forNumber(const JetValue& value) {
    switch (value.kind) {
    case Kind::Null:
        return {nullValue(), {}};
    case Kind::Integer:
    case Kind::Bool:
        return {value.integer, {}};
    case Kind::Real:
        return {value.real, {}};
    case Kind::Currency:
    case Kind::Decimal:
        // The exact decimal: the column's numeric affinity keeps it as a number.
        return {JetText::plain(value), {}};
    case Kind::Text:
        if (value.text.trimmed().isEmpty())
            return {nullValue(), {}};
        if (isPlainNumber(value.text))
            return {value.text.trimmed(), {}};
        return unplaceable(value, QStringLiteral("non è un numero: tenuto come testo"));
    case Kind::DateTime:
        return unplaceable(value, QStringLiteral("è una data in un campo numerico: tenuta come testo"));
    case Kind::Binary:
        return unplaceable(value, QStringLiteral("sono dati binari: tenuti come testo esadecimale"));
    case Kind::Unreadable:
        return unplaceable(value, QStringLiteral("non si legge: tenuto come testo"));
    }
    return {nullValue(), {}};
}

Placed forText(const JetValue& value) {
    switch (value.kind) {
    case Kind::Null:
        return {nullValue(), {}};
    case Kind::Text:
        return {value.text, {}};
    case Kind::DateTime: {
        QString why;
        const auto when = usableDate(value, why);
        if (!when)
            return unplaceable(value, why);
        // A time without a day (Access keeps it on 30/12/1899) is just the time: "ora".
        const bool timeOnly = value.real >= 0 && value.real < 1 && when->time() != QTime(0, 0);
        return {JetText::shortText(*when, timeOnly), {}};
    }
    case Kind::Binary:
        return unplaceable(value, QStringLiteral("sono dati binari: tenuti come testo esadecimale"));
    case Kind::Unreadable:
        return unplaceable(value, QStringLiteral("non si legge: tenuto come testo"));
    default:
        return {JetText::plain(value), {}};
    }
}

Placed forDate(const JetValue& value) {
    switch (value.kind) {
    case Kind::Null:
        return {nullValue(), {}};
    case Kind::DateTime: {
        QString why;
        const auto when = usableDate(value, why);
        if (!when)
            return unplaceable(value, why);
        return {JetText::isoText(*when), {}};
    }
    case Kind::Text: {
        const QString text = value.text.trimmed();
        if (text.isEmpty())
            return {nullValue(), {}};
        // The old program wrote "today" as the regional short date.
        for (const char* format : {"d/M/yyyy", "yyyy-M-d", "d-M-yyyy", "d.M.yyyy"}) {
            const QDate date = QDate::fromString(text, QLatin1String(format));
            if (date.isValid())
                return {date.toString(Qt::ISODate), {}};
        }
        return unplaceable(value, QStringLiteral("non è una data: tenuta come testo"));
    }
    default:
        return unplaceable(value, QStringLiteral("non è una data: tenuta come testo"));
    }
}

Placed placed(const Schema::Field& field, const JetValue& value) {
    switch (field.kind) {
    case Schema::FieldKind::Key:
        return forKey(value);
    case Schema::FieldKind::Number:
        return forNumber(value);
    case Schema::FieldKind::Date:
        return forDate(value);
    case Schema::FieldKind::Text:
        break;
    }
    // Dates in text fields (the visit's date) are dd/MM/yyyy, as the old program wrote them.
    return forText(value);
}

// The new database while it fills: a connection of its own, one transaction.
class Target {
public:
    explicit Target(const QString& path)
        : m_path(path), m_name(QStringLiteral("velmora-legacy-") + QUuid::createUuid().toString(QUuid::WithoutBraces)) {}
    ~Target() {
        m_queries.clear();
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }

    Result open() {
        if (const Result made = Database::create(m_path); !made)
            return made;
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(m_path);
        if (!db.open())
            return failure(db.lastError());
        // A file that appears only once it is whole needs no journal on the way.
        QSqlQuery pragmas(db);
        for (const char* sql : {"PRAGMA journal_mode = OFF", "PRAGMA synchronous = OFF", "BEGIN"})
            if (!pragmas.exec(QLatin1String(sql)))
                return failure(pragmas.lastError());
        return Result::success();
    }

    // The statement that inserts rows of these fields into a table, prepared once.
    QSqlQuery* statement(const QString& table, const QStringList& fields, Result& prepared) {
        const QString key = table + QLatin1Char(':') + fields.join(QLatin1Char(','));
        auto found = m_queries.find(key);
        if (found == m_queries.end()) {
            auto query = std::make_unique<QSqlQuery>(QSqlDatabase::database(m_name, false));
            const QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                    .arg(table, fields.join(QStringLiteral(", ")),
                                         QStringList(fields.size(), QStringLiteral("?")).join(QLatin1Char(',')));
            if (!query->prepare(sql)) {
                prepared = failure(query->lastError());
                return nullptr;
            }
            found = m_queries.emplace(key, std::move(query)).first;
        }
        prepared = Result::success();
        return found->second.get();
    }

    // Inserts one row; `refused` is set when a constraint refused it (a key given twice).
    Result insert(QSqlQuery& query, const QVariantList& values, bool& refused) {
        refused = false;
        for (int i = 0; i < values.size(); ++i)
            query.bindValue(i, values.at(i));
        if (!query.exec()) {
            // SQLITE_CONSTRAINT, or one of its extended codes (a key given twice).
            refused = (query.lastError().nativeErrorCode().toInt() & 0xFF) == 19;
            if (!refused)
                return failure(query.lastError());
        }
        return Result::success();
    }

    Result insert(const QString& table, const QStringList& fields, const QVariantList& values, bool& refused) {
        Result prepared = Result::success();
        QSqlQuery* query = statement(table, fields, prepared);
        return query ? insert(*query, values, refused) : prepared;
    }

    std::optional<qint64> lastKey() {
        QSqlQuery query(QSqlDatabase::database(m_name, false));
        if (query.exec(QStringLiteral("SELECT last_insert_rowid()")) && query.next())
            return query.value(0).toLongLong();
        return std::nullopt;
    }

    Result commit() {
        m_queries.clear();
        QSqlQuery query(QSqlDatabase::database(m_name, false));
        if (!query.exec(QStringLiteral("COMMIT")))
            return failure(query.lastError());
        QSqlDatabase::database(m_name, false).close();
        return Result::success();
    }

private:
    Result failure(const QSqlError& error) const {
        return Result::failure(QStringLiteral("Il nuovo database «%1» non si può scrivere: %2.")
                                   .arg(QDir::toNativeSeparators(m_path), EngineError::describe(error, m_path)));
    }

    QString m_path;
    QString m_name;
    std::map<QString, std::unique_ptr<QSqlQuery>> m_queries;
};

// A row whose key cannot be kept: written after the others, with a new key.
struct Deferred {
    QStringList fields;
    QVariantList values;
    qsizetype listedKey = -1; // its key's place in the report's listed values
};

class Conversion {
public:
    Conversion(const LegacyTables& jet, Target& target, const LegacyConversion::Options& options, ConversionReport& report)
        : m_jet(jet), m_target(target), m_options(options), m_report(report), m_photos(options.photoFolder) {}

    Result run() {
        QHash<QString, QString> jetTables; // folded name -> name in the file
        for (const QString& name : m_jet.tables())
            jetTables.insert(name.toCaseFolded(), name);
        qint64 total = 0;
        for (const Schema::Table& table : Schema::tables())
            if (jetTables.contains(table.name.toCaseFolded()))
                total += m_jet.rowCount(jetTables.value(table.name.toCaseFolded()));
        m_total = std::max<qint64>(total, 1);
        for (const Schema::Table& table : Schema::tables()) {
            const QString source = jetTables.take(table.name.toCaseFolded());
            if (source.isEmpty()) {
                m_report.missingTables << table.name;
                m_report.rows.append({table.name, 0});
                continue;
            }
            if (m_options.stage)
                m_options.stage(table.name);
            // Asked at each table too, so that a small archive can be stopped as well.
            if (!Progress::advance(m_options.progress, m_done, m_total))
                return Result::userCancelled();
            if (const Result copied = copyTable(table, source); !copied)
                return copied;
        }
        for (const QString& name : m_jet.tables())
            if (jetTables.contains(name.toCaseFolded()))
                m_report.extraTables << name;
        (void)Progress::advance(m_options.progress, m_total, m_total);
        return Result::success();
    }

private:
    Result copyTable(const Schema::Table& table, const QString& source) {
        // The file's column of each field of the table, by name without regard to case.
        QList<int> columnOf;
        QStringList fields;
        QList<const Schema::Field*> definitions;
        QSqlQuery* statement = nullptr;
        const Schema::Field* keyField = nullptr;
        // foto.foto: the photo's path, looked up in the old photo folder.
        const Schema::Field* photoField = Schema::field(QStringLiteral("foto"), QStringLiteral("foto"));
        qint64 copied = 0;
        QList<Deferred> deferred;
        Result failed = Result::success();
        bool stopped = false;
        qint64 rowNumber = 0;

        const auto onColumns = [&](const QList<LegacyTables::Column>& columns) {
            QList<bool> used(columns.size(), false);
            for (const Schema::Field& field : table.fields) {
                int found = -1;
                for (int i = 0; i < columns.size() && found < 0; ++i)
                    if (columns[i].name.compare(field.name, Qt::CaseInsensitive) == 0)
                        found = i;
                if (found < 0) {
                    m_report.missingFields << table.name + QLatin1Char('.') + field.name;
                    continue;
                }
                used[found] = true;
                columnOf << found;
                fields << field.name;
                definitions << &field;
                if (field.kind == Schema::FieldKind::Key)
                    keyField = &field;
            }
            for (int i = 0; i < columns.size(); ++i)
                if (!used[i])
                    m_report.extraFields << QStringLiteral("%1.%2 (%3)").arg(source, columns[i].name,
                                                                               columns[i].typeName);
        };

        const auto onRow = [&](const QList<JetValue>& row) {
            ++rowNumber;
            QVariantList values;
            values.reserve(fields.size());
            QList<ConversionReport::Listed> listed;
            // Named only when something of the row is listed: "chiave 12", or "riga 7".
            std::optional<qint64> key;
            bool newKey = false;
            const JetValue* oldKeyValue = nullptr;
            for (int i = 0; i < fields.size(); ++i) {
                const Schema::Field& field = *definitions[i];
                const JetValue& value = row.at(columnOf[i]);
                Placed one = placed(field, value);
                if (&field == keyField) {
                    oldKeyValue = &value;
                    if (one.why.isEmpty())
                        key = one.value.toLongLong();
                    else
                        newKey = true;
                } else if (&field == photoField) {
                    one.value = photoPath(one.value);
                }
                if (!one.why.isEmpty())
                    listed.append({table.name, QString(), field.name, JetText::plain(value), one.why});
                values << one.value;
            }
            QString label;
            if (!listed.isEmpty())
                label = key ? QStringLiteral("chiave %1").arg(*key) : QStringLiteral("riga %1").arg(rowNumber);
            for (ConversionReport::Listed& item : listed)
                item.row = label;
            if (newKey) {
                const auto at = std::find_if(listed.cbegin(), listed.cend(),
                                             [&](const auto& item) { return item.field == keyField->name; });
                deferred.append({fields, values, m_report.values.size() + (at - listed.cbegin())});
                m_report.values << listed;
                return advance(stopped);
            }
            bool refused = false;
            if (!statement) {
                Result prepared = Result::success();
                statement = m_target.statement(table.name, fields, prepared);
                if (!statement) {
                    failed = prepared;
                    return false;
                }
            }
            if (const Result written = m_target.insert(*statement, values, refused); !written) {
                failed = written;
                return false;
            }
            if (refused && keyField) {
                // A key given twice in the old file: the second row gets a new key.
                label = QStringLiteral("riga %1").arg(rowNumber);
                const QString oldKey = oldKeyValue ? JetText::plain(*oldKeyValue) : QString();
                for (ConversionReport::Listed& item : listed)
                    item.row = label;
                listed.prepend({table.name, label, keyField->name, oldKey,
                                QStringLiteral("è una chiave già usata: la riga ha avuto una chiave nuova")});
                deferred.append({fields, values, m_report.values.size()});
            } else if (refused) {
                failed = Result::failure(QStringLiteral("Una riga della tabella «%1» non si può scrivere.").arg(table.name));
                return false;
            } else {
                ++copied;
            }
            m_report.values << listed;
            return advance(stopped);
        };

        if (const Result read = m_jet.read(source, onColumns, onRow); !read)
            return read;
        if (!failed)
            return failed;
        if (stopped)
            return Result::userCancelled();
        // Rows without a usable key come last, with keys after the largest.
        for (Deferred& row : deferred) {
            const qsizetype keyAt = row.fields.indexOf(QStringLiteral("id"));
            if (keyAt >= 0)
                row.values[keyAt] = nullValue();
            bool refused = false;
            if (const Result written = m_target.insert(table.name, row.fields, row.values, refused); !written)
                return written;
            if (refused)
                return Result::failure(QStringLiteral("Una riga della tabella «%1» non si può scrivere.").arg(table.name));
            ++copied;
            if (row.listedKey >= 0 && row.listedKey < m_report.values.size())
                m_report.values[row.listedKey].why += QStringLiteral(" (%1)").arg(m_target.lastKey().value_or(0));
        }
        m_report.rows.append({table.name, copied});
        return Result::success();
    }

    // Stops the table's reading when the user asked to stop.
    bool advance(bool& stopped) {
        ++m_done;
        if (m_done % 512 == 0 && !Progress::advance(m_options.progress, m_done, m_total)) {
            stopped = true;
            return false;
        }
        return true;
    }

    QVariant photoPath(const QVariant& stored) {
        const QString path = stored.toString();
        if (path.trimmed().isEmpty())
            return stored;
        const QString found = m_photos.find(path);
        if (found.isEmpty()) {
            m_report.photosMissing << path;
            return stored;
        }
        ++m_report.photosFound;
        if (!m_options.photoTarget.isEmpty())
            return QDir(m_options.photoTarget).filePath(QFileInfo(found).fileName());
        return found;
    }

    const LegacyTables& m_jet;
    Target& m_target;
    const LegacyConversion::Options& m_options;
    ConversionReport& m_report;
    PhotoLookup m_photos;
    qint64 m_done = 0;
    qint64 m_total = 1;
};

} // namespace

namespace LegacyConversion {

QString convertedName(const QString& jetFile) {
    const QFileInfo info(jetFile);
    const QDir folder = info.dir();
    for (int n = 1;; ++n) {
        const QString name = info.completeBaseName() + QStringLiteral("-velmora") +
                             (n == 1 ? QString() : QStringLiteral("-%1").arg(n)) + QStringLiteral(".mdb");
        if (!QFileInfo::exists(folder.filePath(name)))
            return folder.filePath(name);
    }
}

Result convert(const QString& jetFile, const QString& target, const Options& options, ConversionReport& report) {
    std::unique_ptr<JetFile> jet;
    if (const Result opened = JetFile::open(jetFile, jet); !opened)
        return opened;
    report.source = jetFile;
    return convert(*jet, target, options, report);
}

Result convert(const LegacyTables& tables, const QString& target, const Options& options, ConversionReport& report) {
    const QString source = report.source;
    report = ConversionReport();
    report.source = source;
    report.target = target;
    report.version = tables.version();
    if (QFileInfo::exists(target))
        return Result::failure(
            QStringLiteral("Il file «%1» esiste già: il vecchio archivio si converte solo in un file nuovo.")
                .arg(QDir::toNativeSeparators(target)));
    // Filled under a name of its own, so the new database appears only when it is whole.
    const QString partial = target + QStringLiteral(".parziale");
    QFile::remove(partial);
    Result done = Result::success();
    {
        Target writer(partial);
        done = writer.open();
        if (done) {
            Conversion conversion(tables, writer, options, report);
            done = conversion.run();
        }
        if (done)
            done = writer.commit();
    }
    if (done && !QFile::rename(partial, target))
        done = Result::failure(QStringLiteral("Il nuovo database «%1» non si può mettere al suo posto.")
                                   .arg(QDir::toNativeSeparators(target)));
    if (!done) {
        QFile::remove(partial);
        if (done.cancelled())
            return Result::userCancelled(QStringLiteral("Conversione interrotta: il nuovo database non è stato creato."));
    }
    return done;
}

} // namespace LegacyConversion
