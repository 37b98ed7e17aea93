#include "Formula.h"

#include "Numbers.h"
#include "PostgresPattern.h"
#include "Query.h"
#include "Regional.h"
#include "Schema.h"

#include <QRegularExpression>
#include <algorithm>

struct Formula::Node {
    enum Kind { Field, Number, Text, Date, Compare, Like, And, Or, Not } kind;
    int position = 0;  // where it starts in the formula, counted from 1
    QString table;     // Field
    QString field;     // Field
    QVariant value;    // Number, Text, Date (ISO text)
    QString op;        // Compare
    std::unique_ptr<Node> left;               // Compare, Like, Not
    std::unique_ptr<Node> right;              // Compare, Like
    std::vector<std::unique_ptr<Node>> parts;  // And, Or: a whole chain, so long chains stay shallow
    int height = 0;                           // how many And/Or levels lie below, for the SQL's nesting
};

namespace {

using Node = Formula::Node;

// Parentheses inside parentheses deeper than this are refused: the parser recurses
// once per level.
constexpr int maxNesting = 100;
// SQLite's parser holds at most 100 entries on its stack: an open parenthesis takes
// one, a pending "condition AND" two more, a comparison up to 8. Deeper SQL is refused
// here with a sentence of our own rather than by the engine in English.
constexpr int maxSqlStack = 90;
constexpr int comparisonStack = 8;
// SQLite binds at most 32766 values in one statement; the report adds one of its own.
constexpr int maxValues = 32000;

struct Token {
    enum Kind { End, Field, Number, Text, Word, Operator, Open, Close, DateArgument } kind;
    QString text;
    int position;
};

// Thrown inside the parser only; the public face is the message.
struct FormulaError {
    QString message;
};

[[noreturn]] void fail(int position, const QString& what) {
    throw FormulaError{QStringLiteral("Formula di selezione non valida al carattere %1: %2.").arg(position).arg(what)};
}

class Lexer {
public:
    explicit Lexer(const QString& text) : m_text(text) {}

    Token next() {
        skipBlanks();
        const int start = m_pos + 1;
        if (m_pos >= m_text.size())
            return {Token::End, {}, start};
        const QChar c = m_text.at(m_pos);

        if (m_afterDateValue) {  // the argument of DateValue: "(", a date, ")"
            m_afterDateValue = false;
            if (c != QLatin1Char('('))
                fail(start, QStringLiteral("dopo DateValue serve una data tra parentesi"));
            ++m_pos;
            skipBlanks();
            const int argumentStart = m_pos + 1;
            QString argument;
            if (m_pos < m_text.size() && (m_text.at(m_pos) == QLatin1Char('\'') || m_text.at(m_pos) == QLatin1Char('"')))
                argument = quoted();
            else
                while (m_pos < m_text.size() && m_text.at(m_pos) != QLatin1Char(')'))
                    argument += m_text.at(m_pos++);
            skipBlanks();
            if (m_pos >= m_text.size() || m_text.at(m_pos) != QLatin1Char(')'))
                fail(m_pos + 1, QStringLiteral("manca la parentesi chiusa di DateValue"));
            ++m_pos;
            return {Token::DateArgument, argument.trimmed(), argumentStart};
        }

        if (c == QLatin1Char('{')) {
            const qsizetype close = m_text.indexOf(QLatin1Char('}'), m_pos);
            if (close < 0)
                fail(start, QStringLiteral("manca la graffa chiusa del campo"));
            const QString name = m_text.mid(m_pos + 1, close - m_pos - 1);
            m_pos = static_cast<int>(close) + 1;
            return {Token::Field, name, start};
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"'))
            return {Token::Text, quoted(), start};
        if (c.isDigit() || (c == QLatin1Char('.') && peekDigit(1)) || (c == QLatin1Char('-') && (peekDigit(1) || (peek(1) == QLatin1Char('.') && peekDigit(2))))) {
            // A decimal comma is read too: bounds are written back in the regional form (12,5).
            static const QRegularExpression number(QStringLiteral("-?(\\d+([.,]\\d+|\\.)?|\\.\\d+)([eE][+-]?\\d+)?"));
            const QRegularExpressionMatch match = number.match(m_text, m_pos, QRegularExpression::NormalMatch,
                                                               QRegularExpression::AnchorAtOffsetMatchOption);
            m_pos += static_cast<int>(match.capturedLength());
            return {Token::Number, match.captured(), start};
        }
        if (c.isLetter()) {
            QString word;
            while (m_pos < m_text.size() && (m_text.at(m_pos).isLetterOrNumber() || m_text.at(m_pos) == QLatin1Char('_')))
                word += m_text.at(m_pos++);
            if (word.compare(QStringLiteral("DateValue"), Qt::CaseInsensitive) == 0)
                m_afterDateValue = true;
            return {Token::Word, word, start};
        }
        for (const char* op : {"<>", "<=", ">=", "=", "<", ">"}) {
            const QString symbol = QString::fromLatin1(op);
            if (m_text.mid(m_pos, symbol.size()) == symbol) {
                m_pos += static_cast<int>(symbol.size());
                return {Token::Operator, symbol, start};
            }
        }
        if (c == QLatin1Char('(') || c == QLatin1Char(')')) {
            ++m_pos;
            return {c == QLatin1Char('(') ? Token::Open : Token::Close, QString(c), start};
        }
        fail(start, QStringLiteral("carattere inatteso «%1»").arg(c));
    }

private:
    void skipBlanks() {
        while (m_pos < m_text.size() && m_text.at(m_pos).isSpace())
            ++m_pos;
    }
    QChar peek(int ahead) const { return m_pos + ahead < m_text.size() ? m_text.at(m_pos + ahead) : QChar(); }
    bool peekDigit(int ahead) const { return peek(ahead).isDigit(); }

    // A text in single or double quotes; the same quote doubled stands for itself.
    QString quoted() {
        const int start = m_pos + 1;
        const QChar quote = m_text.at(m_pos++);
        QString value(QLatin1String(""));  // '' is an empty text, never a null
        while (m_pos < m_text.size()) {
            const QChar c = m_text.at(m_pos++);
            if (c != quote) {
                value += c;
                continue;
            }
            if (m_pos < m_text.size() && m_text.at(m_pos) == quote) {
                value += quote;
                ++m_pos;
                continue;
            }
            return value;
        }
        fail(start, QStringLiteral("il testo che inizia qui non ha l'apice di chiusura"));
    }

    const QString& m_text;
    int m_pos = 0;
    bool m_afterDateValue = false;
};

class Parser {
public:
    Parser(const QString& text, const Regional& regional) : m_lexer(text), m_regional(regional) { advance(); }

