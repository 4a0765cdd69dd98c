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

using namespace Qt::StringLiterals;

namespace ControlCommand {

namespace {

QByteArray statusLine(bool json)
{
    const TrackingControl::State state = TrackingControl::Provider::currentValue();
    return json ? QJsonDocument(state.toJson()).toJson(QJsonDocument::Compact) : state.valueLabel().toUtf8();
}

void printStatus(FILE *out, bool json)
{
    std::fprintf(out, "%s\n", statusLine(json).constData());
    std::fflush(out);
}

// Re-prints the status on every change signal. Without a session bus it
// watches the snapshot's folder instead and prints when the status changes.
class Watcher : public QObject {
    Q_OBJECT
public:
    Watcher(FILE *out, bool json) : m_out(out), m_json(json) {}

    void start()
    {
        m_last = statusLine(m_json);
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
        m_last = statusLine(m_json);
        std::fprintf(m_out, "%s\n", m_last.constData());
        std::fflush(m_out);
    }

    void folderChanged()
    {
        if (statusLine(m_json) != m_last)
            changed();
    }

private:
    FILE *m_out;
    bool m_json;
    QByteArray m_last;
    QFileSystemWatcher m_files;
};

int saveFailed(FILE *err)
{
    std::fputs("zimbrel-control: the timer state could not be saved; see the messages above\n", err);
    return 1;
}

int perform(bool running, FILE *err)
{
    ToggleTrackingIntent intent;
    intent.value = running;
    const bool done = intent.perform();
    SessionBus::flush(); // let the change signal leave before we exit
    return done ? 0 : saveFailed(err);
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
        bool saved = false;
        TrackingStore::toggle(Instant::now(), &saved);
        TrackingControl::reload();
        SessionBus::flush();
        return saved ? 0 : saveFailed(err);
    }
    if (command == u"status" && (rest.isEmpty() || json)) {
        printStatus(out, json);
        return 0;
    }
    if (command == u"watch" && (rest.isEmpty() || json)) {
        Watcher watcher(out, json);
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
