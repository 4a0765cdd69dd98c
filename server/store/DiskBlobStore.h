#pragma once

#include "BlobStore.h"

// Blobs as files under one root folder: "<root>/ab/<32 random hex>.jpg",
// files 0640 and folders 0750. A key is accepted only in that exact form, so
// a bad key from the database cannot reach outside the root.
class DiskBlobStore : public BlobStore {
public:
    explicit DiskBlobStore(QString root);

    std::optional<QString> put(const QByteArray &bytes) override;
    std::optional<QByteArray> get(const QString &key) override;
    bool remove(const QString &key) override;

    // The file of a key, or an empty text for a key of the wrong form.
    QString pathOf(const QString &key) const;

private:
    QString m_root;
};
