#pragma once

#include <QList>
#include <QString>
#include <optional>

// Amounts as offices have stored them (typed by hand, imported, written by the older program)
// and the number each one holds; nothing for a text that is not a number. The property sheet,
// every report and the reader itself are checked on this one table.
struct StoredAmount {
    QString stored;
    std::optional<double> number;
};

inline const QList<StoredAmount>& storedAmounts() {
    static const QList<StoredAmount> table{
        {QStringLiteral("1.100"), 1100},
        {QStringLiteral("1.500"), 1500},
        {QStringLiteral("1.200.000"), 1200000},
        {QStringLiteral("1250000,50"), 1250000.5},
        {QStringLiteral("300000"), 300000},
        {QStringLiteral("1.000,5"), 1000.5},
        {QStringLiteral("12,5"), 12.5},
        {QStringLiteral("150000.50"), 150000.5},
        {QStringLiteral(" 95000 "), 95000},
        {QStringLiteral("trattabile"), std::nullopt},
        {QStringLiteral("80 mila"), std::nullopt},
    };
    return table;
}
