#pragma once

#include "forms/window/RegisterWindow.h"

#include <memory>

class RecordCommands;
class RecordSource;
class ReportControl;

namespace Ui {
class RequestWindow;
}

// form_prop: the register of client requests. One request at a time in the card, all
// requests of the current search in the grid, the record commands, the searches by
// criteria and by name, and the printout of the requests that fit the criteria.
class RequestWindow : public RegisterWindow {
    Q_OBJECT
public:
    explicit RequestWindow(const Context& context, QWidget* parent = nullptr);
    ~RequestWindow() override;

    // The commands, as the buttons run them.
    void newRequest();
    void saveRequest();
    void deleteRequest();
    void criteriaSearch();
    // A refused search answers false.
    bool nameSearch(const QString& field, const QString& text);
    void allRequests();
    void printSearch();

private:
    void setUpCommands();
    void bindFields();
    void connectCommands();
    void load();
    // Keeps the purpose of a new request in step with the purpose box.
    void writePurpose();
    void followSource();

    std::unique_ptr<Ui::RequestWindow> m_ui;
    RecordSource* m_requests;   // Data1
    ReportControl* m_report;    // Report1
    RecordCommands* m_commands; // new and save, Browsing / Entering
    bool m_newTyped = false;    // something was typed into the new request
};
