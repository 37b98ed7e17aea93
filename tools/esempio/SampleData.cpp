#include "SampleData.h"

#include "Database.h"

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <QStringList>
#include <random>
#include <sqlite3.h>

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

// A statement bound and run once per row, in one transaction.
class Inserter {
public:
    Inserter(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr); }
    ~Inserter() { sqlite3_finalize(m_statement); }
    Inserter& text(int at, const QString& value) {
        const QByteArray utf8 = value.toUtf8();
        sqlite3_bind_text(m_statement, at, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Inserter& number(int at, qint64 value) {
        sqlite3_bind_int64(m_statement, at, value);
        return *this;
    }
    bool run() {
        const bool ok = sqlite3_step(m_statement) == SQLITE_DONE;
        sqlite3_reset(m_statement);
        return ok;
    }
    bool valid() const { return m_statement != nullptr; }

private:
    sqlite3_stmt* m_statement = nullptr;
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

Result fill(const QString& databasePath, const SampleSize& size, std::uint64_t seed, const QDate& today) {
    if (!QFileInfo::exists(databasePath))
        if (const Result created = Database::create(databasePath); !created)
            return created;

    sqlite3* db = nullptr;
    if (sqlite3_open_v2(databasePath.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return Result::failure(QStringLiteral("Impossibile aprire il database «%1».").arg(databasePath));
    }
    const auto finish = [db](const Result& result) {
        sqlite3_exec(db, result.ok() ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        return result;
    };
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    const auto failed = [&](const char* what) {
        return Result::failure(QStringLiteral("Impossibile scrivere %1 nel database «%2»: %3.")
                                   .arg(QString::fromUtf8(what), databasePath, QString::fromUtf8(sqlite3_errmsg(db))));
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
        Inserter insert(db, "INSERT INTO immobile (proprietario, telefono, cellulare, indirizzo, noteprop, tipologia, "
                            "zona, indirizzoimmobile, mq, prezzo, noteimmobile, motivo) "
                            "VALUES (?,?,?,?,?,?,?,?,?,?,?,?)");
        if (!insert.valid())
            return finish(failed("gli immobili"));
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
                return finish(failed("gli immobili"));
            if (properties.size() < properties.capacity())
                properties.push_back({sqlite3_last_insert_rowid(db), QString::fromUtf8(kind.name), zone, address, mq,
                                      sale ? QStringLiteral("vendita") : QStringLiteral("affitto")});
        }
    }

    std::vector<std::pair<qint64, QStringList>> requests;
    {
        Inserter insert(db, "INSERT INTO richiesta (nome, cognome, telefono, indirizzo, tipo, mq, prezzo, note, motivo) "
                            "VALUES (?,?,?,?,?,?,?,?,?)");
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
                return finish(failed("le richieste"));
            requests.push_back({sqlite3_last_insert_rowid(db), {first, last}});
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
                return finish(failed("le visite"));
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
                return finish(failed("le notizie"));
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
                return finish(failed("gli appuntamenti"));
        }
    }

    if (size.photos > 0 && !properties.empty()) {
        const QString folder = QFileInfo(databasePath).absolutePath() + QStringLiteral("/foto");
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
                return finish(failed("le foto"));
        }
    }

    return finish(Result::success());
}

} // namespace SampleData
