#include "ServerProcess.h"

#include "TestEnv.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTcpSocket>

namespace {
QString program()
{
    return TestEnv::buildPath(QStringLiteral("server/zimbrel-server"));
}
} // namespace

ServerProcess::ServerProcess(const QString &database)
    : m_connection(QStringLiteral("check-%1").arg(quintptr(this)))
    , m_database(database)
{
}

ServerProcess::~ServerProcess()
{
    stop();
    if (QSqlDatabase::contains(m_connection))
        QSqlDatabase::removeDatabase(m_connection);
}

QStringList ServerProcess::common() const
{
    return {QStringLiteral("--data-dir"), dataDir(), QStringLiteral("--database"),
            m_database.isEmpty() ? databasePath() : m_database};
}

bool ServerProcess::start(const QStringList &extra)
{
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->start(program(), common() + QStringList{QStringLiteral("--listen"), QStringLiteral("127.0.0.1"),
                                                      QStringLiteral("--port"), QStringLiteral("0"),
                                                      QStringLiteral("--sign-in-limit"), QStringLiteral("3")}
                                        + extra);
    static const QRegularExpression listening(QStringLiteral("Listening on (https?)://127\\.0\\.0\\.1:(\\d+)/"));
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        if (!m_process->waitForReadyRead(200) && m_process->state() == QProcess::NotRunning)
            break;
        m_log += QString::fromUtf8(m_process->readAll());
        const auto match = listening.match(m_log);
        if (match.hasMatch()) {
            m_scheme = match.captured(1);
            m_port = match.captured(2).toInt();
            return true;
        }
    }
    m_log += QString::fromUtf8(m_process->readAll());
    return false;
}

void ServerProcess::stop()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(5000)) {
            m_process->kill();
            m_process->waitForFinished(2000);
        }
    }
    m_log += QString::fromUtf8(m_process->readAll());
    m_process.reset();
}

int ServerProcess::admin(const QStringList &args, const QByteArray &input)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program(), common() + args);
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(30000);
    m_lastOutput = QString::fromUtf8(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QString ServerProcess::log()
{
    if (m_process)
        m_log += QString::fromUtf8(m_process->readAll());
    return m_log;
}

QUrl ServerProcess::baseUrl() const
{
    return QUrl(QStringLiteral("%1://127.0.0.1:%2/api/v1/").arg(m_scheme).arg(m_port));
}

QSqlDatabase ServerProcess::database()
{
    if (QSqlDatabase::contains(m_connection))
        return QSqlDatabase::database(m_connection);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(databasePath());
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
    db.open();
    return db;
}

QVariant ServerProcess::scalar(const QString &sql, const QVariantList &values)
{
    QSqlQuery q(database());
    q.prepare(sql);
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec() || !q.next())
        return {};
    return q.value(0);
}

ServerProcess::Raw ServerProcess::raw(const QByteArray &request)
{
    Raw out;
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(m_port));
    if (!socket.waitForConnected(5000))
        return out;
    socket.write(request);
    socket.waitForBytesWritten(5000);
    QByteArray answer;
    QDeadlineTimer deadline(10000);
    // Read until the whole body named by Content-Length is in.
    while (!deadline.hasExpired()) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(200)
            && socket.state() != QAbstractSocket::ConnectedState)
            break;
        answer += socket.readAll();
        const qsizetype end = answer.indexOf("\r\n\r\n");
        if (end < 0)
            continue;
        static const QRegularExpression lengthHeader(QStringLiteral("(?i)\r\ncontent-length: *(\\d+)"));
        const auto m = lengthHeader.match(QString::fromLatin1(answer.left(end)));
        if (m.hasMatch() && answer.size() - end - 4 >= m.captured(1).toLongLong())
            break;
    }
    const qsizetype end = answer.indexOf("\r\n\r\n");
    const QList<QByteArray> statusLine = answer.left(answer.indexOf("\r\n")).split(' ');
    out.status = statusLine.value(1).toInt();
    out.headers = end >= 0 ? answer.left(end + 2) : answer;
    out.body = end >= 0 ? answer.mid(end + 4) : QByteArray();
    return out;
}

QByteArray ServerProcess::Raw::header(const QByteArray &name) const
{
    for (const QByteArray &line : headers.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
            return line.mid(colon + 1).trimmed();
    }
    return {};
}
