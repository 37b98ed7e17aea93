#pragma once

#include "data/vocabulary/Query.h"
#include "forms/controls/ContextOwner.h"
#include "forms/window/RecordCommands.h"
#include "forms/window/SingleWindows.h"
#include "platform/Result.h"
#include "platform/gui/Context.h"

#include <QAbstractButton>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QWidget>
#include <utility>

class PictureBox;
class QLineEdit;
class RecordSource;
class ReportControl;
class SearchIndexWatch;

// What every register window shares: its record sources on the database named in
// daba.ini, the record commands in two states (Browsing / Entering, Esc leaving
// Entering), buttons with an icon over them, the report set-up, values written into
// the pending record by code, rows inserted from values, child windows opened once,
// failures told to the user in one sentence, searches that keep the previous rows when
// refused, and a close that first writes what the user typed.
class RegisterWindow : public QWidget, public ContextOwner {
    Q_OBJECT
public:
    using FieldValues = QList<std::pair<QString, QString>>;

    ~RegisterWindow() override;

    const Context& context() const override { return m_context; }

    // What the window holds that is not in the database (the pending edits, as typed), as
    // plain text: the table, the key ("nuovo" for a new record) and each field. Empty when
    // nothing is pending.
    QString unsavedEntries() const;

    // The folder of the database file, with a trailing '/' ("" before openDatabase() or
    // without a database path): report files and photos are looked for there.
    const QString& databaseFolder() const { return m_databaseFolder; }

    // Shows one record of the window's own source (its first) as a search on its key: what
    // is pending is written first, and a refusal is told and kept. Answers whether it went well.
    bool showKey(qint64 key);

protected:
    RegisterWindow(const Context& context, QWidget* parent = nullptr);

    // A record source over a table, owned by the window.
    RecordSource* addSource(const QString& table);

    // Enter on a focused button presses it, as Space does.
    void setEnterPressesButtons(bool on) { m_enterPressesButtons = on; }

    // The record commands of a source (one set per window is the rule). Esc anywhere in
    // the window while Entering drops the new record, as Esc in a card field does.
    RecordCommands* addRecordCommands(RecordSource& source);

    // Reads the database path from daba.ini and points every source at it. A database
    // that cannot be opened is told once; the window stays usable with no records.
    QString openDatabase();

    // The report set-up in one call: the report file in the database folder, then the
    // load of the report control. Call after openDatabase().
    Result setUpReport(ReportControl& report, const QString& file);

    // A button and the icon over its left end run one command. The icon runs it also
    // while the button is disabled (icons are never disabled). Either may be nullptr.
    template <class Window, class Ret>
    void connectCommand(QAbstractButton* button, PictureBox* icon, const QString& artwork, Ret (Window::*command)()) {
        auto* window = static_cast<Window*>(this);
        if (button)
            connect(button, &QAbstractButton::clicked, window, [window, command] { (window->*command)(); });
        if (icon) {
            showIcon(icon, artwork);
            connectIcon(icon, window, [window, command] { (window->*command)(); });
        }
    }
    // An icon with no command of its own: the picture only.
    static void showIcon(PictureBox* icon, const QString& artwork);

    // Writes a value into the pending new or edited record of the source, so its bound
    // field shows it. With nothing pending it writes nothing and says so in its result.
    static Result setPendingValue(RecordSource& source, const QString& field, const QString& value);

    // After a save: the new record it stored, found by the key the insert returned (the
    // last row may be another desk's newer record); after an edit, the last row.
    static Result moveToSaved(RecordSource& source, bool added);

    // Adds a row from values and makes it current; a value or a write that fails leaves
    // no half-made row behind.
    static Result insertRow(RecordSource& source, const FieldValues& values);

    // Save by running the query again (the leads register, the diary): what is pending is
    // written first — a refusal is told and the entry stays as typed, still Entering —
    // then the last row of the query becomes current, back to Browsing, the focus on `next`.
    void saveThenLast(RecordSource& source, RecordCommands& commands, QWidget* next);
    // Delete at once, then to the previous row. A new record not yet saved is dropped
    // instead, never written by the move that would follow.
    void deleteThenPrevious(RecordSource& source, RecordCommands& commands);
    // Deletes the current stored record. With none, nothing happens and nothing is said,
    // as the deletes skip that step; a record that cannot be deleted (another desk changed
    // it meanwhile, the database refused) is told, and the answer is false: stay on it.
    bool removeCurrent(RecordSource& source);

    // The window's one child of that name (photo viewer, sheet): made by `create` when
    // there is none, then shown in front through the frame. Children close with the window.
    template <class W> W* openChild(const QString& name, const std::function<W*()>& create) {
        return static_cast<W*>(showChild(name, [&create]() -> QWidget* { return create(); }));
    }
    // The child of that name while it is open.
    template <class W> W* child(const QString& name) const { return static_cast<W*>(m_children.find(name)); }

    // `cover` lies over `covered` (a purpose box over its field): while the cover is
    // shown, the field under it takes no focus, so Tab cannot type into it unseen.
    void coverField(QWidget* cover, QWidget* covered);

    // Shows the failure's message; answers whether it went well.
    bool report(const Result& result);

    // Makes a query the source's and runs it; a refused query or refresh is told and
    // the source keeps its previous query and rows.
    bool search(RecordSource& source, const Query& query);
    // A box that searches as the user types: a refused search (an entry on the card that
    // cannot be written, a pattern the server refuses) puts the box back to the text whose
    // rows are shown, so that the box and the list always agree.
    void searchAsTyped(QLineEdit* box, std::function<bool(const QString&)> run);

    // Writes the pending edit of every source; one that cannot be written keeps the
    // window open with the edit in place, and says why. The children close with it.
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* showChild(const QString& name, const SingleWindows::Factory& create);
    void connectIcon(PictureBox* icon, QObject* receiver, std::function<void()> command);
    void closeChildren();
    void updateCovered(QWidget* cover);

    const Context& m_context;
    QList<RecordSource*> m_sources;
    QList<RecordCommands*> m_commands;
    QString m_databaseFolder;
    SingleWindows m_children;
    SearchIndexWatch* m_indexWatch = nullptr;
    QHash<QObject*, std::pair<QPointer<QWidget>, Qt::FocusPolicy>> m_covered; // cover -> field, its own policy
    bool m_enterPressesButtons = false;
};
