#pragma once

// Drives the modal windows a test opens: steps queued before the code under test calls a window's
// exec(), each run when the active modal window is the step's (by objectName, or by class). A
// window that never comes fails the script within four seconds, a modal window left up for five
// is closed, and in both cases every modal window is closed so the test fails instead of hanging.
// A driver whose steps did not all run fails the running test when it goes out of scope (unless
// the test failed already), so a forgotten check cannot let a window that never showed pass.
//
//   ModalDriver driver;
//   driver.then("pickCustomerDialog", [](QWidget *w) { ... })
//         .then<TDateSpan>([](TDateSpan *w) { ... });
//   driver.start();
//   window.exec-ing call();
//   QVERIFY2(driver.done(), qPrintable(driver.failure()));
//
// A step that opens another modal window must not block inside its action: click such buttons
// once the step has returned (QTimer::singleShot(0, ...)), so the next step can find that window.
// Header-only: include it from tests that link Qt Widgets.

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>

namespace testsupport {

class ModalDriver : public QObject
{
public:
    using Action = std::function<void(QWidget *)>;

    ModalDriver() = default;
    ModalDriver(const ModalDriver &) = delete;
    ModalDriver &operator=(const ModalDriver &) = delete;
    ~ModalDriver() override
    {
        if (done() || !QTest::currentTestFunction() || QTest::currentTestFailed())
            return;
        const QString why = !m_failure.isEmpty()
                                ? m_failure
                                : QStringLiteral("window %1 never came").arg(m_steps.front().window);
        QTest::qFail(qPrintable(QStringLiteral("modal driver: ") + why), __FILE__, __LINE__);
    }

    // The next step: runs `action` on the modal window whose objectName is `window`.
    ModalDriver &then(const QString &window, Action action)
    {
        m_steps.push_back(
            {window, [window](QWidget *w) { return w->objectName() == window; }, std::move(action)});
        return *this;
    }
    // The next step: runs `action` on the modal window of class T.
    template <typename T> ModalDriver &then(std::function<void(T *)> action)
    {
        m_steps.push_back({QString::fromLatin1(T::staticMetaObject.className()),
                           [](QWidget *w) { return qobject_cast<T *>(w) != nullptr; },
                           [action = std::move(action)](QWidget *w) { action(qobject_cast<T *>(w)); }});
        return *this;
    }

    void start()
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_clock.start();
        m_timer.start();
        // A timer does not fire again while its own slot runs, so a window that a step opened
        // and nobody answers (a message nobody expected, a form that will not close) is caught
        // by a second one.
        m_watchdog.setInterval(100);
        QObject::connect(&m_watchdog, &QTimer::timeout, this, [this] { watch(); });
        m_watchdog.start();
    }
    // True when every step ran and no window was left up.
    bool done() const { return m_steps.empty() && m_failure.isEmpty(); }
    QString failure() const
    {
        if (m_failure.isEmpty() && !m_steps.empty())
            return QStringLiteral("window %1 never came").arg(m_steps.front().window);
        return m_failure;
    }

private:
    struct Step
    {
        QString window;
        std::function<bool(QWidget *)> matches;
        Action action;
    };

    void poll()
    {
        if (m_steps.empty())
            return;
        QWidget *modal = QApplication::activeModalWidget();
        // A window closed by the last step leaves its event loop only when the stack unwinds to
        // its exec(); until then the window below is already active, but what its caller does
        // with the result (filling boxes, opening the next window) has not happened yet. A
        // window seen before is therefore taken only from its own event loop.
        const int level = QThread::currentThread()->loopLevel();
        if (modal && !m_levels.contains(modal)) {
            m_levels.insert(modal, level);
            QObject::connect(modal, &QObject::destroyed, this, [this, modal] { m_levels.remove(modal); });
        }
        if (modal && modal->isVisible() && m_steps.front().matches(modal) && level == m_levels.value(modal)) {
            Step step = std::move(m_steps.front());
            m_steps.pop_front();
            m_clock.restart();
            step.action(modal);
            return;
        }
        if (m_clock.elapsed() > 4000) {
            m_failure =
                QStringLiteral("window %1 never came (active: %2)")
                    .arg(m_steps.front().window, modal ? modal->objectName() : QStringLiteral("none"));
            m_steps.clear();
            closeAll();
        }
    }

    void watch()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal != m_watched) {
            m_watched = modal;
            m_watchClock.start();
        } else if (modal && m_watchClock.elapsed() > 5000) {
            if (m_failure.isEmpty())
                m_failure = QStringLiteral("window %1 (%2) stayed open")
                                .arg(modal->objectName(), modal->windowTitle());
            m_steps.clear();
            closeAll();
        }
    }

    void closeAll()
    {
        m_timer.stop();
        m_watchdog.stop();
        for (int i = 0; i < 20; ++i) {
            QWidget *w = QApplication::activeModalWidget();
            if (!w)
                break;
            if (auto *dialog = qobject_cast<QDialog *>(w))
                dialog->reject();
            else
                w->close();
        }
    }

    std::deque<Step> m_steps;
    QTimer m_timer;
    QElapsedTimer m_clock;
    QTimer m_watchdog;
    QPointer<QWidget> m_watched;
    QHash<QWidget *, int> m_levels; // the event-loop level each modal window runs its exec() in
    QElapsedTimer m_watchClock;
    QString m_failure;
};

} // namespace testsupport