    std::unique_ptr<Node> formula() {
        if (m_token.kind == Token::End)
            return nullptr;
        auto root = disjunction();
        if (m_token.kind != Token::End)
            fail(m_token.position, QStringLiteral("c'è qualcosa in più dopo la fine della condizione: «%1»").arg(m_token.text));
        return root;
    }

private:
    void advance() { m_token = m_lexer.next(); }
    bool isWord(const char* word) const {
        return m_token.kind == Token::Word && m_token.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    }

    static std::unique_ptr<Node> join(Node::Kind kind, int position, std::unique_ptr<Node> left, std::unique_ptr<Node> right) {
        auto node = std::make_unique<Node>();
        node->kind = kind;
        node->position = position;
        node->left = std::move(left);
        node->right = std::move(right);
        return node;
    }

    // One node for a whole chain of AND (or OR); a chain in parentheses joins it.
    static std::unique_ptr<Node> chain(Node::Kind kind, int position, std::vector<std::unique_ptr<Node>> parts) {
        if (parts.size() == 1)
            return std::move(parts.front());
        auto node = std::make_unique<Node>();
        node->kind = kind;
        node->position = position;
        for (auto& part : parts) {
            if (part->kind == kind) {
                for (auto& inner : part->parts)
                    node->parts.push_back(std::move(inner));
            } else {
                node->parts.push_back(std::move(part));
            }
        }
        for (const auto& part : node->parts)
            node->height = std::max(node->height, part->height + 1);
        return node;
    }

    std::unique_ptr<Node> disjunction() {
        const int at = m_token.position;
        std::vector<std::unique_ptr<Node>> parts;
        parts.push_back(conjunction());
        while (isWord("OR")) {
            advance();
            parts.push_back(conjunction());
        }
        return chain(Node::Or, at, std::move(parts));
    }

    std::unique_ptr<Node> conjunction() {
        const int at = m_token.position;
        std::vector<std::unique_ptr<Node>> parts;
        parts.push_back(negation());
        while (isWord("AND")) {
            advance();
            parts.push_back(negation());
        }
        return chain(Node::And, at, std::move(parts));
    }

