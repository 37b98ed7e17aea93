#include "diary/DiaryRange.h"

#include "platform/Regional.h"

namespace DiaryRange {

namespace {

const QString table = QStringLiteral("agenda");
const QString firstBox = QStringLiteral("Dal");
const QString lastBox = QStringLiteral("Al");

// A text quoted in a message: a pasted page would make the message unreadable.
QString quoted(const QString& text) {
    constexpr int longest = 40;
    return text.size() > longest ? text.left(longest) + QStringLiteral("…") : text;
}

Result readDay(const QString& text, const QString& box, const Regional& regional, const QString& action, QDate& day) {
    if (const std::optional<QDate> date = regional.parseDate(text)) {
        day = *date;
        return Result::success();
    }
    const QString example = regional.dateText(QDate(2026, 3, 1));
    if (text.trimmed().isEmpty())
        return Result::failure(
            QStringLiteral("%1 non eseguita: «%2» è vuoto, serve una data come %3.").arg(action, box, example));
    return Result::failure(QStringLiteral("%1 non eseguita: «%2» vale «%3», che non è una data come %4.")
                               .arg(action, box, quoted(text), example));
}

} // namespace

Result read(const QString& first, const QString& last, const Regional& regional, const QString& action, QDate& from,
            QDate& to) {
    if (const Result read = readDay(first, firstBox, regional, action, from); !read)
        return read;
    return readDay(last, lastBox, regional, action, to);
}

Query query(const QString& first, const QString& last, const Regional& regional) {
    return Query::dateRange(table, QStringLiteral("datap"), {first, firstBox}, {last, lastBox}, regional);
}

QString caption(const QString& first, const QString& last) {
    return QStringLiteral("APPUNTAMENTI DAL ") + first + QStringLiteral(" AL ") + last;
}

Query fullListQuery() {
    return Query::all(table);
}

QString fullListCaption() {
    return QStringLiteral("TUTTI GLI APPUNTAMENTI DELL'AGENDA");
}

QString printFormula(const QDate& from, const QDate& to, const Regional& regional) {
    return QStringLiteral("{agenda.datap} >= DateValue (") + regional.dateText(from) +
           QStringLiteral(") AND {agenda.datap} <=DateValue (") + regional.dateText(to) + QStringLiteral(")");
}

} // namespace DiaryRange
