#include "forms/controls/BoundGrid.h"

#include "data/store/RecordSource.h"
#include "forms/controls/GridDelegate.h"
#include "platform/Dialogs.h"

#include <QEvent>
#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
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
    // More digits may come with every row read.
    connect(m_model, &QAbstractItemModel::modelReset, this, &BoundGrid::measureKeys);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &BoundGrid::measureKeys);
    showCurrent();
    measureKeys();
}

void BoundGrid::setColumnWidths(const QList<int>& widths) {
    m_widths = widths;
    fitColumns();
}

bool BoundGrid::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Resize)
        fitColumns();
    return QTableView::viewportEvent(event);
}

void BoundGrid::measureKeys() {
    if (!m_model)
        return;
    const int columns = m_model->columnCount();
    const int rows = m_model->rowCount();
    const QFontMetrics metrics(font());
    const int margin = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) + metrics.averageCharWidth();
    // Keys come in key order, so the widest is among the last rows; links to another
    // table's key come in any order, and such lists (a property's visits) are short.
    constexpr int looked = 256;
    m_keyWidths.fill(0, columns);
    for (int column = 0; column < columns; ++column) {
        if (!m_model->isKeyColumn(column))
            continue;
        int widest = horizontalHeader()->sectionSizeHint(column);
        const auto measure = [&](int row) {
            widest = std::max(widest, metrics.horizontalAdvance(m_model->index(row, column).data().toString()) + margin);
        };
        for (int row = std::max(0, rows - looked); row < rows; ++row)
            measure(row);
        for (int row = 0; row < std::min(rows - looked, looked); ++row)
            measure(row);
        m_keyWidths[column] = widest;
    }
    fitColumns();
}

void BoundGrid::fitColumns() {
    if (!m_model || m_keyWidths.size() != m_model->columnCount() || m_keyWidths.isEmpty())
        return;
    QHeaderView* header = horizontalHeader();
    const int columns = m_model->columnCount();
    QList<int> widths(columns);
    int keys = 0;
    int others = 0;
    for (int column = 0; column < columns; ++column) {
        widths[column] = m_keyWidths[column] > 0      ? m_keyWidths[column]
                         : column < m_widths.size() ? m_widths[column]
                                                    : header->defaultSectionSize();
        (m_keyWidths[column] > 0 ? keys : others) += widths[column];
    }
    const int room = viewport()->width() - keys;
    const int narrowest = fontMetrics().averageCharWidth() * 4;
    if (others > room && others > 0) {
        for (int column = 0; column < columns; ++column)
            if (m_keyWidths[column] == 0)
                widths[column] = std::max(narrowest, widths[column] * std::max(room, 0) / others);
    }
    // The last column takes what is left (stretchLastSection), but never less than the
    // width last given to it.
    for (int column = 0; column < columns; ++column)
        header->resizeSection(column, widths[column]);
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
