#pragma once

#include <QString>

#include <chrono>
#include <optional>

// The session token store: one Secret Service item per account under the
// service "com.corvane.native.session" (label "Zimbrel session", default
// collection). Every call gives up after 3 seconds, so a locked keyring that
// wants a password cannot freeze the app. When no Secret Service answers on
// the session bus (nobody owns it, or its activation fails), the value lives
// in $XDG_DATA_HOME/zimbrel/keyring/com.corvane.native.session/<account>
// (folders 0700, file 0600). Each call asks the bus anew, so a keyring that
// starts later takes over: save and remove clear both stores, and read moves
// a value found only in the file store into the Secret Service. Failures are
// logged, not reported: a failed save means signing in again at the next start.
namespace Keychain {

inline constexpr auto service = "com.corvane.native.session";

// Replaces any earlier value of `account` in either store with `value` (the
// empty text included).
void save(const QString &value, const QString &account);
// The stored text, or nothing when there is none or it cannot be read.
std::optional<QString> read(const QString &account);
// Removes the value of `account` from both stores; a missing one is fine.
void remove(const QString &account);

// How long one Secret Service call may take before it is cancelled (3 s).
// Tests shorten it; 0 or less restores the default.
void setCallLimit(std::chrono::milliseconds limit);

// Where the file store keeps `account` (used when no Secret Service answers).
QString fallbackPath(const QString &account);

} // namespace Keychain
