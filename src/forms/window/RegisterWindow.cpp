#include "forms/window/RegisterWindow.h"

#include "data/folder/ProgramSettings.h"
#include "data/store/RecordSource.h"
#include "forms/report/ReportControl.h"
#include "forms/window/SearchIndexWatch.h"
#include "platform/gui/Artwork.h"
#include "platform/gui/PictureBox.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>
#include <memory>
#include <tuple>

RegisterWindow::RegisterWindow(const Context& context, QWidget* parent) : QWidget(parent), m_context(context) {}

RegisterWindow::~RegisterWindow() {
    closeChildren();
}

RecordSource* RegisterWindow::addSource(const QString& table) {
    auto* source = new RecordSource(table, m_context.regional, this);
    source->setDialogs(&m_context.dialogs);
    // A search that went on after the keystroke and then failed is told like any other.
    connect(source, &RecordSource::searchFailed, this, [this](const QString& message) { m_context.dialogs.message(message); });
    m_sources.append(source);
    return source;
}

RecordCommands* RegisterWindow::addRecordCommands(RecordSource& source) {
    auto* commands = new RecordCommands(source, this);
    m_commands.append(commands);
    return commands;
}

QString RegisterWindow::openDatabase() {
    const ProgramSettings settings(m_context.programFolder);
    const QString path = settings.databasePath();
    // The real folder of the file, whatever its name is; a server's desk keeps its own.
    if (settings.databaseOnServer())
        m_databaseFolder = settings.databaseFolder();
    else
        m_databaseFolder = path.isEmpty() ? QString() : QFileInfo(path).absolutePath() + QLatin1Char('/');
    QString failure;
    for (RecordSource* source : std::as_const(m_sources)) {
        const Result opened = source->setDatabaseName(path);
        if (!opened && failure.isEmpty())
            failure = opened.message();
    }
    if (!failure.isEmpty())
        m_context.dialogs.message(failure);
    // The first open of a large database builds its search index for a while: the frame says so.
    if (!m_sources.isEmpty()) {
        if (!m_indexWatch)
            m_indexWatch = new SearchIndexWatch(*m_sources.first(), m_context.windows, this);
        m_indexWatch->restart();
    }
    return path;
}

Result RegisterWindow::setUpReport(ReportControl& report, const QString& file) {
    report.setReportFile(m_databaseFolder + file);
    return report.load();
}

void RegisterWindow::showIcon(PictureBox* icon, const QString& artwork) {
    icon->setImage(Artwork::picture(QStringLiteral(":/icons/") + artwork + QStringLiteral(".svg")));
}

void RegisterWindow::connectIcon(PictureBox* icon, QObject* receiver, std::function<void()> command) {
    connect(icon, &PictureBox::clicked, receiver, std::move(command));
}

Result RegisterWindow::setPendingValue(RecordSource& source, const QString& field, const QString& value) {
    if (!source.hasPendingEdit())
        return Result::failure(
            QStringLiteral("Nessun record in inserimento o in modifica: «%1» non è stato scritto.").arg(field));
    return source.setFieldValue(field, value);
}

Result RegisterWindow::moveToSaved(RecordSource& source, bool added) {
    const std::optional<qint64> key = added ? source.insertedKey() : std::nullopt;
    return key ? source.moveToKey(*key) : source.moveLast();
}

void RegisterWindow::saveThenLast(RecordSource& source, RecordCommands& commands, QWidget* next) {
    const bool adding = source.isAdding();
    if (!report(source.commitPending()))
        return;
    std::ignore = source.refresh();
    std::ignore = moveToSaved(source, adding);
    commands.finish();
    if (next)
        next->setFocus();
}

void RegisterWindow::deleteThenPrevious(RecordSource& source, RecordCommands& commands) {
    if (source.isAdding()) {
        commands.cancel();
        return;
    }
    // With no current record nothing happens.
    if (!removeCurrent(source))
        return;
    std::ignore = source.movePrevious();
}

bool RegisterWindow::removeCurrent(RecordSource& source) {
    if (!source.hasCurrent() || source.isAdding())
        return true;
    return report(source.remove());
}

Result RegisterWindow::insertRow(RecordSource& source, const FieldValues& values) {
    if (const Result added = source.addNew(); !added)
        return added;
    Result written = Result::success();
    for (const auto& [field, value] : values) {
        written = source.setFieldValue(field, value);
        if (!written)
            break;
    }
    if (written)
        written = source.update();
    if (!written) {
        source.cancelEdit();
        return written;
    }
    std::ignore = moveToSaved(source, true);
    return Result::success();
}