    std::unique_ptr<Node> negation() {
        // NOT NOT x is x (also for nulls), so a run of NOTs is read in a loop, not by recursion.
        const int at = m_token.position;
        bool negated = false;
        while (isWord("NOT")) {
            negated = !negated;
            advance();
        }
        std::unique_ptr<Node> inside;
        if (m_token.kind == Token::Open) {
            const int open = m_token.position;
            if (++m_nesting > maxNesting)
                fail(open, QStringLiteral("ci sono più di %1 parentesi una dentro l'altra").arg(maxNesting));
            advance();
            inside = disjunction();
            if (m_token.kind != Token::Close)
                fail(open, QStringLiteral("la parentesi aperta qui non è chiusa"));
            --m_nesting;
            advance();
        } else {
            inside = comparison();
        }
        if (!negated)
            return inside;
        if (inside->kind == Node::Not)
            return std::move(inside->left);
        auto node = join(Node::Not, at, std::move(inside), nullptr);
        node->height = node->left->height;
        return node;
    }

    std::unique_ptr<Node> comparison() {
        auto left = operand();
        const int at = m_token.position;
        if (m_token.kind == Token::Operator) {
            const QString op = m_token.text;
            advance();
            auto node = join(Node::Compare, at, std::move(left), operand());
            node->op = op;
            return node;
        }
        if (isWord("LIKE")) {
            advance();
            return join(Node::Like, at, std::move(left), operand());
        }
        fail(at, m_token.kind == Token::End ? QStringLiteral("la condizione finisce senza un confronto (=, <>, <, >, <=, >= o LIKE)")
                                            : QStringLiteral("qui serve un confronto (=, <>, <, >, <=, >= o LIKE), non «%1»").arg(m_token.text));
    }

    std::unique_ptr<Node> operand() {
        auto node = std::make_unique<Node>();
        node->position = m_token.position;
        switch (m_token.kind) {
        case Token::Field: {
            const qsizetype dot = m_token.text.indexOf(QLatin1Char('.'));
            if (dot <= 0 || dot == m_token.text.size() - 1)
                fail(m_token.position, QStringLiteral("un campo si scrive {tabella.campo}, non {%1}").arg(m_token.text));
            node->kind = Node::Field;
            node->table = m_token.text.left(dot).trimmed();
            node->field = m_token.text.mid(dot + 1).trimmed();
            if (!Schema::table(node->table))
                fail(m_token.position, QStringLiteral("la tabella «%1» non esiste").arg(node->table));
            if (!Schema::field(node->table, node->field))
                fail(m_token.position, QStringLiteral("il campo «%1» non esiste nella tabella «%2»").arg(node->field, node->table));
            break;
        }
        case Token::Number: {
            const std::optional<double> number = Numbers::inFormula(m_token.text);
            if (!number)
                fail(m_token.position, QStringLiteral("il numero «%1» è troppo grande").arg(m_token.text));
            node->kind = Node::Number;
            node->value = *number;
            break;
        }
        case Token::Text:
            node->kind = Node::Text;
            node->value = m_token.text;
            break;
        case Token::Word: {
            if (!isWord("DATEVALUE"))
                fail(m_token.position, QStringLiteral("qui serve un valore, non «%1»").arg(m_token.text));
            advance();  // the date argument
            const std::optional<QDate> date = m_regional.parseDate(m_token.text);
            if (!date)
                fail(m_token.position, QStringLiteral("«%1» non è una data come %2")
                                           .arg(m_token.text, m_regional.dateText(QDate(2026, 3, 1))));
            node->kind = Node::Date;
            node->value = date->toString(Qt::ISODate);
            break;
        }
        case Token::End:
            fail(m_token.position, QStringLiteral("la formula finisce dove serve un valore"));
        default:
            fail(m_token.position, QStringLiteral("qui serve un valore, non «%1»").arg(m_token.text));
        }
        advance();
        return node;
    }

    Lexer m_lexer;
    const Regional& m_regional;
    Token m_token{Token::End, {}, 0};
    int m_nesting = 0;
};

enum class Type { Number, Text, Date };

QString typeName(Type type) {
    switch (type) {
    case Type::Number:
        return QStringLiteral("un numero");
    case Type::Date:
        return QStringLiteral("una data");
    case Type::Text:
        break;
    }
    return QStringLiteral("un testo");
}

class SqlWriter {
public:
    SqlWriter(const QString& table, QVariantList& parameters, DatabaseLocation::Engine engine, const QString& dateOrder)
        : m_table(table), m_parameters(parameters), m_engine(engine),
          m_postgres(engine == DatabaseLocation::Engine::PostgreSQL), m_dateOrder(dateOrder) {}

