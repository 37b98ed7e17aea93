#pragma once

#include "data/store/RowGuard.h"
#include "data/vocabulary/Query.h"
#include "data/vocabulary/Schema.h"
#include "platform/Result.h"

#include <QHash>
#include <QMap>
#include <QObject>
#include <QTimer>
#include <QVariant>
#include <chrono>
#include <memory>
#include <optional>

class QSqlError;

class ChangeWatch;
class Database;
class Dialogs;
class KeySearch;
class Regional;
class SearchIndex;

// A bound record source: a cursor over one table or one query of the database, with a
// current record that bound fields, labels and grids show, and a pending edit.
//
// It keeps the keys (rowids) of a window of the result, never the rows: the window
// grows a page at a time as the record moves, and a move to the last record loads the
// tail of the result instead of everything before it. Rows are read when shown. A grid
// reads its own pages of keys around what it shows (resultKeys()).
//
// Every operation answers a Result; a failure changes nothing and says why.
//
// A search as the user types (a query with one contains condition) never holds the
// window: when it needs more than a frame, refresh() answers at once and the search goes
// on between events, the rows shown staying those of the previous query; the next
// refresh supersedes it. A move or a fetch waits for it to end; typing into the record
// or adding one gives it up, back to the query whose rows are shown.
//
// Several desks may share the database. Each move reads the new current record again,
// and every row when another desk has written since. An edit or a delete goes through
// only while the stored row is still as this desk read it when it became current (what
// the card shows); otherwise it is refused naming what changed, the typing stays, and
// the fields nobody typed into take the stored values.
class RecordSource : public QObject {
    Q_OBJECT
public:
    RecordSource(const QString& table, const Regional& regional, QObject* parent = nullptr);
    ~RecordSource() override;

    const QString& table() const { return m_table; }

    // The name a field goes by on the window ("Data" for datap), for the messages that
    // refuse a value; the field's own name where none is given.
    void setFieldCaption(const QString& field, const QString& caption);

    // Shared: the connection of every other source on that database. Separate: one of its
    // own, as another copy of the program would have (a second desk within one process).
    enum class Connection { Shared, Separate };
    // Opens the database file. On failure the source has no database and shows no records.
    Result setDatabaseName(const QString& path, Connection connection = Connection::Shared);
    const QString& databaseName() const { return m_databaseName; }
    bool isOpen() const { return m_database != nullptr; }
    // The search index of the open database, if it has one.
    SearchIndex* searchIndex() const;
    // Whether the search index of the open database is being built; if so, how far.
    bool searchIndexBuilding(qint64& done, qint64& total) const;

    // The query that the next refresh runs. An invalid query is refused and the
    // previous one stays, with its rows.
    Result setRecordSource(const Query& query);
    const Query& recordSource() const { return m_query; }

    // Writes the pending edit or new record, re-runs the query, makes the first row current.
    Result refresh();
    // A search started by refresh() is still going on.
    bool isSearching() const { return m_search != nullptr; }
    // Processor time a search may take within refresh(), and then at each turn of the
    // event loop. On PostgreSQL: time waiting for the server's answer, four times the
    // first slice within refresh().
    void setSearchSlices(std::chrono::nanoseconds first, std::chrono::nanoseconds later);
    // Where a save or a delete that waits for a record another desk holds shows its
    // progress, with Annulla; without, such a write is refused at once.
    void setDialogs(Dialogs* dialogs) {
        m_dialogs = dialogs;
        m_checksGeneration = -1; // the row guard and the change watch take them too
    }
    // Starts a blank new record: bound fields empty, typing goes into it.
    Result addNew();
    // Puts a typed value into a field of the current or new record (the pending edit).
    Result setFieldValue(const QString& field, const QString& value);
    // A value the program itself puts into the new record (today's date): a new record
    // holding nothing else is nothing the user typed, and leaving it drops it.
    Result setDefaultValue(const QString& field, const QString& value);
    // A new record with nothing in it but the program's own values.
    bool isUntypedNew() const;
    // Writes the pending edit or new record; with nothing pending it fails and changes nothing.
    Result update();
    // Writes whatever is pending; succeeds when nothing is.
    Result commitPending();
    // Forgets the pending edit or new record.
    void cancelEdit();
    // Shows no rows until the next refresh (the query stays); a pending edit is written
    // first, and a refused one keeps everything as it was.
    Result clear();
    // Removes the current record from its table; afterwards there is no current record
    // until a move.
    Result remove();

