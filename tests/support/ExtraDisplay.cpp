#include "ExtraDisplay.h"

using namespace Qt::StringLiterals;

ExtraDisplay::ExtraDisplay(const QString &screen)
{
    m_process.start(u"sh"_s, {u"-c"_s, u"exec Xvfb -displayfd 1 -nolisten tcp -screen 0 %1 2>/dev/null"_s.arg(screen)});
    if (m_process.waitForReadyRead(10000))
        m_name = ":" + m_process.readLine().trimmed();
}

ExtraDisplay::~ExtraDisplay()
{
    stop();
}

void ExtraDisplay::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(3000);
}
