#pragma once

#include <QImage>
#include <QMutex>
#include <QPointer>
#include <QQuickImageProvider>

class AppModel;

// The model's last screenshot for QML as "image://lastshot/<n>" (any id gives
// the current picture; the view changes n to reload). A copy is kept here
// because the engine may ask from its loader thread.
class LastShotImageProvider : public QQuickImageProvider {
public:
    explicit LastShotImageProvider(AppModel *model);
    QImage requestImage(const QString &id, QSize *size, const QSize &requestedSize) override;

private:
    void take();

    QPointer<AppModel> m_model;
    QObject m_context; // the connection's receiver: disconnects with the provider
    mutable QMutex m_mutex;
    QImage m_image;
};
