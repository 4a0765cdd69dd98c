#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The files behind the shared timer state: the snapshot document in the
// folder both programs share, its lock file, and atomic writes to it.
namespace SharedSuite {

inline constexpr auto suiteName = "K7QW3ZP2LM.com.corvane.native";
inline constexpr auto snapshotKey = "tracking.snapshot.v1";

// $XDG_CONFIG_HOME/K7QW3ZP2LM.com.corvane.native/tracking.snapshot.v1, made
// with mode 0700; $XDG_CONFIG_HOME/zimbrel/tracking.snapshot.v1 when the
// shared folder cannot be created.
QString snapshotPath();

// What is at the snapshot's path.
struct Document {
    enum class State {
        missing,  // nothing there
        read,     // a regular file, read whole into `bytes` (empty when absurdly large)
        notAFile, // a folder, pipe or device: never opened, so never blocks
        failed,   // a regular file that could not be read right now (EIO, EMFILE, EACCES, ...)
    };
    State state = State::missing;
    QByteArray bytes;
    QString error;
};
Document read(const QString &path);

// Temporary file in the same folder, fsync, rename: readers see the old or the
// new document, never a torn one. The file ends with mode 0600.
bool writeAtomically(const QString &path, const QByteArray &bytes, QString *error);

// Renames an unreadable document to "<name>.unreadable-<time>" beside it and
// keeps only the newest few such copies. Returns the new path, or empty.
QString moveAside(const QString &path);

// Removes temporary files of writes that were cut short (a killed process)
// once they are older than `age` seconds; call it under the lock, so no write
// in progress loses its file.
void removeStaleTemporaries(const QString &path, int age = 60);

// Holds flock(LOCK_EX) on "<snapshot>.lock" for its lifetime. The lock covers
// exactly one synchronous load-modify-save and never a network wait. When the
// lock file cannot be opened or locked, held() is false and error() tells why:
// the snapshot must then not be changed.
class Lock {
public:
    explicit Lock(const QString &snapshotPath);
    ~Lock();
    Lock(const Lock &) = delete;
    Lock &operator=(const Lock &) = delete;

    bool held() const { return m_held; }
    QString error() const { return m_error; }

private:
    int m_fd = -1;
    bool m_held = false;
    QString m_error;
};

} // namespace SharedSuite
