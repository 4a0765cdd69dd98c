#include "ControlCommand.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zimbrel-control"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZIMBREL_VERSION));
    return ControlCommand::run(QCoreApplication::arguments().mid(1), stdout, stderr);
}
