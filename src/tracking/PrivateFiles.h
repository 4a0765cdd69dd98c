#pragma once

#include <QString>

// Folders and files that only this user may read: everything the program
// keeps (timer state, preferences, the file keyring) goes through these, so
// the modes hold whatever the umask is.
namespace PrivateFiles {

// Makes `dir` with mode 0700 (its missing parents the ordinary way) and
// tightens an existing folder of ours that is looser. False when it cannot
// be made or is not a folder.
bool makeFolder(const QString &dir);

// Sets an existing file of ours to 0600 when it is looser.
void restrictFile(const QString &path);

} // namespace PrivateFiles
