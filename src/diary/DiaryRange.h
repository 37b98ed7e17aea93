#pragma once

#include "data/vocabulary/Query.h"
#include "platform/Result.h"

#include <QDate>
#include <QString>

class Regional;

// The texts the diary builds from the two range boxes ("Dal", "Al"): the list's query
// and caption, and the selection formula of the printout.
namespace DiaryRange {

// Reads the two boxes as days (typed day first, as the short form writes them). A box
// that is empty or not a date is refused in one sentence that names the box and its
// text, starting with what was not done ("Ricerca", "Stampa").
Result read(const QString& first, const QString& last, const Regional& regional, const QString& action, QDate& from,
            QDate& to);

// "SELECT * FROM agenda WHERE datap BETWEEN #first# AND #last# ": the boxes' texts go into
// the text verbatim, while the query runs on the days they read as, both included.
Query query(const QString& first, const QString& last, const Regional& regional);
// "APPUNTAMENTI DAL first AL last", with the texts as typed.
QString caption(const QString& first, const QString& last);

Query fullListQuery();
QString fullListCaption();

// "{agenda.datap} >= DateValue (first) AND {agenda.datap} <=DateValue (last)", with both
// days written in the regional short form.
QString printFormula(const QDate& from, const QDate& to, const Regional& regional);

} // namespace DiaryRange
