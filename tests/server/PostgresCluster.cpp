#include "PostgresCluster.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <unistd.h>

namespace {
// Debian keeps the server programs out of PATH, one folder per major version.
QString findBin()
{
    QDir versions(QStringLiteral("/usr/lib/postgresql"));
    QStringList found = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::Reversed);
    for (const QString &v : found) {
        const QString bin = versions.filePath(v + QStringLiteral("/bin"));
        if (QFileInfo::exists(bin + QStringLiteral("/initdb")))
            return bin;
    }
    const QString initdb = QStandardPaths::findExecutable(QStringLiteral("initdb"));
    return initdb.isEmpty() ? QString() : QFileInfo(initdb).absolutePath();
}
} // namespace

PostgresCluster::PostgresCluster()
    : m_bin(findBin())
{
}

PostgresCluster::~PostgresCluster()
{
    if (m_running)
        stopServer();
}

bool PostgresCluster::run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    const QString path = m_bin + QLatin1Char('/') + program;
    if (geteuid() == 0)
        p.start(QStringLiteral("runuser"), QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"), path} + args);
    else
        p.start(path, args);
    p.setWorkingDirectory(m_dir.path());
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        m_error = program + QStringLiteral(" failed: ") + QString::fromUtf8(p.readAll());
        return false;
    }
    return true;
}

bool PostgresCluster::start()
{
    if (m_bin.isEmpty()) {
        m_error = QStringLiteral("PostgreSQL's initdb was not found (install the postgresql package)");
        return false;
    }
    if (geteuid() == 0) {
        QProcess::execute(QStringLiteral("chown"), {QStringLiteral("postgres:postgres"), m_dir.path()});
    }
    const QString data = m_dir.path() + QStringLiteral("/data");
    if (!run(QStringLiteral("initdb"), {QStringLiteral("--no-sync"), QStringLiteral("-A"), QStringLiteral("trust"),
                                        QStringLiteral("-U"), QStringLiteral("zimbrel"), QStringLiteral("-D"), data}))
        return false;
    return startServer();
}

bool PostgresCluster::startServer()
{
    const QString options = QStringLiteral("-k %1 -c listen_addresses= -c fsync=off -c full_page_writes=off").arg(m_dir.path());
    if (!run(QStringLiteral("pg_ctl"), {QStringLiteral("start"), QStringLiteral("-w"), QStringLiteral("-D"),
                                        m_dir.path() + QStringLiteral("/data"), QStringLiteral("-l"),
                                        m_dir.path() + QStringLiteral("/log"), QStringLiteral("-o"), options}))
        return false;
    m_running = true;
    // Should this process die without its destructor (a crash, an abort),
    // a watchdog stops the cluster within a second of its end.
    if (!m_watchdog) {
        const QString stop = QStringLiteral("%1/pg_ctl stop -D '%2/data' -m immediate").arg(m_bin, m_dir.path());
        const QString asOwner = geteuid() == 0 ? QStringLiteral("runuser -u postgres -- ") + stop : stop;
        m_watchdog = QProcess::startDetached(
            QStringLiteral("sh"),
            {QStringLiteral("-c"), QStringLiteral("while kill -0 %1 2>/dev/null; do sleep 1; done; %2 >/dev/null 2>&1")
                                       .arg(QCoreApplication::applicationPid())
                                       .arg(asOwner)});
    }
    return true;
}

bool PostgresCluster::stopServer()
{
    m_running = false;
    return run(QStringLiteral("pg_ctl"), {QStringLiteral("stop"), QStringLiteral("-D"), m_dir.path() + QStringLiteral("/data"),
                                          QStringLiteral("-m"), QStringLiteral("immediate"), QStringLiteral("-w")});
}

QString PostgresCluster::url() const
{
    return QStringLiteral("postgresql://zimbrel@localhost/postgres?host=%1").arg(m_dir.path());
}
