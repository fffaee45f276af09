#include "Startup.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace tallyra {

QString versionText()
{
#ifdef TALLYRA_VERSION
    return QStringLiteral(TALLYRA_VERSION);
#else
    return QString();
#endif
}

namespace {

qint64 monotonicMs()
{
    static QElapsedTimer timer;
    if (!timer.isValid())
        timer.start();
    return timer.elapsed();
}

} // namespace

SystemStartupClock::SystemStartupClock()
    : m_origin(monotonicMs())
{}

qint64 SystemStartupClock::now()
{
    return monotonicMs() - m_origin;
}

void SystemStartupClock::wait(qint64 milliseconds)
{
    if (milliseconds <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

qint64 splashWaitLeft(qint64 shownAt, qint64 now)
{
    return qMax<qint64>(0, kSplashMilliseconds - (now - shownAt));
}

} // namespace tallyra
