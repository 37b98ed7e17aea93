#pragma once

#include <QString>
#include <functional>

class DatabaseLocation;
class Dialogs;
class QSqlDatabase;

// The window's thread waiting on a PostgreSQL server. A statement run on the window's thread
// holds the window, unpainted and deaf to the keyboard, for as long as the server takes: a
// row or a table another session holds, a server stopped or cut off half-way. Here the
// statement runs on a thread of its own while the window's thread waits. Past half a second a
// progress says what is waited for (who holds the lock, or that the server does not answer)
// and offers "Annulla": the server is asked to stop the statement, and when it does not hear
// that either the connection is cut; either way the statement then fails, and the caller tells
// it as it tells any failure, keeping what was typed.
namespace StatementWait {

// Runs `work`: statements on `db`'s connection and the reading of their rows, nothing of the
// windows (it may run on another thread). Without dialogs, on another engine, without the
// client library, or inside another wait, it runs here as it always did.
void run(const QSqlDatabase& db, Dialogs* dialogs, const std::function<void()>& work);
// Whether run() would wait with a progress the user can stop.
bool available(const QSqlDatabase& db, Dialogs* dialogs);

// Work on the server at `location` that holds nothing of the caller's (a connection made apart,
// a question to the server's port): on "Annulla" it is left to end on its own thread. Answers
// false when the user stopped the wait.
bool runApart(const DatabaseLocation& location, Dialogs* dialogs, std::function<void()> work);

// When the user stopped the window's thread's last wait: what it was waiting for, as the end of
// a sentence ("l'attesa è stata annullata (il server 127.0.0.1:5432 non rispondeva)"); empty
// when it was not stopped.
QString stopped();
// The session that held the lock the stopped wait was waiting for, as a phrase ("un'altra
// postazione di VELMORA (computer 192.168.1.12, utente «velmora»)"); empty when it was no lock.
QString stoppedHolder();

// Whether the window's thread is waiting now: work started from its events meanwhile (a
// queued call) would meet the statement under way on the same connection, and comes back later.
bool busy();
// Whether a wait with "Annulla" is shown now: the user, not a watch, decides how long to wait.
bool stoppable();

// A timer with this property set to true goes on during the waits: it starts nothing on the
// database (a clock).
inline constexpr char runsDuringWaits[] = "velmoraRunsDuringWaits";

} // namespace StatementWait
