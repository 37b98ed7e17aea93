#pragma once

#include "forms/window/RegisterWindow.h"

#include <memory>

namespace Ui {
class LeadWindow;
}
class RecordCommands;
class RecordSource;

// form_notizie: the register of leads. One lead at a time in the card, all leads of
// the current query in the grid, new / save / delete, and two boxes that search the
// lead text or the telephone while the user types.
class LeadWindow : public RegisterWindow {
    Q_OBJECT
public:
    explicit LeadWindow(const Context& context, QWidget* parent = nullptr);
    ~LeadWindow() override;

    // The commands, as the buttons and their icons run them.
    void newLead();
    void save();
    void deleteLead();
    // A refused search answers false.
    bool searchText(const QString& text);
    bool searchTelephone(const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void bindFields();
    void load();
    // A new lead holding only the date the program wrote is nothing the user typed:
    // closing or searching drops it instead of storing an empty lead.
    void dropUntypedLead();

    std::unique_ptr<Ui::LeadWindow> m_ui;
    RecordSource* m_leads; // Data1
    RecordCommands* m_commands;
};
