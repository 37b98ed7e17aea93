#pragma once

#include "platform/gui/Context.h"

#include <QWidget>

class QLineEdit;
class QPushButton;

// The settings window's fourth tab, "INCROCI": the tolerances of the matching window and
// the lowest score of an exact match, saved to incroci.ini by its own "SALVA".
class MatchingTab : public QWidget {
    Q_OBJECT
public:
    explicit MatchingTab(const Context& context, QWidget* parent = nullptr);

    void save();

private:
    const Context& m_context;
    QLineEdit* m_surfaceBand;
    QLineEdit* m_surfaceTolerance;
    QLineEdit* m_priceBand;
    QLineEdit* m_priceTolerance;
    QLineEdit* m_minimum;
    QPushButton* m_save;
};
