#pragma once

#include "forms/window/RegisterWindow.h"

#include <memory>

class PhotoViewer;
class PropertySheet;
class RecordCommands;
class RecordSource;
class ReportControl;

namespace Ui {
class PropertyWindow;
}

// form_immobili: the property register. One property at a time in the owner and
// property fields, with its photos and visits, the search panel and the printout of
// the requests that fit the searched profile.
class PropertyWindow : public RegisterWindow {
    Q_OBJECT
public:
    explicit PropertyWindow(const Context& context, QWidget* parent = nullptr);
    ~PropertyWindow() override;

    // The object names of the photo viewer and the property sheet.
    static inline const QString viewerName = QStringLiteral("form_immagine");
    static inline const QString sheetName = QStringLiteral("form_stp");

    // The commands, as the buttons run them.
    void newProperty();
    bool finishNewProperty();
    void deleteProperty();
    void showSearch();
    void hideSearch();
    void criteriaSearch();
    void allProperties();
    // A refused search answers false.
    bool quickSearch(const QString& field, const QString& text);
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
    PhotoViewer* viewer() const;
    PropertySheet* sheet() const;

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

    std::unique_ptr<Ui::PropertyWindow> m_ui;
    RecordCommands* m_commands;
    bool m_loading = false;      // the first refresh of the window is under way
    RecordSource* m_properties;  // Data1
    RecordSource* m_photos;      // Data2
    RecordSource* m_visits;      // Data3
    RecordSource* m_requests;    // Data4
    ReportControl* m_visitsReport;    // report1
    ReportControl* m_requestsReport;  // Report2
};
