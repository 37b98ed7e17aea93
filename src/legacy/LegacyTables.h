#pragma once

#include "legacy/JetValue.h"
#include "platform/Result.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

// The tables of an old office's archive as the conversion reads them: a Jet file through
// libmdb (JetFile), or rows held in memory by the tests.
class LegacyTables {
public:
    struct Column {
        QString name;
        QString typeName; // as Access calls it, for the report
    };

    virtual ~LegacyTables() = default;

    // "Jet 3", "Jet 4", ...
    virtual QString version() const = 0;
    // The user tables, in the file's order.
    virtual QStringList tables() const = 0;
    // The rows a table says it holds (for progress; the rows read are what counts).
    virtual qint64 rowCount(const QString& table) const = 0;
    // Reads a table: `columns` first, then `row` for each row in the file's order, until
    // it answers false. A table that cannot be read whole is refused.
    virtual Result read(const QString& table, const std::function<void(const QList<Column>&)>& columns,
                        const std::function<bool(const QList<JetValue>&)>& row) const = 0;
};
