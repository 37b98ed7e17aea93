#include "data/store/RecordSource.h"

#include "data/sqlite/EngineError.h"
#include "data/sqlite/search/SearchIndex.h"
#include "data/store/ChangeWatch.h"
#include "data/store/Database.h"
#include "data/store/KeySearch.h"
#include "data/store/RecordSourceDetail.h"
#include "platform/Regional.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

using namespace RecordSourceDetail;

namespace {

// A table declared without AUTOINCREMENT (by another tool) gives a new row the key after
// the highest one stored, which may be a deleted record's whose photos and visits still
// name it: they would attach to the new record. Its new rows take a key past every key
// named in the tables that link to it as well. Empty when SQLite's own rule is sound.
QString keyPastLinks(const QSqlDatabase& db, const QString& table) {
    QSqlQuery declared(db);
    declared.prepare(QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE"));
    declared.addBindValue(table);
    if (!declared.exec() || !declared.next() ||
        declared.value(0).toString().contains(QLatin1String("AUTOINCREMENT"), Qt::CaseInsensitive))
        return QString();
    QStringList highest{QStringLiteral("SELECT max(rowid) AS k FROM %1").arg(quoted(table))};
    const QString link = QStringLiteral("id") + table.toLower();
    for (const Schema::Table& other : Schema::tables())
        for (const Schema::Field& field : other.fields)
            if (field.linksToKey && field.name == link)
                highest << QStringLiteral("SELECT max(CAST(%1 AS INTEGER)) FROM %2")
                               .arg(quoted(field.name), quoted(other.name));
    if (highest.size() == 1)
        return QString();
    return QStringLiteral("(SELECT max(k) + 1 FROM (%1))").arg(highest.join(QStringLiteral(" UNION ALL ")));
}

} // namespace

RecordSource::RecordSource(const QString& table, const Regional& regional, QObject* parent)
    : QObject(parent), m_table(table), m_regional(regional), m_query(Query::table(table)), m_shownQuery(m_query) {
    m_searchTimer.setSingleShot(true);
    m_searchTimer.setInterval(0);
    connect(&m_searchTimer, &QTimer::timeout, this, &RecordSource::continueSearch);
}

RecordSource::~RecordSource() = default;

SearchIndex* RecordSource::searchIndex() const {
    return m_database ? m_database->searchIndex() : nullptr;
}

bool RecordSource::searchIndexBuilding(qint64& done, qint64& total) const {
    SearchIndex* index = searchIndex();
    if (!index || !index->isBuilding())
        return false;
    index->progress(done, total);
    return true;
}

Result RecordSource::notOpen() const {
    return Result::failure(QStringLiteral("Nessun database aperto per «%1».").arg(m_table));
}

Result RecordSource::databaseError(const QString& what, const QSqlError& error) const {
    const QString reason = m_database ? m_database->describe(error) : EngineError::describe(error, m_databaseName);
    // A server that went away and came back: the user's next try goes through, with
    // what was typed still on the card. Nobody refused anything: the server was not there.
    if (m_database && m_database->connectionLost(error)) {
        (void)m_database->reconnect();
        return Result::failure(QStringLiteral("Non è stato possibile completare %1: %2.").arg(what, reason));
    }
    return Result::failure(QStringLiteral("Il database ha rifiutato %1: %2.").arg(what, reason));
}

const Schema::Field* RecordSource::schemaField(const QString& field) const {
    return Schema::field(m_table, field);
}

void RecordSource::setFieldCaption(const QString& field, const QString& caption) {
    m_captions.insert(field.toLower(), caption);
}

Result RecordSource::setDatabaseName(const QString& path, Connection connection) {
    m_search.reset();
    m_searchTimer.stop();
    m_shownQuery = m_query;
    emit aboutToReset();
    m_databaseName = path;
    // Their prepared statements go before the connection they were prepared on.
    m_guard.reset();
    m_watch.reset();
    m_database.reset();
    m_read.reset();
    m_keys.clear();
    m_added.clear();
    m_rows.clear();
    m_columns.clear();
    m_newKey.clear();
    m_pending.clear();
    m_defaults.clear();
    m_adding = false;
    m_current = -1;
    m_next = 0;
    m_headLoaded = m_tailLoaded = true;

    Result opened = connection == Connection::Separate ? Database::openSeparate(path, m_database, m_dialogs)
                                                       : Database::open(path, m_database, m_dialogs);
    if (opened) {
        QSqlQuery columns(m_database->connection());
        if (columns.exec(QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(quoted(m_table)))) {
            const QSqlRecord record = columns.record();
            for (int i = 0; i < record.count(); ++i)
                m_columns.insert(record.fieldName(i).toLower(), i + 1);  // column 0 is the rowid
            // A server's sequences never give a key twice.
            if (!m_database->isPostgres())
                m_newKey = keyPastLinks(m_database->connection(), m_table);
            prepareChecks();
        } else {
            m_database.reset();
            opened = databaseError(QStringLiteral("la lettura della tabella «%1»").arg(m_table), columns.lastError());
        }
    }
    emit reset();
    emit currentChanged();
    return opened;
}

Result RecordSource::setRecordSource(const Query& query) {
    if (!query.isValid())
        return Result::failure(query.error());
    if (query.tableName().compare(m_table, Qt::CaseInsensitive) != 0)
        return Result::failure(QStringLiteral("La ricerca riguarda «%1», non «%2».").arg(query.tableName(), m_table));
    m_query = query;
    return Result::success();
}

std::optional<qint64> RecordSource::currentKey() const {
    if (m_current < 0 || m_current >= rowCount())
        return std::nullopt;
    return m_keys.at(m_current);
}

Result RecordSource::setCurrent(int row) {
    const bool backward = m_current >= 0 && row < m_current;
    if (row >= 0 && row < rowCount()) {
        m_current = row;
    } else {
        m_current = -1;
        m_next = std::clamp(row, 0, rowCount());
    }
    readCurrent();
    if (m_gone)
        return passOverGone(backward);
    emit currentChanged();
    if (!m_readFailure.isEmpty())
        return Result::failure(m_readFailure);
    return Result::success();
}

Result RecordSource::refresh() {
    if (!isOpen())
        return notOpen();
    // A search still under way is superseded by this one.
    const Query wanted = m_query;
    dropSearch();
    m_query = wanted;
    if (const Result written = leaveRecord(); !written)
        return written;
    if (searchCondition()) {
        m_search = makeSearch(Direction::Forward, std::nullopt, pageSize);
        // On a server the slice is of waiting for its answer, and the server shares the
        // office's machines: an answer a little late is still shown at once.
        const std::chrono::nanoseconds first = m_database->isPostgres() ? m_firstSlice * 4 : m_firstSlice;
        if (const Result ran = m_search->run(first); !ran) {
            m_search.reset();
            return searchError(ran);
        }
        if (m_search->isDone())
            return showSearchResult();
        m_searchTimer.start();
        return Result::success();
    }
    QList<qint64> keys;
    if (const Result fetched = fetchKeys(Direction::Forward, std::nullopt, pageSize, keys); !fetched)
        return fetched;
    m_added.clear();
    m_rows.clear();
    m_shownQuery = m_query;
    replaceWindow(keys, true, keys.size() < pageSize);
    return setCurrent(rowCount() > 0 ? 0 : -1);
}

Result RecordSource::clear() {
    dropSearch();
    if (const Result written = leaveRecord(); !written)
        return written;
    m_added.clear();
    replaceWindow({}, true, true);
    return setCurrent(-1);
}
