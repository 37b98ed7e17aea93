#pragma once

#include "RegisterWindow.h"
#include "ui_PropertyWindow.h"

class RecordSource;
class ReportControl;

// form_immobili: the property register. One property at a time in the owner and
// property fields, with its photos and visits, the search panel and the printout of
// the requests that fit the searched profile.
class PropertyWindow : public RegisterWindow {
    Q_OBJECT
public:
    explicit PropertyWindow(const Context& context, QWidget* parent = nullptr);

    const Ui::PropertyWindow& ui() const { return m_ui; }

    // The commands, as the buttons run them.
    void newProperty();
    bool finishNewProperty();
    void deleteProperty();
    void showSearch();
    void hideSearch();
    void criteriaSearch();
    void allProperties();
    void quickSearch(const QString& field, const QString& text);
    void printMatchingRequests();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void bindFields();
    void connectCommands();
    void load();
    // The current property changed: its visits and photos follow.
    void showPropertyDependents(const QString& key);
    void showPhoto(const QString& path);
    // A new property still being typed is finished (as "FINE" does) before the records
    // are searched again, so it is written whole, with its purpose.
    bool readyToSearch();

    Ui::PropertyWindow m_ui;
    RecordSource* m_properties;  // Data1
    RecordSource* m_photos;      // Data2
    RecordSource* m_visits;      // Data3
    RecordSource* m_requests;    // Data4
    ReportControl* m_visitsReport;    // report1
    ReportControl* m_requestsReport;  // Report2
};
