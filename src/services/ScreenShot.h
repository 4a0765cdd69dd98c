#pragma once

#include <QByteArray>
#include <QString>

// One screenshot ready for upload.
struct ScreenShot {
    QByteArray jpeg;  // JPEG at quality 60, at most 1600 pixels wide
    int width = 0;
    int height = 0;
    QString hash;     // 16 lower-case hex digits, or empty when no thumbnail could be made
};
