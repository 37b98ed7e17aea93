#include "RegisterWindow.h"

#include "ProgramSettings.h"
#include "RecordSource.h"

#include <QCloseEvent>

RegisterWindow::RegisterWindow(const Context& context, QWidget* parent) : QWidget(parent), m_context(context) {}

RecordSource* RegisterWindow::addSource(const QString& table) {
    auto* source = new RecordSource(table, m_context.regional, this);
    // A search that went on after the keystroke and then failed is told like any other.
    connect(source, &RecordSource::searchFailed, this, [this](const QString& message) { m_context.dialogs.message(message); });
    m_sources.append(source);
    return source;
}

QString RegisterWindow::openDatabase() {
    const QString path = ProgramSettings(m_context.programFolder).databasePath();
    QString failure;
    for (RecordSource* source : std::as_const(m_sources)) {
        const Result opened = source->setDatabaseName(path);
        if (!opened && failure.isEmpty())
            failure = opened.message();
    }
    if (!failure.isEmpty())
        m_context.dialogs.message(failure);
    return path;
}

bool RegisterWindow::report(const Result& result) {
    if (!result)
        m_context.dialogs.message(result.message());
    return result.ok();
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

void RegisterWindow::closeEvent(QCloseEvent* event) {
    for (RecordSource* source : std::as_const(m_sources)) {
        if (!report(source->commitPending())) {
            event->ignore();
            return;
        }
    }
    event->accept();
}
