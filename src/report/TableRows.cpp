#include "report/TableRows.h"

#include "data/store/Database.h"
#include "data/vocabulary/FieldFormat.h"
#include "data/vocabulary/Numbers.h"
#include "data/vocabulary/Schema.h"
#include "platform/Regional.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <optional>
#include <unordered_map>

namespace {

QString quoted(const QString& identifier) {
    return QLatin1Char('"') + identifier + QLatin1Char('"');
}

// The report's sort fields, then the engine's own order of the rows.
QString orderBy(const Database& database, const QString& table, const QStringList& fields) {
    QStringList terms;
    for (const QString& field : fields)
        terms << quoted(field);
    terms << database.keyColumn(table);
    return terms.join(QStringLiteral(", "));
}

// The rows from a given one to the end.
QString fromRow(const Database& database) {
    return database.isPostgres() ? QStringLiteral("OFFSET ?") : QStringLiteral("LIMIT -1 OFFSET ?");
}

} // namespace

struct TableRows::Private {
    ReportDefinition definition;
    std::shared_ptr<Database> database;
    QString where;
    QVariantList parameters;
    const Regional& regional;

    // What the rows are read with: a list reads only its own columns, as the engine spells
    // them (a field the table lacks stays an empty cell); a record reads the whole row,
    // its details need the record's key.
    QString readColumns = QStringLiteral("*");

    Result chooseColumns() {
        readColumns = QStringLiteral("*");
        if (definition.layout != ReportDefinition::Layout::List)
            return Result::success();
        QSqlQuery query(database->connection());
        if (!query.exec(QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(quoted(definition.table))))
            return Result::failure(database->describeReading(query.lastError()));
        const QSqlRecord record = query.record();
        QStringList names;
        for (const auto& column : definition.columns) {
            const int index = record.indexOf(column.field);
            if (index >= 0 && !names.contains(quoted(record.fieldName(index))))
                names << quoted(record.fieldName(index));
        }
        if (!names.isEmpty())
            readColumns = names.join(QStringLiteral(", "));
        return Result::success();
    }

    // The cells of the rows `from` selects, for the widths; a number column's numbers are told.
    Result eachCell(const QString& table, const QList<ReportDefinition::Column>& columns, const QString& from,
                    const Cell& cell) const {
        QSqlQuery query(database->connection());
        if (!query.exec(QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(quoted(table))))
            return Result::failure(database->describeReading(query.lastError()));
        const QSqlRecord record = query.record();
        QStringList fields;
        QList<qsizetype> read;  // the columns read, in the order of `fields`
        std::vector<const Schema::Field*> readFields;
        std::vector<bool> numeric;
        for (qsizetype i = 0; i < columns.size(); ++i) {
            const Schema::Field* field = Schema::field(table, columns.at(i).field);
            const bool isNumber = columns.at(i).currency ||
                                  (field && field->kind != Schema::FieldKind::Text && field->kind != Schema::FieldKind::Date);
            // A field the table lacks prints empty: nothing to measure (a number column reads it as always).
            if (!isNumber && record.indexOf(columns.at(i).field) < 0)
                continue;
            read << i;
            readFields.push_back(field);
            numeric.push_back(isNumber);
            fields << quoted(columns.at(i).field);
        }
        if (read.isEmpty())
            return Result::success();
        query.setForwardOnly(true);
        if (!query.prepare(QStringLiteral("SELECT %1 FROM %2").arg(fields.join(QStringLiteral(", ")), from)))
            return Result::failure(database->describeReading(query.lastError()));
        for (const QVariant& parameter : parameters)
            query.addBindValue(parameter);
        if (!query.exec())
            return Result::failure(database->describeReading(query.lastError()));
        while (query.next()) {
            for (qsizetype k = 0; k < read.size(); ++k) {
                const std::size_t at = static_cast<std::size_t>(k);
                const ReportDefinition::Column& column = columns.at(read.at(k));
                const QVariant stored = query.value(static_cast<int>(k));
                if (stored.isNull())
                    continue;
                // A word in a number column wraps like any text.
                const bool number = numeric[at] && isNumber(column, stored);
                cell(read.at(k), number && column.currency ? *money(stored) : cellText(readFields[at], column, stored),
                     number);
            }
        }
        if (query.lastError().isValid())
            return Result::failure(database->describeReading(query.lastError()));
        return Result::success();
    }

