#include "SqlFunctions.h"

#include "LikePattern.h"
#include "Numbers.h"
#include "Query.h"

#include <sqlite3.h>
#include <string_view>

namespace {

std::string_view textOf(sqlite3_value* value) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
    return text ? std::string_view(text, static_cast<std::size_t>(sqlite3_value_bytes(value))) : std::string_view();
}

void deletePattern(void* pattern) {
    delete static_cast<LikePattern*>(pattern);
}

// A null on either side gives null, as SQL's own comparisons do: the row drops out
// of a selection, also under NOT.
bool nullArgument(sqlite3_context* context, sqlite3_value** args) {
    if (sqlite3_value_type(args[0]) != SQLITE_NULL && sqlite3_value_type(args[1]) != SQLITE_NULL)
        return false;
    sqlite3_result_null(context);
    return true;
}

void vlike(sqlite3_context* context, int, sqlite3_value** args) {
    if (nullArgument(context, args))
        return;
    // The pattern is the same for every row of a statement: compile it once.
    auto* pattern = static_cast<LikePattern*>(sqlite3_get_auxdata(context, 1));
    if (!pattern) {
        const std::string_view text = textOf(args[1]);
        pattern = new LikePattern(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
        sqlite3_set_auxdata(context, 1, pattern, deletePattern);
        pattern = static_cast<LikePattern*>(sqlite3_get_auxdata(context, 1));
        if (!pattern) {  // SQLite may drop it at once; then use a fresh one for this row
            const LikePattern once(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
            sqlite3_result_int(context, once.matchesUtf8(textOf(args[0])));
            return;
        }
    }
    sqlite3_result_int(context, pattern->matchesUtf8(textOf(args[0])));
}

void vequal(sqlite3_context* context, int, sqlite3_value** args) {
    if (nullArgument(context, args))
        return;
    const std::string_view a = textOf(args[0]);
    const std::string_view b = textOf(args[1]);
    const QString left = QString::fromUtf8(a.data(), static_cast<qsizetype>(a.size()));
    const QString right = QString::fromUtf8(b.data(), static_cast<qsizetype>(b.size()));
    sqlite3_result_int(context, left.compare(right, Qt::CaseInsensitive) == 0);
}

// A number column's value as a number: a text ("80 mq" in older data) counts as its
// leading number, and as null when it does not start with one.
void vnumber(sqlite3_context* context, int, sqlite3_value** args) {
    switch (sqlite3_value_type(args[0])) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
        sqlite3_result_value(context, args[0]);
        return;
    case SQLITE_TEXT: {
        const std::string_view text = textOf(args[0]);
        if (const std::optional<double> number =
                Numbers::leading(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())))) {
            sqlite3_result_double(context, *number);
            return;
        }
        break;
    }
    default:
        break;
    }
    sqlite3_result_null(context);
}

// The day a stored date text stands for, as ISO text (Query::storedDay), or null.
void vdate(sqlite3_context* context, int, sqlite3_value** args) {
    if (sqlite3_value_type(args[0]) == SQLITE_TEXT && sqlite3_value_type(args[1]) == SQLITE_TEXT) {
        const std::string_view text = textOf(args[0]);
        const std::string_view order = textOf(args[1]);
        const QString day = Query::storedDay(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                                             QString::fromUtf8(order.data(), static_cast<qsizetype>(order.size())));
        if (!day.isEmpty()) {
            const QByteArray bytes = day.toUtf8();
            sqlite3_result_text(context, bytes.constData(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
            return;
        }
    }
    sqlite3_result_null(context);
}

} // namespace

namespace SqlFunctions {

bool install(sqlite3* db) {
    constexpr int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    return sqlite3_create_function_v2(db, "vlike", 2, flags, nullptr, vlike, nullptr, nullptr, nullptr) == SQLITE_OK &&
           sqlite3_create_function_v2(db, "vequal", 2, flags, nullptr, vequal, nullptr, nullptr, nullptr) ==
               SQLITE_OK &&
           sqlite3_create_function_v2(db, "vnumber", 1, flags, nullptr, vnumber, nullptr, nullptr, nullptr) ==
               SQLITE_OK &&
           sqlite3_create_function_v2(db, "vdate", 2, flags, nullptr, vdate, nullptr, nullptr, nullptr) == SQLITE_OK;
}

} // namespace SqlFunctions
