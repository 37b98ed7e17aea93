#include "data/store/RecordSource.h"

#include "data/postgres/StatementWait.h"
#include "data/store/ChangeWatch.h"
#include "data/store/Database.h"
#include "data/store/RecordSourceDetail.h"
#include "data/vocabulary/FieldFormat.h"
#include "platform/Regional.h"

// RecordSource: what other desks changed: rows read again, edits checked against the stored row.

using namespace RecordSourceDetail;

void RecordSource::lookPastTheEnd() {
    // Records another desk added since the last rows were read lie past them: a move to
    // the end reads on from the last key instead of trusting that the end was reached.
    if (!m_tailLoaded || m_search || !watch().othersWrote())
        return;
    if (!m_rows.isEmpty()) {
        m_rows.clear();
        emit rowsChanged();
    }
    m_tailLoaded = false;
}

void RecordSource::prepareChecks() {
    m_guard = std::make_unique<RowGuard>(m_database->connection(), m_table, m_database->keyColumn(m_table), m_dialogs);
    m_watch = std::make_unique<ChangeWatch>(m_database->connection(), m_database->ledger(), m_dialogs);
    m_checksGeneration = m_database->connectionGeneration();
}

RowGuard& RecordSource::guard() {
    m_database->comeBack();
    // Their statements were prepared on a connection since lost and made again.
    if (m_database->connectionGeneration() != m_checksGeneration)
        prepareChecks();
    return *m_guard;
}

ChangeWatch& RecordSource::watch() {
    guard();
    return *m_watch;
}

void RecordSource::readCurrent() {
    m_read.reset();
    m_readFailure.clear();
    m_gone = false;
    const std::optional<qint64> key = currentKey();
    if (!key || !isOpen())
        return;
    // Rows another desk wrote since they were read are read again as they come into view.
    if (watch().othersWrote() && !m_rows.isEmpty()) {
        m_rows.clear();
        emit rowsChanged();
    }
    // The user gave up waiting for the server: not asked again at once.
    if (const QString stop = StatementWait::stopped(); !stop.isEmpty()) {
        m_readFailure = QStringLiteral("Il record non si può mostrare: %1.").arg(stop);
        return;
    }
    const std::optional<QVariantList> before =
        m_rows.contains(*key) ? std::optional<QVariantList>(m_rows.value(*key)) : std::nullopt;
    QVariantList values;
    bool found = guard().read(*key, values);
    // A server that went away and came back: read on a connection made again. A table made
    // again since (a restore on another desk): read with statements prepared again.
    // A record held by another session is not waited for twice.
    if (const QSqlError error = m_guard->error();
        !found && error.isValid() && error.nativeErrorCode() != QLatin1String("55P03") &&
        StatementWait::stopped().isEmpty()) {
        const bool lost = m_database->connectionLost(error);
        if (!lost)
            prepareChecks();
        if (!lost || m_database->reconnect())
            found = guard().read(*key, values);
    }
    // The card would show the record empty: say why.
    if (!found && m_guard->error().isValid())
        m_readFailure = QStringLiteral("Il record non si può mostrare: %1.").arg(m_database->describe(m_guard->error()));
    // Read without a fault, and not there: deleted since its key was read.
    m_gone = !found && m_guard->error().type() == QSqlError::NoError;
    if (found) {
        if (m_rows.size() >= rowCacheLimit)
            m_rows.clear();
        m_rows.insert(*key, values);
        m_read = std::move(values);
    } else {
        forgetRow(*key);
    }
    if (before && before != m_read)
        emit rowChanged(m_current);
}

