#include "Keychain.h"

#include "LibSecret.h"
#include "PrivateFiles.h"
#include "SessionBus.h"
#include "TrackingLog.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace Keychain {

namespace {

constexpr std::chrono::milliseconds defaultCallLimit{3000};
constexpr std::chrono::milliseconds defaultPromptLimit{120000};
std::chrono::milliseconds g_callLimit = defaultCallLimit;
std::chrono::milliseconds g_promptLimit = defaultPromptLimit;
constexpr qint64 maxFileBytes = 64 * 1024;

// Only once busAvailable() said yes: the library is open then.
const LibSecret &lib()
{
    return *LibSecret::get();
}

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

// A GCancellable that a helper thread cancels after `limit`, so a keyring
// that never answers cannot block the caller for longer.
class Deadline {
public:
    explicit Deadline(std::chrono::milliseconds limit = g_callLimit)
        : m_cancellable(lib().cancellableNew())
        , m_limit(limit)
        , m_thread([this] {
            std::unique_lock lock(m_mutex);
            if (!m_wake.wait_for(lock, m_limit, [this] { return m_done; }))
                lib().cancellableCancel(m_cancellable);
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
        lib().objectUnref(m_cancellable);
    }
    GCancellable *cancellable() const { return m_cancellable; }

private:
    GCancellable *m_cancellable;
    const std::chrono::milliseconds m_limit;
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

// Said once per process: the token lives in the file store.
void noteFileStore(const char *why)
{
    static bool said = false;
    if (said)
        return;
    said = true;
    qCInfo(lcTracking, "keychain: %s; keeping the session in the folder %s", why,
           qPrintable(QDir::toNativeSeparators(keyringRoot())));
}

// True when the error means nobody provides the Secret Service on the bus
// (as opposed to a slow, locked or failing one): no owner, nothing to
// activate, or an activation that failed in any way (every
// org.freedesktop.DBus.Error.Spawn.* error).
bool meansNoService(const GError *error)
{
    if (error->domain == lib().dbusErrorQuark()) {
        if (error->code == G_DBUS_ERROR_SERVICE_UNKNOWN || error->code == G_DBUS_ERROR_NAME_HAS_NO_OWNER)
            return true;
        gchar *name = lib().dbusErrorGetRemoteError(error);
        const bool spawn = name && g_str_has_prefix(name, "org.freedesktop.DBus.Error.Spawn.");
        g_free(name);
        if (spawn)
            return true;
        switch (error->code) {
        case G_DBUS_ERROR_SPAWN_EXEC_FAILED:
        case G_DBUS_ERROR_SPAWN_FORK_FAILED:
        case G_DBUS_ERROR_SPAWN_CHILD_EXITED:
        case G_DBUS_ERROR_SPAWN_CHILD_SIGNALED:
        case G_DBUS_ERROR_SPAWN_FAILED:
        case G_DBUS_ERROR_SPAWN_SETUP_FAILED:
        case G_DBUS_ERROR_SPAWN_CONFIG_INVALID:
        case G_DBUS_ERROR_SPAWN_SERVICE_INVALID:
        case G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND:
        case G_DBUS_ERROR_SPAWN_PERMISSIONS_INVALID:
        case G_DBUS_ERROR_SPAWN_FILE_INVALID:
        case G_DBUS_ERROR_SPAWN_NO_MEMORY:
            return true;
        default:
            return false;
        }
    }
    if (error->domain == lib().ioErrorQuark() && error->code == G_IO_ERROR_DBUS_ERROR) {
        // A remote error GLib has no code for: judged by its name.
        gchar *name = lib().dbusErrorGetRemoteError(error);
        const bool none = name
            && (g_str_has_prefix(name, "org.freedesktop.DBus.Error.Spawn.")
                || g_str_equal(name, "org.freedesktop.DBus.Error.ServiceUnknown")
                || g_str_equal(name, "org.freedesktop.DBus.Error.NameHasNoOwner"));
        g_free(name);
        return none;
    }
    // No bus at all (the connection itself failed). Slow answers are not that:
    // they leave the keyring in charge.
    return error->domain == lib().ioErrorQuark() && !SessionBus::available() && error->code != G_IO_ERROR_CANCELLED
        && error->code != G_IO_ERROR_TIMED_OUT;
}

// How one Secret Service call went.
enum class Outcome { done, noService, failed };

// Judges and frees `error`; a failure of an answering service is logged.
Outcome outcomeOf(GError *error, const char *operation)
{
    if (!error)
        return Outcome::done;
    const bool none = meansNoService(error);
    if (!none)
        qCWarning(lcTracking, "keychain %s failed: %s", operation, error->message);
    g_error_free(error);
    return none ? Outcome::noService : Outcome::failed;
}

// Without a session bus libsecret would try to autolaunch one: never ask it
// then. Only here, with a bus, is libsecret opened.
bool busAvailable()
{
    if (!SessionBus::available()) {
        noteFileStore("no session bus");
        return false;
    }
    if (!LibSecret::get()) {
        noteFileStore("libsecret cannot be opened");
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

bool fileSave(const QString &value, const QString &account)
{
    // $XDG_DATA_HOME/zimbrel, its keyring folder and the service's, all 0700.
    const QString dir = keyringRoot();
    const QString keyring = QFileInfo(dir).path();
    if (!PrivateFiles::makeFolder(QFileInfo(keyring).path()) || !PrivateFiles::makeFolder(keyring)
        || !PrivateFiles::makeFolder(dir)) {
        qCWarning(lcTracking, "keychain: cannot create %s", qPrintable(dir));
        return false;
    }
    // Private before the first byte: the temporary file QSaveFile writes is
    // made 0600, and the rename keeps the mode.
    const QString target = fallbackPath(account);
    QSaveFile file(target);
    const QByteArray bytes = value.toUtf8();
    const bool ok = file.open(QIODevice::WriteOnly)
        && file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        && file.write(bytes) == bytes.size() && file.commit();
    if (!ok) {
        qCWarning(lcTracking, "keychain: cannot write %s: %s", qPrintable(target), qPrintable(file.errorString()));
        return false;
    }
    return true;
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
    const QString path = fallbackPath(account);
    if (QFile::exists(path) && !QFile::remove(path))
        qCWarning(lcTracking, "keychain: cannot remove %s", qPrintable(path));
}

// Stores into the default collection; `limit` bounds the call, prompts included.
Outcome secretStore(const QString &value, const QString &account, std::chrono::milliseconds limit)
{
    const QByteArray secret = value.toUtf8();
    const QByteArray acct = account.toUtf8();
    GError *error = nullptr;
    {
        Deadline deadline(limit);
        lib().passwordStoreSync(schema(), SECRET_COLLECTION_DEFAULT, "Zimbrel session", secret.constData(),
                                   deadline.cancellable(), &error, "service", service, "account", acct.constData(),
                                   nullptr);
    }
    return outcomeOf(error, "save");
}

// The value, or nothing when there is none (or it is not UTF-8).
Outcome secretLookup(const QString &account, std::optional<QString> &value)
{
    const QByteArray acct = account.toUtf8();
    GError *error = nullptr;
    gchar *secret = nullptr;
    {
        Deadline deadline;
        secret = lib().passwordLookupSync(schema(), deadline.cancellable(), &error, "service", service, "account",
                                             acct.constData(), nullptr);
    }
    const Outcome outcome = outcomeOf(error, "read");
    if (outcome == Outcome::done && secret) {
        QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = decode(QByteArray(secret));
        if (!decode.hasError())
            value = text;
    }
    if (secret)
        lib().passwordFree(secret);
    return outcome;
}

Outcome secretClear(const QString &account)
{
    const QByteArray acct = account.toUtf8();
    GError *error = nullptr;
    {
        Deadline deadline;
        lib().passwordClearSync(schema(), deadline.cancellable(), &error, "service", service, "account",
                                   acct.constData(), nullptr);
    }
    return outcomeOf(error, "delete");
}

// Whether the keyring has a default collection, so storing into it asks for
// no new keyring (and so no password prompt for one).
bool hasDefaultCollection()
{
    GError *error = nullptr;
    Deadline deadline;
    SecretService *secrets = lib().serviceGetSync(SECRET_SERVICE_NONE, deadline.cancellable(), &error);
    if (!secrets) {
        g_clear_error(&error);
        return false;
    }
    SecretCollection *collection = lib().collectionForAliasSync(secrets, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE,
                                                                deadline.cancellable(), &error);
    g_clear_error(&error);
    lib().objectUnref(secrets);
    if (!collection)
        return false;
    lib().objectUnref(collection);
    return true;
}

} // namespace

void setPromptLimit(std::chrono::milliseconds limit)
{
    g_promptLimit = limit.count() > 0 ? limit : defaultPromptLimit;
}

void setCallLimit(std::chrono::milliseconds limit)
{
    g_callLimit = limit.count() > 0 ? limit : defaultCallLimit;
}

QString fallbackPath(const QString &account)
{
    return keyringRoot() + QLatin1Char('/') + fileName(account);
}

// Sign-in: the old value goes from both stores, the new one into the Secret
// Service, or into the file store when no Secret Service answers or it cannot
// take the value (no keyring made yet, a prompt dismissed, a locked keyring).
Kept save(const QString &value, const QString &account)
{
    fileRemove(account);
    Outcome outcome = busAvailable() ? secretClear(account) : Outcome::noService;
    if (outcome != Outcome::noService)
        outcome = secretStore(value, account, std::max(g_callLimit, g_promptLimit));
    if (outcome == Outcome::done)
        return Kept::keyring;
    noteFileStore(outcome == Outcome::noService ? "no Secret Service answers on the session bus"
                                                : "the Secret Service did not take the session");
    return fileSave(value, account) ? Kept::file : Kept::nowhere;
}

// The Secret Service's value; else the file store's, which moves into the
// Secret Service when one answers (a token saved while no keyring ran).
std::optional<QString> read(const QString &account)
{
    if (!busAvailable())
        return fileRead(account);
    std::optional<QString> value;
    const Outcome outcome = secretLookup(account, value);
    if (outcome == Outcome::failed)
        return std::nullopt;
    if (outcome == Outcome::noService) {
        noteFileStore("no Secret Service answers on the session bus");
        return fileRead(account);
    }
    if (value) {
        fileRemove(account); // a stale copy from a time without keyring
        return value;
    }
    // A keyring without a default collection would ask for a new one: the
    // value stays in the file store rather than prompting at every start.
    value = fileRead(account);
    if (value && hasDefaultCollection() && secretStore(*value, account, g_callLimit) == Outcome::done) {
        fileRemove(account);
        qCInfo(lcTracking, "keychain: moved the session from the file store into the Secret Service");
    }
    return value;
}

// Sign-out: the value goes from both stores.
void remove(const QString &account)
{
    if (busAvailable())
        secretClear(account);
    fileRemove(account);
}

} // namespace Keychain
