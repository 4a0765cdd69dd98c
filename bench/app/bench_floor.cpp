// The floor the window benchmarks compare with: a Qt Quick window of the
// main window's default size, drawn by the same (software) renderer with the
// same fonts, whose only change is a clock text once a second. Whatever
// zimbrel costs above this is its own. With ZIMBREL_REPORT_FIRST_FRAME set it
// prints the wall clock of its first frame, and with ZIMBREL_REPORT_FRAMES a
// line for each frame, like zimbrel.
//   bench_floor [X Y]
#include <QDateTime>
#include <QFont>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>

#include <cstdio>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QGuiApplication app(argc, argv);
    QFont font = QGuiApplication::font();
    font.setFamilies({QStringLiteral("Inter"), QStringLiteral("Noto Sans"), QStringLiteral("DejaVu Sans")});
    QGuiApplication::setFont(font);
    const QStringList args = app.arguments();
    const int x = args.value(1, QStringLiteral("0")).toInt();
    const int y = args.value(2, QStringLiteral("0")).toInt();

    QQmlApplicationEngine engine;
    engine.loadData(QStringLiteral(R"(
import QtQuick
Window {
    width: 940; height: 640; x: %1; y: %2
    visible: true
    title: "Floor"
    color: "#f6f5f1"
    property int seconds: 0
    Text {
        anchors.centerIn: parent
        font.pixelSize: 56
        text: Math.floor(seconds / 3600) + ":" + String(Math.floor(seconds / 60) % 60).padStart(2, "0")
              + ":" + String(seconds % 60).padStart(2, "0")
    }
    Timer { interval: 1000; repeat: true; running: true; onTriggered: seconds += 1 }
}
)").arg(x).arg(y).toUtf8());
    auto *window = engine.rootObjects().isEmpty() ? nullptr : qobject_cast<QQuickWindow *>(engine.rootObjects().first());
    if (!window)
        return 1;
    if (qEnvironmentVariableIsSet("ZIMBREL_REPORT_FRAMES"))
        QObject::connect(window, &QQuickWindow::frameSwapped, window, [] { std::fputs("floor: frame\n", stderr); });
    if (!qEnvironmentVariableIsEmpty("ZIMBREL_REPORT_FIRST_FRAME")) {
        QObject::connect(window, &QQuickWindow::frameSwapped, window, [window] {
            static bool said = false;
            if (!said) {
                said = true;
                std::fprintf(stderr, "floor: first frame at %lld ms\n", QDateTime::currentMSecsSinceEpoch());
            }
        });
    }
    return app.exec();
}
