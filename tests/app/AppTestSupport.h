#pragma once

// Helpers of the shell's tests: a business on disk, records written and read with an engine of
// the test's own, and a start-up clock the test controls. Modal windows are answered by
// testsupport::ModalDriver (included here).

#include "ModalDriver.h"
#include "Records.h"
#include "Settings.h"
#include "Startup.h"
#include "TestSupport.h"

#include <functional>

namespace apptest {

// A start-up clock that reads out the times it is given and records the waits asked of it.
class ScriptedClock : public tallyra::StartupClock
{
public:
    explicit ScriptedClock(QList<qint64> times)
        : m_times(std::move(times))
    {}
    qint64 now() override
    {
        if (!m_times.isEmpty())
            m_last = m_times.takeFirst();
        return m_last;
    }
    void wait(qint64 milliseconds) override
    {
        waits << milliseconds;
        if (onWait)
            onWait();
    }

    QList<qint64> waits;
    std::function<void()> onWait;

private:
    QList<qint64> m_times;
    qint64 m_last = 0;
};

// A fresh business in a temporary folder: every table, empty or with the sample data.
bool makeBusiness(const testsupport::TempDataDir &dir, bool demo = false);

// Appends records with an engine of the test's own, closing the tables afterwards.
bool addGroups(const QString &dir, const QList<tallyra::GroupRecord> &groups);
bool addCustomers(const QString &dir, const QList<tallyra::CustomerRecord> &customers);
// Marks record recNo of a table deleted.
bool markDeleted(const QString &dir, const QString &table, quint32 recNo);
// The settings record as stored on disk.
tallyra::SettingsRecord storedSettings(const QString &dir, bool *ok = nullptr);
bool storeSettings(const QString &dir, const tallyra::SettingsRecord &settings);

} // namespace apptest
