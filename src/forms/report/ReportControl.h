#pragma once

#include "platform/Result.h"
#include "platform/gui/Context.h"
#include "report/ReportDefinition.h"

#include <QObject>
#include <QPointer>
#include <memory>

class ReportPreview;
class ReportRenderer;

// A report control of a window: it takes a report file, a selection formula and the
// start command, and produces the report on the destination its file names (a
// preview window, the default printer or a PDF file).
class ReportControl : public QObject {
    Q_OBJECT
public:
    explicit ReportControl(const Context& context, QObject* parent = nullptr);

    // The report file: a full path, or a bare name looked for in the database folder, then
    // in the program folder, then among the installed ones.
    void setReportFile(const QString& file);
    const QString& reportFile() const { return m_file; }

    // Loads and checks the report file (the call made after each setting of it).
    Result load();

    void setSelectionFormula(const QString& formula);
    const QString& selectionFormula() const { return m_formula; }

    // The database the report reads; the one named in daba.ini when not set.
    void setDatabasePath(const QString& path) { m_databasePath = path; }

    // The start command (action 1): produces the report at once. A missing report file,
    // a formula that does not parse or a database that cannot be read is refused with
    // a message, and nothing is printed.
    Result start();

    // The file the report name stands for, or why there is none.
    Result resolve(QString& path) const;

    // The preview window opened last, while it is open.
    ReportPreview* preview() const;

private:
    QString databasePath() const;

    const Context& m_context;
    QString m_file;
    QString m_formula;
    QString m_databasePath;
    QPointer<ReportPreview> m_preview;
};
