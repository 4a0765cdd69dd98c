#include "Credentials.h"

#include <sodium.h>

#include <condition_variable>
#include <mutex>
#include <stdexcept>

namespace {

constexpr unsigned long long opsLimit = crypto_pwhash_OPSLIMIT_INTERACTIVE;
constexpr size_t memLimit = crypto_pwhash_MEMLIMIT_INTERACTIVE;

// Caps concurrent argon2 runs so a burst of sign-ins cannot take all memory.
class HashSlots {
public:
    void acquire()
    {
        std::unique_lock lock(m_mutex);
        m_free.wait(lock, [this] { return m_busy < 2; });
        ++m_busy;
    }
    void release()
    {
        {
            std::lock_guard lock(m_mutex);
            --m_busy;
        }
        m_free.notify_one();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_free;
    int m_busy = 0;
};
HashSlots s_slots;

struct Slot {
    Slot() { s_slots.acquire(); }
    ~Slot() { s_slots.release(); }
};

QString hashWithSlot(const QByteArray &pw)
{
    char out[crypto_pwhash_STRBYTES];
    Slot slot;
    if (crypto_pwhash_str(out, pw.constData(), size_t(pw.size()), opsLimit, memLimit) != 0)
        throw std::runtime_error("out of memory while hashing a password");
    return QString::fromLatin1(out);
}

} // namespace

namespace Credentials {

bool init()
{
    return sodium_init() >= 0;
}

QString hashPassword(const QString &password)
{
    return hashWithSlot(password.toUtf8());
}

bool verifyPassword(const QString &password, const QString &hash)
{
    const QByteArray pw = password.toUtf8();
    const QByteArray h = hash.toLatin1();
    if (pw.size() > maxPasswordBytes || h.isEmpty() || h.size() >= crypto_pwhash_STRBYTES)
        return false;
    Slot slot;
    return crypto_pwhash_str_verify(h.constData(), pw.constData(), size_t(pw.size())) == 0;
}

bool needsRehash(const QString &hash)
{
    const QByteArray h = hash.toLatin1();
    return crypto_pwhash_str_needs_rehash(h.constData(), opsLimit, memLimit) != 0;
}

void dummyVerify(const QString &password)
{
    static const QString dummy = hashPassword(QStringLiteral("not a real password"));
    verifyPassword(password.left(maxPasswordBytes / 4), dummy);
}

QString newToken()
{
    unsigned char raw[32];
    randombytes_buf(raw, sizeof raw);
    const QByteArray text = QByteArray(reinterpret_cast<const char *>(raw), sizeof raw)
                                .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    return QStringLiteral("zs_") + QString::fromLatin1(text);
}

QString tokenDigest(const QString &token)
{
    const QByteArray t = token.toUtf8();
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(digest, reinterpret_cast<const unsigned char *>(t.constData()), size_t(t.size()));
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(digest), sizeof digest).toHex());
}

QString randomPassword()
{
    static const char alphabet[] = "abcdefghjkmnpqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    const uint32_t n = sizeof alphabet - 1;
    QString out;
    for (int i = 0; i < 20; ++i)
        out.append(QLatin1Char(alphabet[randombytes_uniform(n)]));
    return out;
}

QString emailKey(const QString &email)
{
    return email.normalized(QString::NormalizationForm_KC).trimmed().toLower();
}

} // namespace Credentials
