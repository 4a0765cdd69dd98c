#pragma once

#include <QString>

#include <chrono>
#include <optional>

// The session token store: one Secret Service item per account under the
// service "com.corvane.native.session" (label "Zimbrel session", default
// collection). Every call gives up after 3 seconds, so a keyring that never
// answers cannot freeze the app; only save's store call, which may show the
// member a password prompt, has a longer bound (2 minutes) and is meant to run
// off the interface thread. When no Secret Service answers on the session bus
// (nobody owns it, or its activation fails) or it cannot take the value, the
// value lives in $XDG_DATA_HOME/zimbrel/keyring/com.corvane.native.session/<account>
// (folders 0700, file 0600). Each call asks the bus anew, so a keyring that
// starts later takes over: save and remove clear both stores, and read moves
// a value found only in the file store into a Secret Service that has a
// default collection. Failures are logged.
namespace Keychain {

inline constexpr auto service = "com.corvane.native.session";

// Where save put the value.
enum class Kept { keyring, file, nowhere };

// Replaces any earlier value of `account` in either store with `value` (the
// empty text included). May wait for a prompt the member is answering.
Kept save(const QString &value, const QString &account);
// The stored text, or nothing when there is none or it cannot be read.
std::optional<QString> read(const QString &account);
// Removes the value of `account` from both stores; a missing one is fine.
void remove(const QString &account);

// How long one Secret Service call may take before it is cancelled (3 s).
// Tests shorten it; 0 or less restores the default.
void setCallLimit(std::chrono::milliseconds limit);
// How long save's store call may take, prompt included (2 minutes; never less
// than the call limit). 0 or less restores the default.
void setPromptLimit(std::chrono::milliseconds limit);

// Where the file store keeps `account` (used when no Secret Service answers).
QString fallbackPath(const QString &account);

} // namespace Keychain