    // Moves write the pending edit first; a refused write keeps the record and the edit.
    // Moving previous from the first row, or next from the last, leaves no current record.
    Result moveFirst();
    Result movePrevious();
    Result moveNext();
    Result moveLast();
    // The navigation bar's arrows: like the moves, but they stay on the first or last row.
    Result stepPrevious();
    Result stepNext();
    // Makes a row of the loaded window current (the grid's selection).
    Result moveToRow(int row);
    // Makes the record of that key current, reading the keys around it when they are not
    // loaded; when the query does not hold it, the last row becomes current instead.
    Result moveToKey(qint64 key);
    // The key the database gave the new record of the last write; none when that write
    // was an edit or failed. After a save of a new record the card shows this one, not
    // the last row, which may be another desk's newer record.
    std::optional<qint64> insertedKey() const { return m_inserted; }

    bool hasCurrent() const { return m_current >= 0; }
    bool isAdding() const { return m_adding; }
    bool hasPendingEdit() const { return m_adding || !m_pending.isEmpty(); }
    // The pending edit as typed: field -> text.
    const QMap<QString, QString>& typedValues() const { return m_pending; }
    int currentRow() const { return m_current; }
    // The current record's key, if it has one.
    std::optional<qint64> currentKey() const;

    // A field of the current (or new) record as it is shown: pending typing first,
    // numbers and dates in the regional form; empty with no current record.
    QString value(const QString& field) const;

    // The loaded window of the result, for grids.
    int rowCount() const { return static_cast<int>(m_keys.size()); }
    QString valueAt(int row, const QString& field) const;
    // Not while a search is under way: the rows shown are those of the previous query.
    bool canFetchMore() const { return isOpen() && !m_tailLoaded && !m_search; }
    bool canFetchPrevious() const { return isOpen() && !m_headLoaded && !m_search; }
    void fetchMore();
    void fetchPrevious();

    // For a grid over the whole result (RecordModel), which keeps its own keys around
    // what it shows and leaves the loaded window and the current record alone.
    // Keys of the shown result after `from` going forward, or before it going backward
    // (none: from the first or the last), at most `limit`; refused while a search runs.
    Result resultKeys(bool forward, std::optional<qint64> from, int limit, QList<qint64>& keys) const;
    // The highest key the table holds (none when it is empty or cannot be read): the
    // result's keys lie below it, which bounds an estimate of how many rows it has.
    std::optional<qint64> highestKey() const;
    qint64 keyAt(int row) const { return m_keys.at(row); }
    bool isHeadLoaded() const { return m_headLoaded; }
    bool isTailLoaded() const { return m_tailLoaded; }
    // The last reset only moved the loaded window within the same result (a move to the
    // last record, to a key): the result, and so a grid's rows, stayed as they were.
    bool windowMovedOnly() const { return m_windowMovedOnly; }
    // New records this source wrote since the last refresh: shown after the result's rows.
    const QList<qint64>& addedKeys() const { return m_added; }
    // Reads the rows of these keys that are not held yet, a block at a time.
    void readRows(const QList<qint64>& keys) const;
    bool holdsRow(qint64 key) const { return m_rows.contains(key); }
    // A field of the row with that key, as valueAt() shows it.
    QString valueOfKey(qint64 key, const QString& field) const;

signals:
    // Another record became current, or the shown values of the current one changed.
    void currentChanged();
    // A field of the current record was given a value by someone other than the typing.
    void valueChanged(const QString& field);
    // The pending edit was forgotten (cancelEdit); `newRecord` when it was a new record.
    void editCancelled(bool newRecord);
    // The new record was stored, by a save or by leaving it.
    void newRecordWritten();
    void aboutToReset();
    void reset();
    void aboutToInsertRows(int first, int last);
    void rowsInserted();
    void aboutToRemoveRow(int row);
    void rowRemoved();
    void rowChanged(int row);
    // Any loaded row may show other values now (another desk wrote).
    void rowsChanged();
    // A search that went on after refresh() failed; the previous query and its rows stay.
    void searchFailed(const QString& message);

private:
    enum class Direction { Forward, Backward };

