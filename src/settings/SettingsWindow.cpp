#include "settings/SettingsWindow.h"

#include "data/folder/ProgramSettings.h"
#include "data/folder/ProgramSettings.h"
#include "data/folder/SettingsFile.h"
#include "data/folder/SettingsFile.h"
#include "data/store/Database.h"
#include "data/store/Database.h"
#include "data/vocabulary/DatabaseLocation.h"
#include "data/vocabulary/DatabaseLocation.h"
#include "forms/controls/WindowControls.h"
#include "legacy/JetFile.h"
#include "legacy/OldFolder.h"
#include "platform/gui/Artwork.h"
#include "platform/gui/Artwork.h"
#include "platform/gui/Colour.h"
#include "platform/gui/Colour.h"
#include "platform/gui/Picture.h"
#include "platform/gui/Picture.h"
#include "settings/MatchingTab.h"
#include "ui_SettingsWindow.h"

#include <QApplication>

namespace {

const QColor designGreen(0, 192, 0);

} // namespace

SettingsWindow::SettingsWindow(const Context& context, std::function<void(const QString&)> applyBackground,
                               QWidget* parent)
    : QWidget(parent), m_context(context), m_applyBackground(std::move(applyBackground)),
      m_ui(std::make_unique<Ui::SettingsWindow>()) {
    m_ui->setupUi(this);
    setMinimumSize(size());  // 9105 x 5340 twips with its frame
    setWindowIcon(Artwork::icon(QStringLiteral(":/icons/09-gestione.svg")));
    setHeadingColour(designGreen);
    m_ui->Image1->setImage(Artwork::picture(Artwork::programIcon)); // the sample logo
    m_ui->Label9->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_ui->SSTab1->addTab(new MatchingTab(m_context), QStringLiteral("INCROCI"));

    connect(m_ui->Command1, &QPushButton::clicked, this, &SettingsWindow::chooseLogo);
    connect(m_ui->Command7, &QPushButton::clicked, this, &SettingsWindow::chooseColour);
    connect(m_ui->Command2, &QPushButton::clicked, this, &SettingsWindow::saveSheet);
    connect(m_ui->Command3, &QPushButton::clicked, this, &SettingsWindow::chooseDatabase);
    connect(m_ui->Command4, &QPushButton::clicked, this, &SettingsWindow::saveDatabase);
    connect(m_ui->Command5, &QPushButton::clicked, this, &SettingsWindow::chooseBackground);
    connect(m_ui->Command6, &QPushButton::clicked, this, &SettingsWindow::saveBackground);
    load();
    WindowControls::settle(*this);
}

SettingsWindow::~SettingsWindow() = default;

void SettingsWindow::load() {
    const ProgramSettings settings(m_context.programFolder);
    const SettingsFile::Values sheet = SettingsFile::read(settings.sheetIniPath(), 4);
    m_ui->Text1->setText(sheet.at(0));
    // A colour that is not a number leaves the heading in its design green.
    if (const std::optional<int> colour = ProgramSettings::parseColour(sheet.at(3)))
        setHeadingColour(Colour::fromInt(*colour));
    m_ui->Label10->setText(sheet.at(3));
    m_ui->Text2->setText(sheet.at(1));
    m_ui->Text3->setText(sheet.at(2));

    m_ui->Text4->setText(settings.databasePath());
    m_ui->Label5->setText(settings.databaseFolder());

    m_ui->Text5->setText(settings.backgroundPath());
    m_ui->Picture1->setImage(Picture::load(m_ui->Text5->text()));
}

void SettingsWindow::setHeadingColour(const QColor& colour) {
    QPalette palette = m_ui->Text1->palette();
    palette.setColor(QPalette::Text, colour);
    m_ui->Text1->setPalette(palette);
}

void SettingsWindow::report(const Result& result) {
    if (!result)
        m_context.dialogs.message(result.message());
}

void SettingsWindow::chooseLogo() {
    // A cancelled dialog leaves the field and the preview as they were.
    const QString chosen = m_context.dialogs.openFile(pictureTitle, pictureFilter, QString());
    if (chosen.isEmpty())
        return;
    m_ui->Text3->setText(chosen);
    showChosenPicture(*m_ui->Image1, chosen);
}

