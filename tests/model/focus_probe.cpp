// A small native window for the Wayland tests: its app id is the desktop
// file name given as the first argument. It stays open until killed.
#include <QGuiApplication>
#include <QPainter>
#include <QRasterWindow>

class Probe : public QRasterWindow {
protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(QRect(QPoint(), size()), Qt::darkCyan); }
};

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc > 1)
        QGuiApplication::setDesktopFileName(QString::fromLocal8Bit(argv[1]));
    Probe window;
    window.resize(320, 200);
    window.show();
    return app.exec();
}