Result RecordSource::refusedByOtherDesk(const RowGuard::Outcome& outcome, const QString& what, bool deleting) {
    using Kind = RowGuard::Outcome::Kind;
    if (outcome.kind == Kind::Failed && outcome.error.nativeErrorCode() == QLatin1String("55P03"))
        return Result::failure(
            QStringLiteral("Non è stato possibile completare %1: il record è in uso da %2. %3")
                .arg(what,
                     outcome.holder.isEmpty() ? QStringLiteral("un'altra postazione") : outcome.holder,
                     deleting ? QStringLiteral("Riprovare quando sarà libero.")
                              : QStringLiteral("Ciò che è stato scritto resta sulla scheda: riprovare quando il "
                                               "record sarà libero.")));
    // The user stopped waiting for a server that did not answer: nothing was written.
    if (outcome.kind == Kind::Failed && !deleting && !StatementWait::stopped().isEmpty()) {
        if (m_database->connectionLost(outcome.error))
            m_database->letGo();
        return Result::failure(
            QStringLiteral("Non è stato possibile completare %1: %2; ciò che è stato scritto resta sulla scheda.")
                .arg(what, m_database->describe(outcome.error)));
    }
    if (outcome.kind == Kind::Failed)
        return databaseError(what, outcome.error);
    const qint64 key = *currentKey();
    const QString opened = QStringLiteral("Un'altra postazione ha %1 questo record dopo che l'hai aperto");
    if (outcome.kind == Kind::Deleted) {
        forgetRow(key);
        emit rowChanged(m_current);
        return Result::failure(opened.arg(QStringLiteral("eliminato")) +
                               QStringLiteral(": la tua modifica non è stata salvata e resta sulla scheda. "
                                              "Premi Esc per annullarla."));
    }

    // What changed, by the names the window gives the fields, with their values now. A
    // record that could not be read when it became current was never shown: nothing of
    // it counts as seen until Esc reads it again.
    QStringList changes;
    bool typedOver = !m_read;
    m_rows.insert(key, outcome.stored);
    for (const int column : m_read ? outcome.changed : QList<int>()) {
        const QString name = m_columns.key(column);
        if (name.isEmpty())
            continue;
        QString now = FieldFormat::shown(schemaField(name), outcome.stored.value(column), m_regional);
        if (now.size() > 40)
            now = now.left(40) + QStringLiteral("…");
        changes << QStringLiteral("«%1» ora è %2")
                       .arg(m_captions.value(name, name),
                            now.isEmpty() ? QStringLiteral("vuoto") : QStringLiteral("«%1»").arg(now));
        // A field the user typed into keeps the typing, and the value it was typed over:
        // saving it again stays refused until Esc shows what the other desk wrote. The
        // others show the stored value now, and are taken as seen.
        if (m_pending.contains(name)) {
            typedOver = true;
        } else {
            if (column < m_read->size())
                (*m_read)[column] = outcome.stored.at(column);
            emit valueChanged(name);
        }
    }
    emit rowChanged(m_current);

    QString message = opened.arg(QStringLiteral("cambiato"));
    message += changes.isEmpty() ? QStringLiteral(".")
                                 : QStringLiteral(": ") + changes.join(QStringLiteral(", ")) + QStringLiteral(".");
    if (deleting)
        message += typedOver
                       ? QStringLiteral(" Il record non è stato eliminato. Premi Esc per annullare quello che hai "
                                        "scritto e vedere il record com'è ora.")
                       : QStringLiteral(" Il record non è stato eliminato: i valori nuovi sono ora sulla scheda; "
                                        "se va eliminato comunque, eliminalo di nuovo.");
    else
        message += typedOver ? QStringLiteral(" La tua modifica non è stata salvata e resta sulla scheda. Premi Esc "
                                              "per annullarla e vedere il record com'è ora, poi riscrivila.")
                             : QStringLiteral(" La tua modifica non è stata salvata e resta sulla scheda; i valori "
                                              "nuovi degli altri campi sono ora sulla scheda. Salva di nuovo per "
                                              "confermarla, oppure premi Esc per annullarla.");
    return Result::failure(message);
}

Result RecordSource::passOverGone(bool backward) {
    // Each gone row leaves the window; the next one the same way takes its place, or the
    // nearest the other way at an end.
    int row = m_current;
    while (m_gone) {
        const qint64 gone = m_keys.at(row);
        m_added.removeAll(gone);
        emit aboutToRemoveRow(row);
        m_keys.removeAt(row);
        m_current = -1;
        emit rowRemoved();
        if (backward)
            --row;
        if (row < 0 && canFetchPrevious()) {
            const int before = rowCount();
            fetchPrevious();
            row += rowCount() - before;
        }
        if (row >= rowCount() && canFetchMore())
            fetchMore();
        if (row < 0 || row >= rowCount())
            row = backward ? 0 : rowCount() - 1;
        if (rowCount() == 0)
            break;
        m_current = row;
        readCurrent();
    }
    if (m_current < 0)
        m_next = 0;
    emit currentChanged();
    return Result::failure(QStringLiteral("Il record non c'è più: è stato eliminato da un'altra postazione o da un "
                                          "ripristino; %1.")
                               .arg(m_current >= 0 ? QStringLiteral("la scheda mostra quello accanto")
                                                   : QStringLiteral("non ci sono altri record da mostrare")));
}