    // NOT is pushed down to the comparisons (De Morgan holds for nulls too), and each
    // chain is written as a balanced tree with its deepest part first: SQLite's parser
    // has a small stack that right-nested groups use up quickly, and its expressions
    // may be at most 1000 deep.
    QString condition(const Node& node, bool negated = false) {
        switch (node.kind) {
        case Node::And:
        case Node::Or: {
            std::vector<const Node*> parts;
            for (const auto& part : node.parts)
                parts.push_back(part.get());
            std::stable_sort(parts.begin(), parts.end(),
                             [](const Node* a, const Node* b) { return a->height > b->height; });
            const bool conjunction = (node.kind == Node::And) != negated;
            return balanced(parts, 0, parts.size(), conjunction ? QStringLiteral(" AND ") : QStringLiteral(" OR "),
                            negated);
        }
        case Node::Not:
            return condition(*node.left, !negated);
        case Node::Like: {
            comparisonAt(node);
            Type left, right;
            const QString a = value(*node.left, left), b = value(*node.right, right);
            if (left != Type::Text || right != Type::Text)
                fail(node.position, QStringLiteral("LIKE confronta testi, qui c'è %1").arg(typeName(left != Type::Text ? left : right)));
            if (!m_postgres)
                return negation(QStringLiteral("vlike(%1, %2)").arg(a, b), negated);
            // A pattern typed in the formula is bound as its regular expression; one read
            // from a field is translated by the server.
            if (node.right->kind == Node::Text) {
                const QString pattern = node.right->value.toString();
                if (pattern.size() > PostgresPattern::longestPattern)
                    fail(node.right->position, QStringLiteral("il testo dopo LIKE è lungo %1 caratteri: sul database "
                                                              "PostgreSQL se ne possono usare al massimo %2")
                                                   .arg(pattern.size())
                                                   .arg(PostgresPattern::longestPattern));
                m_parameters.last() = PostgresPattern::likeRegex(pattern);
                return negation(QStringLiteral("(%1 ~ %2)").arg(a, b), negated);
            }
            return negation(QStringLiteral("velmora_like(%1, %2)").arg(a, b), negated);
        }
        case Node::Compare: {
            comparisonAt(node);
            Type left, right;
            const QString a = value(*node.left, left), b = value(*node.right, right);
            if (left != right)
                fail(node.position, QStringLiteral("non si può confrontare %1 con %2").arg(typeName(left), typeName(right)));
            if (left == Type::Text && (node.op == QLatin1String("=") || node.op == QLatin1String("<>")))
                return textEquality(node, a, b, node.op == QLatin1String("=") ? negated : !negated);
            // Texts and ISO dates in code-point order, as SQLite compares them, whatever
            // the server's locale.
            if (m_postgres && left != Type::Number)
                return negation(QStringLiteral("(%1 %2 %3 COLLATE \"C\")").arg(a, node.op, b), negated);
            return negation(QStringLiteral("(%1 %2 %3)").arg(a, node.op, b), negated);
        }
        default:
            fail(node.position, QStringLiteral("qui serve una condizione, non solo un valore"));
        }
    }

private:
    // Text equality ignoring case; on PostgreSQL a typed text is bound as the regular
    // expression of its characters and the field is compared as it is (a long one, whose
    // expression would be slow to compile, is bound folded and the field folded).
    QString textEquality(const Node& node, const QString& a, const QString& b, bool negated) {
        if (!m_postgres)
            return negation(QStringLiteral("vequal(%1, %2)").arg(a, b), negated);
        const bool typedRight = node.right->kind == Node::Text;
        if (!typedRight && node.left->kind != Node::Text)
            return negation(QStringLiteral("velmora_equal(%1, %2)").arg(a, b), negated);
        // With a typed text on the left and a field on the right, that text is the last value bound.
        const QString text = (typedRight ? node.right : node.left)->value.toString();
        const QString& other = typedRight ? a : b;
        const QString& place = typedRight ? b : a;
        if (text.size() > PostgresPattern::longestPattern) {
            m_parameters.last() = PostgresPattern::folded(text);
            return negation(QStringLiteral("(velmora_fold(%1) = %2)").arg(other, place), negated);
        }
        m_parameters.last() = PostgresPattern::equalsRegex(text);
        return negation(QStringLiteral("(%1 ~ %2)").arg(other, place), negated);
    }

