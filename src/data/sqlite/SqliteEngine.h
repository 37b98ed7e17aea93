#pragma once

#include "data/vocabulary/Engine.h"

#include <QString>
#include <memory>

class ColumnCache;
class SearchIndex;
class WriteLedger;
struct sqlite3;

// A SQLite file of the office: its rowid keys, its SQL functions, the criteria indexes
// and the search acceleration (the trigram index in the file and the text columns held
// in memory), and its error texts.
class SqliteEngine : public Engine {
public:
    ~SqliteEngine() override;

    // Connects to an existing file under `connectionName`, checks its tables and installs
    // the search acceleration; a refusal is the whole sentence to show.
    static Result open(const QString& path, const QString& connectionName, std::unique_ptr<Engine>& engine);
    // Makes a new file with the six tables (an existing file is refused).
    static Result create(const QString& path, const QString& connectionName);

    Kind kind() const override { return Kind::SQLite; }
    QSqlDatabase connection() const override;
    QString keyColumn(const QString&) const override { return QStringLiteral("rowid"); }
    QSqlQuery* rowsByKeys(const QString& table, const QList<qint64>& keys, QSqlQuery& plain, QString& sql) override;
    QString returningKey(const QString&) const override { return QString(); }
    QString criteriaSql(const QString& table, const Query::Condition& condition, bool leads,
                        QVariantList& values) const override;
    bool weighsCriteria(const QString& table, const QList<Query::Condition>& conditions) const override;
    int weighLeading(const QString& table, const QList<Query::Condition>& conditions) const override;
    bool runBriefly(const std::function<void()>& run) const override;
    std::unique_ptr<KeyScan> keySearch(const QString& table, const QString& field, const QString& pattern,
                                       KeyScan::Direction direction, std::optional<qint64> from, int limit) override;
    QString describe(const QSqlError& error) const override;
    QString describeReading(const QSqlError& error) const override;

    // SQLite's own handle.
    sqlite3* handle() const;
    // What makes searches as the user types quick: none on a file that could not take them.
    SearchIndex* searchIndex() const { return m_index.get(); }
    ColumnCache* columns() const { return m_columns.get(); }
    // Tells others' writes from the search index builder's.
    WriteLedger* ledger() const { return m_ledger.get(); }

private:
    SqliteEngine(const QString& path, const QString& connectionName);

    QString m_path;
    QString m_connectionName;
    std::unique_ptr<WriteLedger> m_ledger; // outlives the index and the columns that use it
    std::unique_ptr<SearchIndex> m_index;
    std::unique_ptr<ColumnCache> m_columns;
};
