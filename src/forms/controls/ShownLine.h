#pragma once

#include <QString>

// The text of a one-line field exactly as the record holds it, beside the start of it
// that the line edit shows.
//
// QLineEdit lays its whole text out as one line whenever it is set, and a value of a
// megabyte takes seconds. A field shows at most `longest` characters, far more than it
// has room for; an edit of what it shows is carried over to the record's text, and the
// rest, not shown, stays after it as stored.
class ShownLine {
public:
    static constexpr qsizetype longest = 10000;

    // What the line edit shows of `text`, which becomes the text.
    QString show(const QString& text);
    // The user changed the line edit's text to `line`: the text with that edit. An edit of
    // the whole of it (all selected, then typed, pasted or deleted) replaces the whole text.
    const QString& edited(const QString& line, bool wholeSelected);

    const QString& text() const { return m_text; }
    // How many characters of the text are not shown.
    qsizetype hidden() const { return m_text.size() - m_shown; }

private:
    QString m_text;
    qsizetype m_shown = 0;
};
