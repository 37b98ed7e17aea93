#include "data/vocabulary/Query.h"

#include "data/vocabulary/Numbers.h"
#include "data/vocabulary/PostgresPattern.h"
#include "platform/Regional.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <vector>

namespace {

QString quoted(const QString& identifier) {
    return QLatin1Char('"') + QString(identifier).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

struct TextRange {
    QString low;  // included
    QString high; // left out
    bool mayHoldIso;
};

// Where the texts of a date written year first in another form than ISO ("2026/12/03",
// "2026.12.3", "2026-1-5", "2026-12-3") lie in the text order, for the days from..to:
// after the year comes a separator, which sorts before '0', and a month or day of one
// digit is followed by one too (or by nothing). Ranges that hold no ISO date, so the index
// of the field leads to those few rows alone; over more than two years one range, the
// ISO dates of those years included.
std::vector<TextRange> yearFirstRanges(const QDate& from, const QDate& to) {
    std::vector<TextRange> ranges;
    const int first = std::max(from.year(), 1);
    const int last = std::min(to.year(), 9999);
    if (!from.isValid() || !to.isValid() || first > last)
        return ranges;
    const auto year = [](int y) { return QStringLiteral("%1").arg(y, 4, 10, QLatin1Char('0')); };
    if (last - first > 1) {
        ranges.push_back({year(first) + QLatin1Char(' '), year(last) + QLatin1Char('0'), true});
        return ranges;
    }
    for (int y = first; y <= last; ++y) {
        const QString yy = year(y);
        ranges.push_back({yy + QLatin1Char(' '), yy + QLatin1Char('-'), false});
        ranges.push_back({yy + QLatin1Char('.'), yy + QLatin1Char('0'), false});
        ranges.push_back({yy + QStringLiteral("-"), yy + QStringLiteral("-0"), false});
        const int firstMonth = y == from.year() ? from.month() : 1;
        const int lastMonth = y == to.year() ? to.month() : 12;
        for (int m = firstMonth; m <= lastMonth; ++m) {
            const QString mm = yy + QStringLiteral("-%1").arg(m, 2, 10, QLatin1Char('0'));
            if (m <= 9)
                ranges.push_back({yy + QStringLiteral("-%1").arg(m), yy + QStringLiteral("-%1").arg(m * 10), false});
            ranges.push_back({mm, mm + QLatin1Char('-'), false});
            ranges.push_back({mm + QLatin1Char('.'), mm + QLatin1Char('0'), false});
            ranges.push_back({mm + QLatin1Char('-'), mm + QStringLiteral("-0"), false});
            for (int d = 1; d <= 9; ++d)
                ranges.push_back({mm + QStringLiteral("-%1").arg(d), mm + QStringLiteral("-%1").arg(d * 10), false});
        }
    }
    return ranges;
}

} // namespace

Result Query::runsOn(DatabaseLocation::Engine engine) const {
    if (engine == DatabaseLocation::Engine::PostgreSQL)
        for (const Condition& condition : m_conditions)
            if (condition.kind == Condition::Like)
                if (const QString refusal = PostgresPattern::refusal(condition.first.toString()); !refusal.isEmpty())
                    return Result::failure(refusal);
    return Result::success();
}

QString Query::conditionSql(const Condition& condition, DatabaseLocation::Engine engine, QVariantList& values) {
    const QString field = quoted(condition.field);
    const bool postgres = engine == DatabaseLocation::Engine::PostgreSQL;
    switch (condition.kind) {
    case Condition::Like:
        if (!postgres) {
            values << condition.first;
            return QStringLiteral("vlike(%1, ?)").arg(field);
        }
        values << PostgresPattern::likeRegex(condition.first.toString());
        return field + QStringLiteral(" ~ ?");
    case Condition::TextEquals: {
        if (!postgres) {
            values << condition.first;
            return QStringLiteral("vequal(%1, ?)").arg(field);
        }
        const QString text = condition.first.toString();
        if (text.size() > PostgresPattern::longestPattern) { // too long for a quick regular expression
            values << PostgresPattern::folded(text);
            return QStringLiteral("velmora_fold(%1) = ?").arg(field);
        }
        values << PostgresPattern::equalsRegex(text);
        return field + QStringLiteral(" ~ ?");
    }
    case Condition::NumberEquals: {
        const double number = condition.first.toDouble();
        if (postgres && !(std::trunc(number) == number && std::abs(number) < 9e15)) {
            // Bound as a whole number the value takes the field's type and its index; any
            // other is compared as a double, never rounded into a key.
            values << condition.first;
            return field + QStringLiteral(" = CAST(? AS double precision)");
        }
        values << (postgres ? QVariant(static_cast<qint64>(number)) : condition.first);
        return field + QStringLiteral(" = ?");
    }
    case Condition::NumberBetween:
        values << condition.first << condition.second;
        return postgres ? field + QStringLiteral(" BETWEEN CAST(? AS double precision) AND CAST(? AS double precision)")
                        : field + QStringLiteral(" BETWEEN ? AND ?");
    case Condition::DateBetween:
        return dateBetweenSql(condition, field, engine, values);
    }
    return {};
}

QString Query::storedDay(const QString& stored, QStringView order) {
    static const QRegularExpression iso(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}(?:[ T]|$)"));
    // Four digits first are a year in any regional order: "2026/12/03", "2026.12.3".
    static const QRegularExpression yearFirst(
        QStringLiteral("^\\s*([0-9]{4})[/.\\- ]+([0-9]{1,2})[/.\\- ]+([0-9]{1,2})(?:[ T]|\\s*$)"));
    if (iso.match(stored).hasMatch())
        return stored.left(10);
    if (const QRegularExpressionMatch ymd = yearFirst.match(stored); ymd.hasMatch()) {
        const QDate day(ymd.captured(1).toInt(), ymd.captured(2).toInt(), ymd.captured(3).toInt());
        return day.isValid() ? day.toString(Qt::ISODate) : QString();
    }
    if (const std::optional<QDate> day = Regional::parseDate(stored, order))
        return day->toString(Qt::ISODate);
    return {};
}

QString Query::storedDaySql(const QString& column, const QString& order, DatabaseLocation::Engine engine,
                            QVariantList& values) {
    values << order;
    if (engine != DatabaseLocation::Engine::PostgreSQL)
        return QStringLiteral("vdate(%1, ?)").arg(column);
    return QStringLiteral("(CASE WHEN %1 ~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}([ T]|$)' THEN left(%1, 10) "
                          "ELSE vdate(%1, CAST(? AS text)) END)")
        .arg(column);
}

QString Query::dateBetweenSql(const Condition& condition, const QString& field, DatabaseLocation::Engine engine,
                              QVariantList& values) {
    // ISO dates (most of them) through the field's index: a time after the last day is still
    // that day. A date stored in another form starts with its first part (one or two digits
    // for a day or month, any for a year) and a separator, which sorts before '0': those few
    // rows are found through the index too, by the ranges such a start can lie in, and read
    // one by one.
    const bool postgres = engine == DatabaseLocation::Engine::PostgreSQL;
    const QString compared = postgres ? field + QStringLiteral(" COLLATE \"C\"") : field;
    const QDate from = QDate::fromString(condition.first.toString(), Qt::ISODate);
    const QDate to = QDate::fromString(condition.second.toString(), Qt::ISODate);
    const QString after = to.addDays(1).toString(Qt::ISODate);
    values << condition.first << after;
    // Only a text of the ISO shape is its own day: "2026-12-3" sorts among them too.
    const QString isoShape =
        postgres ? QStringLiteral("%1 ~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}([ T]|$)'").arg(field)
                 : QStringLiteral("(%1 GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]*' AND substr(%1, 11, 1) IN "
                                  "('', ' ', 'T'))")
                       .arg(field);
    QStringList ways{QStringLiteral("(%1 >= ? AND %1 < ? AND %2)").arg(compared, isoShape)};
    const QChar first = condition.dateOrder.isEmpty() ? QLatin1Char('d') : condition.dateOrder.at(0);
    const int largest = first == QLatin1Char('d') ? 31 : first == QLatin1Char('m') ? 12 : 99;
    QStringList starts{QString()};
    for (int digit = 0; digit <= 9; ++digit)
        starts << QString::number(digit);
    for (int number = 0; number <= largest; ++number)
        starts << QStringLiteral("%1").arg(number, 2, 10, QLatin1Char('0'));
    for (const QString& start : std::as_const(starts)) {
        // Every text beginning with `start` and then a character before '0' (a separator).
        const QString range = start.isEmpty() ? QStringLiteral("%1 < '0'").arg(compared)
                                               : QStringLiteral("%1 >= '%2' AND %1 < '%2%3'").arg(compared, start, QStringLiteral("0"));
        const QString day = storedDaySql(field, condition.dateOrder, engine, values);
        values << condition.first << condition.second;
        ways << QStringLiteral("(%1 AND %2 BETWEEN ? AND ?)").arg(range, day);
    }
    for (const TextRange& range : yearFirstRanges(from, to)) {
        const QString day = storedDaySql(field, condition.dateOrder, engine, values);
        values << condition.first << condition.second;
        ways << QStringLiteral("(%1 >= '%2' AND %1 < '%3' AND %4%5 BETWEEN ? AND ?)")
                    .arg(compared, range.low, range.high,
                         range.mayHoldIso ? QStringLiteral("NOT %1 AND ").arg(isoShape) : QString(), day);
    }
    const QString any = QLatin1Char('(') + ways.join(QStringLiteral(" OR ")) + QLatin1Char(')');
    // SQLite would rather read the whole table in key order than follow so many ranges of
    // the index for a page of keys: the keys are looked up first.
    if (postgres || condition.table.isEmpty())
        return any;
    return QStringLiteral("rowid IN (SELECT rowid FROM %1 WHERE %2)").arg(quoted(condition.table), any);
}

void Query::addNumberBound(const Bound& bound, QVariant& into) {
    const std::optional<double> value = Numbers::plain(bound.text);
    if (value) {
        into = *value;
        return;
    }
    if (m_error.isEmpty()) {
        m_error = bound.text.trimmed().isEmpty()
                      ? QStringLiteral("Ricerca non eseguita: «%1» è vuoto, serve un numero.").arg(bound.caption)
                      : QStringLiteral("Ricerca non eseguita: «%1» vale «%2», che non è un numero "
                                       "(scrivere solo cifre, con il punto per i decimali).")
                            .arg(bound.caption, bound.text);
    }
}

Query Query::table(const QString& table) {
    return Query(table, table);
}

Query Query::all(const QString& table) {
    return Query(table, QStringLiteral("SELECT * FROM ") + table + QLatin1Char(' '));
}

Query Query::contains(const QString& table, const QString& field, const QString& text) {
    Query query(table, QStringLiteral("SELECT * FROM %1 WHERE %2 LIKE '*").arg(table, field) + text + QStringLiteral("*'"));
    query.m_conditions.append({Condition::Like, field, QString(QLatin1Char('*') + text + QLatin1Char('*')), {}});
    return query;
}

Query Query::keyEquals(const QString& table, const QString& field, const QString& key) {
    Query query(table, QStringLiteral("SELECT * FROM %1 WHERE %2 =").arg(table, field) + key);
    Condition condition{Condition::NumberEquals, field, {}, {}};
    query.addNumberBound({key, field}, condition.first);
    query.m_conditions.append(condition);
    return query;
}

Query Query::criteria(const QString& table, const Bound& from, const Bound& to, const QString& purpose,
                      const QString& typeField, const QString& type) {
    Query query(table, QStringLiteral("SELECT * FROM ") + table + QStringLiteral(" WHERE mq BETWEEN ") + from.text +
                           QStringLiteral(" and ") + to.text + QStringLiteral(" and motivo ='") + purpose +
                           QStringLiteral("' and ") + typeField + QStringLiteral(" like'*") + type + QStringLiteral("*'"));
    Condition between{Condition::NumberBetween, QStringLiteral("mq"), {}, {}};
    query.addNumberBound(from, between.first);
    query.addNumberBound(to, between.second);
    query.m_conditions.append(between);
    // An empty purpose is a value to compare with, never a null that matches nothing.
    query.m_conditions.append(
        {Condition::TextEquals, QStringLiteral("motivo"), purpose.isNull() ? QString(QLatin1String("")) : purpose, {}});
    query.m_conditions.append({Condition::Like, typeField, QString(QLatin1Char('*') + type + QLatin1Char('*')), {}});
    return query;
}

Query Query::dateRange(const QString& table, const QString& field, const Bound& first, const Bound& last,
                       const Regional& regional) {
    Query query(table, QStringLiteral("SELECT * FROM %1 WHERE %2 BETWEEN #").arg(table, field) + first.text +
                           QStringLiteral("# AND #") + last.text + QStringLiteral("# "));
    Condition between{Condition::DateBetween, field, {}, {}, regional.dateOrder(), table};
    for (const auto& [bound, into] : {std::pair{&first, &between.first}, std::pair{&last, &between.second}}) {
        const std::optional<QDate> date = regional.parseDate(bound->text);
        if (date) {
            *into = date->toString(Qt::ISODate);
        } else if (query.m_error.isEmpty()) {
            const QString example = regional.dateText(QDate(2026, 3, 1));
            query.m_error = bound->text.trimmed().isEmpty()
                                ? QStringLiteral("Ricerca non eseguita: «%1» è vuoto, serve una data come %2.")
                                      .arg(bound->caption, example)
                                : QStringLiteral("Ricerca non eseguita: «%1» vale «%2», che non è una data come %3.")
                                      .arg(bound->caption, bound->text, example);
        }
    }
    query.m_conditions.append(between);
    return query;
}
