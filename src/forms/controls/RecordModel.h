#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <optional>

class RecordSource;

// The grid's view of a record source: every row of its result, in the columns a window
// chooses. Edits in place become the pending edit of their row; key columns, and columns
// holding another table's key, are never editable.
//
// The model holds the keys of a run of rows around what the grid shows, never the whole
// result: a jump anywhere (a drag of the scroll bar, ctrl+End) reads a page of keys at
// that place and the rows of those keys. How many rows the result has is known when it
// fits in a page; otherwise it is estimated from the density of the first page's keys up
// to the highest key of the table, and settled as the rows at either end are read.
// Which record is current is the source's business: the grid makes a row current only
// when the user picks it.
class RecordModel : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Column {
        QString caption;
        QString field;
    };

    RecordModel(RecordSource& source, const QList<Column>& columns, QObject* parent = nullptr);

    void setEditable(bool editable) { m_editable = editable; }
    bool isEditable() const { return m_editable; }
    RecordSource& source() const { return m_source; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    // A key, or a link to another table's key.
    bool isKeyColumn(int column) const;

    // The key a row shows, reading the keys around it when they are not held.
    std::optional<qint64> keyAt(int row) const;
    // The row that shows a key, reading the keys around it when they are not held; -1 when
    // the result does not hold it.
    int rowOfKey(qint64 key) const;
    // Whether the count is the result's own, not an estimate.
    bool isCountExact() const { return m_runHead && m_runTail && m_base == 0 && m_count == m_run.size(); }
    // The rows whose keys are held now: first, and one past the last.
    std::pair<int, int> heldRows() const;
    // The table's highest key when the result was read (0 when the result fits in a page).
    qint64 highestKey() const { return m_highest; }
    // Holds the result's last rows as the last rows of the grid, however the count was
    // estimated: the thumb at the bottom and ctrl+End show the end of the table.
    void showEnd();
    // The same for the first rows (the thumb at the top, ctrl+Home).
    void showStart();
    // Corrects the count where the rows read show the estimate wrong: the grid calls it
    // once rows have been read, out of the painting.
    void settle();

signals:
    // An edit in place could not be taken; the message says why.
    void refused(const QString& message);
    // Rows were taken away before (negative) or added before the rows held: a grid keeps
    // the same rows in view by scrolling as many.
    void shiftedAtTop(int rows);

private:
    // After the source's result changed: the first page, the count, the run.
    void rebuild();
    // Makes the run hold `row`; false when no keys can be read now.
    bool reach(int row) const;
    void placeRun(QList<qint64> keys, int base, bool head, bool tail) const;
    // The result's keys (RecordSource::resultKeys()) without the records written since the
    // model last counted its rows.
    bool fetch(bool forward, std::optional<qint64> from, int limit, QList<qint64>& keys) const;
    // Appends the records written since the refresh, shown after the result's last row.
    void appendAdded(QList<qint64>& keys) const;
    // The run of the last rows, with the records written since the refresh.
    bool placeTail() const;
    qint64 estimatedKey(int row) const;
    int estimatedRow(qint64 key) const;
    void takeAddedKeys();
    void scheduleSettle() const;
    void removeKey(qint64 key);
    // The estimate again, up to the result's last key (read once, after the first paint).
    void estimateToLastKey();

    RecordSource& m_source;
    QList<Column> m_columns;
    bool m_editable = false;

    int m_count = 0;
    QList<qint64> m_head;       // the first page of the result, for the estimates
    qint64 m_highest = 0;       // the table's highest key when the result was read
    double m_density = 1.0;     // rows per key past the first page
    QList<qint64> m_seenAdded;  // the source's added records already counted

    // The run: keys of rows m_base .. m_base + size - 1.
    mutable QList<qint64> m_run;
    mutable int m_base = 0;
    mutable bool m_runHead = false; // the run starts at the result's first row
    mutable bool m_runTail = false; // the run ends at the result's last row
    mutable bool m_settleDue = false;
    // Whether the count was estimated up to the result's own last key, not the table's.
    bool m_lastKnown = true;
    std::optional<qint64> m_removing;
};
