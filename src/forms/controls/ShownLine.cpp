#include "forms/controls/ShownLine.h"

#include <algorithm>

QString ShownLine::show(const QString& text) {
    m_text = text;
    m_shown = std::min(text.size(), longest);
    if (m_shown < text.size() && m_shown > 0 && text.at(m_shown - 1).isHighSurrogate())
        --m_shown; // never half a character
    return text.left(m_shown);
}

const QString& ShownLine::edited(const QString& line, bool wholeSelected) {
    m_text = wholeSelected ? line : line + m_text.mid(m_shown);
    m_shown = line.size();
    return m_text;
}