QWidget* RegisterWindow::showChild(const QString& name, const SingleWindows::Factory& create) {
    QWidget* window = m_children.get(name, create);
    if (!window)
        return nullptr;
    if (m_context.windows) {
        m_context.windows->showChild(window);
    } else {
        window->showNormal();
        window->raise();
        window->activateWindow();
    }
    return window;
}

void RegisterWindow::closeChildren() {
    for (QWidget* window : m_children.windows()) {
        // Inside the frame a child sits in a sub-window that deletes itself on close.
        QWidget* frame = window->parentWidget() ? window->parentWidget() : window;
        if (frame != window && frame->testAttribute(Qt::WA_DeleteOnClose))
            frame->close();
        else
            delete window;
    }
}

void RegisterWindow::coverField(QWidget* cover, QWidget* covered) {
    m_covered.insert(cover, {covered, covered->focusPolicy()});
    cover->installEventFilter(this);
    updateCovered(cover);
}

void RegisterWindow::updateCovered(QWidget* cover) {
    const auto& [covered, policy] = m_covered.value(cover);
    if (covered)
        covered->setFocusPolicy(cover->isHidden() ? policy : Qt::NoFocus);
}

bool RegisterWindow::eventFilter(QObject* watched, QEvent* event) {
    // ShowToParent / HideToParent come also while the window itself is not on screen.
    if ((event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent) && m_covered.contains(watched))
        updateCovered(static_cast<QWidget*>(watched));
    return QWidget::eventFilter(watched, event);
}

bool RegisterWindow::report(const Result& result) {
    if (!result)
        m_context.dialogs.message(result.message());
    return result.ok();
}

bool RegisterWindow::showKey(qint64 key) {
    if (m_sources.isEmpty())
        return false;
    RecordSource& source = *m_sources.first();
    if (!report(source.commitPending()))
        return false;
    return search(source, Query::keyEquals(source.table(), QStringLiteral("id"), QString::number(key)));
}

bool RegisterWindow::search(RecordSource& source, const Query& query) {
    const Query previous = source.recordSource();
    if (!report(source.setRecordSource(query)))
        return false;
    if (const Result refreshed = source.refresh(); !refreshed) {
        (void)source.setRecordSource(previous);
        return report(refreshed);
    }
    return true;
}

QString RegisterWindow::unsavedEntries() const {
    QString text;
    for (const RecordSource* source : std::as_const(m_sources)) {
        if (!source->hasPendingEdit())
            continue;
        const std::optional<qint64> key = source->currentKey();
        text += QStringLiteral("Tabella: %1\nChiave: %2\n")
                    .arg(source->table(), source->isAdding() || !key ? QStringLiteral("nuovo record")
                                                                     : QString::number(*key));
        const QMap<QString, QString>& typed = source->typedValues();
        for (auto field = typed.constBegin(); field != typed.constEnd(); ++field)
            text += QStringLiteral("--- %1 ---\n%2\n").arg(field.key(), field.value());
        text += QLatin1Char('\n');
    }
    return text;
}

void RegisterWindow::searchAsTyped(QLineEdit* box, std::function<bool(const QString&)> run) {
    auto shown = std::make_shared<QString>(box->text());
    connect(box, &QLineEdit::textChanged, this, [box, run = std::move(run), shown](const QString& text) {
        if (run(text)) {
            *shown = text;
            return;
        }
        const QSignalBlocker quiet(box);
        box->setText(*shown);
    });
}

void RegisterWindow::closeEvent(QCloseEvent* event) {
    for (RecordSource* source : std::as_const(m_sources)) {
        if (!report(source->commitPending())) {
            event->ignore();
            return;
        }
    }
    event->accept();
    closeChildren();
}

void RegisterWindow::keyPressEvent(QKeyEvent* event) {
    if (m_enterPressesButtons && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        if (auto* button = qobject_cast<QAbstractButton*>(focusWidget()); button && button->isEnabled()) {
            button->click();
            return;
        }
    }
    if (event->key() == Qt::Key_Escape) {
        for (RecordCommands* commands : std::as_const(m_commands)) {
            if (commands->isEntering()) {
                commands->cancel();
                event->accept();
                return;
            }
        }
        // An edit left pending (a grid cell, a save another desk refused) is dropped from
        // anywhere in the window, not only from its field: the record shows as stored.
        for (RecordSource* source : std::as_const(m_sources)) {
            if (source->hasPendingEdit()) {
                source->cancelEdit();
                event->accept();
                return;
            }
        }
    }
    QWidget::keyPressEvent(event);
}
