#include "BenchDisplay.h"

BenchDisplay::BenchDisplay(const QString &screen)
{
    m_process.start(QStringLiteral("sh"),
                    {QStringLiteral("-c"),
                     QStringLiteral("exec Xvfb -displayfd 1 -nolisten tcp -screen 0 %1 2>/dev/null").arg(screen)});
    if (m_process.waitForReadyRead(10000))
        m_name = ":" + m_process.readLine().trimmed();
}

BenchDisplay::~BenchDisplay()
{
    m_process.terminate();
    if (!m_process.waitForFinished(3000))
        m_process.kill();
    m_process.waitForFinished(3000);
}
