#include "forms/controls/FieldBinding.h"

#include "data/store/RecordSource.h"
#include "forms/controls/ContextOwner.h"
#include "forms/controls/ShownText.h"
#include "platform/gui/Context.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <limits>

FieldBinding::FieldBinding(QWidget* widget, RecordSource& source, const QString& field)
    : QObject(widget), m_widget(widget), m_source(source), m_field(field) {
    connect(&source, &RecordSource::currentChanged, this, [this] {
        m_told = false;
        show();
        showFromTheStart();
    });
    connect(&source, &RecordSource::valueChanged, this, [this](const QString& changed) {
        if (changed.compare(m_field, Qt::CaseInsensitive) == 0)
            show();
    });
    widget->installEventFilter(this);
}

FieldBinding::~FieldBinding() = default;

FieldBinding* FieldBinding::bind(QLineEdit* edit, RecordSource& source, const QString& field) {
    auto* binding = new FieldBinding(edit, source, field);
    // Qt's default of 32,767 characters would cut a longer text, pasted or stored, without a word.
    edit->setMaxLength(std::numeric_limits<int>::max());
    connect(edit, &QLineEdit::textEdited, binding, &FieldBinding::typed);
    binding->show();
    return binding;
}

FieldBinding* FieldBinding::bind(QPlainTextEdit* edit, RecordSource& source, const QString& field) {
    auto* binding = new FieldBinding(edit, source, field);
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Tab moves on to the next field, as in every one-line field of the card.
    edit->setTabChangesFocus(true);
    edit->clear(); // as ShownText begins
    binding->m_plain = std::make_unique<ShownText>();
    connect(edit, &QPlainTextEdit::textChanged, binding, [binding, edit] {
        if (!binding->m_showing)
            binding->typed(binding->m_plain->edited(edit->document()->toRawText(), edit->textCursor().position()));
    });
    binding->show();
    return binding;
}

FieldBinding* FieldBinding::bind(QLabel* label, RecordSource& source, const QString& field) {
    auto* binding = new FieldBinding(label, source, field);
    binding->show();
    return binding;
}

void FieldBinding::show() {
    if (!m_widget)
        return;
    const QString text = m_source.value(m_field);
    const bool takesTyping = m_source.hasCurrent() || m_source.isAdding();
    m_showing = true;
    if (auto* line = qobject_cast<QLineEdit*>(m_widget)) {
        line->setReadOnly(!takesTyping);
        if (line->text() != text) {
            line->setText(text);
            // setText() leaves the cursor, and so the view, at the end of a long value.
            line->setCursorPosition(0);
        }
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(m_widget)) {
        plain->setReadOnly(!takesTyping);
        if (m_plain->text() != text) {
            plain->setPlainText(m_plain->show(text));
            m_plain->shown(plain->document()->toRawText());
        }
    } else if (auto* label = qobject_cast<QLabel*>(m_widget)) {
        label->setText(text);
    }
    m_showing = false;
    if (text != m_shown) {
        m_shown = text;
        emit changed(text);
    }
}

void FieldBinding::showFromTheStart() {
    // A multi-line field one line high that was scrolled down to a wrapped line would
    // look empty on the next record.
    if (auto* plain = qobject_cast<QPlainTextEdit*>(m_widget)) {
        plain->moveCursor(QTextCursor::Start);
        plain->verticalScrollBar()->setValue(0);
    }
}

void FieldBinding::typed(const QString& text) {
    m_shown = text;
    const Result written = m_source.setFieldValue(m_field, text);
    if (written || m_told)
        return;
    // Said once per record, not at every key; the window's dialogs when it has them.
    m_told = true;
    emit refused(written.message());
    for (QWidget* widget = m_widget; widget; widget = widget->parentWidget()) {
        if (auto* window = dynamic_cast<ContextOwner*>(widget)) {
            window->context().dialogs.message(written.message());
            return;
        }
    }
}

bool FieldBinding::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_widget && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && m_source.hasPendingEdit()) {
        m_source.cancelEdit();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
