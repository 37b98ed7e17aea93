#pragma once

#include "DatabaseLocation.h"
#include "Result.h"

#include <QString>
#include <QVariant>
#include <memory>
#include <vector>

class Regional;

// A selection formula of the reports, such as
//   {richiesta.mq} >= 0 AND {richiesta.mq} <=1000 AND {richiesta.motivo} ='vendita' AND {richiesta.tipo} LIKE'**'
//   {agenda.datap} >= DateValue (01/03/2026) AND {agenda.datap} <=DateValue (07/03/2026)
// parsed into a tree: fields {table.field}, numbers, texts in single or double quotes
// (a doubled quote stands for itself), = <> < > <= >=, LIKE with * and ?, AND, OR,
// NOT, parentheses and DateValue (date) with a bare date in the regional short form
// or a quoted one. It runs as parameterized SQL, whatever its length; a comparison
// with a null field drops the row (an empty text '' is a value, not a null), and a
// text in a number field counts as its leading number. Parentheses nest at most 100
// deep. A formula that does not parse is refused with a message that says what is
// wrong and where, quoting the user's words as typed.
class Formula {
public:
    struct Node;

    Formula();
    ~Formula();
    Formula(Formula&&) noexcept;
    Formula& operator=(Formula&&) noexcept;

    static Formula parse(const QString& text, const Regional& regional);

    bool isValid() const { return m_error.isEmpty(); }
    const QString& error() const { return m_error; }
    // An empty formula selects every row.
    bool selectsAll() const { return !m_root; }

    // The SQL condition over `table` with its parameters, for an engine: SQLite with the
    // program's functions (vlike, vequal, vnumber), PostgreSQL with those that
    // installPostgresFunctions creates and the regular expressions of PostgresPattern,
    // every value still a parameter, in the same number. Fields of another table, or
    // fields the table does not have, are refused.
    Result toSql(const QString& table, QString& where, QVariantList& parameters,
                 DatabaseLocation::Engine engine = DatabaseLocation::Engine::SQLite) const;

private:
    std::unique_ptr<Node> m_root;
    QString m_error;
    QString m_dateOrder; // how a stored date that is not ISO is read (Regional::dateOrder)
};
