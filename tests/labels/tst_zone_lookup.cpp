// Bulk-mail zones looked up in a real ZZone table with its index tag, written by our engine.

#include "TestSupport.h"
#include "ZoneLookup.h"

#include <QFile>
#include <QTest>

using namespace tallyra;
using namespace testsupport;

namespace {

// The start and end prefixes are stored wider than three characters, as our character fields
// are, so a key equal to a range's start must not compare below its padded text.
const QList<db::FieldDef> kZoneFields = {
    {"SZIP", db::FieldType::Character, 6, 0},
    {"EZIP", db::FieldType::Character, 6, 0},
    {"ZONE", db::FieldType::Numeric, 3, 0},
};

struct Range
{
    const char *start;
    const char *end;
    int zone;
};

// Creates ZZone with its tag in dir, ranges appended out of key order.
void makeZones(const QString &dir, const QList<Range> &ranges)
{
    QVERIFY(db::Table::create(dir, QStringLiteral("ZZone.DBF"), kZoneFields).isOk());
    db::Engine engine(dir);
    db::Table *t = engine.open(QStringLiteral("ZZone"));
    QVERIFY(t);
    QVERIFY(t->createIndexGroup({{"ZZone", "SZip", {}, false, false, "ZZone.ntx"}}, false).isOk());
    for (const Range &r : ranges) {
        QVERIFY(t->appendBlank().isOk());
        QVERIFY(t->setText(0, QString::fromLatin1(r.start)).isOk());
        QVERIFY(t->setText(1, QString::fromLatin1(r.end)).isOk());
        QVERIFY(t->setInteger(2, r.zone).isOk());
        QVERIFY(t->flush().isOk());
    }
    QVERIFY(engine.closeAll().isOk());
}

} // namespace

class TestZoneLookup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void zones_data();
    void zones();
    void tableLeftAsFound();
    void noZoneTable_data();
    void noZoneTable();
};

void TestZoneLookup::zones_data()
{
    QTest::addColumn<QString>("postalCode");
    QTest::addColumn<QString>("zone");
    QTest::newRow("seek ends after the key, steps back") << "15213"
                                                         << "2";
    QTest::newRow("before the first range") << "09876"
                                            << "";
    QTest::newRow("exactly a range start") << "15000"
                                           << "2";
    QTest::newRow("exactly a range end") << "14999"
                                         << "1";
    QTest::newRow("first range start") << "10001"
                                       << "1";
    QTest::newRow("leading blanks dropped") << "   15213"
                                            << "2";
    QTest::newRow("in the gap between ranges") << "20512"
                                               << "";
    QTest::newRow("inside the last range") << "34512-1234"
                                           << "7";
    QTest::newRow("above the last range end") << "99501"
                                              << "";
    QTest::newRow("empty code") << ""
                                << "";
    QTest::newRow("blank code") << "     "
                                << "";
    QTest::newRow("letters sort after the digits") << "K1A 0B1"
                                                   << "";
}

void TestZoneLookup::zones()
{
    QFETCH(QString, postalCode);
    QFETCH(QString, zone);
    TempDataDir dir;
    makeZones(dir.path(), {{"300", "399", 7}, {"150", "199", 2}, {"100", "149", 1}});
    db::Engine engine(dir.path());
    db::Status status;
    QCOMPARE(bulkMailZone(engine, postalCode, &status), zone);
    QVERIFY2(status.isOk(), qPrintable(status.toString()));
    QVERIFY(!engine.table(QStringLiteral("ZZone"))); // closed again
}

// A caller that already has ZZone open (a label run) keeps it open, on its own tag.
void TestZoneLookup::tableLeftAsFound()
{
    TempDataDir dir;
    makeZones(dir.path(), {{"100", "149", 1}, {"150", "199", 2}});
    db::Engine engine(dir.path());
    db::Table *t = engine.open(QStringLiteral("ZZone"));
    QVERIFY(t);
    t->selectNatural();
    QCOMPARE(bulkMailZone(engine, QStringLiteral("15213"), nullptr), QStringLiteral("2"));
    QCOMPARE(engine.table(QStringLiteral("ZZone")), t);
    QVERIFY(t->selectedTag().isEmpty());
    QCOMPARE(bulkMailZone(engine, QStringLiteral("10100"), nullptr), QStringLiteral("1"));
}

// No zone table, an empty one or a damaged one: no zone, a status saying whether the table failed,
// the table closed again and its files left alone.
void TestZoneLookup::noZoneTable_data()
{
    QTest::addColumn<QString>("table"); // "missing", "empty" or "index cut"
    QTest::addColumn<bool>("statusOk");
    QTest::addColumn<QString>("says");
    QTest::newRow("no table") << "missing" << false << "ZZone";
    QTest::newRow("empty table") << "empty" << true << "";
    QTest::newRow("index cut inside its header page") << "index cut" << false << "";
}

void TestZoneLookup::noZoneTable()
{
    QFETCH(QString, table);
    QFETCH(bool, statusOk);
    QFETCH(QString, says);
    TempDataDir dir;
    if (table == QStringLiteral("empty"))
        makeZones(dir.path(), {});
    if (table == QStringLiteral("index cut")) {
        makeZones(dir.path(), {{"100", "149", 1}, {"150", "199", 2}});
        QFile index(dir.file(QStringLiteral("ZZone.ntx")));
        QVERIFY(index.open(QIODevice::ReadWrite) && index.resize(100));
    }
    const QStringList before = snapshot(dir.path());
    db::Engine engine(dir.path());
    db::Status status;
    QCOMPARE(bulkMailZone(engine, QStringLiteral("15213"), &status), QString());
    QCOMPARE(status.isOk(), statusOk);
    QVERIFY2(status.message().contains(says, Qt::CaseInsensitive), qPrintable(status.message()));
    QVERIFY(!engine.table(QStringLiteral("ZZone")));
    QCOMPARE(snapshot(dir.path()), before); // not written over
}

QTEST_GUILESS_MAIN(TestZoneLookup)
#include "tst_zone_lookup.moc"
