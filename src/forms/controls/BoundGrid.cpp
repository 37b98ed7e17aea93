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
    // A row at a time: the scroll bar's value is the first row shown, whatever the rows held.
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
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
    connect(m_model, &RecordModel::shiftedAtTop, this, &BoundGrid::shiftedAtTop);
    // The thumb dragged to the bottom, or sent there, shows the last rows of the result
    // even where the count was estimated short; scrolling on row by row reads on instead.
    QScrollBar* bar = verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, [this, bar](int value) {
        if (value == bar->maximum() && bar->isSliderDown())
            m_model->showEnd();
        else if (value == bar->minimum() && bar->isSliderDown())
            m_model->showStart();
    });
    connect(bar, &QScrollBar::actionTriggered, this, [this](int action) {
        if (action == QAbstractSlider::SliderToMaximum)
            m_model->showEnd();
        else if (action == QAbstractSlider::SliderToMinimum)
            m_model->showStart();
    });
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

QModelIndex BoundGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    // ctrl+End goes to the result's last record, ctrl+Home to its first.
    if (m_model && (modifiers & Qt::ControlModifier) && (action == MoveEnd || action == MoveHome)) {
        if (action == MoveEnd)
            m_model->showEnd();
        else
            m_model->showStart();
        m_model->settle();
    }
    return QTableView::moveCursor(action, modifiers);
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
    const QFontMetrics metrics(font());
    const int margin = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) + metrics.averageCharWidth();
    // Keys come in key order, so the widest is the highest; the rows held are measured too,
    // for links to another table's key, which come in any order (a property's visits:
    // short lists, held whole).
    const auto [first, held] = m_model->heldRows();
    // A whole result held may be long (a record moved on through all of it): its first rows do.
    constexpr int looked = 512;
    const int last = std::min(held, first + looked);
    m_keyWidths.fill(0, columns);
    for (int column = 0; column < columns; ++column) {
        if (!m_model->isKeyColumn(column))
            continue;
        int widest = horizontalHeader()->sectionSizeHint(column);
        const auto measure = [&](const QString& text) {
            widest = std::max(widest, metrics.horizontalAdvance(text) + margin);
        };
        if (m_model->highestKey() > 0)
            measure(QString::number(m_model->highestKey()));
        for (int row = first; row < last; ++row)
            measure(m_model->index(row, column).data().toString());
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
    const std::optional<qint64> key = m_source->currentKey();
    int row = key ? m_model->rowOfKey(*key) : -1;
    // Where the keys just read show the count wrong, it is put right before the row is shown.
    if (row >= 0) {
        m_model->settle();
        row = m_model->rowOfKey(*key);
    }
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
    const std::optional<qint64> key = m_model->keyAt(current.row());
    if (!key || (key == m_source->currentKey() && !m_source->isAdding()))
        return;
    if (const Result moved = m_source->moveToKey(*key); !moved) {
        m_dialogs->message(moved.message());
        // After the click has finished selecting, or the view would select it again.
        QTimer::singleShot(0, this, &BoundGrid::showCurrent);
    }
}

void BoundGrid::shiftedAtTop(int rows) {
    // Rows taken away or added before those in view: the same rows stay in view.
    updateGeometries();
    verticalScrollBar()->setValue(verticalScrollBar()->value() + rows);
}
