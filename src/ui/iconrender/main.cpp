// Renders the application icon SVG into the hicolor PNG sizes at build time:
// zimbrel-iconrender INPUT.svg OUTPUT_DIR SIZE...
// writes OUTPUT_DIR/<size>x<size>/apps/zimbrel.png for each size.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: zimbrel-iconrender INPUT.svg OUTPUT_DIR SIZE...\n");
        return 2;
    }
    QSvgRenderer svg(args.at(1));
    if (!svg.isValid()) {
        std::fprintf(stderr, "zimbrel-iconrender: cannot read %s\n", qPrintable(args.at(1)));
        return 1;
    }
    for (const QString &arg : args.mid(3)) {
        bool ok = false;
        const int size = arg.toInt(&ok);
        if (!ok || size <= 0 || size > 4096) {
            std::fprintf(stderr, "zimbrel-iconrender: bad size %s\n", qPrintable(arg));
            return 2;
        }
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(args.at(2)).arg(size);
        QDir().mkpath(dir);
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg.render(&painter, QRectF(0, 0, size, size));
        painter.end();
        if (!image.save(dir + QStringLiteral("/zimbrel.png"))) {
            std::fprintf(stderr, "zimbrel-iconrender: cannot write %s\n", qPrintable(dir));
            return 1;
        }
    }
    return 0;
}
