#include "ControlCommand.h"

#include "SessionBus.h"
#include "SharedSuite.h"
#include "ToggleTrackingIntent.h"
#include "TrackingControl.h"
#include "TrackingStore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace ControlCommand {

namespace {

// The stored state, repaired first when the document is unreadable (its
// readable stops and running session kept); the repair is told on `err`.
StoreResult currentState(FILE *err)
{
    StoreResult stored = TrackingStore::read();
    if (!stored.ok() || !stored.unreadable)
        return stored;
    const auto keep = [](TrackingSnapshot &) { return true; };
    StoreResult repaired = TrackingStore::change(keep);
    if (!repaired.repair.isEmpty())
        std::fprintf(err, "zimbrel-control: %s\n", qUtf8Printable(repaired.repair));
    // Not written (a full disk): still show what could be recovered.
    return repaired.ok() ? repaired : stored;
}

// The status line, or for a state that cannot be read, a line saying so:
// never a guess that would pass for the stored state.
QByteArray statusLine(const StoreResult &stored, bool json)
{
    if (!stored.ok())
        return json ? QJsonDocument(QJsonObject{{u"error"_s, stored.error}}).toJson(QJsonDocument::Compact)
                    : stored.error.toUtf8();
    const TrackingControl::State state = TrackingControl::stateOf(stored.snapshot);
    return json ? QJsonDocument(state.toJson()).toJson(QJsonDocument::Compact) : state.valueLabel().toUtf8();
}

int printStatus(FILE *out, FILE *err, bool json)
{
    const StoreResult stored = currentState(err);
    if (!stored.ok()) {
        std::fprintf(err, "zimbrel-control: %s\n", qUtf8Printable(stored.error));
        return 1;
    }
    std::fprintf(out, "%s\n", statusLine(stored, json).constData());
    std::fflush(out);
    return 0;
}

// Re-prints the status on every change signal. Without a session bus it
// watches the snapshot's folder instead and prints when the status changes.
class Watcher : public QObject {
    Q_OBJECT
public:
    Watcher(FILE *out, FILE *err, bool json) : m_out(out), m_err(err), m_json(json) {}

    void start()
    {
        m_last = line();
        std::fprintf(m_out, "%s\n", m_last.constData());
        std::fflush(m_out);
        if (ChangeSignal::observe(this, SLOT(changed())))
            return;
        m_files.addPath(QFileInfo(SharedSuite::snapshotPath()).absolutePath());
        connect(&m_files, &QFileSystemWatcher::directoryChanged, this, &Watcher::folderChanged);
    }

public Q_SLOTS:
    void changed()
    {
        m_last = line();
        std::fprintf(m_out, "%s\n", m_last.constData());
        std::fflush(m_out);
    }

    void folderChanged()
    {
        if (line() != m_last)
            changed();
    }

private:
    QByteArray line() { return statusLine(currentState(m_err), m_json); }

    FILE *m_out;
    FILE *m_err;
    bool m_json;
    QByteArray m_last;
    QFileSystemWatcher m_files;
};

// Runs a change of the running state; exit 1 with the reason when the state
// could not be read, locked or saved (it is then as it was).
int finish(const StoreResult &result, FILE *err)
{
    SessionBus::flush(); // let the change signal leave before we exit
    if (!result.repair.isEmpty())
        std::fprintf(err, "zimbrel-control: %s\n", qUtf8Printable(result.repair));
    if (result.ok())
        return 0;
    std::fprintf(err, "zimbrel-control: %s; the timer was not changed\n", qUtf8Printable(result.error));
    return 1;
}

int perform(bool running, FILE *err)
{
    ToggleTrackingIntent intent;
    intent.value = running;
    return finish(intent.perform(), err);
}

} // namespace

QString usage()
{
    return uR"(Usage: zimbrel-control COMMAND

%1: %2

Commands:
  on              start the timer
  off             stop the timer
  toggle          start the timer when it is stopped, stop it when it runs
  status          print "Start tracking", or what the timer runs for
  status --json   print the state as {"isRunning":true,"caption":"..."}
  watch [--json]  print the status, and again on every change
  --help          show this help

Exit status: 0 on success, 1 when the timer state cannot be read or saved
(the reason is printed; nothing is changed), 2 for bad arguments.
)"_s.arg(TrackingControl::displayName, TrackingControl::description);
}

int run(const QStringList &args, FILE *out, FILE *err)
{
    const QString command = args.value(0);
    const QStringList rest = args.mid(1);
    const bool json = rest == QStringList{u"--json"_s};

    if ((command == u"--help" || command == u"-h" || command == u"help") && rest.isEmpty()) {
        std::fputs(qPrintable(usage()), out);
        return 0;
    }
    if (rest.isEmpty() && command == u"on")
        return perform(true, err);
    if (rest.isEmpty() && command == u"off")
        return perform(false, err);
    if (rest.isEmpty() && command == u"toggle") {
        // The intent with the opposite of the stored state, read and flipped
        // under one lock so two quick toggles never collapse into one.
        const StoreResult result = TrackingStore::toggle(&Instant::now);
        TrackingControl::reload();
        return finish(result, err);
    }
    if (command == u"status" && (rest.isEmpty() || json))
        return printStatus(out, err, json);
    if (command == u"watch" && (rest.isEmpty() || json)) {
        Watcher watcher(out, err, json);
        watcher.start();
        return QCoreApplication::exec();
    }

    if (command.isEmpty())
        std::fputs("zimbrel-control: a command is required\n\n", err);
    else
        std::fprintf(err, "zimbrel-control: unknown arguments: %s\n\n", qPrintable(args.join(u' ')));
    std::fputs(qPrintable(usage()), err);
    return 2;
}

} // namespace ControlCommand

#include "ControlCommand.moc"
