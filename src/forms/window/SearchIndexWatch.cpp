#include "forms/window/SearchIndexWatch.h"

#include "data/store/RecordSource.h"
#include "platform/gui/WindowHost.h"

#include <algorithm>

SearchIndexWatch::SearchIndexWatch(RecordSource& source, WindowHost* host, QObject* parent)
    : QObject(parent), m_source(source), m_host(host) {
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &SearchIndexWatch::look);
}

void SearchIndexWatch::restart() {
    look();
}

void SearchIndexWatch::look() {
    qint64 done = 0, total = 0;
    const bool building = m_source.searchIndexBuilding(done, total);
    QString text;
    if (building) {
        const int percent = total > 0 ? static_cast<int>(std::min<qint64>(99, done * 100 / total)) : 0;
        text = QStringLiteral("Preparazione della ricerca veloce: %1 %").arg(percent);
    }
    if (building && !m_timer.isActive())
        m_timer.start();
    else if (!building)
        m_timer.stop();
    if (text == m_text && text.isEmpty())
        return;
    m_text = text;
    if (m_host)
        m_host->showWork(text, QStringLiteral("La prima volta che apre questo database il programma prepara l'indice "
                                              "che rende immediate le ricerche mentre si scrive. Intanto si lavora "
                                              "come sempre: le ricerche trovano le stesse righe, solo più lentamente."));
}
