#include "ControlCommand.h"

#include "SessionBus.h"
#include "ToggleTrackingIntent.h"
#include "TrackingControl.h"
#include "TrackingStore.h"

#include <QCoreApplication>
#include <QJsonDocument>

using namespace Qt::StringLiterals;

namespace ControlCommand {

namespace {

void printStatus(FILE *out, bool json)
{
    const TrackingControl::State state = TrackingControl::Provider::currentValue();
    const QByteArray line = json ? QJsonDocument(state.toJson()).toJson(QJsonDocument::Compact)
                                 : state.valueLabel().toUtf8();
    std::fprintf(out, "%s\n", line.constData());
    std::fflush(out);
}

// Re-prints the status whenever the snapshot changes.
class Watcher : public QObject {
    Q_OBJECT
public:
    Watcher(FILE *out, bool json) : m_out(out), m_json(json) {}
public Q_SLOTS:
    void changed() { printStatus(m_out, m_json); }
private:
    FILE *m_out;
    bool m_json;
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
        if (!ChangeSignal::observe(&watcher, SLOT(changed()))) {
            std::fputs("zimbrel-control: no D-Bus session bus; cannot watch for changes\n", err);
            return 1;
        }
        printStatus(out, json);
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
