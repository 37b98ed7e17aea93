#include "data/sqlite/search/SearchIndex.h"

#include "data/sqlite/search/CriteriaIndex.h"
#include "data/sqlite/search/IndexBuilder.h"
#include "data/sqlite/search/SearchIndexObjects.h"
#include "data/sqlite/search/WriteLedger.h"
#include "data/vocabulary/LikePattern.h"
#include "data/vocabulary/LiteralRuns.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QScopeGuard>
#include <limits>
#include <sqlite3.h>
#include <unordered_map>
#include <unordered_set>

namespace {

constexpr qint64 everything = std::numeric_limits<qint64>::max();
constexpr qint64 nothing = std::numeric_limits<qint64>::min();
constexpr int maxTrigrams = 24; // enough to pin a needle down; a 30 kB needle stays a short query

// ---- which characters the trigram index folds as the office's LIKE does ------------

struct TokenSink {
    QByteArray first;
    bool seen = false;
};

int collectToken(void* context, int, const char* token, int length, int, int) {
    auto* sink = static_cast<TokenSink*>(context);
    if (!sink->seen) {
        sink->first = QByteArray(token, length);
        sink->seen = true;
    }
    return SQLITE_OK;
}

// Characters that the LIKE folds together with another character which the trigram
// tokenizer folds differently: a needle holding one of them cannot be looked up in the
// index without missing rows. Found once, by asking the tokenizer itself.
std::unordered_set<char32_t> computeUnsafe() {
    std::unordered_set<char32_t> unsafe{0};
    // A stored text that is not UTF-8 (Latin-1 from an older program) is read by the LIKE
    // a byte at a time, each byte from 0x80 on as that Latin-1 character, where the
    // tokenizer sees U+FFFD: a needle's piece holding one of them is not looked up.
    for (char32_t c = 0x80; c <= 0xFF; ++c)
        unsafe.insert(c);
    std::unordered_map<char32_t, std::vector<char32_t>> groups; // folded -> characters folding to it
    for (char32_t c = 0; c < 0x110000; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        const char32_t folded = LikePattern::fold(c);
        if (folded != c)
            groups[folded].push_back(c);
    }

    sqlite3* db = nullptr;
    fts5_api* api = nullptr;
    fts5_tokenizer tokenizer{};
    void* userData = nullptr;
    Fts5Tokenizer* instance = nullptr;
    bool ready = sqlite3_open(":memory:", &db) == SQLITE_OK;
    if (ready) {
        sqlite3_stmt* statement = nullptr;
        ready = sqlite3_prepare_v2(db, "SELECT fts5(?1)", -1, &statement, nullptr) == SQLITE_OK;
        if (ready) {
            sqlite3_bind_pointer(statement, 1, static_cast<void*>(&api), "fts5_api_ptr", nullptr);
            sqlite3_step(statement);
        }
        sqlite3_finalize(statement);
        ready = ready && api && api->xFindTokenizer(api, "trigram", &userData, &tokenizer) == SQLITE_OK &&
                tokenizer.xCreate(userData, nullptr, 0, &instance) == SQLITE_OK;
    }
    const auto ftsFold = [&](char32_t c) {
        const std::string three = LiteralRuns::utf8(std::u32string(3, c));
        TokenSink sink;
        tokenizer.xTokenize(instance, &sink, FTS5_TOKENIZE_DOCUMENT, three.data(), static_cast<int>(three.size()),
                            collectToken);
        return sink.seen ? sink.first : QByteArray();
    };
    for (const auto& [folded, members] : groups) {
        bool same = ready;
        const QByteArray target = same ? ftsFold(folded) : QByteArray();
        for (const char32_t c : members)
            same = same && !target.isEmpty() && ftsFold(c) == target;
        if (!same) {
            unsafe.insert(folded);
            unsafe.insert(members.begin(), members.end());
        }
    }
    if (instance)
        tokenizer.xDelete(instance);
    sqlite3_close(db);
    return unsafe;
}

const std::unordered_set<char32_t>& unsafeCharacters() {
    static const std::unordered_set<char32_t> unsafe = computeUnsafe();
    return unsafe;
}

} // namespace

using namespace SearchIndexDetail;

QString SearchIndex::matchText(const QString& pattern) {
    const std::unordered_set<char32_t>& unsafe = unsafeCharacters();
    QStringList trigrams;
    for (const std::u32string& run : LiteralRuns::of(pattern)) {
        std::u32string part;
        const auto take = [&] {
            for (std::size_t i = 0; i + 3 <= part.size(); ++i) {
                const QString trigram = QString::fromUcs4(part.data() + i, 3);
                if (!trigrams.contains(trigram))
                    trigrams << trigram;
            }
            part.clear();
        };
        for (const char32_t c : run) {
            if (unsafe.count(c))
                take();
            else
                part.push_back(c);
        }
        take();
    }
    if (trigrams.size() > maxTrigrams) {
        QStringList spread;
        for (int i = 0; i < maxTrigrams; ++i)
            spread << trigrams.at(static_cast<qsizetype>(i) * (trigrams.size() - 1) / (maxTrigrams - 1));
        trigrams = spread;
    }
    for (QString& trigram : trigrams)
        trigram = QLatin1Char('"') + trigram.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
    return trigrams.join(QStringLiteral(" AND "));
}

