#pragma once

#include "forms/controls/RecordModel.h"

#include <QTableView>

class Dialogs;
class RecordSource;

// A grid over a record source: selecting a row makes it the current record and a
// move of the source selects its row. Its rows are all those of the result: the scroll
// bar, ctrl+Home, ctrl+End and the page keys reach any of them, reading the keys there.
class BoundGrid : public QTableView {
    Q_OBJECT
public:
    explicit BoundGrid(QWidget* parent = nullptr);

    void bind(RecordSource& source, const QList<RecordModel::Column>& columns, Dialogs& dialogs, bool editable);
    RecordModel* recordModel() const { return m_model; }

    // Typing in a cell that cannot be edited (a key) searches nothing: the view's own
    // search would make another row, another record, current.
    void keyboardSearch(const QString&) override {}

    // The widths the window wants for its columns, from the left. Key columns are as wide
    // as the largest key shown; the others give up width in proportion when the grid is
    // narrower than they are together, so that every column stays in view.
    void setColumnWidths(const QList<int>& widths);

protected:
    bool viewportEvent(QEvent* event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

private:
    void showCurrent();
    void measureKeys();
    void fitColumns();
    void userPicked(const QModelIndex& current);
    void shiftedAtTop(int rows);

    RecordModel* m_model = nullptr;
    RecordSource* m_source = nullptr;
    Dialogs* m_dialogs = nullptr;
    bool m_syncing = false;
    QList<int> m_widths;    // as the window wants them
    QList<int> m_keyWidths; // by column: the width a key column needs, 0 for other columns
};