void SettingsWindow::chooseColour() {
    const int current = ProgramSettings::parseColour(m_ui->Label10->text()).value_or(0);
    const std::optional<int> chosen = m_context.dialogs.chooseColour(current);
    if (!chosen)
        return;
    m_ui->Label10->setText(QString::number(*chosen));
    setHeadingColour(Colour::fromInt(*chosen));
}

void SettingsWindow::saveSheet() {
    report(ProgramSettings(m_context.programFolder)
               .saveSheet(m_ui->Text1->text(), m_ui->Text2->text(), m_ui->Text3->text(), m_ui->Label10->text()));
}

void SettingsWindow::chooseDatabase() {
    const QString chosen = m_context.dialogs.openFile(QString(), databaseFilter, QString());
    if (chosen.isEmpty())
        return;
    // The "REPORT" folder keeps showing the folder the window opened with.
    m_ui->Text4->setText(chosen);
}

void SettingsWindow::saveDatabase() {
    const QString typed = m_ui->Text4->text();
    DatabaseLocation location;
    if (const Result parsed = DatabaseLocation::parse(typed, location); !parsed) {
        report(Result::failure(parsed.message() + QStringLiteral(" Il file daba.ini non è stato cambiato.")));
        return;
    }
    if (!location.isPostgres()) {
        saveDatabaseFile(typed);
        return;
    }
    // A server's address is saved only once the server takes it: a desk pointed at a
    // database it cannot reach would show no data at all. The address stays typed.
    const QString address = location.text();
    Result checked = Result::success();
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        checked = Database::check(address);
        QApplication::restoreOverrideCursor();
    }
    if (!checked) {
        report(Result::failure(checked.message() + QStringLiteral(" Il file daba.ini non è stato cambiato.")));
        return;
    }
    m_ui->Text4->setText(address);
    if (const Result saved = ProgramSettings(m_context.programFolder).saveDatabasePath(address); !saved) {
        report(saved);
        return;
    }
    m_context.dialogs.message(
        QStringLiteral("Il database PostgreSQL «%1» risponde ed è pronto: le finestre lo useranno "
                       "quando verranno aperte di nuovo.")
            .arg(address));
}

// A path written on Windows (an old office's) is found here first: the file used is
// saved, and said; an Access archive is converted at the next start.
void SettingsWindow::saveDatabaseFile(const QString& typed) {
    const ProgramSettings settings(m_context.programFolder);
    const OldFolder::Resolved resolved = OldFolder::resolve(typed, m_context.programFolder, m_context.programFolder,
                                                            QStringLiteral("daba.ini"), QStringLiteral("il database"));
    if (const Result saved = settings.saveDatabasePath(resolved.path); !saved) {
        report(saved);
        return;
    }
    m_ui->Text4->setText(resolved.path);
    QStringList said;
    if (!resolved.sentence.isEmpty())
        said << QString(resolved.sentence).replace(QStringLiteral("daba.ini indica"), QStringLiteral("Il percorso scritto indica"));
    if (resolved.found && JetFile::looksLikeJet(resolved.path))
        said << QStringLiteral("È un archivio Access del vecchio programma: sarà convertito al prossimo avvio.");
    if (!said.isEmpty())
        m_context.dialogs.message(said.join(QLatin1Char(' ')));
}

void SettingsWindow::chooseBackground() {
    const QString chosen = m_context.dialogs.openFile(pictureTitle, pictureFilter, QString());
    if (chosen.isEmpty())
        return;
    m_ui->Text5->setText(chosen);
    showChosenPicture(*m_ui->Picture1, chosen);
}

void SettingsWindow::showChosenPicture(PictureBox& preview, const QString& path) {
    // The message says why; the preview, too small for the sentence, is only emptied.
    const Picture::Loaded loaded = Picture::read(path);
    preview.setImage(loaded.image);
    if (!loaded.problem.isEmpty())
        m_context.dialogs.message(loaded.problem);
}

void SettingsWindow::saveBackground() {
    const QString path = m_ui->Text5->text();
    const Result saved = ProgramSettings(m_context.programFolder).saveBackgroundPath(path);
    report(saved);
    if (!saved)
        return;
    if (m_applyBackground)
        m_applyBackground(path);
    // The path is saved as typed; the frame keeps the picture it has when this one cannot be shown.
    if (const QString problem = Picture::read(path).problem; !problem.isEmpty())
        m_context.dialogs.message(problem.chopped(1) + QStringLiteral("; lo sfondo resta quello di prima."));
}
