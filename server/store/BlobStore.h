#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Where screenshot bytes live. Keys are made by the store itself, never taken
// from a client, so no request can name a path. The disk store is the only
// one today; an object store can take its place behind this seam.
class BlobStore {
public:
    virtual ~BlobStore() = default;
    // Stores the bytes under a new key and returns it; nothing on failure
    // (logged by the implementation).
    virtual std::optional<QString> put(const QByteArray &bytes) = 0;
    virtual std::optional<QByteArray> get(const QString &key) = 0;
    // True when the key is gone afterwards (also when it never existed).
    virtual bool remove(const QString &key) = 0;
};
