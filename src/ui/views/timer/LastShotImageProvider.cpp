#include "LastShotImageProvider.h"

#include "AppModel.h"

LastShotImageProvider::LastShotImageProvider(AppModel *model)
    : QQuickImageProvider(QQuickImageProvider::Image)
    , m_model(model)
{
    if (!model)
        return;
    take();
    QObject::connect(model, &AppModel::lastShotChanged, &m_context, [this] { take(); });
}

void LastShotImageProvider::take()
{
    const QImage image = m_model ? m_model->lastShotImage() : QImage();
    QMutexLocker lock(&m_mutex);
    m_image = image;
}

QImage LastShotImageProvider::requestImage(const QString &, QSize *size, const QSize &requestedSize)
{
    QImage image;
    {
        QMutexLocker lock(&m_mutex);
        image = m_image;
    }
    // No picture (none yet, or one that could not be decoded): the view shows
    // its placeholder; an empty image here just leaves the thumbnail blank.
    if (!image.isNull() && requestedSize.width() > 0 && requestedSize.height() > 0)
        image = image.scaled(requestedSize, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    if (size)
        *size = image.size();
    return image;
}
