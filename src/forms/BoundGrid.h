#pragma once

#include "forms/RecordModel.h"

#include <QTableView>

class Dialogs;
class RecordSource;

// A grid over a record source: selecting a row makes it the current record and a
// move of the source selects its row. Scrolling to either end loads more rows.
class BoundGrid : public QTableView {
    Q_OBJECT
public:
    explicit BoundGrid(QWidget* parent = nullptr);

    void bind(RecordSource& source, const QList<RecordModel::Column>& columns, Dialogs& dialogs, bool editable);
    RecordModel* recordModel() const { return m_model; }

private:
    void showCurrent();
    void userPicked(const QModelIndex& current);
    void scrolled(int value);

    RecordModel* m_model = nullptr;
    RecordSource* m_source = nullptr;
    Dialogs* m_dialogs = nullptr;
    bool m_syncing = false;
};