    static QString negation(const QString& condition, bool negated) {
        return negated ? QStringLiteral("(NOT %1)").arg(condition) : condition;
    }

    // Left before right: the parameters are bound in the order they are written.
    QString balanced(const std::vector<const Node*>& parts, std::size_t from, std::size_t to, const QString& op,
                     bool negated) {
        if (to - from == 1)
            return condition(*parts[from], negated);
        const std::size_t middle = from + (to - from + 1) / 2;
        m_stack += 1;  // "("
        const QString left = balanced(parts, from, middle, op, negated);
        m_stack += 2;  // "( left OP"
        const QString right = balanced(parts, middle, to, op, negated);
        m_stack -= 3;
        return QLatin1Char('(') + left + op + right + QLatin1Char(')');
    }

    void comparisonAt(const Node& node) {
        if (m_stack + comparisonStack > maxSqlStack)
            fail(node.position, QStringLiteral("la formula ha troppi livelli di AND e OR uno dentro l'altro"));
    }

    QString value(const Node& node, Type& type) {
        switch (node.kind) {
        case Node::Field: {
            if (node.table.compare(m_table, Qt::CaseInsensitive) != 0)
                fail(node.position, QStringLiteral("il report elenca «%1»: il campo {%2.%3} è di un'altra tabella")
                                        .arg(m_table, node.table, node.field));
            const Schema::Field* field = Schema::field(node.table, node.field);
            type = field->kind == Schema::FieldKind::Date   ? Type::Date
                   : field->kind == Schema::FieldKind::Text ? Type::Text
                                                            : Type::Number;
            const QString column = QLatin1Char('"') + field->name + QLatin1Char('"');
            // A text in a number column ("80 mq" from older data) counts as its leading
            // number, or as null; SQLite would otherwise sort it above every number. A date
            // stored in another form than ISO counts as the day it stands for.
            if (field->kind == Schema::FieldKind::Date)
                return Query::storedDaySql(column, m_dateOrder, m_engine, m_parameters);
            return field->kind == Schema::FieldKind::Number ? QStringLiteral("vnumber(%1)").arg(column) : column;
        }
        case Node::Number:
            type = Type::Number;
            break;
        case Node::Text:
            type = Type::Text;
            break;
        case Node::Date:
            type = Type::Date;
            break;
        default:
            fail(node.position, QStringLiteral("qui serve un valore, non una condizione"));
        }
        m_parameters << node.value;
        // PostgreSQL would guess the type of a value compared with another value.
        if (m_postgres)
            return type == Type::Number ? QStringLiteral("CAST(? AS double precision)") : QStringLiteral("CAST(? AS text)");
        return QStringLiteral("?");
    }

    const QString& m_table;
    QVariantList& m_parameters;
    const DatabaseLocation::Engine m_engine;
    const bool m_postgres;
    const QString m_dateOrder;
    int m_stack = 0;
};

} // namespace

Formula::Formula() = default;
Formula::~Formula() = default;
Formula::Formula(Formula&&) noexcept = default;
Formula& Formula::operator=(Formula&&) noexcept = default;

Formula Formula::parse(const QString& text, const Regional& regional) {
    Formula formula;
    try {
        formula.m_root = Parser(text, regional).formula();
        formula.m_dateOrder = regional.dateOrder();
    } catch (const FormulaError& error) {
        formula.m_error = error.message;
    }
    return formula;
}

Result Formula::toSql(const QString& table, QString& where, QVariantList& parameters,
                      DatabaseLocation::Engine engine) const {
    where.clear();
    parameters.clear();
    if (!isValid())
        return Result::failure(m_error);
    if (!m_root) {
        where = engine == DatabaseLocation::Engine::PostgreSQL ? QStringLiteral("TRUE") : QStringLiteral("1");
        return Result::success();
    }
    try {
        where = SqlWriter(table, parameters, engine, m_dateOrder).condition(*m_root);
        if (parameters.size() > maxValues)
            throw FormulaError{QStringLiteral("Formula di selezione non valida: ha %1 valori, al massimo se ne possono "
                                              "usare %2.")
                                   .arg(parameters.size())
                                   .arg(maxValues)};
    } catch (const FormulaError& error) {
        parameters.clear();
        return Result::failure(error.message);
    }
    return Result::success();
}
