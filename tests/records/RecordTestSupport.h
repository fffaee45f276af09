#pragma once

// Helpers of the record-window tests.
//
// ModalDriver drives modal windows: steps queued before a window's exec(), each run when the
// active modal window has the step's objectName; a modal window left up for five seconds fails
// the script. A step that would open another modal window clicks later (clickLater), so
// the next step can find that window. A window that never comes
// fails the script within a few seconds and every modal window is closed, so a test fails
// instead of hanging.

#include "Database.h"
#include "NewBusiness.h"
#include "Prompt.h"
#include "RecordCommands.h"
#include "Settings.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <deque>
#include <functional>

namespace recordtest {

// A new, empty business in `path`, opened as the program's database with the record windows
// registered, default settings and no canned answers or shown prompts left from another test.
inline bool openEmptyBusiness(const QString &path)
{
    if (!tallyra::createBusiness(path, false).ok())
        return false;
    tallyra::openDatabase(path);
    tallyra::registerRecordWindows();
    tallyra::settings() = tallyra::defaultSettings();
    tallyra::setPackNeeded(false);
    tallyra::Prompt::clearAnswers();
    tallyra::Prompt::takeShown();
    return true;
}

// Closes what a failed test left up, then the database.
inline void closeBusiness()
{
    while (QWidget *w = QApplication::activeModalWidget())
        w->close();
    tallyra::Prompt::clearAnswers();
    tallyra::closeDatabase();
}

class ModalDriver : public QObject
{
public:
    using Action = std::function<void(QWidget *)>;

    ModalDriver &then(const QString &window, Action action)
    {
        m_steps.push_back({window, std::move(action)});
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
    // True when every step ran.
    bool done() const { return m_steps.empty() && m_failure.isEmpty(); }
    QString failure() const { return m_failure; }

private:
    struct Step
    {
        QString window;
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
        if (modal && modal->isVisible() && modal->objectName() == m_steps.front().window &&
            level == m_levels.value(modal)) {
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

template <typename T = QWidget> T *child(QWidget *window, const char *name)
{
    T *w = window->findChild<T *>(QString::fromLatin1(name));
    if (!w)
        qWarning("no widget %s in %s", name, qPrintable(window->objectName()));
    return w;
}

// Clicks a button now (for buttons that close their window or show only canned prompts).
inline void click(QWidget *window, const char *name)
{
    QTest::mouseClick(child<QAbstractButton>(window, name), Qt::LeftButton);
}

// Clicks once the current step has returned: for buttons that open another modal window.
inline void clickLater(QWidget *window, const char *name)
{
    QAbstractButton *b = child<QAbstractButton>(window, name);
    QTimer::singleShot(0, b, [b] { QTest::mouseClick(b, Qt::LeftButton); });
}

// Types into a box as a user does: replaces its text key by key.
inline void type(QWidget *window, const char *name, const QString &text)
{
    QLineEdit *e = child<QLineEdit>(window, name);
    e->setFocus();
    e->selectAll();
    QTest::keyClick(e, Qt::Key_Delete);
    QTest::keyClicks(e, text);
}

// Every record of a dBASE file as Debian's python3-dbfread reads it, the live ones in record
// order, then the deleted ones (marked "_deleted": true). Empty on failure (with a warning).
inline QJsonArray peerRead(const QString &file)
{
    const char *reader = R"PY(
import json, sys
from dbfread import DBF
t = DBF(sys.argv[1], encoding='utf-8', char_decode_errors='strict', load=True)
def row(r, deleted):
    d = {k: (v.isoformat() if hasattr(v, 'isoformat') else v) for k, v in r.items()}
    d['_deleted'] = deleted
    return d
rows = [row(r, False) for r in t.records] + [row(r, True) for r in t.deleted]
print(json.dumps(rows))
)PY";
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromLatin1(reader), file});
    if (!p.waitForFinished(20000) || p.exitCode() != 0) {
        qWarning() << p.readAllStandardError();
        return {};
    }
    return QJsonDocument::fromJson(p.readAllStandardOutput()).array();
}

} // namespace recordtest
