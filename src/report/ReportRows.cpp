#include "report/ReportRows.h"

namespace {

class MemoryCursor : public ReportCursor {
public:
    MemoryCursor(const std::vector<QStringList>& rows, int first) : m_rows(rows), m_next(std::max(first, 0)) {}

    bool nextRecord(QStringList& cells) override {
        if (m_next >= m_rows.size())
            return false;
        cells = m_rows[m_next++];
        return true;
    }
    void openDetail(int) override {}
    bool nextDetail(QStringList&) override { return false; }
    QString error() const override { return {}; }

private:
    const std::vector<QStringList>& m_rows;
    std::size_t m_next;
};

} // namespace

Result MemoryRows::eachCell(bool detail, const Cell& cell) {
    if (detail)
        return Result::success();
    for (const QStringList& row : m_rows)
        for (qsizetype column = 0; column < row.size(); ++column)
            if (!row.at(column).isEmpty())
                cell(column, row.at(column), false);
    return Result::success();
}

std::unique_ptr<ReportCursor> MemoryRows::read(int first) {
    return std::make_unique<MemoryCursor>(m_rows, first);
}
