#pragma once

#include "forms/window/SingleWindows.h"
#include "platform/gui/Context.h"
#include "platform/gui/WindowHost.h"

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <map>

class QLabel;
class QMdiSubWindow;
class QTimer;
class QToolBar;
class Workspace;

// MAIN: the frame window. It holds the toolbar, the status bar with the start date
// and the clock, the background picture, and every other window as a child.
class MainWindow : public QMainWindow, public WindowHost {
    Q_OBJECT
public:
    // The toolbar's buttons, by their index (counted from 1).
    enum Button {
        Properties = 1,
        Requests = 2,
        Leads = 3,
        Diary = 4,
        End = 5,
        CreateBackup = 6,
        RestoreBackup = 7,
        Settings = 8,
        Matching = 9,
    };

    using WindowFactory = std::function<QWidget*()>;
    using Command = std::function<void()>;

    explicit MainWindow(const Context& context, QWidget* parent = nullptr);

    static QString caption();

    // The window a button opens; created (and loaded) by the factory when it does not exist.
    void setWindowFactory(int button, WindowFactory factory);
    // The command a button runs (backup and restore).
    void setCommand(int button, Command command);

    // The toolbar's one handler: the button's index picks the command.
    void runToolbarCommand(int index);

    // Shows the button's window as a child, restored to normal size and in front with
    // the focus; answers it, or nullptr when the button has no window.
    QWidget* showWindow(int button);

    // Shows a window as a child, restored to normal size and in front with the focus.
    void showChild(QWidget* window) override;
    // A panel at the right end of the status bar (Panel3) while work goes on in the background.
    void showWork(const QString& text, const QString& detail) override;

    // Makes the picture at a path the background: an empty path means none, a path
    // that does not load leaves the picture there is.
    void applyBackgroundPath(const QString& path);
    void setBackgroundPicture(const QImage& picture);
    QImage backgroundPicture() const;

    Workspace* workspace() const { return m_workspace; }

    // Ends the program because the system asks it to (logout, shutdown, kill): as "FINE"
    // does, every window writes its pending edit. Open questions are cancelled first; a
    // window that cannot write keeps nothing open: the program ends all the same, what
    // was refused is written as typed to a file in the program folder (unsavedPrefix...),
    // and `why`, with that file's path, goes to the standard error stream.
    void endAtSystemRequest(const QString& why);

    // The start of the name of the files that keep what the database refused at the end.
    static inline const QString unsavedPrefix = QStringLiteral("dati-non-salvati-");

signals:
    // The frame closed with every window's edits written: the program ends.
    void ended();

protected:
    // Every child window writes its pending edit first; one that cannot keeps the program open.
    void closeEvent(QCloseEvent* event) override;
    // Keeps the buttons that have no tooltip from showing their caption as one.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildToolbar();
    void buildStatusBar();
    void loadBackground();
    void showDefaultBackground();
    void showTime();
    // The pending edits of every window, written atomically as UTF-8 text; the file's path,
    // or "" when nothing was pending or the file could not be written (then on stderr).
    QString writeUnsaved() const;

    const Context& m_context;
    Workspace* m_workspace = nullptr;
    QToolBar* m_toolbar = nullptr;
    QLabel* m_datePanel = nullptr;
    QLabel* m_timePanel = nullptr;
    QTimer* m_timer = nullptr;
    // Until sfondo.ini has been read, the built-in picture is what the workspace shows.
    bool m_defaultBackgroundPending = true;
    QLabel* m_workPanel = nullptr;
    QTimer* m_workSilence = nullptr; // hides the work panel when nobody tells it again
    std::map<int, WindowFactory> m_factories;
    SingleWindows m_windows; // by button
    std::map<int, Command> m_commands;
};
