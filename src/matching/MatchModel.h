#pragma once

#include "matching/MatchSearch.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QImage>
#include <functional>

// The INCROCI list: exact matches first, then near misses (in grey), every cell read-only.
class MatchModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // `thumbnail` gives a property's small photo by its key (null when it has none).
    explicit MatchModel(QObject* parent = nullptr);

    // Requests listed (for a property) or properties (for a request).
    void setRows(std::vector<MatchRow> rows, bool requests);
    void setThumbnails(std::function<QImage(qint64)> thumbnail) { m_thumbnail = std::move(thumbnail); }
    const std::vector<MatchRow>& rows() const { return m_rows; }
    bool listsRequests() const { return m_requests; }

    // The captions of the columns for requests or properties.
    static QStringList captions(bool requests);
    // The cells of a row as the list and the printout show them.
    static QStringList cells(const MatchRow& row);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    std::vector<MatchRow> m_rows;
    bool m_requests = true;
    std::function<QImage(qint64)> m_thumbnail;
    mutable QHash<qint64, QImage> m_thumbnails;
};
