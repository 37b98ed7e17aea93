#include "app/MainWindow.h"

#include "app/Workspace.h"
#include "app/Workspace.h"
#include "data/folder/ProgramSettings.h"
#include "data/folder/ProgramSettings.h"
#include "data/postgres/StatementWait.h"
#include "forms/window/RegisterWindow.h"
#include "platform/files/AtomicWrite.h"
#include "platform/gui/Artwork.h"
#include "platform/gui/Artwork.h"
#include "platform/gui/Picture.h"
#include "platform/gui/Picture.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QMdiSubWindow>
#include <QSaveFile>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <array>
#include <cstdio>

namespace {

// ImageList1: the toolbar icons, by their position counted from 1.
const std::array<QString, 12> imageList = {
    QStringLiteral(":/icons/01-cartella.svg"),   QStringLiteral(":/icons/02-stampa.svg"),
    QStringLiteral(":/icons/03-richieste.svg"),  QStringLiteral(":/icons/04-fine.svg"),
    QStringLiteral(":/icons/05-immobili.svg"),   QStringLiteral(":/icons/06-scheda.svg"),
    QStringLiteral(":/icons/07-agenda.svg"),     QStringLiteral(":/icons/08-notizie.svg"),
    QStringLiteral(":/icons/09-gestione.svg"),   QStringLiteral(":/icons/10-crea-backup.svg"),
    QStringLiteral(":/icons/11-recupera-backup.svg"), QStringLiteral(":/icons/20-incroci.svg"),
};

struct ToolbarButton {
    const char* caption;
    const char* key;
    const char* tooltip;
    int icon;
};

// In toolbar order: a button's index is its place here plus one.
const std::array<ToolbarButton, 9> toolbarButtons = {{
    {"       IMMOBILI  ", "immobili", "GESTIONE DEGLI IMMOBILI IN PORTAFOGLIO", 5},
    {"       RICHIESTE  ", "richieste", "GESTIONE DELLE RICHIESTE", 3},
    {"NOTIZIE", "gestione", "GESTIONE DELLE NOTIZIE", 8},
    {"AGENDA", "agenda", "AGENDA DEGLI APPUNTAMENTI", 7},
    {"FINE", "fine", "FINE DEL PROGRAMMA ED ESCI", 4},
    {"CREA BACKUP", "bakupcrea", "", 10},
    {"     RECUPERA BACKUP", "recupera", "", 11},
    {"GESTIONE", "gestion", "", 9},
    {"INCROCI", "incroci", "CHI CHIAMARE: GLI INCROCI TRA IMMOBILI E RICHIESTE (F9)", 12},
}};

} // namespace

MainWindow::MainWindow(const Context& context, QWidget* parent) : QMainWindow(parent), m_context(context) {
    setObjectName(QStringLiteral("MAIN"));
    setWindowTitle(caption());
    setWindowIcon(Artwork::icon(Artwork::programIcon));
    // The restored client area: 14730 x 8520 twips.
    resize(982, 568);

    m_workspace = new Workspace(this);
    setCentralWidget(m_workspace);

    buildToolbar();
    buildStatusBar();
    // F9 anywhere in the frame: the matches of the record the user is on.
    auto* matching = new QShortcut(QKeySequence(Qt::Key_F9), this);
    connect(matching, &QShortcut::activated, this, [this] { runToolbarCommand(Matching); });
    loadBackground();
}

QString MainWindow::caption() {
    return QStringLiteral("VELMORA     v.0.0.1 alfa   -   gestionale per l'agenzia immobiliare");
}

void MainWindow::buildToolbar() {
    m_toolbar = addToolBar(QString());
    m_toolbar->setObjectName(QStringLiteral("Toolbar1"));
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);
    m_toolbar->setIconSize(QSize(32, 32));
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolbar->toggleViewAction()->setEnabled(false);

    for (std::size_t i = 0; i < toolbarButtons.size(); ++i) {
        const ToolbarButton& button = toolbarButtons[i];
        QAction* action = m_toolbar->addAction(Artwork::icon(imageList[button.icon - 1]), QString::fromUtf8(button.caption));
        action->setObjectName(QString::fromUtf8(button.key));
        action->setToolTip(QString::fromUtf8(button.tooltip));
        // A QAction without a tooltip shows its caption as one; these buttons have none.
        if (!*button.tooltip)
            m_toolbar->widgetForAction(action)->installEventFilter(this);
        const int index = static_cast<int>(i) + 1;
        connect(action, &QAction::triggered, this, [this, index] { runToolbarCommand(index); });
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip)
        return true;
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::buildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(false);

    const auto makePanel = [bar](const QString& name) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(name);
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setMinimumWidth(110);
        panel->setAlignment(Qt::AlignCenter);
        bar->addWidget(panel);
        return panel;
    };
    m_datePanel = makePanel(QStringLiteral("Panel1"));
    m_timePanel = makePanel(QStringLiteral("Panel2"));

    // The date of the start: never refreshed, even past midnight.
    m_datePanel->setText(m_context.regional.dateText(m_context.clock.today()));

    // Work in the background (the first build of the search index) is told at the right.
    m_workPanel = new QLabel(bar);
    m_workPanel->setObjectName(QStringLiteral("Panel3"));
    m_workPanel->setFrameShape(QFrame::Panel);
    m_workPanel->setFrameShadow(QFrame::Sunken);
    bar->addPermanentWidget(m_workPanel);
    m_workPanel->hide();
    m_workSilence = new QTimer(this);
    m_workSilence->setSingleShot(true);
    m_workSilence->setInterval(5000);
    connect(m_workSilence, &QTimer::timeout, m_workPanel, &QWidget::hide);

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(1000);
    // The clock only shows the time: it goes on while the window waits for the database.
    m_timer->setProperty(StatementWait::runsDuringWaits, true);
    connect(m_timer, &QTimer::timeout, this, &MainWindow::showTime);
    m_timer->start();
}

