#include "EngineSql.h"

#include <QSqlDatabase>

namespace EngineSql {

namespace {

// A character of the pattern as itself in a PostgreSQL regular expression.
QString plain(char32_t c) {
    const QString text = QString::fromUcs4(&c, 1);
    if (c < 0x80 && !QChar(c).isLetterOrNumber())
        return QLatin1Char('\\') + text;
    return text;
}

// The office's pattern as an anchored regular expression, matched ignoring case (~*).
QString regularExpression(const QString& pattern) {
    const QList<uint> p = pattern.toUcs4();
    QString out = QStringLiteral("^");
    for (qsizetype i = 0; i < p.size(); ++i) {
        const char32_t c = p.at(i);
        if (c == U'*') {
            out += QStringLiteral(".*");
        } else if (c == U'?') {
            out += QLatin1Char('.');
        } else if (c == U'#') {
            out += QStringLiteral("[0-9]");
        } else if (c == U'[' && p.indexOf(U']', i + 1) >= 0) {
            const qsizetype close = p.indexOf(U']', i + 1);
            qsizetype k = i + 1;
            const bool negated = k < close && p.at(k) == U'!';
            if (negated)
                ++k;
            QString set;
            for (; k < close; ++k) {
                if (k + 2 < close && p.at(k + 1) == U'-') {
                    set += plain(std::min(p.at(k), p.at(k + 2))) + QLatin1Char('-') +
                           plain(std::max(p.at(k), p.at(k + 2)));
                    k += 2;
                } else {
                    set += plain(p.at(k));
                }
            }
            if (set.isEmpty())
                out += negated ? QStringLiteral("[\\s\\S]") : QStringLiteral("[^\\s\\S]");
            else
                out += (negated ? QStringLiteral("[^") : QStringLiteral("[")) + set + QLatin1Char(']');
            i = close;
        } else {
            out += plain(c);
        }
    }
    return out + QLatin1Char('$');
}

} // namespace

QString like(Engine engine, const QString& column, const QString& pattern, QVariantList& values) {
    if (engine == Engine::PostgreSQL) {
        values << regularExpression(pattern);
        return column + QStringLiteral(" ~* ?");
    }
    values << pattern;
    return QStringLiteral("vlike(%1, ?)").arg(column);
}

QString textEquals(Engine engine, const QString& column, const QString& text, QVariantList& values) {
    values << text;
    if (engine == Engine::PostgreSQL)
        return QStringLiteral("lower(%1) = lower(?)").arg(column);
    return QStringLiteral("vequal(%1, ?)").arg(column);
}

QString trigramIndexExpression(const QString& column) {
    return column + QStringLiteral(" gin_trgm_ops");
}

Result installFunctions(QSqlDatabase&) {
    return Result::success();
}

} // namespace EngineSql