SearchIndex::SearchIndex(sqlite3* db, WriteLedger* ledger, QObject* parent)
    : QObject(parent), m_db(db), m_ledger(ledger) {
    m_timer.setInterval(2);
    m_timer.setSingleShot(true);
    if (QCoreApplication::instance() && QCoreApplication::instance()->thread() == thread())
        QCoreApplication::instance()->installEventFilter(this);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (isComplete())
            emit built();
        else
            startBuilder();
    });
}

SearchIndex::~SearchIndex() {
    m_builder.reset(); // rolls back the step under way
}

bool SearchIndex::isBuilding() const {
    return m_timer.isActive() || (m_builder && m_builder->isRunning());
}

bool SearchIndex::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
        m_lastInput = IndexBuilder::now();
        if (m_builder)
            m_builder->noteInput(m_lastInput);
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

QStringList SearchIndex::verifiedTables() {
    return verifiedTablesOn(m_db);
}

Result SearchIndex::installTable(const QString& table) {
    const QList<Object> objects = objectsOf(table);
    for (auto object = objects.rbegin(); object != objects.rend(); ++object) {
        const QString drop = object->type == QStringLiteral("trigger") ? QStringLiteral("DROP TRIGGER IF EXISTS %1")
                                                                       : QStringLiteral("DROP TABLE IF EXISTS %1");
        if (!exec(m_db, drop.arg(object->name)))
            return Result::failure(QString::fromUtf8(sqlite3_errmsg(m_db)));
    }
    Statement forget(m_db, QStringLiteral("DELETE FROM %1 WHERE tabella = ?").arg(stateTable));
    forget.bind(1, table);
    if (!forget.run())
        return Result::failure(QString::fromUtf8(sqlite3_errmsg(m_db)));
    for (const Object& object : objects)
        if (!exec(m_db, object.sql))
            return Result::failure(QString::fromUtf8(sqlite3_errmsg(m_db)));
    Statement start(m_db, QStringLiteral("INSERT INTO %1 (tabella, fino) VALUES (?, ?)").arg(stateTable));
    start.bind(1, table).bind(2, nothing);
    if (!start.run())
        return Result::failure(QString::fromUtf8(sqlite3_errmsg(m_db)));
    return Result::success();
}