void MainWindow::showWork(const QString& text, const QString& detail) {
    m_workPanel->setText(text);
    m_workPanel->setToolTip(detail);
    m_workPanel->setVisible(!text.isEmpty());
    if (text.isEmpty())
        m_workSilence->stop();
    else
        m_workSilence->start();
}

void MainWindow::showTime() {
    m_timePanel->setText(m_context.regional.timeText(m_context.clock.now().time()));
}

void MainWindow::loadBackground() {
    // A missing sfondo.ini (or an empty line) names no picture: the workspace colour alone.
    // A path that does not load leaves the built-in picture.
    applyBackgroundPath(ProgramSettings(m_context.programFolder).backgroundPath());
}

void MainWindow::applyBackgroundPath(const QString& path) {
    if (path.isEmpty()) {
        setBackgroundPicture({});
        return;
    }
    const QImage picture = Picture::load(path);
    if (!picture.isNull())
        setBackgroundPicture(picture);
    else
        showDefaultBackground();
}

void MainWindow::setBackgroundPicture(const QImage& picture) {
    m_defaultBackgroundPending = false;
    m_workspace->setPicture(picture);
}

void MainWindow::showDefaultBackground() {
    // Drawn only when it is to be seen: most offices name a picture, or none, in sfondo.ini;
    // a picture that does not load later leaves the one shown then.
    if (!m_defaultBackgroundPending)
        return;
    m_defaultBackgroundPending = false;
    m_workspace->setPicture(Artwork::defaultBackgroundFor(m_context.programFolder));
}

QImage MainWindow::backgroundPicture() const {
    return m_workspace->picture();
}

void MainWindow::setWindowFactory(int button, WindowFactory factory) {
    m_factories[button] = std::move(factory);
}

void MainWindow::setCommand(int button, Command command) {
    m_commands[button] = std::move(command);
}

void MainWindow::runToolbarCommand(int index) {
    switch (index) {
    case Properties:
    case Requests:
    case Leads:
    case Diary:
    case Settings:
    case Matching:
        showWindow(index);
        break;
    case End:
        close();
        break;
    case CreateBackup:
    case RestoreBackup:
        if (const auto command = m_commands.find(index); command != m_commands.end() && command->second)
            command->second();
        break;
    default:
        break;
    }
}

QWidget* MainWindow::showWindow(int button) {
    const auto factory = m_factories.find(button);
    if (factory == m_factories.end() || !factory->second)
        return nullptr;
    // A window the user closed is gone; the next click creates and loads it again.
    QWidget* window = m_windows.get(QString::number(button), factory->second);
    if (window)
        showChild(window);
    return window;
}

void MainWindow::showChild(QWidget* window) {
    auto* frame = qobject_cast<QMdiSubWindow*>(window->parentWidget());
    if (!frame) {
        frame = m_workspace->addSubWindow(window);
        frame->setAttribute(Qt::WA_DeleteOnClose);
        frame->setWindowIcon(window->windowIcon());
        frame->adjustSize();
    }
    frame->showNormal();
    frame->raise();
    m_workspace->setActiveSubWindow(frame);
    window->setFocus();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    m_workspace->closeAllSubWindows();
    const QList<QMdiSubWindow*> windows = m_workspace->subWindowList();
    const bool refused = std::any_of(windows.begin(), windows.end(), [](QMdiSubWindow* w) { return w->isVisible(); });
    if (refused) {
        event->ignore();
        return;
    }
    event->accept();
    emit ended();
}

void MainWindow::endAtSystemRequest(const QString& why) {
    // A message box or a file dialog left open would wait for an answer that never comes.
    for (int tries = 0; tries < 16; ++tries) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            break;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    }
    if (close())
        return;
    // What could not be written is kept beside the database, for the next start to point at.
    QString kept;
    const QString saved = writeUnsaved();
    if (!saved.isEmpty())
        kept = QStringLiteral(" Quanto era scritto nelle schede è stato salvato in «%1».").arg(saved);
    std::fprintf(stderr, "VELMORA: %s%s\n", why.toLocal8Bit().constData(), kept.toLocal8Bit().constData());
    std::fflush(stderr);
    emit ended();
}

QString MainWindow::writeUnsaved() const {
    QString entries;
    for (const RegisterWindow* window : findChildren<RegisterWindow*>())
        entries += window->unsavedEntries();
    if (entries.isEmpty())
        return {};
    const QDateTime now = m_context.clock.now();
    const QString path = QDir(m_context.programFolder)
                             .filePath(unsavedPrefix + now.toString(QStringLiteral("yyyyMMdd-HHmmss")) + QStringLiteral(".txt"));
    const QString text = QStringLiteral("VELMORA: dati che il database non ha accettato quando il sistema ha chiuso il "
                                        "programma, il %1 alle %2. Ricopiarli nelle schede, poi eliminare questo file.\n\n")
                             .arg(m_context.regional.dateText(now.date()), m_context.regional.timeText(now.time())) +
                         entries;
    QSaveFile file(path);
    const QByteArray bytes = text.toUtf8();
    const bool opened = file.open(QIODevice::WriteOnly);
    if (const std::optional<QString> failed = AtomicWrite::commit(file, opened && file.write(bytes) == bytes.size())) {
        // Nowhere else to keep it: the standard error stream has it whole.
        std::fprintf(stderr, "VELMORA: impossibile scrivere «%s» (%s):\n%s", path.toLocal8Bit().constData(),
                     failed->toLocal8Bit().constData(), text.toLocal8Bit().constData());
        return {};
    }
    return path;
}
