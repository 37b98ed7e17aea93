#pragma once

#include "platform/Progress.h"

#include <QElapsedTimer>
#include <QString>
#include <memory>

class QProgressDialog;
class QWidget;

// Progress as a modal dialog over the program's windows. It shows itself only when the
// work lasts, and offers "Annulla" only for work that can stop without losing anything.
class DialogProgress : public Progress {
public:
    DialogProgress(const QString& label, bool cancellable, QWidget* parent);
    ~DialogProgress() override;

    bool advance(qint64 done, qint64 total) override;
    void setLabel(const QString& label) override;

private:
    std::unique_ptr<QProgressDialog> m_dialog;
    bool m_cancellable;
    QElapsedTimer m_started;
};
