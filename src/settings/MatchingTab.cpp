#include "settings/MatchingTab.h"

#include "data/vocabulary/Numbers.h"
#include "matching/MatchSettings.h"
#include "platform/Dialogs.h"
#include "platform/Regional.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QLineEdit* numberBox(QWidget* parent, const QString& name, const QString& caption) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setAccessibleName(caption);
    box->setMaximumWidth(80);
    box->setMaxLength(12);
    return box;
}

} // namespace

MatchingTab::MatchingTab(const Context& context, QWidget* parent) : QWidget(parent), m_context(context) {
    setObjectName(QStringLiteral("tabIncroci"));
    auto* grid = new QGridLayout(this);
    const auto row = [this, grid](int at, const QString& labelName, const QString& caption, QLineEdit* box,
                                  const QString& unit) {
        auto* label = new QLabel(caption, this);
        label->setObjectName(labelName);
        label->setBuddy(box);
        auto* unitLabel = new QLabel(unit, this);
        // Whole captions: the boxes give way first.
        label->setMinimumWidth(label->sizeHint().width());
        unitLabel->setMinimumWidth(unitLabel->sizeHint().width());
        grid->addWidget(label, at, 0);
        grid->addWidget(box, at, 1);
        grid->addWidget(unitLabel, at, 2);
    };
    m_surfaceBand = numberBox(this, QStringLiteral("Text6"), QStringLiteral("Mq a punteggio pieno entro"));
    m_surfaceTolerance = numberBox(this, QStringLiteral("Text7"), QStringLiteral("Mq accettati entro"));
    m_priceBand = numberBox(this, QStringLiteral("Text8"), QStringLiteral("Prezzo a punteggio pieno fino a"));
    m_priceTolerance = numberBox(this, QStringLiteral("Text9"), QStringLiteral("Prezzo accettato fino a"));
    m_minimum = numberBox(this, QStringLiteral("Text10"), QStringLiteral("Punteggio minimo"));
    row(0, QStringLiteral("Label11"), QStringLiteral("Mq a punteggio pieno entro"), m_surfaceBand,
        QStringLiteral("% in più o in meno dei mq cercati"));
    row(1, QStringLiteral("Label12"), QStringLiteral("Mq accettati entro"), m_surfaceTolerance,
        QStringLiteral("% (con meno punti)"));
    row(2, QStringLiteral("Label13"), QStringLiteral("Prezzo a punteggio pieno fino a"), m_priceBand,
        QStringLiteral("% sopra il budget"));
    row(3, QStringLiteral("Label14"), QStringLiteral("Prezzo accettato fino a"), m_priceTolerance,
        QStringLiteral("% sopra il budget (con meno punti)"));
    row(4, QStringLiteral("Label15"), QStringLiteral("Punteggio minimo"), m_minimum,
        QStringLiteral("su 100: sotto, gli incroci sono «quasi»"));
    m_save = new QPushButton(QStringLiteral("SALVA"), this);
    m_save->setObjectName(QStringLiteral("Command8"));
    grid->addWidget(m_save, 5, 0, 1, 3);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(6, 1);
    connect(m_save, &QPushButton::clicked, this, &MatchingTab::save);

    const MatchTolerances stored = MatchSettings(m_context.programFolder).read();
    const QLocale& locale = m_context.regional.locale();
    m_surfaceBand->setText(Numbers::shown(stored.surfaceBand, locale));
    m_surfaceTolerance->setText(Numbers::shown(stored.surfaceTolerance, locale));
    m_priceBand->setText(Numbers::shown(stored.priceBand, locale));
    m_priceTolerance->setText(Numbers::shown(stored.priceTolerance, locale));
    m_minimum->setText(QString::number(stored.minimumScore));
}

void MatchingTab::save() {
    // What was typed stays in the boxes whatever happens: a refused value is named.
    MatchTolerances typed;
    const std::pair<QLineEdit*, double*> percentages[] = {{m_surfaceBand, &typed.surfaceBand},
                                                          {m_surfaceTolerance, &typed.surfaceTolerance},
                                                          {m_priceBand, &typed.priceBand},
                                                          {m_priceTolerance, &typed.priceTolerance}};
    for (const auto& [box, into] : percentages) {
        const std::optional<double> value = Numbers::typed(box->text(), m_context.regional.locale());
        if (!value) {
            m_context.dialogs.message(QStringLiteral("«%1» non è un numero: %2.").arg(box->text(), box->accessibleName()));
            box->setFocus();
            return;
        }
        *into = *value;
    }
    bool whole = false;
    typed.minimumScore = m_minimum->text().trimmed().toInt(&whole);
    if (!whole) {
        m_context.dialogs.message(
            QStringLiteral("«%1» non è un numero intero: Punteggio minimo.").arg(m_minimum->text()));
        m_minimum->setFocus();
        return;
    }
    QString why;
    if (!MatchSettings::checked(typed, &why)) {
        m_context.dialogs.message(why + QStringLiteral(" Il file incroci.ini non è stato cambiato."));
        return;
    }
    if (const Result written = MatchSettings(m_context.programFolder).write(typed); !written)
        m_context.dialogs.message(written.message());
}
