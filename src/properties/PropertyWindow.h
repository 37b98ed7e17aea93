#pragma once

#include "PhotoViewer.h"
#include "PropertySheet.h"
#include "RegisterWindow.h"
#include "ui_PropertyWindow.h"

#include <QPointer>

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
    void addPhotoByCopy();
    void addPhotoByLink();
    void deletePhoto();
    void openViewer();
    void addVisit();
    void deleteVisit();
    void printVisits();
    void showSheet();

    // The photo viewer and the property sheet, while they are open.
    PhotoViewer* viewer() const { return m_viewer; }
    PropertySheet* sheet() const { return m_sheet; }

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
    // Whether there is a current property; if not, says the refusal.
    bool hasCurrentProperty(const QString& refusal);
    Result writePhotoRow(const QString& path);
    void showChildWindow(QWidget* window);

    Ui::PropertyWindow m_ui;
    RecordSource* m_properties;  // Data1
    RecordSource* m_photos;      // Data2
    RecordSource* m_visits;      // Data3
    RecordSource* m_requests;    // Data4
    ReportControl* m_visitsReport;    // report1
    ReportControl* m_requestsReport;  // Report2
    QPointer<PhotoViewer> m_viewer;    // form_immagine
    QPointer<PropertySheet> m_sheet;   // form_stp
};
