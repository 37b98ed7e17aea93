#pragma once

#include <QList>
#include <QString>

// The text of a multi-line field exactly as the record holds it, beside the text of the
// document that shows it.
//
// QPlainTextEdit gives its text back with non-breaking spaces as blanks and every line
// break as LF, so a field is never written back from it: each edit of the document is
// carried over to the record's text, and what the user did not touch stays as stored
// (CR LF, a lone CR, non-breaking spaces). A line break the user types takes the form of
// the text's own first one.
//
// QPlainTextEdit also lays out a paragraph whole, and one without a place to break (a
// pasted hex dump) takes time that grows with the square of its length. A long paragraph
// is shown in pieces of two to four thousand characters, ended after a blank, or anywhere
// when there is none: the soft breaks between them are the document's, never the text's.
class ShownText {
public:
    // The document's text for showing `text`, which becomes the text. Give it to
    // QPlainTextEdit::setPlainText, then tell shown() what the document made of it.
    QString show(const QString& text);
    void shown(const QString& document) { m_document = document; }

    // The user changed the document to `document` (QTextDocument::toRawText()), the cursor
    // now at `cursor`: the text with that edit.
    const QString& edited(const QString& document, qsizetype cursor);

    const QString& text() const { return m_text; }

    // A piece ends at the first blank past this many characters, or at twice as many.
    static constexpr qsizetype piece = 2000;

private:
    // How many characters of the text the first `position` characters of the document stand for.
    qsizetype textLength(qsizetype position) const;

    QString m_text;
    QString m_document;
    QList<qsizetype> m_soft; // positions of the soft breaks in m_document, ascending
};
