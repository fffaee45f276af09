// The settings record: loaded from TLR2's one record, written back whole, mail fields trimmed,
// texts cut to their limits, and the failures when TLR2 is missing or empty.

#include "Clock.h"
#include "Schema.h"
#include "Settings.h"
#include "TestSupport.h"

#include <QFile>
#include <QTest>

using namespace tallyra;
using testsupport::TempDataDir;

namespace {

// TLR2 as a new business has it: one record of defaults.
bool makeSettingsTable(const QString &dir, bool withRecord = true)
{
    const TableDef &def = tableDef(TableId::Settings);
    if (!db::Table::create(dir, def.fileName, def.fields).isOk())
        return false;
    if (!withRecord)
        return true;
    db::Engine engine(dir);
    const OpenResult open = openSettingsTable(engine);
    return open && open.table->appendBlank().isOk() &&
           writeSettingsRecord(*open.table, defaultSettings()).isOk() && engine.closeAll().isOk();
}

SettingsRecord sample()
{
    SettingsRecord s;
    s.FontName = QStringLiteral("DejaVu Serif");
    s.FontSize = 12;
    s.LabID = QStringLiteral("A4 3 x 7, 63.5 x 38.1 mm");
    s.Company = QStringLiteral("Harbor Lane Office Supply");
    s.Addr1 = QStringLiteral("1187 Harbor Lane");
    s.Addr2 = QStringLiteral("Portsmouth, NH 03801");
    s.Addr3 = QStringLiteral("Phone (603) 555-0142");
    s.Addr4 = QStringLiteral("Größe & Söhne");
    s.CloLine = QStringLiteral("Sincerely,");
    s.SigLine = QStringLiteral("Dana Whitcomb, Owner");
    s.LogoFile = QStringLiteral("/home/dana/logo.bmp");
    s.LogoHeight = 1.25;
    s.LogoWidth = 99.99;
    s.ShipLine = QStringLiteral("Freight");
    s.TaxLine = QStringLiteral("VAT");
    s.ShipTax = 3;
    s.TaxRound = ChargeRounding::Up;
    s.LHJustify = 3;
    s.TaxRate1 = 12.5;
    s.TaxRate2 = 99.99;
    s.TopMargin = 0.75;
    s.ByCust = false;
    s.fifo = false;
    s.MailHost = QStringLiteral("smtp.example.com");
    s.MailID = QStringLiteral("harborlane");
    s.MailAddr = QStringLiteral("office@harborlane.example");
    s.MailName = QStringLiteral("Harbor Lane Office Supply");
    s.MailReply = QStringLiteral("billing@harborlane.example");
    return s;
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void defaultsOfANewBusiness()
    {
        TempDataDir dir;
        QVERIFY(makeSettingsTable(dir.path()));
        db::Engine engine(dir.path());
        SettingsRecord s = sample();
        const SettingsResult loaded = loadSettings(engine, s);
        QVERIFY2(loaded, qPrintable(loaded.message()));
        QCOMPARE(s.ShipLine, QStringLiteral("Shipping"));
        QCOMPARE(s.TaxLine, QStringLiteral("Sales Tax"));
        QCOMPARE(s.TaxRate1, 0.0);
        QCOMPARE(s.TaxRate2, 0.0);
        QCOMPARE(s.ShipTax, 1);
        QCOMPARE(s.TaxRound, ChargeRounding::Normal);
        QCOMPARE(s.LHJustify, 1);
        QVERIFY(s.ByCust);
        QVERIFY(s.fifo);
        QCOMPARE(s.FontName, QStringLiteral("DejaVu Sans Mono"));
        QCOMPARE(s.FontSize, 10);
        QVERIFY(!s.mailSetUp());
        QCOMPARE(s, defaultSettings());
        // Loading closes the table again.
        QVERIFY(engine.table("TLR2") == nullptr);
    }

    // Saving writes every field and closes TLR2 again. Changing one preference rewrites the whole
    // record from memory: a value changed on disk behind the program's back is replaced by the
    // one in memory.
    void saveRewritesTheWholeRecord()
    {
        TempDataDir dir;
        QVERIFY(makeSettingsTable(dir.path()));
        db::Engine engine(dir.path());
        SettingsRecord memory = sample();
        QVERIFY(saveSettings(engine, memory));
        QVERIFY(engine.table("TLR2") == nullptr);
        SettingsRecord back;
        QVERIFY(loadSettings(engine, back));
        QCOMPARE(back, memory);
        QVERIFY(back.mailSetUp());
        {
            const OpenResult open = openSettingsTable(engine);
            QVERIFY(open);
            QVERIFY(open.table->setText(open.table->fieldIndex("Company"), QStringLiteral("Someone Else"))
                        .isOk());
            QVERIFY(open.table->setNumber(open.table->fieldIndex("TaxRate2"), 1).isOk());
            QVERIFY(engine.closeAll().isOk());
        }
        memory.fifo = !memory.fifo;
        QVERIFY(saveSettings(engine, memory));
        QVERIFY(loadSettings(engine, back));
        QCOMPARE(back, memory);
        // The table still holds exactly one record.
        const OpenResult open = openSettingsTable(engine);
        QCOMPARE(open.table->recordCount(), 1u);
    }

    void mailFieldsAreTrimmedAndTextsCut()
    {
        TempDataDir dir;
        QVERIFY(makeSettingsTable(dir.path()));
        db::Engine engine(dir.path());
        SettingsRecord s = sample();
        s.MailHost = QStringLiteral("   smtp.example.com  ");
        s.MailAddr = QStringLiteral(" office@harborlane.example");
        s.MailName = QString(80, QLatin1Char('m'));
        s.Company = QString(70, QLatin1Char('c'));
        s.SigLine = QString(65, QChar(0x00e9)); // é, two bytes each
        s.LogoFile = QStringLiteral("/") + QString(140, QLatin1Char('p'));
        s.Addr4 = QStringLiteral("  indented");
        QVERIFY(saveSettings(engine, s));
        SettingsRecord back;
        QVERIFY(loadSettings(engine, back));
        QCOMPARE(back.MailHost, QStringLiteral("smtp.example.com"));
        QCOMPARE(back.MailAddr, QStringLiteral("office@harborlane.example"));
        QCOMPARE(back.MailName, QString(69, QLatin1Char('m')));
        QCOMPARE(back.SigLine, QString(59, QChar(0x00e9)));
        QCOMPARE(back.LogoFile, s.LogoFile.left(126));
        // Company holds 35 characters on the form; 59 are written, the field keeps them all.
        QCOMPARE(back.Company, QString(59, QLatin1Char('c')));
        // Other texts keep their leading blanks.
        QCOMPARE(back.Addr4, QStringLiteral("  indented"));
    }

    void missingOrEmptySettingsTableIsFatal()
    {
        TempDataDir dir;
        db::Engine engine(dir.path());
        SettingsRecord s = sample();
        SettingsResult r = loadSettings(engine, s);
        QVERIFY(!r);
        QVERIFY(r.openFailed);
        QCOMPARE(r.message(), QStringLiteral("Unable to open file TLR2.DBF\nProgram will now terminate."));
        QCOMPARE(s, sample());

        // A TLR2 without its record: the program never adds one, so it cannot go on.
        QVERIFY(makeSettingsTable(dir.path(), false));
        r = loadSettings(engine, s);
        QVERIFY(!r);
        QVERIFY(r.openFailed);
        QVERIFY(r.status.message().contains("TLR2"));
        QCOMPARE(s, sample());
        r = saveSettings(engine, s);
        QVERIFY(r.openFailed);
        const OpenResult open = openSettingsTable(engine);
        QCOMPARE(open.table->recordCount(), 0u);
        QVERIFY(closeAllTables(engine).isOk());
    }

    // A TLR2 of another layout (a field missing) is no settings table: loading it ends the program
    // with the open-failure message, not a word about saving, and changes nothing.
    void settingsTableWithoutAFieldIsFatal()
    {
        TempDataDir dir;
        QList<db::FieldDef> fields = tableDef(TableId::Settings).fields;
        fields.removeLast(); // MailReply
        QVERIFY(db::Table::create(dir.path(), QStringLiteral("TLR2.DBF"), fields).isOk());
        db::Engine engine(dir.path());
        {
            const OpenResult open = openSettingsTable(engine);
            QVERIFY(open && open.table->appendBlank().isOk() && open.table->flush().isOk());
            QVERIFY(closeAllTables(engine).isOk());
        }
        SettingsRecord s = sample();
        const SettingsResult r = loadSettings(engine, s);
        QVERIFY(!r);
        QVERIFY(r.openFailed);
        QCOMPARE(r.message(), QStringLiteral("Unable to open file TLR2.DBF\nProgram will now terminate."));
        QVERIFY2(r.status.message().contains(QStringLiteral("MailReply")), qPrintable(r.status.toString()));
        QCOMPARE(s, sample());
        QVERIFY(!engine.table(QStringLiteral("TLR2")));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
