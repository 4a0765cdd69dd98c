#pragma once

#include <QByteArray>
#include <QString>

// Passwords and session tokens. Passwords are kept only as argon2id strings
// (libsodium's interactive limits: 2 passes, 64 MiB); tokens are 32 random
// bytes shown once and kept only as their SHA-256.
namespace Credentials {

// Initialises libsodium; false when it cannot (no random source).
bool init();

// Longest password accepted, in bytes: hashing cost must not follow input size.
constexpr int maxPasswordBytes = 1024;

// "$argon2id$v=19$...". Throws std::runtime_error when memory runs out.
QString hashPassword(const QString &password);
// True when `password` matches `hash`. At most two hashes run at once, since
// each takes 64 MiB.
bool verifyPassword(const QString &password, const QString &hash);
// True when `hash` was made with weaker limits than today's.
bool needsRehash(const QString &hash);
// Spends the time of one verification, for unknown accounts, so answers do
// not tell which e-mail addresses exist.
void dummyVerify(const QString &password);

// The one form of an e-mail address for looking up its member and for
// counting sign-in attempts: compatibility-normalised (NFKC), trimmed of
// every kind of white space, lower-case.
QString emailKey(const QString &email);

// "zs_" followed by 43 base64url characters.
QString newToken();
// Lower-case hex SHA-256 of the token's text.
QString tokenDigest(const QString &token);

// A password for a new account: 20 characters from an unambiguous alphabet.
QString randomPassword();

} // namespace Credentials
