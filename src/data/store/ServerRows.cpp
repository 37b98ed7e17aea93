#include "data/store/ServerRows.h"

#include "data/postgres/PostgresSearch.h"
#include "data/store/Database.h"

std::unique_ptr<ServerRows> ServerRows::connect(const Database& database) {
    if (!database.isPostgres())
        return nullptr;
    std::unique_ptr<PostgresSearch> connection = PostgresSearch::connect(database.location());
    if (!connection)
        return nullptr;
    return std::unique_ptr<ServerRows>(new ServerRows(std::move(connection)));
}

ServerRows::ServerRows(std::unique_ptr<PostgresSearch> connection) : m_connection(std::move(connection)) {}

ServerRows::~ServerRows() {
    cancel();
}

bool ServerRows::send(const QString& sql, const QVariantList& values) {
    QList<QByteArray> texts;
    for (const QVariant& value : values) {
        if (value.isNull())
            texts << QByteArray();
        else if (value.typeId() == QMetaType::Double)
            texts << QByteArray::number(value.toDouble(), 'g', 17);  // every digit: the server reads it back exactly
        else
            texts << value.toString().toUtf8();
    }
    m_ticket = m_connection->sendForRows(sql, texts);
    return m_ticket != 0;
}

ServerRows::State ServerRows::poll(bool untilDone) {
    if (m_ticket == 0)
        return State::Failed;
    switch (m_connection->wait(m_ticket, std::chrono::nanoseconds(untilDone ? -1 : 0))) {
    case PostgresSearch::State::Waiting:
        return State::Waiting;
    case PostgresSearch::State::Done:
        return State::Done;
    case PostgresSearch::State::Idle:
    case PostgresSearch::State::Failed:
        break;
    }
    return State::Failed;
}

std::vector<QVariantList> ServerRows::takeRows() {
    std::vector<QVariantList> rows = std::move(m_connection->rows());
    m_connection->rows().clear();
    return rows;
}

void ServerRows::cancel() {
    if (m_ticket != 0)
        m_connection->cancel(m_ticket);
    m_ticket = 0;
}

bool ServerRows::isBroken() const {
    return m_connection->isBroken();
}
