// The start-up sequence without a window: real businesses made as tallyra-init makes them, then
// damaged on disk (an index file removed, a table missing or cut, the settings table unreadable),
// and what the sequence opens, rebuilds and tells the user.

#include "BusinessPlace.h"
#include "Database.h"
#include "NewBusiness.h"
#include "Settings.h"
#include "StartupSequence.h"
#include "Tables.h"
#include "TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>

using namespace tallyra;
using testsupport::readFile;
using testsupport::recordCount;
using testsupport::TempDataDir;
using testsupport::writeFile;

namespace {

enum class Damage
{
    None,
    InvoiceIndexMissing,    // invd.ntx removed
    CustomerTableMissing,   // CUST5.DBF removed
    SettingsUnreadable,     // TLR2.DBF holds no table
    InvoicesCutIndexMissing // INV6.DBF cut to 20 bytes and invd.ntx removed
};

bool damage(const TempDataDir &dir, Damage kind)
{
    switch (kind) {
    case Damage::None:
        return true;
    case Damage::InvoiceIndexMissing:
        return QFile::remove(dir.file(QStringLiteral("invd.ntx")));
    case Damage::CustomerTableMissing:
        return QFile::remove(dir.file(QStringLiteral("CUST5.DBF")));
    case Damage::SettingsUnreadable:
        return writeFile(dir.file(QStringLiteral("TLR2.DBF")), "not a table");
    case Damage::InvoicesCutIndexMissing:
        return writeFile(dir.file(QStringLiteral("INV6.DBF")),
                         readFile(dir.file(QStringLiteral("INV6.DBF"))).left(20)) &&
               QFile::remove(dir.file(QStringLiteral("invd.ntx")));
    }
    return false;
}

} // namespace

class TestStartupSequence : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_config;