Result SearchIndex::install() {
    // Plain indexes, made whole at once: about 50 ms a field at 100,000 rows, once.
    (void)CriteriaIndex::install(m_db);
    m_verifiedSchema = -1;
    m_usable.clear();
    const QStringList asMade = verifiedTables();
    QStringList toInstall;
    for (const QString& table : indexedTables())
        if (!asMade.contains(table))
            toInstall << table;

    if (!toInstall.isEmpty() && !sqlite3_db_readonly(m_db, "main")) {
        if (!exec(m_db, QStringLiteral("SAVEPOINT velmora_ricerca")))
            return Result::failure(QString::fromUtf8(sqlite3_errmsg(m_db)));
        Result done = Result::success();
        bool hasState = false;
        bool stateAsMade = false;
        {
            // Finished before anything is dropped: a statement still reading the schema
            // would have SQLite refuse every DROP TABLE ("database table is locked").
            Statement state(m_db, QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?"));
            state.bind(1, stateTable);
            hasState = state.step() == SQLITE_ROW;
            stateAsMade = hasState && state.text(0) == stateTableSql();
        }
        if (hasState && !stateAsMade) {
            // Not ours as we make it: start the whole index again.
            toInstall = indexedTables();
            if (!exec(m_db, QStringLiteral("DROP TABLE %1").arg(stateTable)))
                done = Result::failure(QString::fromUtf8(sqlite3_errmsg(m_db)));
        }
        if (done && !stateAsMade && !exec(m_db, stateTableSql()))
            done = Result::failure(QString::fromUtf8(sqlite3_errmsg(m_db)));
        for (const QString& table : std::as_const(toInstall))
            if (done)
                done = installTable(table);
        if (done) {
            exec(m_db, QStringLiteral("RELEASE velmora_ricerca"));
        } else {
            exec(m_db, QStringLiteral("ROLLBACK TO velmora_ricerca"));
            exec(m_db, QStringLiteral("RELEASE velmora_ricerca"));
        }
        if (!done)
            return done;
        coveredUpTo(QString()); // verifies again and notes the schema
    } else {
        Statement schema(m_db, QStringLiteral("PRAGMA schema_version"));
        m_verifiedSchema = schema.step() == SQLITE_ROW ? static_cast<int>(schema.integer(0)) : -1;
        m_usable = asMade;
    }
    // An index already complete (the usual open) has nothing to build.
    if (!isComplete())
        scheduleBuild();
    return Result::success();
}

std::optional<qint64> SearchIndex::coveredUpTo(const QString& table) {
    Statement schema(m_db, QStringLiteral("PRAGMA schema_version"));
    const int version = schema.step() == SQLITE_ROW ? static_cast<int>(schema.integer(0)) : -1;
    if (version != m_verifiedSchema) {
        // Someone changed the schema (another copy of the program, the sqlite3 shell):
        // trust only what is still as this program makes it.
        m_usable = verifiedTables();
        m_verifiedSchema = version;
    }
    const QString name = table.toLower();
    if (!m_usable.contains(name))
        return std::nullopt;
    Statement row(m_db, QStringLiteral("SELECT fino FROM %1 WHERE tabella = ?").arg(stateTable));
    row.bind(1, name);
    if (row.step() != SQLITE_ROW)
        return std::nullopt;
    return row.integer(0);
}

bool SearchIndex::isComplete() {
    for (const QString& table : indexedTables()) {
        const std::optional<qint64> covered = coveredUpTo(table);
        if (covered && *covered != everything)
            return false;
    }
    return true;
}

void SearchIndex::progress(qint64& done, qint64& total) {
    done = total = 0;
    for (const QString& table : indexedTables()) {
        const std::optional<qint64> covered = coveredUpTo(table);
        if (!covered)
            continue;
        Statement range(m_db,
                        QStringLiteral("SELECT (SELECT min(rowid) FROM %1), (SELECT max(rowid) FROM %1)").arg(table));
        if (range.step() != SQLITE_ROW || range.isNull(0))
            continue;
        const qint64 first = range.integer(0), last = range.integer(1);
        total += last - first + 1;
        // "Nothing yet" is the smallest key there is: compare before subtracting, or it overflows.
        if (*covered == everything)
            done += last - first + 1;
        else if (*covered >= first)
            done += std::min<qint64>(*covered - first + 1, last - first + 1);
    }
}

Result SearchIndex::indexChunk(sqlite3* db, std::chrono::nanoseconds budget, Pace& pace,
                               const std::function<bool()>& keep, WriteLedger* ledger, Chunk& outcome) {
    outcome = Chunk::Indexed;
    const auto busy = [&] {
        const int code = sqlite3_errcode(db) & 0xff;
        if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
            outcome = Chunk::Busy;
    };
    if (!exec(db, QStringLiteral("BEGIN IMMEDIATE"))) {
        busy();
        return Result::failure(QString::fromUtf8(sqlite3_errmsg(db)));
    }
    const auto fail = [&] {
        busy();
        const QString message = QString::fromUtf8(sqlite3_errmsg(db));
        exec(db, QStringLiteral("ROLLBACK"));
        return Result::failure(message);
    };
    // The table is chosen under the write lock: what another connection did before (a
    // restore, another copy of the program building too) is seen as it is.
    Statement schema(db, QStringLiteral("PRAGMA schema_version"));
    if (schema.step() != SQLITE_ROW)
        return fail();
    if (schema.integer(0) != pace.verifiedSchema) {
        pace.usable = verifiedTablesOn(db);
        pace.verifiedSchema = schema.integer(0);
    }
    QElapsedTimer chunkTimer;
    chunkTimer.start();
    QString table;
    qint64 covered = 0;
    for (const QString& t : std::as_const(pace.usable)) {
        Statement state(db, QStringLiteral("SELECT fino FROM %1 WHERE tabella = ?").arg(stateTable));
        state.bind(1, t);
        if (state.step() != SQLITE_ROW)
            return fail();
        if (state.integer(0) != everything) {
            table = t;
            covered = state.integer(0);
            break;
        }
    }
    if (table.isEmpty()) {
        exec(db, QStringLiteral("ROLLBACK"));
        outcome = Chunk::Finished;
        return Result::success();
    }
    Statement next(db,
                   QStringLiteral("SELECT rowid FROM %1 WHERE rowid > ? ORDER BY rowid LIMIT 1 OFFSET ?").arg(table));
    next.bind(1, covered).bind(2, pace.chunk - 1);
    qint64 upTo = everything;
    const bool fullChunk = next.step() == SQLITE_ROW;
    if (fullChunk) {
        upTo = next.integer(0);
    } else {
        Statement last(db, QStringLiteral("SELECT max(rowid) FROM %1 WHERE rowid > ?").arg(table));
        last.bind(1, covered);
        if (last.step() == SQLITE_ROW && !last.isNull(0))
            upTo = last.integer(0);
    }
    for (const Field& f : fieldsOf(table)) {
        Statement add(db, QStringLiteral("INSERT INTO %1(rowid, %2) SELECT rowid, %2 FROM %3 WHERE rowid > ? AND rowid <= ?")
                              .arg(ftsTable(f.table, f.field), f.field, f.table));
        add.bind(1, covered).bind(2, upTo);
        if (!add.run())
            return fail();
    }
    // The state always moves on (upTo > covered), so the commit always writes and moves
    // the header's change counter, as the ledger expects.
    Statement advance(db, QStringLiteral("UPDATE %1 SET fino = ? WHERE tabella = ?").arg(stateTable));
    advance.bind(1, upTo).bind(2, table);
    if (!advance.run())
        return fail();
    // The next chunk is sized on this one's work; the commit waits on the disk, for
    // about the same time whatever the chunk, and is left out.
    const qint64 work = std::max<qint64>(chunkTimer.nsecsElapsed(), 1);
    if (keep && !keep()) {
        exec(db, QStringLiteral("ROLLBACK"));
        outcome = Chunk::RolledBack;
        return Result::success();
    }
    const std::optional<quint32> counter = ledger ? WriteLedger::nextCounter(db) : std::nullopt;
    if (counter)
        ledger->committing(*counter);
    const bool committed = exec(db, QStringLiteral("COMMIT"));
    if (counter)
        ledger->committed(committed);
    if (!committed)
        return fail();
    if (fullChunk) {
        const qint64 sized = pace.chunk * (budget.count() * 3 / 4) / work;
        pace.chunk = static_cast<int>(
            std::clamp<qint64>(sized, std::max(pace.chunk / 2, 50), std::min(pace.chunk * 2, 200000)));
    }
    if (upTo == everything)
        outcome = Chunk::Ended;
    return Result::success();
}

Result SearchIndex::buildStep(std::chrono::nanoseconds budget, bool& more) {
    more = !isComplete();
    if (!more)
        return Result::success();
    if (sqlite3_db_readonly(m_db, "main"))
        return Result::failure(
            QStringLiteral("Il database è in sola lettura: l'indice delle ricerche non si può completare."));
    if (!sqlite3_get_autocommit(m_db))
        return Result::success(); // not now: someone's transaction is open

    QElapsedTimer timer;
    timer.start();
    while (true) {
        Chunk outcome = Chunk::Indexed;
        if (const Result step = indexChunk(m_db, budget, m_pace, {}, nullptr, outcome); !step)
            return step;
        // A table done ends the step, so that progress is told table by table.
        if (outcome != Chunk::Indexed || timer.nsecsElapsed() >= budget.count()) {
            more = !isComplete();
            return Result::success();
        }
    }
}

Result SearchIndex::build(const std::function<bool(qint64 done, qint64 total)>& progressMade) {
    // One builder at a time: the background one waits for this one, then finds it done.
    const bool background = m_background;
    setBackgroundBuild(false);
    const auto resume = qScopeGuard([&] { setBackgroundBuild(background); });
    bool more = true;
    while (more) {
        if (const Result step = buildStep(std::chrono::milliseconds(250), more); !step)
            return step;
        if (more && !sqlite3_get_autocommit(m_db))
            return Result::failure(
                QStringLiteral("Il database è impegnato in un'altra scrittura: l'indice sarà completato più tardi."));
        qint64 done = 0, total = 0;
        progress(done, total);
        if (progressMade && !progressMade(done, total))
            return Result::success();
    }
    emit built();
    return Result::success();
}

void SearchIndex::setBackgroundBuild(bool enabled) {
    m_background = enabled;
    if (!enabled) {
        m_timer.stop();
        m_builder.reset();
    } else {
        scheduleBuild();
    }
}

void SearchIndex::scheduleBuild() {
    if (m_background && !isBuilding() && !sqlite3_db_readonly(m_db, "main"))
        m_timer.start();
}

void SearchIndex::startBuilder() {
    const char* file = sqlite3_db_filename(m_db, "main");
    if (!file || !*file)
        return; // a database in memory has no file for a second connection
    const int generation = ++m_builderGeneration;
    m_builder = std::make_unique<IndexBuilder>(
        QFile::decodeName(file), m_ledger, m_lastInput, [this, generation](IndexBuilder::End end, const QString&) {
            QMetaObject::invokeMethod(
                this, [this, generation, end] { builderEnded(generation, end == IndexBuilder::End::Complete); },
                Qt::QueuedConnection);
        });
}

void SearchIndex::builderEnded(int generation, bool complete) {
    if (generation != m_builderGeneration || !m_builder)
        return; // an earlier builder, since replaced
    m_builder.reset();
    if (complete)
        emit built();
}