    // Reading a stored amount and writing it as money costs more than drawing it, and the
    // same amounts come back row after row and pass after pass: each stored text is read once
    // while it stays here (nothing when it is not a number). Emptied when full.
    static constexpr std::size_t moneyLimit = 4096;
    mutable std::unordered_map<QString, std::optional<QString>> moneyTexts;

    const std::optional<QString>& money(const QVariant& stored) const {
        if (moneyTexts.size() >= moneyLimit)
            moneyTexts.clear();
        // A text and a stored number that print alike ("1.125") are different amounts.
        const bool isText = stored.typeId() == QMetaType::QString || stored.typeId() == QMetaType::QByteArray;
        const auto [entry, added] = moneyTexts.try_emplace((isText ? QLatin1Char('t') : QLatin1Char('n')) + stored.toString());
        if (added) {
            if (const std::optional<double> value = Numbers::amount(stored, regional.locale()))
                entry->second = regional.currencyText(*value);
        }
        return entry->second;
    }

    bool isNumber(const ReportDefinition::Column& column, const QVariant& stored) const {
        if (stored.isNull())
            return false;
        if (column.currency)
            return money(stored).has_value();
        return stored.typeId() != QMetaType::QString && stored.typeId() != QMetaType::QByteArray;
    }

    QString cellText(const Schema::Field* field, const ReportDefinition::Column& column, const QVariant& stored) const {
        if (column.currency && !stored.isNull()) {
            if (const std::optional<QString>& text = money(stored))
                return *text;
        }
        return FieldFormat::shown(field, stored, regional);
    }
};

namespace {

// Reads the selected records from one of them on, and each record's detail rows.
class TableCursor : public ReportCursor {
public:
    TableCursor(const TableRows::Private& owner, int first) : m_owner(owner), m_main(owner.database->connection()) {
        const ReportDefinition& def = owner.definition;
        const Database& database = *owner.database;
        // SQLite hands the rows over one by one while the detail rows are read beside
        // them. A PostgreSQL connection serves one statement at a time, so there the
        // records come in blocks, each read whole before its details are asked for.
        m_blocks = database.isPostgres();
        m_main.setForwardOnly(!m_blocks);
        m_main.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 ORDER BY %4 %5")
                           .arg(owner.readColumns, quoted(def.table), owner.where, orderBy(database, def.table, def.sort),
                                m_blocks ? QStringLiteral("LIMIT %1 OFFSET ?").arg(blockSize) : fromRow(database)));
        m_offset = first;
        readBlock();
    }

    QString error() const override { return m_error; }

    bool nextRecord(QStringList& cells) override {
        if (!m_error.isEmpty())
            return false;
        const ReportDefinition& def = m_owner.definition;
        if (!m_main.next() && m_blocks && m_inBlock == blockSize && !m_main.lastError().isValid()) {
            m_offset += blockSize;
            readBlock();
            if (!m_error.isEmpty())
                return false;
            (void)m_main.next();
        }
        if (!m_main.isValid()) {
            if (m_main.lastError().isValid())
                m_error = m_owner.database->describeReading(m_main.lastError());
            return false;
        }
        // The whole record only where a detail needs its key; a list reads its columns.
        if (def.layout != ReportDefinition::Layout::List)
            m_record = m_main.record();
        m_detail.reset();
        cells = values(def.table, def.columns, m_main, m_mainColumns);
        return true;
    }

