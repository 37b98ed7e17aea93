#include "SampleData.h"

#include "data/postgres/PostgresConnection.h"
#include "data/postgres/PostgresError.h"
#include "data/postgres/PostgresSchema.h"
#include "data/sqlite/EngineError.h"
#include "data/store/Database.h"
#include "data/vocabulary/DatabaseLocation.h"

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUuid>
#include <random>
#include <sqlite3.h>
#include <tuple>

namespace {

const QStringList firstNames = {"Mario",   "Luigi",    "Giuseppe", "Anna",     "Giulia",  "Francesca", "Marco",
                                "Paolo",   "Elena",    "Chiara",   "Luca",     "Sara",    "Alessandro", "Federica",
                                "Matteo",  "Valentina", "Stefano", "Silvia",   "Roberto", "Laura",     "Davide",
                                "Martina", "Andrea",   "Lucia",    "Giorgio",  "Paola",   "Fabio",     "Simona"};
const QStringList surnames = {"Rossi",   "Bianchi", "Verdi",    "Esposito", "Romano",   "Colombo",  "Ricci",
                              "Marino",  "Greco",   "Bruno",    "Gallo",    "Conti",    "De Luca",  "Mancini",
                              "Costa",   "Giordano", "Rizzo",   "Lombardi", "Moretti",  "Barbieri", "Fontana",
                              "Santoro", "Mariani", "Rinaldi",  "Caruso",   "Ferrara",  "Galli",    "Martini",
                              "Leone",   "Longo",   "Gentile",  "Martinelli", "D'Amico", "Serra",   "Benedetti"};
const QStringList streets = {"Via dell'Indipendenza", "Via Rizzoli",      "Strada Maggiore",  "Via Saragozza",
                             "Via San Felice",        "Via Mazzini",      "Via Massarenti",   "Via Emilia Ponente",
                             "Via Murri",             "Via Toscana",      "Via Andrea Costa", "Via Aurelio Saffi",
                             "Via Irnerio",           "Via Zamboni",      "Via del Pratello", "Via Castiglione",
                             "Via Santo Stefano",     "Via delle Lame",   "Via Marconi",      "Via Ugo Bassi",
                             "Via Galliera",          "Via Mascarella",   "Via San Donato",   "Via Corticella",
                             "Via della Barca",       "Via Libia",        "Via Lincoln",      "Via Po"};
const QStringList zones = {"Centro Storico", "Santo Stefano", "Saragozza", "Porto",     "Navile",    "San Donato",
                           "San Vitale",     "Borgo Panigale", "Reno",     "Savena",    "Murri",     "Bolognina",
                           "Corticella",     "Mazzini",       "Barca",     "Costa Saragozza"};

struct Kind {
    const char* name;
    int minMq;
    int maxMq;
};
const Kind kinds[] = {{"Monolocale", 25, 45},   {"Bilocale", 40, 70},     {"Trilocale", 65, 100},
                      {"Quadrilocale", 90, 140}, {"Attico", 80, 200},      {"Villa", 150, 400},
                      {"Villetta a schiera", 110, 200}, {"Loft", 60, 150}, {"Negozio", 30, 200},
                      {"Ufficio", 40, 300},     {"Box auto", 12, 30},     {"Magazzino", 50, 600}};

const QStringList propertyNotes = {"Luminoso, ristrutturato, con balcone e cantina.",
                                   "Ultimo piano con ascensore, riscaldamento autonomo.",
                                   "Da ristrutturare, ottima posizione vicino ai servizi.",
                                   "Doppia esposizione, posto auto condominiale.",
                                   "Casa d'epoca con soffitti alti e pavimenti originali.",
                                   "Giardino privato e terrazzo abitabile.",
                                   "Libero subito, spese condominiali contenute.",
                                   "Classe energetica A, finiture di pregio.",
                                   ""};
const QStringList ownerNotes = {"Disponibile per visite il pomeriggio.", "Chiamare dopo le 18.",
                                "Preferisce essere contattato sul cellulare.", "Vive all'estero, referente il figlio.",
                                "Trattativa riservata.", ""};
const QStringList requestNotes = {"Cerca in zona servita dai mezzi.", "Necessario ascensore.",
                                  "Con posto auto o garage.", "Primo acquisto, mutuo già approvato.",
                                  "Trasferimento per lavoro, urgente.", "Gradito giardino.", ""};
const QStringList visitNotes = {"Molto interessato, richiamare.", "Troppo caro per il cliente.",
                                "Piace la zona, poco la cucina.", "Vuole tornare con il coniuge.",
                                "Proposta in arrivo.", "Non adatto: manca l'ascensore."};
const QStringList sources = {"Passaparola", "Cartello vendesi", "Portiere", "Giornale di zona", "Portale web",
                             "Cliente storico"};
const QStringList leadTexts = {"Il proprietario del %1 in %2 pensa di vendere entro l'anno.",
                               "Si libera un %1 in %2: l'inquilino lascia a fine mese.",
                               "Eredità: famiglia valuta la vendita di un %1 in %2.",
                               "Chiude il negozio in %2: anche il %1 al piano di sopra potrebbe liberarsi.",
                               "Coppia in %2 cerca di vendere il %1 per comprare più grande."};
const QStringList followUps = {"Chiamato, richiamare a settembre.", "Fissato sopralluogo.",
                               "Non interessati per ora.", "Incarico firmato.", ""};
const QStringList agents = {"Giulia Ferri", "Marco Neri", "Paola Santi"};
const QStringList appointmentKinds = {"Visita %1 in %2", "Sopralluogo %1 in %2", "Firma incarico %1 in %2",
                                      "Rogito notaio per %1 in %2", "Valutazione %1 in %2"};

class Random {
public:
    explicit Random(std::uint64_t seed) : m_engine(seed) {}
    // A whole number in [low, high].
    int between(int low, int high) { return low + static_cast<int>(m_engine() % static_cast<std::uint64_t>(high - low + 1)); }
    bool chance(int percent) { return between(1, 100) <= percent; }
    const QString& pick(const QStringList& list) { return list.at(between(0, static_cast<int>(list.size()) - 1)); }
    const Kind& kind() { return kinds[between(0, static_cast<int>(std::size(kinds)) - 1)]; }
    QString landline() { return QStringLiteral("051 %1").arg(between(200000, 6999999)); }
    QString mobile() { return QStringLiteral("3%1 %2").arg(between(20, 49)).arg(between(1000000, 9999999)); }
    QString person() { return pick(firstNames) + QLatin1Char(' ') + pick(surnames); }
    QString address() { return QStringLiteral("%1 %2").arg(pick(streets)).arg(between(1, 180)); }

private:
    std::mt19937_64 m_engine;
};

// The database the rows go into, all in one transaction: a SQLite file through SQLite's
// own API (the quickest way to write a million rows), or a PostgreSQL database through
// Qt's driver.
class Target {
public:
    explicit Target(const QString& path) {
        DatabaseLocation location;
        if (DatabaseLocation::parse(path, location).ok() && location.isPostgres()) {
            m_connection = QStringLiteral("velmora-esempio-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
            if (const Result opened = PostgresConnection::open(location, m_connection); !opened) {
                m_problem = opened.message();
                m_connection.clear();
                return;
            }
            connection().transaction();
            return;
        }
        if (sqlite3_open_v2(path.toUtf8().constData(), &m_sqlite, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            m_problem = QStringLiteral("il file non si può aprire");
            return;
        }
        sqlite3_exec(m_sqlite, "BEGIN", nullptr, nullptr, nullptr);
    }
    ~Target() {
        sqlite3_close(m_sqlite);
        if (!m_connection.isEmpty()) {
            connection().close();
            QSqlDatabase::removeDatabase(m_connection);
        }
    }
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;

    // Why the database could not be opened; empty when it was.
    const QString& problem() const { return m_problem; }
    bool isPostgres() const { return !m_connection.isEmpty(); }
    sqlite3* sqlite() const { return m_sqlite; }
    QSqlDatabase connection() const { return QSqlDatabase::database(m_connection, false); }

    void finish(bool keep) {
        if (isPostgres()) {
            if (!keep || !connection().commit())
                connection().rollback();
            // A bulk load leaves the trigram indexes' new entries aside: take them in now,
            // and let the planner see the new rows.
            if (keep) {
                QSqlQuery tidy(connection());
                tidy.exec(PostgresSchema::analyzeStatement(QStringLiteral("VACUUM ANALYZE")));
            }
        } else if (m_sqlite) {
            sqlite3_exec(m_sqlite, keep ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
        }
    }

private:
    QString m_problem;
    sqlite3* m_sqlite = nullptr;
    QString m_connection;
};

// A statement bound and run once per row; `key` names the column whose new value
// key() then answers.
class Inserter {
public:
    Inserter(Target& target, const char* sql, const char* key = nullptr) : m_target(target) {
        if (target.isPostgres()) {
            m_query = std::make_unique<QSqlQuery>(target.connection());
            const QString text =
                QString::fromUtf8(sql) + (key ? QStringLiteral(" RETURNING ") + QLatin1String(key) : QString());
            m_valid = m_query->prepare(text);
        } else {
            m_valid = sqlite3_prepare_v2(target.sqlite(), sql, -1, &m_statement, nullptr) == SQLITE_OK;
        }
    }
    ~Inserter() { sqlite3_finalize(m_statement); }
    Inserter& text(int at, const QString& value) {
        if (m_query) {
            m_query->bindValue(at - 1, value);
            return *this;
        }
        const QByteArray utf8 = value.toUtf8();
        sqlite3_bind_text(m_statement, at, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Inserter& number(int at, qint64 value) {
        if (m_query)
            m_query->bindValue(at - 1, value);
        else
            sqlite3_bind_int64(m_statement, at, value);
        return *this;
    }
    bool run() {
        if (m_query) {
            if (!m_query->exec())
                return false;
            m_key = m_query->next() ? m_query->value(0).toLongLong() : 0;
            return true;
        }
        const bool ok = sqlite3_step(m_statement) == SQLITE_DONE;
        sqlite3_reset(m_statement);
        m_key = sqlite3_last_insert_rowid(m_target.sqlite());
        return ok;
    }
    bool valid() const { return m_valid; }
    qint64 key() const { return m_key; }
    QString error() const {
        if (m_query)
            return PostgresError::describe(m_query->lastError());
        return QString::fromUtf8(sqlite3_errmsg(m_target.sqlite()));
    }

private:
    Target& m_target;
    sqlite3_stmt* m_statement = nullptr;
    std::unique_ptr<QSqlQuery> m_query;
    bool m_valid = false;
    qint64 m_key = 0;
};

// A small drawing of a house front in the colours the seed gives.
QImage housePicture(Random& random) {
    QImage image(320, 240, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(image.rect(), QColor::fromHsv(205, random.between(40, 90), 235));
    painter.fillRect(QRect(0, 190, 320, 50), QColor::fromHsv(100, 120, random.between(120, 170)));
    const QColor wall = QColor::fromHsv(random.between(15, 50), random.between(40, 140), random.between(190, 245));
    const int left = random.between(50, 90), width = random.between(140, 190), top = random.between(70, 110);
    painter.fillRect(QRect(left, top, width, 200 - top), wall);
    painter.setBrush(QColor::fromHsv(random.between(0, 20), 170, random.between(130, 180)));
    painter.setPen(Qt::NoPen);
    painter.drawPolygon(QPolygon({QPoint(left - 15, top), QPoint(left + width / 2, top - 50), QPoint(left + width + 15, top)}));
    painter.setBrush(QColor(90, 60, 40));
    painter.drawRect(left + width / 2 - 14, 150, 28, 50);
    painter.setBrush(QColor(170, 210, 235));
    for (int row = 0; row < (200 - top) / 45; ++row)
        for (int column = 0; column < 3; ++column)
            if (!(row == (200 - top) / 45 - 1 && column == 1))
                painter.drawRect(left + 15 + column * (width - 50) / 2, top + 15 + row * 45, 20, 24);
    return image;
}

} // namespace

namespace SampleData {

QString photoFolder(const QString& databasePath, const QString& programFolder) {
    DatabaseLocation location;
    if (DatabaseLocation::parse(databasePath, location).ok() && location.isPostgres())
        return programFolder + QStringLiteral("/foto");
    return QFileInfo(databasePath).absolutePath() + QStringLiteral("/foto");
}

Result fill(const QString& databasePath, const SampleSize& size, std::uint64_t seed, const QDate& today,
            Progress* progress) {
    return fill(databasePath, photoFolder(databasePath, QString()), size, seed, today, progress);
}

Result fill(const QString& databasePath, const QString& photoFolder, const SampleSize& size, std::uint64_t seed,
            const QDate& today, Progress* progress) {
    {
        // Made with the six tables if missing (a file) or empty (a server's database).
        std::shared_ptr<Database> database;
        DatabaseLocation location;
        const bool onServer = DatabaseLocation::parse(databasePath, location).ok() && location.isPostgres();
        if (!onServer && !QFileInfo::exists(databasePath))
            if (const Result created = Database::create(databasePath); !created)
                return created;
        if (const Result opened = Database::open(databasePath, database); !opened)
            return opened;
    }

    Target db(databasePath);
    if (!db.problem().isEmpty())
        return Result::failure(
            QStringLiteral("Impossibile aprire il database «%1»: %2.").arg(databasePath, db.problem()));
    const auto finish = [&db](const Result& result) {
        db.finish(result.ok());
        return result;
    };
    const auto failed = [&](const char* what, const Inserter& insert) {
        return Result::failure(QStringLiteral("Impossibile scrivere %1 nel database «%2»: %3.")
                                   .arg(QString::fromUtf8(what), databasePath, insert.error()));
    };

    // Every row counts one step; the progress is told every few thousand rows and every photo.
    const qint64 total = qint64(size.properties) + size.requests + size.visits + size.leads + size.appointments + size.photos;
    qint64 done = 0;
    const auto stepped = [&](int every) {
        ++done;
        return done % every != 0 || Progress::advance(progress, done, total);
    };
    const auto stopped = [&] {
        return Result::userCancelled(QStringLiteral("Interrotto: il database «%1» è rimasto com'era.").arg(databasePath));
    };

    Random random(seed);
    struct Made {
        qint64 key;
        QString kind;
        QString zone;
        QString address;
        int mq;
        QString purpose;
    };
    std::vector<Made> properties;
    properties.reserve(static_cast<std::size_t>(std::min(size.properties, 100000)));

    {
        Inserter insert(db,
                        "INSERT INTO immobile (proprietario, telefono, cellulare, indirizzo, noteprop, tipologia, "
                        "zona, indirizzoimmobile, mq, prezzo, noteimmobile, motivo) "
                        "VALUES (?,?,?,?,?,?,?,?,?,?,?,?)",
                        "id");
        if (!insert.valid())
            return finish(failed("gli immobili", insert));
        for (int i = 0; i < size.properties; ++i) {
            const Kind& kind = random.kind();
            const int mq = random.between(kind.minMq, kind.maxMq);
            const bool sale = random.chance(65);
            const qint64 price = sale ? qint64(mq) * random.between(22, 48) * 100 : qint64(mq) * random.between(9, 17);
            const QString zone = random.pick(zones);
            const QString address = random.address();
            insert.text(1, random.person())
                .text(2, random.landline())
                .text(3, random.chance(85) ? random.mobile() : QString())
                .text(4, random.address() + QStringLiteral(", Bologna"))
                .text(5, random.pick(ownerNotes))
                .text(6, QString::fromUtf8(kind.name))
                .text(7, zone)
                .text(8, address)
                .number(9, mq)
                .text(10, QString::number(sale ? price / 1000 * 1000 : price / 10 * 10))
                .text(11, random.pick(propertyNotes))
                .text(12, sale ? QStringLiteral("vendita") : QStringLiteral("affitto"));
            if (!insert.run())
                return finish(failed("gli immobili", insert));
            if (!stepped(4096))
                return finish(stopped());
            if (properties.size() < properties.capacity())
                properties.push_back({insert.key(), QString::fromUtf8(kind.name), zone, address, mq,
                                      sale ? QStringLiteral("vendita") : QStringLiteral("affitto")});
        }
    }

    std::vector<std::pair<qint64, QStringList>> requests;
    {
        Inserter insert(db,
                        "INSERT INTO richiesta (nome, cognome, telefono, indirizzo, tipo, mq, prezzo, note, motivo) "
                        "VALUES (?,?,?,?,?,?,?,?,?)",
                        "id");
        for (int i = 0; i < size.requests; ++i) {
            // About half of the requests are shaped on a property, so some fit.
            const bool fits = !properties.empty() && random.chance(50);
            const Made* model = fits ? &properties[random.between(0, static_cast<int>(properties.size()) - 1)] : nullptr;
            const Kind& kind = random.kind();
            const QString type = model ? model->kind : QString::fromUtf8(kind.name);
            const int mq = model ? model->mq + random.between(-10, 10) : random.between(kind.minMq, kind.maxMq);
            const QString purpose = model ? model->purpose : (random.chance(60) ? "vendita" : "affitto");
            const qint64 budget = purpose == "vendita" ? qint64(mq) * random.between(25, 45) * 100 : qint64(mq) * 13;
            const QString first = random.pick(firstNames), last = random.pick(surnames);
            insert.text(1, first)
                .text(2, last)
                .text(3, random.mobile())
                .text(4, random.address() + QStringLiteral(", Bologna"))
                .text(5, type)
                .number(6, std::max(10, mq))
                .text(7, QString::number(budget / 1000 * 1000))
                .text(8, random.pick(requestNotes))
                .text(9, purpose);
            if (!insert.run())
                return finish(failed("le richieste", insert));
            if (!stepped(4096))
                return finish(stopped());
            requests.push_back({insert.key(), {first, last}});
        }
    }

    if (!properties.empty() && !requests.empty()) {
        Inserter insert(db, "INSERT INTO visite (idimmobile, idrichiesta, nome, cognome, data, note) VALUES (?,?,?,?,?,?)");
        for (int i = 0; i < size.visits; ++i) {
            const Made& property = properties[random.between(0, static_cast<int>(properties.size()) - 1)];
            const auto& request = requests[random.between(0, static_cast<int>(requests.size()) - 1)];
            insert.number(1, property.key)
                .number(2, request.first)
                .text(3, request.second.at(0))
                .text(4, request.second.at(1))
                .text(5, today.addDays(-random.between(0, 120)).toString(QStringLiteral("dd/MM/yyyy")))
                .text(6, random.pick(visitNotes));
            if (!insert.run())
                return finish(failed("le visite", insert));
            if (!stepped(4096))
                return finish(stopped());
        }
    }

    {
        Inserter insert(db, "INSERT INTO notizie (data, notizia, fonte, telefono, svilutto) VALUES (?,?,?,?,?)");
        for (int i = 0; i < size.leads; ++i) {
            const QString text = random.pick(leadTexts).arg(QString::fromUtf8(random.kind().name).toLower(), random.pick(streets));
            insert.text(1, today.addDays(-random.between(0, 200)).toString(Qt::ISODate))
                .text(2, text)
                .text(3, random.pick(sources))
                .text(4, random.chance(50) ? random.mobile() : random.landline())
                .text(5, random.pick(followUps));
            if (!insert.run())
                return finish(failed("le notizie", insert));
            if (!stepped(4096))
                return finish(stopped());
        }
    }

    {
        Inserter insert(db, "INSERT INTO agenda (datap, ora, agente, appuntamento, note) VALUES (?,?,?,?,?)");
        for (int i = 0; i < size.appointments; ++i) {
            const QString what = random.pick(appointmentKinds)
                                     .arg(QString::fromUtf8(random.kind().name).toLower(), random.address());
            insert.text(1, today.addDays(random.between(-30, 30)).toString(Qt::ISODate))
                .text(2, QStringLiteral("%1:%2").arg(random.between(8, 19), 2, 10, QLatin1Char('0'))
                             .arg(random.chance(50) ? 0 : 30, 2, 10, QLatin1Char('0')))
                .text(3, random.pick(agents))
                .text(4, what + QStringLiteral(" con ") + random.person())
                .text(5, random.chance(30) ? QStringLiteral("Portare planimetria.") : QString());
            if (!insert.run())
                return finish(failed("gli appuntamenti", insert));
            if (!stepped(4096))
                return finish(stopped());
        }
    }

    if (size.photos > 0 && !properties.empty()) {
        const QString& folder = photoFolder;
        if (!QDir().mkpath(folder))
            return finish(Result::failure(QStringLiteral("Impossibile creare la cartella «%1».").arg(folder)));
        Inserter insert(db, "INSERT INTO foto (idimmobile, foto) VALUES (?,?)");
        for (int i = 0; i < size.photos; ++i) {
            const Made& property = properties[static_cast<std::size_t>(i) % properties.size()];
            const QString file = QStringLiteral("%1/esempio-%2-%3.jpg").arg(folder).arg(seed).arg(i + 1);
            if (!housePicture(random).save(file, "JPG", 85))
                return finish(Result::failure(QStringLiteral("Impossibile salvare la foto «%1».").arg(file)));
            insert.number(1, property.key).text(2, file);
            if (!insert.run())
                return finish(failed("le foto", insert));
            if (!stepped(1))
                return finish(stopped());
        }
    }

    std::ignore = Progress::advance(progress, total, total);
    return finish(Result::success());
}

} // namespace SampleData
