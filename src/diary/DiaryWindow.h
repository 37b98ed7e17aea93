#pragma once

#include "forms/window/RegisterWindow.h"

#include <memory>

namespace Ui {
class DiaryWindow;
}
class RecordCommands;
class RecordSource;
class ReportControl;

// form_agenda: the appointment diary. One appointment at a time in the card, the
// appointments of a range of days (or all of them) in the grid, whose caption names
// the list, new / save / delete, and the printout of the range in the two boxes.
class DiaryWindow : public RegisterWindow {
    Q_OBJECT
public:
    explicit DiaryWindow(const Context& context, QWidget* parent = nullptr);
    ~DiaryWindow() override;

    // The commands, as the buttons and their icons run them.
    void newAppointment();
    void save();
    void deleteAppointment();
    void rangeSearch();
    void fullList();
    void print();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void bindFields();
    void load();
    // A new appointment holding only the date and time the program wrote is nothing the
    // user typed: closing or listing again drops it instead of storing an empty one.
    void dropUntypedAppointment();

    std::unique_ptr<Ui::DiaryWindow> m_ui;
    RecordSource* m_appointments; // Data1
    RecordCommands* m_commands;
    ReportControl* m_report; // Report1
};
