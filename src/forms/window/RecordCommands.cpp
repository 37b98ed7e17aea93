#include "forms/window/RecordCommands.h"

#include "data/store/RecordSource.h"
#include "forms/controls/FieldBinding.h"

#include <QAbstractButton>
#include <QApplication>

RecordCommands::RecordCommands(RecordSource& source, QObject* parent) : QObject(parent), m_source(source) {
    // However the new record was dropped (Esc in a field, or the window's Esc), the
    // state follows: typing must never go on into the record shown after it.
    connect(&source, &RecordSource::editCancelled, this, [this](bool newRecord) {
        if (newRecord && m_state == State::Entering)
            cancel();
    });
    // A new record stored by a move, a search or a refresh is no longer being typed.
    connect(&source, &RecordSource::newRecordWritten, this, [this] {
        if (m_state == State::Entering)
            finish();
    });
    connect(qApp, &QApplication::focusChanged, this, &RecordCommands::focusHandedOff);
}

void RecordCommands::enableIn(State state, QWidget* widget) {
    m_rules.append({widget, Rule::Enable, state});
    applyRule(m_rules.last(), m_state);
}

void RecordCommands::showIn(State state, QWidget* widget) {
    m_rules.append({widget, Rule::Show, state});
    applyRule(m_rules.last(), m_state);
}

void RecordCommands::showFromNew(QWidget* widget) {
    m_rules.append({widget, Rule::ShowFromNew, State::Entering});
    applyRule(m_rules.last(), m_state);
}

void RecordCommands::applyRule(const Rule& rule, State state) const {
    if (!rule.widget)
        return;
    switch (rule.kind) {
    case Rule::Enable:
        rule.widget->setEnabled(state == rule.state);
        break;
    case Rule::Show:
        rule.widget->setVisible(state == rule.state);
        if (state == rule.state)
            rule.widget->raise(); // it lies over what it replaces
        break;
    case Rule::ShowFromNew:
        if (state == State::Entering) {
            rule.widget->show();
            rule.widget->raise();
        }
        break;
    }
}

void RecordCommands::apply() {
    // What the state makes usable first: a widget disabled or hidden afterwards then hands
    // its focus to the new-record button, not to whatever was still usable before it.
    for (const bool making : {true, false})
        for (const Rule& rule : std::as_const(m_rules))
            if ((rule.state == m_state) == making)
                applyRule(rule, m_state);
}

void RecordCommands::setState(State state) {
    const bool changed = state != m_state;
    m_state = state;
    apply();
    if (changed)
        emit stateChanged(state);
}

Result RecordCommands::startNew() {
    if (const Result added = m_source.addNew(); !added)
        return added;
    if (m_state == State::Browsing) {
        m_before.clear();
        for (const Rule& rule : std::as_const(m_rules))
            if (rule.widget)
                m_before.append({rule.widget, !rule.widget->isHidden(), rule.widget->isEnabled()});
    }
    setState(State::Entering);
    if (m_firstField)
        m_firstField->setFocus(Qt::OtherFocusReason);
    return Result::success();
}

void RecordCommands::finish() {
    m_before.clear();
    setState(State::Browsing);
}

void RecordCommands::cancel() {
    // Browsing before the source drops the record, so that whoever its signals reach
    // finds the state already settled.
    const bool entering = m_state == State::Entering;
    m_state = State::Browsing;
    if (m_source.isAdding())
        m_source.cancelEdit();
    if (!entering)
        return;
    apply();
    for (const Snapshot& before : std::as_const(m_before)) {
        if (!before.widget)
            continue;
        before.widget->setVisible(before.visible);
        before.widget->setEnabled(before.enabled);
    }
    m_before.clear();
    leaveTheCard();
    emit stateChanged(m_state);
}

void RecordCommands::leaveTheCard() {
    // The card now shows a stored record: a field of it keeping the focus would let the
    // next keys edit that record. The focus goes to the first command usable again.
    QWidget* focused = QApplication::focusWidget();
    if (!focused && m_firstField)
        focused = m_firstField->window()->focusWidget();
    if (!focused)
        return;
    const auto* binding = focused->findChild<FieldBinding*>(QString(), Qt::FindDirectChildrenOnly);
    if (!binding || &binding->source() != &m_source)
        return;
    if (QWidget* next = focusAfterCommand(); next && next != m_firstField) {
        next->setFocus(Qt::OtherFocusReason);
        return;
    }
    focused->clearFocus();
}

QWidget* RecordCommands::focusAfterCommand() const {
    const auto takesFocus = [](QWidget* widget) {
        return widget && widget->isEnabled() && widget->isVisibleTo(widget->window()) &&
               widget->focusPolicy() != Qt::NoFocus;
    };
    if (m_state == State::Browsing) {
        for (const Rule& rule : std::as_const(m_rules)) {
            auto* button = qobject_cast<QAbstractButton*>(rule.widget.data());
            if (button && rule.kind == Rule::Enable && rule.state == State::Browsing && takesFocus(button))
                return button;
        }
    }
    return takesFocus(m_firstField) ? m_firstField.data() : nullptr;
}

void RecordCommands::focusHandedOff(QWidget* old, QWidget* now) {
    const auto* owner = qobject_cast<QWidget*>(parent());
    if (!old || !now || !owner || !owner->isAncestorOf(old) || !owner->isAncestorOf(now))
        return;
    // A widget the user left is still usable; one that lost the focus by being disabled
    // or hidden (a save that disables itself, a panel closed by its own command) is not.
    if (old->isEnabled() && old->isVisibleTo(owner))
        return;
    if (QWidget* next = focusAfterCommand(); next && next != now)
        next->setFocus(Qt::OtherFocusReason);
}
