#include "Keychain.h"

#include "SessionBus.h"
#include "TrackingLog.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QUrl>

#include <libsecret/secret.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace Keychain {

namespace {

constexpr std::chrono::milliseconds defaultCallLimit{3000};
std::chrono::milliseconds g_callLimit = defaultCallLimit;
constexpr qint64 maxFileBytes = 64 * 1024;

const SecretSchema *schema()
{
    static const SecretSchema s = {
        "com.corvane.native.session",
        SECRET_SCHEMA_DONT_MATCH_NAME,
        {
            {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
        },
        0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    };
    return &s;
}

// A GCancellable that a helper thread cancels after three seconds, so a
// keyring waiting for a password prompt cannot block the caller for longer.
class Deadline {
public:
    Deadline()
        : m_cancellable(g_cancellable_new())
        , m_thread([this] {
            std::unique_lock lock(m_mutex);
            if (!m_wake.wait_for(lock, m_limit, [this] { return m_done; }))
                g_cancellable_cancel(m_cancellable);
        })
    {
    }
    ~Deadline()
    {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        m_thread.join();
        g_object_unref(m_cancellable);
    }
    GCancellable *cancellable() const { return m_cancellable; }

private:
    GCancellable *m_cancellable;
    const std::chrono::milliseconds m_limit = g_callLimit;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::thread m_thread;
};

QString keyringRoot()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/zimbrel/keyring/") + QLatin1String(service);
}

enum class Store { unknown, secretService, file };
Store g_store = Store::unknown;

void useFileStore(const QString &why)
{
    if (g_store == Store::file)
        return;
    g_store = Store::file;
    qCInfo(lcTracking, "keychain: %s; keeping the session in the folder %s", qPrintable(why),
           qPrintable(QDir::toNativeSeparators(keyringRoot())));
}

// True when the error means nobody provides the Secret Service on the bus
// (as opposed to a slow, locked or failing one).
bool meansNoService(const GError *error)
{
    if (!error)
        return false;
    if (error->domain == G_DBUS_ERROR)
        return error->code == G_DBUS_ERROR_SERVICE_UNKNOWN || error->code == G_DBUS_ERROR_NAME_HAS_NO_OWNER ||
               error->code == G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND || error->code == G_DBUS_ERROR_SPAWN_EXEC_FAILED;
    // No bus at all (the connection itself failed). Remote errors and slow
    // answers are not that: they leave the keyring in charge.
    return error->domain == G_IO_ERROR && !SessionBus::available() && error->code != G_IO_ERROR_CANCELLED
        && error->code != G_IO_ERROR_TIMED_OUT && error->code != G_IO_ERROR_DBUS_ERROR;
}

// Settles which store to use on the first call that needs to know.
void noteError(GError *error, const char *operation)
{
    if (!error)
        return;
    if (meansNoService(error)) {
        useFileStore(QStringLiteral("no Secret Service answers on the session bus"));
    } else if (g_store == Store::unknown || g_store == Store::secretService) {
        qCWarning(lcTracking, "keychain %s failed: %s", operation, error->message);
    }
    g_error_free(error);
}

bool secretServiceCandidate()
{
    if (g_store == Store::file)
        return false;
    if (g_store == Store::unknown && !SessionBus::available()) {
        // Without a session bus libsecret would try to autolaunch one.
        useFileStore(QStringLiteral("no session bus"));
        return false;
    }
    return true;
}

QString fileName(const QString &account)
{
    QByteArray name = QUrl::toPercentEncoding(account);
    if (name.isEmpty() || name == "." || name == "..")
        name.replace('.', "%2E").prepend("%");
    return QString::fromLatin1(name);
}

bool makePrivateDir(const QString &path)
{
    if (!QDir().mkpath(path))
        return false;
    return ::chmod(QFile::encodeName(path).constData(), 0700) == 0;
}

void fileSave(const QString &value, const QString &account)
{
    const QString dir = keyringRoot();
    if (!makePrivateDir(QFileInfo(dir).path()) || !makePrivateDir(dir)) {
        qCWarning(lcTracking, "keychain: cannot create %s", qPrintable(dir));
        return;
    }
    const QString target = fallbackPath(account);
    const QByteArray tmp = QFile::encodeName(target + QStringLiteral(".tmp"));
    const QByteArray bytes = value.toUtf8();
    ::unlink(tmp.constData());
    const int fd = ::open(tmp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    bool ok = fd >= 0;
    qsizetype written = 0;
    while (ok && written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            written += n;
    }
    ok = ok && ::fsync(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    ok = ok && ::rename(tmp.constData(), QFile::encodeName(target).constData()) == 0;
    if (!ok) {
        ::unlink(tmp.constData());
        qCWarning(lcTracking, "keychain: cannot write %s: %s", qPrintable(target), strerror(errno));
    }
}

std::optional<QString> fileRead(const QString &account)
{
    QFile file(fallbackPath(account));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    if (file.size() > maxFileBytes)
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decode(bytes);
    if (decode.hasError())
        return std::nullopt;
    return text;
}

void fileRemove(const QString &account)
{
    QFile::remove(fallbackPath(account));
}

} // namespace

void setCallLimit(std::chrono::milliseconds limit)
{
    g_callLimit = limit.count() > 0 ? limit : defaultCallLimit;
}

QString fallbackPath(const QString &account)
{
    return keyringRoot() + QLatin1Char('/') + fileName(account);
}

void save(const QString &value, const QString &account)
{
    remove(account);
    if (secretServiceCandidate()) {
        const QByteArray secret = value.toUtf8();
        const QByteArray acct = account.toUtf8();
        GError *error = nullptr;
        bool stored = false;
        {
            Deadline deadline;
            stored = secret_password_store_sync(schema(), SECRET_COLLECTION_DEFAULT, "Zimbrel session",
                                                secret.constData(), deadline.cancellable(), &error, "service",
                                                service, "account", acct.constData(), nullptr);
        }
        if (stored) {
            g_store = Store::secretService;
            return;
        }
        noteError(error, "save");
        if (g_store != Store::file)
            return;
    }
    fileSave(value, account);
}

std::optional<QString> read(const QString &account)
{
    if (secretServiceCandidate()) {
        const QByteArray acct = account.toUtf8();
        GError *error = nullptr;
        gchar *secret = nullptr;
        {
            Deadline deadline;
            secret = secret_password_lookup_sync(schema(), deadline.cancellable(), &error, "service", service,
                                                 "account", acct.constData(), nullptr);
        }
        if (!error) {
            g_store = Store::secretService;
            if (!secret)
                return std::nullopt;
            const QByteArray bytes(secret);
            secret_password_free(secret);
            QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString text = decode(bytes);
            if (decode.hasError())
                return std::nullopt;
            return text;
        }
        noteError(error, "read");
        if (g_store != Store::file)
            return std::nullopt;
    }
    return fileRead(account);
}

void remove(const QString &account)
{
    if (secretServiceCandidate()) {
        const QByteArray acct = account.toUtf8();
        GError *error = nullptr;
        {
            Deadline deadline;
            secret_password_clear_sync(schema(), deadline.cancellable(), &error, "service", service, "account",
                                       acct.constData(), nullptr);
        }
        if (!error) {
            g_store = Store::secretService;
            return;
        }
        noteError(error, "delete");
        if (g_store != Store::file)
            return;
    }
    fileRemove(account);
}

} // namespace Keychain
