#include "data/postgres/PostgresFunctions.h"

#include "data/vocabulary/PostgresPattern.h"

#include <QCryptographicHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <algorithm>

namespace {

// Held while the functions are replaced, so two desks opening at once do not collide.
constexpr qint64 lockKey = 0x76656c6d6f7261; // "velmora"

// The characters of a set as a bracket expression's inside, every one escaped.
QString bracketed(const std::vector<PostgresPattern::Interval>& set) {
    QString out;
    for (const auto& [first, last] : set) {
        out += PostgresPattern::escaped(first);
        if (last > first)
            out += QLatin1Char('-') + PostgresPattern::escaped(last);
    }
    return out;
}

QString fromUcs4(const std::u32string& text) {
    return QString::fromUcs4(text.data(), static_cast<qsizetype>(text.size()));
}

// One of our own texts as an SQL literal, dollar-quoted: its backslashes stay as they are
// whatever the server's standard_conforming_strings.
QString literal(const QString& text) {
    Q_ASSERT(!text.contains(QStringLiteral("$q$")));
    return QStringLiteral("$q$") + text + QStringLiteral("$q$");
}

// ASCII folds with lower() in the C collation, whatever the server's locale; every other
// character that folds is translated, a block of the table at a time and only when the
// text holds one of that block, since translate() looks each character up in its list.
QString foldFunction() {
    std::vector<std::pair<char32_t, char32_t>> others;
    for (const auto& pair : PostgresPattern::foldPairs())
        if (pair.first >= 0x80)
            others.push_back(pair);
    constexpr std::size_t block = 160;
    QStringList steps;
    std::vector<PostgresPattern::Interval> all;
    for (std::size_t at = 0; at < others.size(); at += block) {
        std::u32string from, to;
        std::vector<PostgresPattern::Interval> sources;
        for (std::size_t i = at; i < std::min(others.size(), at + block); ++i) {
            from.push_back(others[i].first);
            to.push_back(others[i].second);
            if (!sources.empty() && sources.back().second + 1 == others[i].first)
                sources.back().second = others[i].first;
            else
                sources.push_back({others[i].first, others[i].first});
        }
        all.insert(all.end(), sources.begin(), sources.end());
        steps << QStringLiteral("        IF r ~ %1 THEN r := translate(r, %2, %3); END IF;")
                     .arg(literal(QLatin1Char('[') + bracketed(sources) + QLatin1Char(']')), literal(fromUcs4(from)),
                          literal(fromUcs4(to)));
    }
    return QStringLiteral("CREATE OR REPLACE FUNCTION velmora_fold(t text) RETURNS text\n"
                          "LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $velmora$\n"
                          "DECLARE\n"
                          "    r text := lower(t COLLATE \"C\");\n"
                          "BEGIN\n"
                          "    IF r ~ %1 THEN\n"
                          "%2\n"
                          "    END IF;\n"
                          "    RETURN r;\n"
                          "END\n"
                          "$velmora$")
        .arg(literal(QLatin1Char('[') + bracketed(all) + QLatin1Char(']')), steps.join(QLatin1Char('\n')));
}

// The regular expression for a folded pattern, read by LikePattern's rules: the text it
// is matched with is folded too, so each character stands for itself and a range is a
// range of code points. Pieces are gathered in an array: a long pattern stays linear.
QString likeRegexFunction() {
    return QStringLiteral(R"sql(CREATE OR REPLACE FUNCTION velmora_like_regex(p text) RETURNS text
LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $velmora$
DECLARE
    c text[] := CASE WHEN p = '' THEN ARRAY[]::text[] ELSE regexp_split_to_array(p, '') END;
    n integer := cardinality(c);
    closing integer[] := array_fill(0, ARRAY[n + 1]);
    pieces text[] := ARRAY['^'];
    items text[];
    i integer := 1;
    k integer;
    a integer;
    b integer;
    negated boolean;
    star boolean := false;
BEGIN
    -- For each place, the first "]" after it (0: none).
    FOR j IN REVERSE n - 1..1 LOOP
        closing[j] := CASE WHEN c[j + 1] = ']' THEN j + 1 ELSE closing[j + 1] END;
    END LOOP;
    WHILE i <= n LOOP
        IF c[i] = '*' THEN
            IF NOT star THEN
                pieces := pieces || '.*'::text;
            END IF;
            star := true;
            i := i + 1;
            CONTINUE;
        END IF;
        star := false;
        IF c[i] = '?' THEN
            pieces := pieces || '.'::text;
        ELSIF c[i] = '#' THEN
            pieces := pieces || %1::text;
        ELSIF c[i] = '[' AND closing[i] > 0 THEN
            k := i + 1;
            negated := k < closing[i] AND c[k] = '!';
            IF negated THEN
                k := k + 1;
            END IF;
            items := ARRAY[]::text[];
            WHILE k < closing[i] LOOP
                IF k + 2 < closing[i] AND c[k + 1] = '-' THEN
                    a := least(ascii(c[k]), ascii(c[k + 2]));
                    b := greatest(ascii(c[k]), ascii(c[k + 2]));
                    items := items || (E'\\U' || lpad(to_hex(a), 8, '0') || E'-\\U' || lpad(to_hex(b), 8, '0'));
                    k := k + 3;
                ELSE
                    items := items || (E'\\U' || lpad(to_hex(ascii(c[k])), 8, '0'));
                    k := k + 1;
                END IF;
            END LOOP;
            IF cardinality(items) = 0 THEN
                -- "[!]" takes any character, "[]" none
                pieces := pieces || CASE WHEN negated THEN '.' ELSE %2 END;
            ELSE
                pieces := pieces || ('[' || CASE WHEN negated THEN '^' ELSE '' END || array_to_string(items, '') || ']');
            END IF;
            i := closing[i];
        ELSE
            pieces := pieces || (E'\\U' || lpad(to_hex(ascii(c[i])), 8, '0'));
        END IF;
        i := i + 1;
    END LOOP;
    RETURN array_to_string(pieces, '') || '$';
END
$velmora$)sql")
        .arg(literal(QLatin1Char('[') + bracketed(PostgresPattern::digits()) + QLatin1Char(']')),
             literal(QStringLiteral("[^\\u0001-\\U0010ffff]")));
}

// Numbers::leading: blanks and tabs anywhere are dropped, then the longest leading plain
// number is read; one too large for a double is the largest with its sign, one too small
// is zero. Only a number with a large exponent or many digits can be out of range, so
// only those pay for catching the error.
QStringList numberFunctions() {
    return {QStringLiteral(R"sql(CREATE OR REPLACE FUNCTION vnumber(t text) RETURNS double precision
LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $velmora$
DECLARE
    s text := substring(translate(t, E' \t', '') FROM $q$^[+-]?(?:[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][+-]?[0-9]+)?$q$);
    mantissa text;
    exponent text;
    whole text;
    magnitude numeric;
BEGIN
    IF s IS NULL THEN
        RETURN NULL;
    END IF;
    mantissa := ltrim(split_part(lower(s), 'e', 1), '+-');
    exponent := coalesce(nullif(split_part(lower(s), 'e', 2), ''), '0');
    IF length(exponent) <= 6 AND abs(exponent::integer) + length(mantissa) < 300 THEN
        RETURN s::double precision;
    END IF;
    BEGIN
        RETURN s::double precision;
    EXCEPTION WHEN numeric_value_out_of_range THEN
        -- the power of ten of the first significant digit tells too large from too small
        whole := ltrim(split_part(mantissa, '.', 1), '0');
        IF whole <> '' THEN
            magnitude := length(whole) - 1 + exponent::numeric;
        ELSE
            magnitude := exponent::numeric - 1 - (length(split_part(mantissa, '.', 2))
                         - length(ltrim(split_part(mantissa, '.', 2), '0')));
        END IF;
        RETURN CASE WHEN magnitude >= 0 THEN 1.7976931348623157e308::double precision ELSE 0 END
               * CASE WHEN left(s, 1) = '-' THEN -1 ELSE 1 END;
    END;
END
$velmora$)sql"),
            QStringLiteral(R"sql(CREATE OR REPLACE FUNCTION vnumber(v double precision) RETURNS double precision
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $velmora$ SELECT v $velmora$)sql"),
            // A numeric column's value; one a double cannot hold is read by the rule for texts.
            QStringLiteral(R"sql(CREATE OR REPLACE FUNCTION vnumber(v numeric) RETURNS double precision
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $velmora$
SELECT CASE WHEN v = 0 OR (abs(v) BETWEEN 1e-300 AND 1e300) OR abs(v) = 'Infinity' THEN v::double precision
            ELSE vnumber(v::text) END $velmora$)sql")};
}

// Query::storedDay: an ISO date by its first ten characters; four digits first as year,
// month, day; another by the regional reading (Regional::parseDate) in the order given
// ("dmy", "mdy", "ymd"); else null.
QString dateFunction() {
    return QStringLiteral(R"sql(CREATE OR REPLACE FUNCTION vdate(t text, o text) RETURNS text
LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $velmora$
DECLARE
    parts text[];
    d integer;
    m integer;
    y integer;
BEGIN
    IF t ~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}([ T]|$)' THEN
        RETURN left(t, 10);
    END IF;
    parts := regexp_match(t, '^\s*([0-9]{4})[/.\- ]+([0-9]{1,2})[/.\- ]+([0-9]{1,2})([ T]|\s*$)');
    IF parts IS NOT NULL THEN
        y := parts[1]::integer;
        m := parts[2]::integer;
        d := parts[3]::integer;
    ELSE
        parts := regexp_match(t, '^\s*([0-9]{1,4})[/.\- ]+([0-9]{1,4})[/.\- ]+([0-9]{1,4})\s*$');
        IF parts IS NULL OR length(o) <> 3 THEN
            RETURN NULL;
        END IF;
        FOR i IN 1..3 LOOP
            IF substr(o, i, 1) = 'd' THEN
                IF length(parts[i]) > 2 THEN RETURN NULL; END IF;
                d := parts[i]::integer;
            ELSIF substr(o, i, 1) = 'm' THEN
                IF length(parts[i]) > 2 THEN RETURN NULL; END IF;
                m := parts[i]::integer;
            ELSIF length(parts[i]) <= 2 THEN
                y := CASE WHEN parts[i]::integer < 30 THEN 2000 ELSE 1900 END + parts[i]::integer;
            ELSIF length(parts[i]) = 4 THEN
                y := parts[i]::integer;
            ELSE
                RETURN NULL;
            END IF;
        END LOOP;
    END IF;
    IF y < 1 OR m < 1 OR m > 12 OR d < 1 THEN
        RETURN NULL;
    END IF;
    IF d > extract(day FROM make_date(y, m, 1) + interval '1 month' - interval '1 day') THEN
        RETURN NULL;
    END IF;
    RETURN to_char(make_date(y, m, d), 'YYYY-MM-DD');
END
$velmora$)sql");
}

QStringList statements() {
    QStringList all{
        foldFunction(),
        likeRegexFunction(),
        QStringLiteral("CREATE OR REPLACE FUNCTION velmora_like(t text, p text) RETURNS boolean\n"
                       "LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $velmora$\n"
                       "SELECT velmora_fold(t) ~ velmora_like_regex(velmora_fold(p)) $velmora$"),
        QStringLiteral("CREATE OR REPLACE FUNCTION velmora_equal(a text, b text) RETURNS boolean\n"
                       "LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $velmora$\n"
                       "SELECT velmora_fold(a) COLLATE \"C\" = velmora_fold(b) COLLATE \"C\" $velmora$"),
    };
    return all + numberFunctions() + QStringList{dateFunction()};
}

Result failed(const QSqlQuery& query) {
    return Result::failure(QStringLiteral("Le funzioni del programma non si possono creare nel database PostgreSQL: %1")
                               .arg(query.lastError().databaseText().trimmed().isEmpty()
                                        ? query.lastError().text()
                                        : query.lastError().databaseText().trimmed()));
}

} // namespace

