#pragma once

#include <QObject>
#include <QPointer>
#include <memory>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QWidget;
class RecordSource;
class ShownText;

// Binds an edit field or a label of a window to a field of a record source: it shows
// that field of the current record, and what the user types becomes the pending edit.
// With no current record the field is empty and takes no typing. Esc undoes the
// pending edit of the record. A bound label notifies each change of what it shows.
// A typed value that the source cannot take is told to the user (through the
// register window's dialogs) and signalled; it is never dropped in silence. On every
// new record a field shows the start of its text; Tab leaves a multi-line field.
class FieldBinding : public QObject {
    Q_OBJECT
public:
    static FieldBinding* bind(QLineEdit* edit, RecordSource& source, const QString& field);
    static FieldBinding* bind(QPlainTextEdit* edit, RecordSource& source, const QString& field);
    static FieldBinding* bind(QLabel* label, RecordSource& source, const QString& field);
    ~FieldBinding() override;

    const QString& field() const { return m_field; }
    const RecordSource& source() const { return m_source; }

signals:
    // The shown text changed (a move, a refresh, a new record).
    void changed(const QString& text);
    // What the user typed could not be written; the message says why.
    void refused(const QString& message);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    FieldBinding(QWidget* widget, RecordSource& source, const QString& field);
    void show();
    void typed(const QString& text);
    void showFromTheStart();

    QPointer<QWidget> m_widget;
    RecordSource& m_source;
    QString m_field;
    QString m_shown;
    std::unique_ptr<ShownText> m_plain; // a multi-line field's text, exactly as held
    bool m_showing = false;
    bool m_told = false; // a refused write was told for this record
};
