#include "forms/BoundGrid.h"

#include "data/store/RecordSource.h"
#include "forms/GridDelegate.h"
#include "platform/Dialogs.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QTimer>

BoundGrid::BoundGrid(QWidget* parent) : QTableView(parent) {
    // Tab leaves the grid for the next control; the arrows move among the cells.
    setTabKeyNavigation(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setAlternatingRowColors(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setVisible(true);
    verticalHeader()->setMinimumWidth(16);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(true);
    setWordWrap(false);
    setItemDelegate(new GridDelegate(this));
}

void BoundGrid::bind(RecordSource& source, const QList<RecordModel::Column>& columns, Dialogs& dialogs, bool editable) {
    m_source = &source;
    m_dialogs = &dialogs;
    m_model = new RecordModel(source, columns, this);
    m_model->setEditable(editable);
    setModel(m_model);
    setEditTriggers(editable ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                   QAbstractItemView::AnyKeyPressed
                             : QAbstractItemView::NoEditTriggers);

    connect(m_model, &RecordModel::refused, this, [this](const QString& message) { m_dialogs->message(message); });
    connect(&source, &RecordSource::currentChanged, this, &BoundGrid::showCurrent);
    connect(m_model, &QAbstractItemModel::modelReset, this, &BoundGrid::showCurrent);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, &BoundGrid::userPicked);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &BoundGrid::scrolled);
    showCurrent();
}

void BoundGrid::showCurrent() {
    if (!m_source || m_syncing)
        return;
    m_syncing = true;
    const int row = m_source->currentRow();
    if (row >= 0) {
        const QModelIndex index = m_model->index(row, std::max(0, currentIndex().column()));
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        scrollTo(index);
    } else {
        selectionModel()->clearSelection();
        selectionModel()->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
    }
    m_syncing = false;
}

void BoundGrid::userPicked(const QModelIndex& current) {
    if (m_syncing || !current.isValid())
        return;
    if (const Result moved = m_source->moveToRow(current.row()); !moved) {
        m_dialogs->message(moved.message());
        // After the click has finished selecting, or the view would select it again.
        QTimer::singleShot(0, this, &BoundGrid::showCurrent);
    }
}

void BoundGrid::scrolled(int value) {
    // Rows before the loaded ones (after a move to the last record) come in as the
    // user scrolls to the top; keep the same rows in view.
    if (value != verticalScrollBar()->minimum() || !m_source->canFetchPrevious())
        return;
    const int before = m_model->rowCount();
    m_source->fetchPrevious();
    const int added = m_model->rowCount() - before;
    if (added > 0)
        scrollTo(m_model->index(added, 0), QAbstractItemView::PositionAtTop);
}