Result installPostgresFunctions(QSqlDatabase& database) {
    const QStringList sql = statements();
    // The version the database holds is written as a comment on velmora_fold, last of all:
    // a database that has it needs nothing, and a desk that may not replace functions
    // (another user made them) can still open it.
    const QString version =
        QStringLiteral("velmora %1")
            .arg(QString::fromLatin1(
                QCryptographicHash::hash(sql.join(QLatin1Char('\n')).toUtf8(), QCryptographicHash::Sha256).toHex()));
    QSqlQuery query(database);
    const auto upToDate = [&](bool& current) {
        if (!query.exec(QStringLiteral("SELECT obj_description(to_regprocedure('velmora_fold(text)'), 'pg_proc')")) ||
            !query.next())
            return false;
        current = query.value(0).toString() == version;
        return true;
    };
    bool current = false;
    if (!upToDate(current))
        return failed(query);
    if (current)
        return Result::success();

    if (!query.exec(QStringLiteral("SELECT pg_advisory_lock(%1)").arg(lockKey)))
        return failed(query);
    Result result = Result::success();
    if (!upToDate(current)) {
        result = failed(query);
    } else if (!current) {
        for (const QString& statement : sql)
            if (!query.exec(statement)) {
                result = failed(query);
                break;
            }
        if (result && !query.exec(QStringLiteral("COMMENT ON FUNCTION velmora_fold(text) IS '%1'").arg(version)))
            result = failed(query);
    }
    QSqlQuery(database).exec(QStringLiteral("SELECT pg_advisory_unlock(%1)").arg(lockKey));
    return result;
}