    void openDetail(int first) override {
        const ReportDefinition& def = m_owner.definition;
        m_detail = std::make_unique<QSqlQuery>(m_owner.database->connection());
        m_detail->setForwardOnly(true);
        const Database& database = *m_owner.database;
        m_detail->prepare(QStringLiteral("SELECT * FROM %1 WHERE %2 = ? ORDER BY %3 %4")
                              .arg(quoted(def.detail.table), quoted(def.detail.key),
                                   orderBy(database, def.detail.table, def.detail.sort), fromRow(database)));
        m_detail->addBindValue(m_record.value(def.detail.masterKey));
        m_detail->addBindValue(first);
        if (!m_detail->exec())
            m_error = m_owner.database->describeReading(m_detail->lastError());
    }

    bool nextDetail(QStringList& cells) override {
        if (!m_detail || !m_detail->next()) {
            m_detail.reset();
            return false;
        }
        cells = values(m_owner.definition.detail.table, m_owner.definition.detail.columns, *m_detail, m_detailColumns);
        return true;
    }

private:
    static constexpr int blockSize = 256;

    void readBlock() {
        const QVariantList& parameters = m_owner.parameters;
        for (qsizetype i = 0; i < parameters.size(); ++i)
            m_main.bindValue(static_cast<int>(i), parameters.at(i));
        m_main.bindValue(static_cast<int>(parameters.size()), m_offset);
        if (!m_main.exec())
            m_error = m_owner.database->describeReading(m_main.lastError());
        m_inBlock = m_blocks && m_main.isActive() ? m_main.size() : 0;
    }

    // Where each column is in the query's rows and how it is shown, found on its first row.
    struct Columns {
        std::vector<int> index;
        std::vector<const Schema::Field*> field;
    };

    QStringList values(const QString& table, const QList<ReportDefinition::Column>& columns, const QSqlQuery& query,
                       Columns& found) const {
        if (found.index.empty()) {
            const QSqlRecord record = query.record();
            for (const auto& column : columns) {
                found.index.push_back(record.indexOf(column.field));
                found.field.push_back(Schema::field(table, column.field));
            }
        }
        QStringList result;
        result.reserve(columns.size());
        for (qsizetype i = 0; i < columns.size(); ++i) {
            const int index = found.index[static_cast<std::size_t>(i)];
            result << m_owner.cellText(found.field[static_cast<std::size_t>(i)], columns.at(i),
                                       index >= 0 ? query.value(index) : QVariant());
        }
        return result;
    }

    const TableRows::Private& m_owner;
    QSqlQuery m_main;
    bool m_blocks = false;
    int m_offset = 0;   // of the block read last
    int m_inBlock = 0;  // its rows
    QSqlRecord m_record;
    Columns m_mainColumns;
    Columns m_detailColumns;
    std::unique_ptr<QSqlQuery> m_detail;
    QString m_error;
};

} // namespace

TableRows::TableRows(const ReportDefinition& definition, std::shared_ptr<Database> database, const QString& where,
                     const QVariantList& parameters, const Regional& regional)
    : d(std::make_unique<Private>(Private{definition, std::move(database), where, parameters, regional})) {}

TableRows::~TableRows() = default;

Result TableRows::prepare() {
    return d->chooseColumns();
}

Result TableRows::eachCell(bool detail, const Cell& cell) {
    const ReportDefinition& def = d->definition;
    const QString selected = QStringLiteral("%1 WHERE %2").arg(quoted(def.table), d->where);
    if (!detail)
        return d->eachCell(def.table, def.columns, selected, cell);
    const QString details = QStringLiteral("%1 WHERE %2 IN (SELECT %3 FROM %4)")
                                .arg(quoted(def.detail.table), quoted(def.detail.key), quoted(def.detail.masterKey),
                                     selected);
    return d->eachCell(def.detail.table, def.detail.columns, details, cell);
}

std::unique_ptr<ReportCursor> TableRows::read(int first) {
    return std::make_unique<TableCursor>(*d, first);
}
