#pragma once

#include "platform/Result.h"
#include "platform/gui/Context.h"

#include <QPointer>
#include <QWidget>
#include <memory>

class Database;
class MatchModel;
class MatchSearch;
class QTimer;
class RecordSource;
class ReportControl;
class ReportRenderer;

namespace Ui {
class MatchWindow;
}

// form_incroci, "INCROCI": who to call. It follows the register that last had the focus
// (IMMOBILI or RICHIESTE) and its current record, as the user moves and as they type,
// and lists the records of the other register that fit it, scored by the one rule: exact
// matches best first, near misses below with what misses. A double-click asks for the
// record to be opened in its register.
class MatchWindow : public QWidget {
    Q_OBJECT
public:
    explicit MatchWindow(const Context& context, QWidget* parent = nullptr);
    ~MatchWindow() override;

    // Follows a register window (form_immobili or form_prop); others are ignored.
    void follow(QWidget* window);
    QWidget* followed() const { return m_window; }

    // Fills the list now for the followed record, reading to the end (tests, benchmarks).
    void refreshNow();
    bool isSearching() const;

    const MatchModel& model() const { return *m_model; }
    // The record the list is for, as the heading of the list says it.
    QString heading() const;

    // "STAMPA INCROCI": the list as it is shown, through the report engine (the preview,
    // from which it is printed or saved as PDF). A search under way is finished first.
    void print();
    // The printout of the list as it is now, laid out (tests look at its pages).
    Result layOutPrintout(std::unique_ptr<ReportRenderer>& report);
    ReportControl& reportControl() const { return *m_report; }

signals:
    // A double-click on a listed record: its register should show it.
    void openRecord(const QString& table, qint64 key);

private:
    void focusMoved(QWidget* now);
    void schedule();
    void refill();
    void showFound();
    void showProblem(const QString& message);
    QImage thumbnail(qint64 property) const;
    bool followsProperties() const;

    const Context& m_context;
    std::unique_ptr<Ui::MatchWindow> m_ui;
    MatchModel* m_model;
    QTimer* m_coalesce;
    QPointer<QWidget> m_window;
    QPointer<RecordSource> m_source;
    QList<QMetaObject::Connection> m_connections;
    std::shared_ptr<Database> m_database;
    MatchSearch* m_search = nullptr;
    QString m_heading;
    ReportControl* m_report;
};
