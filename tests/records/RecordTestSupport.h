#pragma once

// Helpers of the record-window tests: a business opened as the program opens it, the widgets of a
// window found by name, clicks and typing as a user makes them, and Debian's dBASE reader. Modal
// windows are driven by testsupport::ModalDriver; a step that would open another modal window
// clicks later (clickLater), so the next step can find that window.

#include "BrowseEdit.h"
#include "Database.h"
#include "ModalDriver.h"
#include "NewBusiness.h"
#include "Prompt.h"
#include "RecordCommands.h"
#include "Settings.h"
#include "Tables.h"
#include "TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QObject>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

namespace recordtest {

// The shared driver of modal windows (tests/support).
using testsupport::ModalDriver;

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

// One new, empty business per test (openEmptyBusiness) in a temporary directory that close()
// removes; a valid `today` fixes the clock until then. For a suite's init() and cleanup().
class EmptyBusiness
{
public:
    bool open(const QDate &today = {})
    {
        if (today.isValid())
            m_clock = std::make_unique<testsupport::FixedClock>(today);
        m_dir = std::make_unique<testsupport::TempDataDir>();
        return openEmptyBusiness(m_dir->path());
    }
    void close()
    {
        closeBusiness();
        m_dir.reset();
        m_clock.reset();
    }
    QString path() const { return m_dir->path(); }
    QString file(const QString &name) const { return m_dir->file(name); }

private:
    std::unique_ptr<testsupport::TempDataDir> m_dir;
    std::unique_ptr<testsupport::FixedClock> m_clock;
};

// Appends `record` to the table `opened` (openProducts() and the like) with its writer; the new
// record's number, 0 on failure.
template <typename Record>
quint32 appendRecord(const tallyra::OpenResult &opened, const Record &record,
                     db::Status (*write)(db::Table &, const Record &))
{
    db::Table *t = opened.table;
    if (!t || !t->appendBlank().isOk() || !write(*t, record).isOk())
        return 0;
    return t->recNo();
}

// What a window shown modally while `driver` stepped through it left: `result`, or -2 when a
// step did not run (the failure warned).
inline qint64 drivenResult(ModalDriver &driver, qint64 result)
{
    if (driver.done())
        return result;
    qWarning("%s", qPrintable(driver.failure()));
    return -2;
}

// A record window (or the invoice) run on `selection` (0: a new record) with `driver`'s steps.
template <typename Form> qint64 runForm(Form &form, qint64 selection, ModalDriver &driver)
{
    driver.start();
    return drivenResult(driver, form.run(selection));
}

// A pick list shown on `selection` with `driver`'s steps.
template <typename List> qint64 runPick(List &list, qint64 selection, bool allowNew, ModalDriver &driver)
{
    driver.start();
    return drivenResult(driver, list.pick(selection, allowNew));
}

// The main window's loop over the open table `opened` (its pick list and forms) from its first
// record, `driver` stepping through the windows; every table closed after. True when the tables
// closed and every step ran (a failed step is warned).
inline bool runLoop(ModalDriver &driver, const tallyra::OpenResult &opened, tallyra::RecordKind kind)
{
    driver.start();
    if (opened.table)
        tallyra::browseAndEdit(*opened.table, kind, tallyra::firstRecordNumber(*opened.table), nullptr);
    const bool closed = tallyra::closeAllTables(tallyra::database()).isOk();
    if (!driver.done())
        qWarning("%s", qPrintable(driver.failure()));
    return opened.table && closed && driver.done();
}

// A canned answer to the next prompt.
inline QVariant answer(tallyra::Prompt::Answer a)
{
    return QVariant::fromValue(a);
}
inline QVariant ok()
{
    return answer(tallyra::Prompt::Answer::Ok);
}

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
