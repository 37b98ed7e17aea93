#include "forms/controls/ShownText.h"

#include <algorithm>

namespace {

// What QTextCursor::insertText makes a paragraph break of (CR LF counts once).
bool breaksParagraph(QChar c) {
    return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::ParagraphSeparator || c == QChar(0xFDD0) ||
           c == QChar(0xFDD1);
}

} // namespace

QString ShownText::show(const QString& text) {
    m_text = text;
    m_soft.clear();
    QString shown;
    shown.reserve(text.size() + text.size() / piece + 1);
    qsizetype position = 0; // in the document
    qsizetype run = 0;      // characters since the last break
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (breaksParagraph(c)) {
            shown += c;
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                shown += text.at(++i);
            ++position;
            run = 0;
            continue;
        }
        const bool afterBlank = i > 0 && (text.at(i - 1) == QLatin1Char(' ') || text.at(i - 1) == QLatin1Char('\t'));
        if (((run >= piece && afterBlank) || run >= 2 * piece) && !c.isLowSurrogate()) {
            shown += QChar::ParagraphSeparator;
            m_soft.append(position++);
            run = 0;
        }
        shown += c;
        ++position;
        ++run;
    }
    return shown;
}

qsizetype ShownText::textLength(qsizetype position) const {
    qsizetype at = 0;
    auto soft = m_soft.cbegin();
    for (qsizetype i = 0; i < position; ++i) {
        if (soft != m_soft.cend() && *soft == i) {
            ++soft;
            continue;
        }
        if (at >= m_text.size())
            break;
        at += m_text.at(at) == QLatin1Char('\r') && at + 1 < m_text.size() && m_text.at(at + 1) == QLatin1Char('\n')
                  ? 2
                  : 1;
    }
    return at;
}

const QString& ShownText::edited(const QString& document, qsizetype cursor) {
    const QString& before = m_document;
    const qsizetype shortest = std::min(before.size(), document.size());
    // Where text repeats, the edit is taken to end at the cursor, where the user typed.
    qsizetype tail = 0;
    const qsizetype tailLimit = std::min(shortest, document.size() - std::clamp<qsizetype>(cursor, 0, document.size()));
    while (tail < tailLimit && before.at(before.size() - 1 - tail) == document.at(document.size() - 1 - tail))
        ++tail;
    qsizetype head = 0;
    while (head < shortest - tail && before.at(head) == document.at(head))
        ++head;

    const qsizetype from = textLength(head);
    const qsizetype to = textLength(before.size() - tail);
    const qsizetype lf = m_text.indexOf(QLatin1Char('\n'));
    const QString lineBreak =
        lf > 0 && m_text.at(lf - 1) == QLatin1Char('\r') ? QStringLiteral("\r\n") : QStringLiteral("\n");
    QString typed = document.mid(head, document.size() - tail - head);
    typed.replace(QChar::ParagraphSeparator, lineBreak).replace(QChar::LineSeparator, lineBreak);
    m_text = m_text.left(from) + typed + m_text.mid(to);

    // Soft breaks in the part replaced are gone; those after it move with it.
    const qsizetype moved = document.size() - before.size();
    QList<qsizetype> soft;
    for (const qsizetype at : std::as_const(m_soft)) {
        if (at < head)
            soft.append(at);
        else if (at >= before.size() - tail)
            soft.append(at + moved);
    }
    m_soft = soft;
    m_document = document;
    return m_text;
}
