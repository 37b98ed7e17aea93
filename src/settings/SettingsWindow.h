#pragma once

#include "platform/Result.h"
#include "platform/gui/Context.h"

#include <QWidget>
#include <functional>
#include <memory>

class PictureBox;
class QLineEdit;

namespace Ui {
class SettingsWindow;
}

// Form_gestio: edits the three settings files, one tab each: the property sheet's
// heading, footer, logo and heading colour (dati.ini), the database path (daba.ini)
// and the desktop background (sfondo.ini). Nothing is written until a "SALVA".
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    // `applyBackground` makes a picture path the frame window's background at once.
    SettingsWindow(const Context& context, std::function<void(const QString&)> applyBackground, QWidget* parent = nullptr);
    ~SettingsWindow() override;

    void chooseLogo();
    void chooseColour();
    void saveSheet();
    void chooseDatabase();
    void saveDatabase();
    void saveDatabaseFile(const QString& typed);
    void chooseBackground();
    void saveBackground();

    // The same picture dialog for the logo and the background.
    static inline const QString pictureTitle = QStringLiteral("CARICA UN LOGO");
    static inline const QString pictureFilter = QStringLiteral("Immagine Jpeg  (*.jpg)|*.jpg| Bitmap  (*.bmp)|*.bmp|");
    static inline const QString databaseFilter = QStringLiteral("Database (mdb)|*.mdb");

private:
    void load();
    void setHeadingColour(const QColor& colour);
    void report(const Result& result);
    // Shows a picture just chosen in its preview; one that cannot be shown is told.
    void showChosenPicture(PictureBox& preview, const QString& path);
    // A picture path typed as written on Windows, found here as at the start: the field
    // then shows the file used, and `said` gets the sentence that tells which.
    QString foundPicture(QLineEdit& field, const QString& iniName, const QString& what, QString& said) const;

    const Context& m_context;
    std::function<void(const QString&)> m_applyBackground;
    std::unique_ptr<Ui::SettingsWindow> m_ui;
};