private Q_SLOTS:
    void initTestCase()
    {
        // The remembered business goes to a settings file of the test's own, never the user's.
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    }

    void init()
    {
        forgetBusiness();
        settings() = defaultSettings();
    }

    void cleanup()
    {
        if (databaseOpen())
            closeDatabase();
    }

    void startUp_data()
    {
        QTest::addColumn<Damage>("damaged");
        QTest::addColumn<bool>("given");           // the directory named on the command line
        QTest::addColumn<bool>("otherRemembered"); // a whole business was opened last elsewhere
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("opensOther");
        QTest::addColumn<QStringList>("rebuilt");
        QTest::addColumn<QStringList>("messageLines"); // the first lines of the message

        const int opened = int(StartupOutcome::State::Opened);
        const int none = int(StartupOutcome::State::NoBusiness);
        const int failed = int(StartupOutcome::State::Failed);
        const QStringList missing = missingDataFilesMessage().split(QLatin1Char('\n'));
        const QString terminate = QStringLiteral("Program will now terminate.");
        QTest::newRow("whole business")
            << Damage::None << false << true << opened << false << QStringList() << QStringList();
        QTest::newRow("missing index rebuilt silently")
            << Damage::InvoiceIndexMissing << true << false << opened << false << QStringList{"INV6"}
            << QStringList();
        QTest::newRow("missing table, nothing remembered")
            << Damage::CustomerTableMissing << false << false << none << false << QStringList() << missing;
        QTest::newRow("missing table, the business opened last")
            << Damage::CustomerTableMissing << false << true << opened << true << QStringList()
            << QStringList();
        QTest::newRow("missing table in the directory the user named")
            << Damage::CustomerTableMissing << true << true << none << false << QStringList() << missing;
        QTest::newRow("settings table unreadable")
            << Damage::SettingsUnreadable << false << false << failed << false << QStringList()
            << QStringList{QStringLiteral("Unable to open file TLR2.DBF"), terminate};
        QTest::newRow("table cut while its index is rebuilt")
            << Damage::InvoicesCutIndexMissing << false << false << failed << false << QStringList()
            << QStringList{QStringLiteral("Unable to open file INV6.DBF"), terminate};
    }

    void startUp()
    {
        QFETCH(Damage, damaged);
        QFETCH(bool, given);
        QFETCH(bool, otherRemembered);
        QFETCH(int, state);
        QFETCH(bool, opensOther);
        QFETCH(QStringList, rebuilt);
        QFETCH(QStringList, messageLines);

        TempDataDir dir;
        QVERIFY(createBusiness(dir.path(), true).ok());
        // A stored preference shows that the settings record was loaded.
        {
            db::Engine engine(dir.path());
            SettingsRecord stored = defaultSettings();
            stored.FontName = QStringLiteral("DejaVu Serif");
            QVERIFY(saveSettings(engine, stored).ok());
        }
        TempDataDir other;
        if (otherRemembered) {
            QVERIFY(createBusiness(other.path(), false).ok());
            rememberBusiness(other.path());
        }
        QVERIFY(damage(dir, damaged));
        const QByteArray customersIndex = readFile(dir.file(QStringLiteral("cName.ntx")));
        setPackNeeded(true);

        const StartupOutcome outcome = startBusiness(dir.path(), given);
        QCOMPARE(int(outcome.state), state);
        QCOMPARE(outcome.indexesRebuilt, rebuilt);
        QCOMPARE(outcome.message.split(QLatin1Char('\n')).mid(0, messageLines.size()), messageLines);
        QCOMPARE(databaseOpen(), outcome.opened());
        if (outcome.state == StartupOutcome::State::Failed) {
            // The start-up rule's two lines, then the engine's reason naming the file.
            const QStringList lines = outcome.message.split(QLatin1Char('\n'));
            if (damaged == Damage::InvoicesCutIndexMissing) {
                QCOMPARE(lines.size(), 3);
                QVERIFY2(lines[2].contains(QLatin1String("INV6"), Qt::CaseInsensitive), qPrintable(lines[2]));
            }
        }
        if (!outcome)
            return;

        const QString business = opensOther ? other.path() : dir.path();
        QCOMPARE(outcome.directory, QDir(business).absolutePath());
        QCOMPARE(database().directory(), QDir(business).absolutePath());
        QCOMPARE(rememberedBusiness(), QDir(business).absolutePath());
        QCOMPARE(settings().FontName,
                 opensOther ? defaultSettings().FontName : QStringLiteral("DejaVu Serif"));
        QVERIFY(!packNeeded());
        // No table stays open; only the missing group was built, and its tag works.
        QVERIFY(!database().table(QStringLiteral("TLR2")));
        QVERIFY(!database().table(QStringLiteral("INV6")));
        if (!opensOther)
            QCOMPARE(readFile(dir.file(QStringLiteral("cName.ntx"))), customersIndex);
        if (damaged == Damage::InvoiceIndexMissing) {
            const OpenResult invoices = openInvoices(database());
            QVERIFY(invoices);
            QVERIFY(invoices.table->checkTag(QStringLiteral("InvD")).isOk());
            QVERIFY(closeAllTables(database()).isOk());
        }
    }

    // A business chosen while another is open: a directory without data files is refused before
    // anything is closed; a whole one replaces the open one and becomes the one remembered.
    void switchingBusinesses()
    {
        TempDataDir first;
        TempDataDir second;
        TempDataDir empty;
        QVERIFY(createBusiness(first.path(), false).ok());
        QVERIFY(createBusiness(second.path(), true).ok());
        QVERIFY(startBusiness(first.path(), true));

        QCOMPARE(businessRefusal(empty.path()), QStringLiteral("No business's data files are in %1.")
                                                    .arg(QDir::toNativeSeparators(empty.path())));
        QVERIFY(businessRefusal(second.path()).isEmpty());
        const StartupOutcome refused = openBusiness(empty.path());
        QCOMPARE(int(refused.state), int(StartupOutcome::State::NoBusiness));
        QCOMPARE(refused.message, businessRefusal(empty.path()));
        QVERIFY(databaseOpen());
        QCOMPARE(database().directory(), QDir(first.path()).absolutePath());

        const StartupOutcome switched = openBusiness(second.path());
        QVERIFY(switched);
        QCOMPARE(database().directory(), QDir(second.path()).absolutePath());
        QCOMPARE(rememberedBusiness(), QDir(second.path()).absolutePath());
        // The sample business's customers are there to be read.
        const OpenResult customers = openCustomers(database());
        QVERIFY(customers);
        QVERIFY(customers.table->recordCount() > 0);
    }
};

QTEST_GUILESS_MAIN(TestStartupSequence)
#include "tst_startup_sequence.moc"