    Result notOpen() const;
    Result databaseError(const QString& what, const QSqlError& error) const;
    // A KeySearch's failure, which already says what the engine answered.
    Result searchError(const Result& ran) const;
    const Schema::Field* schemaField(const QString& field) const;

    // Keys of the query after/before a key, a page at a time.
    Result fetchKeys(Direction direction, std::optional<qint64> from, int limit, QList<qint64>& keys) const;
    // The query's one contains condition, which a KeySearch can serve; null otherwise.
    const Query::Condition* searchCondition() const;
    std::unique_ptr<KeySearch> makeSearch(Direction direction, std::optional<qint64> from, int limit) const;
    Result showSearchResult();
    void continueSearch();
    // Waits for the search under way, or gives it up.
    Result finishSearch();
    void dropSearch();
    Result loadHead();
    Result loadTail();
    void appendAddedKeys();
    // `sameResult`: the window moves within the result shown (see windowMovedOnly()).
    void replaceWindow(const QList<qint64>& keys, bool headLoaded, bool tailLoaded, bool sameResult = false);

    // The row guard and the watch on other desks, prepared on the database's connection as
    // it is now.
    void prepareChecks();
    // Before a move to the end: another desk's new records are read in after the last row.
    void lookPastTheEnd();
    RowGuard& guard();
    ChangeWatch& watch();
    // Reads the current record again as the card will show it: the base of an edit.
    void readCurrent();
    // An edit or delete that RowGuard did not let through; `deleting` for a delete.
    Result refusedByOtherDesk(const RowGuard::Outcome& outcome, const QString& what, bool deleting);

    Result leaveRecord();
    // finishSearch, then leaveRecord: the start of every move.
    Result readyToMove();
    Result insertNew();
    Result writeEdit();
    Result storedValue(const Schema::Field& field, const QString& typed, QVariant& stored) const;
    // The pending edit as stored values, with their quoted column names.
    Result pendingValues(QStringList& columns, QVariantList& values) const;
    const QVariantList* row(qint64 key) const;
    void readBlock(const QList<qint64>& block) const;
    void forgetRow(qint64 key);
    Result setCurrent(int row);
    // The record that was to become current is no longer stored (another copy of the program
    // deleted it, or a restore): it leaves the rows, the nearest one in the direction of
    // the move becomes current instead, and the answer says so.
    Result passOverGone(bool backward);

    QString m_table;
    const Regional& m_regional;
    Dialogs* m_dialogs = nullptr;
    QString m_databaseName;
    std::shared_ptr<Database> m_database;
    Query m_query;
    Query m_shownQuery;  // the query whose rows are shown
    std::unique_ptr<KeySearch> m_search;
    QTimer m_searchTimer;
    std::chrono::nanoseconds m_firstSlice = std::chrono::milliseconds(12);
    std::chrono::nanoseconds m_laterSlice = std::chrono::milliseconds(8);

    QList<qint64> m_keys;   // the loaded window of the result, in key order
    bool m_headLoaded = true;
    bool m_tailLoaded = true;
    bool m_windowMovedOnly = false;
    QList<qint64> m_added;  // rows this source added since the last refresh: shown last
    int m_current = -1;
    int m_next = 0;         // with no current record: the row a move next would reach

    bool m_adding = false;
    std::optional<qint64> m_inserted;  // see insertedKey()
    QMap<QString, QString> m_pending;  // field -> typed text
    QMap<QString, QString> m_defaults; // field -> what the program wrote into the new record

    QHash<QString, int> m_columns;  // field (lower case) -> column of a read row
    QHash<QString, QString> m_captions;  // field (lower case) -> its name on the window
    // SQLite: the key of a new row, as SQL, where the file's own rule is unsound.
    QString m_newKey;
    mutable QHash<qint64, QVariantList> m_rows;
    // The current stored record as read when it became current (none if it could not be
    // read); the fields another desk changed meanwhile take the stored values once shown.
    std::optional<QVariantList> m_read;
    QString m_readFailure; // why the current record could not be read, if it could not
    bool m_gone = false;   // the current record was not there when read: deleted since
    std::unique_ptr<ChangeWatch> m_watch;
    std::unique_ptr<RowGuard> m_guard;
    int m_checksGeneration = 0;  // of the connection they were prepared on
};
