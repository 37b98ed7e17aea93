#pragma once

#include "platform/Result.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

class RecordSource;

// The two states of a register's record commands. Browsing: the user moves among the
// stored records. Entering: a new record is being typed. "New" enters it, "save" leaves
// it, and Esc (or a dropped new record) leaves it too, putting every widget back as it
// was before "new" so that nothing typed afterwards lands in a stored record.
//
// Each window says which widgets belong to which state; the commands themselves stay
// the window's own.
class RecordCommands : public QObject {
    Q_OBJECT
public:
    enum class State { Browsing, Entering };

    explicit RecordCommands(RecordSource& source, QObject* parent = nullptr);

    // Usable only in one state: enabled in it, disabled in the other. A button covered
    // while Entering is disabled too, so that the keyboard cannot reach it.
    void enableIn(State state, QWidget* widget);
    // Shown only in one state: shown in it, hidden in the other.
    void showIn(State state, QWidget* widget);
    // Shown by "new" and left shown by "save" (Esc still hides it again if it was hidden).
    void showFromNew(QWidget* widget);
    // Gets the keyboard focus when a new record starts.
    void setFirstField(QWidget* field) { m_firstField = field; }

    State state() const { return m_state; }
    bool isEntering() const { return m_state == State::Entering; }

    // "New": starts a blank record on the source and enters Entering with the focus on
    // the first field. A refusal changes nothing and is answered.
    Result startNew();
    // "Save" went well (or was skipped): back to Browsing.
    void finish();
    // Esc: drops the pending new record and goes back to Browsing as before "new".
    void cancel();

    // Applies the widgets of the current state again (after a window rebuilt them).
    void apply();

signals:
    void stateChanged(RecordCommands::State state);

private:
    struct Rule {
        QPointer<QWidget> widget;
        enum Kind { Enable, Show, ShowFromNew } kind;
        State state;
    };
    struct Snapshot {
        QPointer<QWidget> widget;
        bool visible;
        bool enabled;
    };

    void setState(State state);
    void applyRule(const Rule& rule, State state) const;
    void leaveTheCard();
    // Where the focus goes when a command leaves it nowhere: the new-record button while
    // Browsing, the card's first field otherwise; nullptr when neither can take it.
    QWidget* focusAfterCommand() const;
    // Qt hands the focus of a widget being disabled or hidden to the next one in the tab
    // chain, which may be a delete button: the next Enter would delete at once.
    void focusHandedOff(QWidget* old, QWidget* now);

    RecordSource& m_source;
    State m_state = State::Browsing;
    QList<Rule> m_rules;
    QList<Snapshot> m_before; // the widgets as they were before "new"
    QPointer<QWidget> m_firstField;
};
