#pragma once

#include "legacy/LegacyTables.h"

// An old archive's tables held in memory, to check the conversion's rules value by value.
class MemoryTables : public LegacyTables {
public:
    struct Table {
        QString name;
        QList<Column> columns;
        QList<QList<JetValue>> rows;
    };
    QList<Table> content;

    QString version() const override { return QStringLiteral("Jet 4"); }
    QStringList tables() const override {
        QStringList names;
        for (const Table& table : content)
            names << table.name;
        return names;
    }
    qint64 rowCount(const QString& name) const override {
        for (const Table& table : content)
            if (table.name == name)
                return table.rows.size();
        return 0;
    }
    Result read(const QString& name, const std::function<void(const QList<Column>&)>& columns,
                const std::function<bool(const QList<JetValue>&)>& row) const override {
        for (const Table& table : content)
            if (table.name == name) {
                columns(table.columns);
                for (const auto& values : table.rows)
                    if (!row(values))
                        break;
                return Result::success();
            }
        return Result::failure(QStringLiteral("no table ") + name);
    }

    static JetValue text(const QString& value) { return make(JetValue::Kind::Text, 0, 0, value); }
    static JetValue integer(qint64 value) { return make(JetValue::Kind::Integer, value); }
    static JetValue currency(qint64 scaled) { return make(JetValue::Kind::Currency, scaled); }
    static JetValue boolean(bool value) { return make(JetValue::Kind::Bool, value ? 1 : 0); }
    static JetValue date(double days) { return make(JetValue::Kind::DateTime, 0, days); }
    static JetValue null() { return {}; }

private:
    static JetValue make(JetValue::Kind kind, qint64 integer = 0, double real = 0, const QString& text = {}) {
        JetValue value;
        value.kind = kind;
        value.integer = integer;
        value.real = real;
        value.text = text;
        return value;
    }
};
