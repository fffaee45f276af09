#pragma once

// What the first showing of the main window needs besides its widgets: the version text and the
// clock that keeps the About window up as a splash long enough to be read.

#include <QString>
#include <QtGlobal>

namespace tallyra {

// The program's version: three whole numbers joined by "." ("1.0.0"), from the build.
QString versionText();

// The splash stays up at least this long after it appeared (0.00002 of a day).
inline constexpr qint64 kSplashMilliseconds = 1728;

// A monotonic clock in milliseconds, and a wait that keeps the windows painted but takes no user
// input. The program uses the system's; tests give a clock they control.
class StartupClock
{
public:
    virtual ~StartupClock() = default;
    virtual qint64 now() = 0;
    virtual void wait(qint64 milliseconds) = 0;
};

class SystemStartupClock : public StartupClock
{
public:
    SystemStartupClock();
    qint64 now() override;
    void wait(qint64 milliseconds) override;

private:
    qint64 m_origin;
};

// The time still to wait, at `now`, for a splash shown at `shownAt`: 0 once 1.728 s have passed.
qint64 splashWaitLeft(qint64 shownAt, qint64 now);

} // namespace tallyra
