// Customer and product imports on real business directories: what reaches CUST5 and Prod5 as
// Debian's python3-dbfread reads it, the two ways of keeping the tags, undo byte for byte, files
// that must change nothing, the preview, and the tallyra-import program.

#include "ImportBackup.h"
#include "ImportEngine.h"
#include "NewBusiness.h"
#include "Records.h"
#include "Tables.h"
#include "TestSupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

using namespace tallyra;
using testsupport::binPath;
using testsupport::snapshot;
using testsupport::TempDataDir;
using testsupport::writeFile;

namespace {

// Every live record of a table file as python3-dbfread reads it, in record order.
QJsonArray peerRead(const QString &file)
{
    const char *reader = R"PY(
import json, sys
from dbfread import DBF
t = DBF(sys.argv[1], encoding='utf-8', char_decode_errors='strict', load=True)
print(json.dumps([dict(r) for r in t.records]))
)PY";
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromLatin1(reader), file});
    if (!p.waitForFinished(20000) || p.exitCode() != 0) {
        qWarning() << p.readAllStandardError();
        return {};
    }
    return QJsonDocument::fromJson(p.readAllStandardOutput()).array();
}

// A new business with group 1 "Retail", customer 1 John Smith and product AB-1, and one format
// of each kind: customers comma-delimited, fields 1..13 in slot order, at least 9 fields;
// products tab-delimited, fields 1..4, at least 2.
bool makeBusiness(const QString &dir)
{
    if (!createBusiness(dir, false).ok())
        return false;
    db::Engine engine(dir);
    OpenResult g = openGroups(engine);
    if (!g || !g.table->appendBlank() || !writeGroup(*g.table, {1, "Retail"}))
        return false;
    OpenResult c = openCustomers(engine);
    CustomerRecord john;
    john.CuNo = 1;
    john.NGroup = 1;
    john.Title = "Mr";
    john.First = "John";
    john.Last = "Smith";
    john.Zip = "02134";
    john.Note = "VIP";
    john.Comments = "  likes tea  ";
    if (!c || !c.table->appendBlank() || !writeCustomer(*c.table, john))
        return false;
    OpenResult p = openProducts(engine);
    ProductRecord ab;
    ab.PrID = "AB-1";
    ab.RCode = "LIC-7";
    ab.PDesc = "Old description";
    ab.UPrice = 10;
    ab.LTax1 = true;
    ab.lInven = true;
    ab.REORDER = 5;
    ab.ONHAND = 7;
    ab.PMemo = "Printed at the bottom";
    if (!p || !p.table->appendBlank() || !writeProduct(*p.table, ab))
        return false;
    OpenResult f = openImportFormats(engine);
    if (!f)
        return false;
    ImportFormatRecord cust = newImportFormat(ImportKind::Customers);
    cust.FmtName = "Shop CSV";
    for (int i = 0; i < 13; ++i)
        cust.Fld[i] = i + 1;
    cust.nFields = 9;
    ImportFormatRecord prod = newImportFormat(ImportKind::Products);
    prod.FmtName = "Catalogue TSV";
    prod.Fld = {1, 2, 3, 4};
    prod.DELIM = 9;
    prod.nFields = 2;
    quint32 r1 = 0, r2 = 0;
    return saveFormat(*f.table, cust, &r1) && saveFormat(*f.table, prod, &r2) && engine.closeAll();
}

ImportFormatRecord format(const QString &dir, ImportKind kind)
{
    db::Engine engine(dir);
    ImportFormatRecord f;
    OpenResult t = openImportFormats(engine);
    if (t)
        readFormat(*t.table, formatsOfKind(*t.table, kind).value(0).recNo, &f);
    return f;
}

const QByteArray kCustomers = "Mr,John,Smith,\"1 Main St, Apt 2\",,Boston,MA,,02134,555-1,,j@x.com,new note\n"
                              "Ms,Ann,Lee,,,Springfield,IL,,62701,,,,\n"
                              ",Bob,  Smith,,,,,,02134\n"
                              "Dr,ann,LEE,,  , , ,,62701 ,,,,second\n"
                              "too,few,fields\n"
                              "Mr,Carl,Jones,Main,,,,Canada,11111,,,,\n";

ImportResult importFile(const QString &dir, ImportKind kind, const QByteArray &bytes, BulkMode bulk,
                        const QString &name = QStringLiteral("in.txt"))
{
    const QString path = QDir(dir).filePath(name);
    if (!writeFile(path, bytes))
        return {};
    ImportRequest request;
    request.kind = kind;
    request.format = format(dir, kind);
    request.file = path;
    request.group = 1;
    db::Engine engine(dir);
    return runImport(engine, request, {}, bulk);
}

QJsonObject byNumber(const QJsonArray &rows, int cuNo)
{
    for (const QJsonValue &v : rows)
        if (v.toObject().value("CUNO").toInt() == cuNo)
            return v.toObject();
    return {};
}

// The tags of a table agree with its records (every record once, keys equal to expressions).
bool tagsSound(const QString &dir, TableId id)
{
    db::Engine engine(dir);
    OpenResult t = openTable(engine, id);
    QStringList report;
    const bool ok = t && t.table->check(&report).isOk();
    if (!ok)
        qWarning() << report;
    return ok;
}

// The two ways of keeping the tags, one row each.
void bulkRows()
{
    QTest::addColumn<int>("bulk");
    QTest::newRow("tags kept") << int(BulkMode::Never);
    QTest::newRow("tags built at the end") << int(BulkMode::Always);
}

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run tool(const QStringList &args)
{
    QProcess p;
    p.start(binPath(QStringLiteral("tallyra-import")), args);
    Run r;
    if (!p.waitForFinished(60000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace

class TestImportEngine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    // The same file with CR LF or LF line ends, imported with the tags kept or built again at
    // the end, gives the same CUST5; a second import of the file updates every customer.
    void customers_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("bulk");
        QByteArray crlf = kCustomers;
        crlf.replace("\n", "\r\n");
        QTest::newRow("LF, tags kept") << kCustomers << int(BulkMode::Never);
        QTest::newRow("CR LF, tags kept") << crlf << int(BulkMode::Never);
        QTest::newRow("LF, tags built at the end") << kCustomers << int(BulkMode::Always);
        QTest::newRow("CR LF, tags built at the end") << crlf << int(BulkMode::Always);
    }
    void customers()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, bulk);
        TempDataDir dir;
        QVERIFY(makeBusiness(dir.path()));
        const ImportResult first = importFile(dir.path(), ImportKind::Customers, bytes, BulkMode(bulk));
        QVERIFY2(first.ok, qPrintable(first.message));
        QCOMPARE(first.counts(ImportKind::Customers),
                 QStringLiteral("3 Customers Added  2 Customers Updated"));
        QCOMPARE(first.skippedCount, 1);
        QCOMPARE(first.skipped.value(0).line, 5);
        QVERIFY(first.skipped.value(0).reason.contains("3 fields"));
        QCOMPARE(first.bulk, bulk == int(BulkMode::Always));
        QVERIFY(tagsSound(dir.path(), TableId::Customers));

        const QJsonArray rows = peerRead(dir.file("CUST5.DBF"));
        QCOMPARE(rows.size(), 4);
        const QJsonObject john = byNumber(rows, 1);
        QCOMPARE(john["LAST"].toString(), "Smith");
        QCOMPARE(john["TITLE"].toString(), "Mr"); // kept
        QCOMPARE(john["ADDR1"].toString(), "1 Main St, Apt 2");
        QCOMPARE(john["ADDR2"].toString(), "Boston, MA");
        QCOMPARE(john["ADDR3"].toString(), "");
        QCOMPARE(john["PHONE"].toString(), "555-1");
        QCOMPARE(john["EMAIL"].toString(), "j@x.com");
        QCOMPARE(john["NOTE"].toString(), "VIP: new note");
        QCOMPARE(john["COMMENTS"].toString(), "likes tea");
        const QJsonObject ann = byNumber(rows, 2);
        QCOMPARE(ann["FIRST"].toString(), "Ann"); // names kept by the update from line 4
        QCOMPARE(ann["TITLE"].toString(), "Ms");
        QCOMPARE(ann["ADDR1"].toString(), ""); // line 4 has no address
        QCOMPARE(ann["ZIP"].toString(), "62701");
        QCOMPARE(ann["NOTE"].toString(), "second");
        QCOMPARE(ann["NGROUP"].toInt(), 1);
        const QJsonObject bob = byNumber(rows, 3);
        QCOMPARE(bob["LAST"].toString(), "  Smith"); // stored with its blanks, not matched to John
        const QJsonObject carl = byNumber(rows, 4);
        QCOMPARE(carl["ADDR1"].toString(), "Main");
        QCOMPARE(carl["ADDR2"].toString(), "Canada");

        // What the first import of Ann looked like, seen in a fresh business: city and state only.
        TempDataDir fresh;
        QVERIFY(makeBusiness(fresh.path()));
        QVERIFY(importFile(fresh.path(), ImportKind::Customers, "Ms,Ann,Lee,,,Springfield,IL,,62701\n",
                           BulkMode(bulk))
                    .ok);
        const QJsonObject annAlone = byNumber(peerRead(fresh.file("CUST5.DBF")), 2);
        QCOMPARE(annAlone["ADDR1"].toString(), "Springfield, IL");
        QCOMPARE(annAlone["ADDR2"].toString() + annAlone["ADDR3"].toString() + annAlone["ADDR4"].toString(),
                 "");

        const ImportResult second = importFile(dir.path(), ImportKind::Customers, bytes, BulkMode(bulk));
        QVERIFY2(second.ok, qPrintable(second.message));
        QCOMPARE(second.counts(ImportKind::Customers),
                 QStringLiteral("0 Customers Added  5 Customers Updated"));
        const QJsonArray again = peerRead(dir.file("CUST5.DBF"));
        QCOMPARE(again.size(), 4);
        QCOMPARE(byNumber(again, 1)["NOTE"].toString(), "VIP: new note: new note");
        QCOMPARE(byNumber(again, 2)["NOTE"].toString(), "second: second");
        QVERIFY(tagsSound(dir.path(), TableId::Customers));

        // Every variant writes exactly the same records.
        static QJsonArray reference;
        if (reference.isEmpty())
            reference = again;
        QCOMPARE(again, reference);
    }

    void products_data() { bulkRows(); }
    void products()
    {
        QFETCH(int, bulk);
        TempDataDir dir;
        QVERIFY(makeBusiness(dir.path()));
        const QByteArray file = "ab-1\tNew description\tSecond line\t12.50\n"
                                "  cd-2 \tWidget\t\tn/a\n"
                                "\tNo identifier\t\t3\n"
                                "CD-2\tWidget, blue\n"
                                "EF-3\tHuge\t\t123456789012\n"
                                "lonely\n";
        const ImportResult r = importFile(dir.path(), ImportKind::Products, file, BulkMode(bulk));
        QVERIFY2(r.ok, qPrintable(r.message));
        QCOMPARE(r.counts(ImportKind::Products), QStringLiteral("1 Products Added  2 Products Updated"));
        QCOMPARE(r.skippedCount, 3);
        QCOMPARE(r.skipped.value(0).line, 3);
        QCOMPARE(r.skipped.value(1).line, 5);
        QVERIFY(r.skipped.value(1).reason.contains("too large"));
        QCOMPARE(r.skipped.value(2).line, 6);
        QVERIFY(tagsSound(dir.path(), TableId::Products));

        const QJsonArray rows = peerRead(dir.file("Prod5.DBF"));
        QCOMPARE(rows.size(), 2);
        const QJsonObject ab = rows[0].toObject();
        QCOMPARE(ab["PRID"].toString(), "AB-1");
        QCOMPARE(ab["PDESC"].toString(), "New description");
        QCOMPARE(ab["ICOMM"].toString(), "Second line");
        QCOMPARE(ab["UPRICE"].toDouble(), 12.5);
        QCOMPARE(ab["RCODE"].toString(), "LIC-7");
        QCOMPARE(ab["PMEMO"].toString(), "Printed at the bottom");
        QCOMPARE(ab["LTAX1"].toBool(), true);
        QCOMPARE(ab["LINVEN"].toBool(), true);
        QCOMPARE(ab["REORDER"].toDouble(), 5.0);
        QCOMPARE(ab["ONHAND"].toDouble(), 7.0);
        const QJsonObject cd = rows[1].toObject();
        QCOMPARE(cd["PRID"].toString(), "CD-2");
        QCOMPARE(cd["PDESC"].toString(), "Widget, blue"); // the tab file keeps the comma
        QCOMPARE(cd["ICOMM"].toString(), "");             // line 4 has no third field
        QCOMPARE(cd["UPRICE"].toDouble(), 0.0);           // no number in the price column
        QCOMPARE(cd["LTAX1"].toBool(), false);
        QCOMPARE(cd["ONHAND"].toDouble(), 0.0);
    }

    // Accented names of a Windows-1252 export are stored as UTF-8 (dbfread decodes strictly).
    void windows1252()
    {
        TempDataDir dir;
        QVERIFY(makeBusiness(dir.path()));
        const ImportResult r = importFile(dir.path(), ImportKind::Customers,
                                          "Mme,Ren\xE9"
                                          "e,M\xFCller,Caf\xE9 \x93Zo\xEB\x94,,K\xF8"
                                          "benhavn,,,1050\r\n",
                                          BulkMode::Auto);
        QVERIFY2(r.ok, qPrintable(r.message));
        QCOMPARE(r.encoding, TextEncoding::Windows1252);
        const QJsonObject c = byNumber(peerRead(dir.file("CUST5.DBF")), 2);
        QCOMPARE(c["FIRST"].toString(), QStringLiteral("Renée"));
        QCOMPARE(c["LAST"].toString(), QStringLiteral("Müller"));
        QCOMPARE(c["ADDR1"].toString(), QStringLiteral("Café \u201CZoë\u201D"));
        QCOMPARE(c["ADDR2"].toString(), QStringLiteral("København"));
    }

    // Undo puts every file of the table back byte for byte, once, and only while the table is
    // as the import left it.
    void undo_data() { bulkRows(); }
    void undo()
    {
        QFETCH(int, bulk);
        TempDataDir dir;
        QVERIFY(makeBusiness(dir.path()));
        QVERIFY(undoableImport(dir.path(), ImportKind::Customers).isEmpty());
        const QStringList before = snapshot(dir.path());
        const ImportResult r =
            importFile(dir.path(), ImportKind::Customers, kCustomers, BulkMode(bulk), "../in.txt");
        QVERIFY(r.ok);
        QVERIFY(snapshot(dir.path()) != before);
        QCOMPARE(undoableImport(dir.path(), ImportKind::Customers), r.backupDir);
        QVERIFY(undoableImport(dir.path(), ImportKind::Products).isEmpty());

        db::Engine engine(dir.path());
        QString folder;
        const db::Status undone = undoLastImport(engine, ImportKind::Customers, &folder);
        QVERIFY2(undone, qPrintable(undone.toString()));
        QCOMPARE(folder, r.backupDir);
        QCOMPARE(snapshot(dir.path()), before);
        QVERIFY(tagsSound(dir.path(), TableId::Customers));
        QVERIFY(undoLastImport(engine, ImportKind::Customers).isNotFound()); // once only

        // Another change to the table after an import ends the offer.
        QVERIFY(importFile(dir.path(), ImportKind::Customers, kCustomers, BulkMode(bulk), "../in.txt").ok);
        QVERIFY(!undoableImport(dir.path(), ImportKind::Customers).isEmpty());
        {
            OpenResult c = openCustomers(engine);
            QVERIFY(c && c.table->go(2));
            QVERIFY(c.table->setText(c.table->fieldIndex("Phone"), "999"));
            QVERIFY(engine.closeAll());
        }
        QVERIFY(undoableImport(dir.path(), ImportKind::Customers).isEmpty());
        QVERIFY(undoLastImport(engine, ImportKind::Customers).isNotFound());
    }

    // Files that are not what an import expects write nothing and say why.
    void badFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("says");
        QByteArray random(256 * 1024, Qt::Uninitialized);
        QRandomGenerator gen(1616);
        for (char &c : random)
            c = char(gen.bounded(256));
        QTest::newRow("random bytes") << random << true << "is not a text file";
        QTest::newRow("a 10 MB line") << QByteArray(10 * 1024 * 1024, 'x') + "\r\n"
                                      << false << "10485760 bytes long";
        QTest::newRow("only short lines")
            << QByteArray("a,b\r\nc\r\n") << false << "it has 2 fields, the format needs 9";
        QTest::newRow("empty") << QByteArray() << false << "";
    }
    void badFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, refused);
        QFETCH(QString, says);
        TempDataDir dir;
        QVERIFY(makeBusiness(dir.path()));
        const QStringList before = snapshot(dir.path());
        const ImportResult r =
            importFile(dir.path(), ImportKind::Customers, bytes, BulkMode::Auto, "../bad.txt");
        QCOMPARE(r.ok, !refused);
        QCOMPARE(r.added + r.updated, 0);
        if (refused)
            QVERIFY2(r.message.contains(says), qPrintable(r.message));
        else if (!says.isEmpty())
            QVERIFY2(r.skipped.value(0).reason.contains(says), qPrintable(r.skipped.value(0).reason));
        QCOMPARE(snapshot(dir.path()), before);
        QVERIFY(r.backupDir.isEmpty());
        QVERIFY(!QDir(dir.file("backups")).exists());
    }

    // The preview says what the import then does, line by line, and writes nothing.
    void preview()
    {
        TempDataDir dir;
        QVERIFY(makeBusiness(dir.path()));
        const QString path = dir.file("in.txt");
        QVERIFY(writeFile(path, kCustomers));
        ImportRequest request;
        request.kind = ImportKind::Customers;
        request.format = format(dir.path(), ImportKind::Customers);
        request.file = path;
        request.group = 1;
        const QStringList before = snapshot(dir.path());
        db::Engine engine(dir.path());
        const ImportPreview p = previewImport(engine, request);
        QVERIFY2(p.ok, qPrintable(p.message));
        QCOMPARE(snapshot(dir.path()), before);
        QCOMPARE(p.rows.size(), 6);
        QCOMPARE(p.fieldColumns, 13);
        const QList<LineAction> actions{LineAction::Update, LineAction::Add,  LineAction::Add,
                                        LineAction::Update, LineAction::Skip, LineAction::Add};
        for (int i = 0; i < 6; ++i)
            QCOMPARE(p.rows[i].action, actions[i]);
        QCOMPARE(p.rows[0].what, "Update customer 1 (Smith, John)");
        QCOMPARE(p.rows[0].fields.value(3), "1 Main St, Apt 2");
        QCOMPARE(p.rows[1].what, "Add customer 2");
        QCOMPARE(p.rows[3].recNo, p.rows[1].recNo);
        QCOMPARE(p.rows[4].line, 5);
        QVERIFY(p.rows[4].what.startsWith("Skip: it has 3 fields"));

        const ImportResult r = runImport(engine, request);
        qint64 added = 0, updated = 0;
        for (const PreviewRow &row : p.rows) {
            added += row.action == LineAction::Add;
            updated += row.action == LineAction::Update;
        }
        QCOMPARE(r.added, added);
        QCOMPARE(r.updated, updated);
    }

    // The program: counts on standard output, skipped lines on standard error, exit statuses.
    void program()
    {
        TempDataDir dir;
        QVERIFY(makeBusiness(dir.path()));
        const QString file = dir.file("catalogue.tsv");
        QVERIFY(writeFile(file, "ab-1\tNew\n\tnone\nXY-9\tOther\t\t3.5\n"));
        const QString d = dir.path();
        Run r = tool({"--dir", d, "products", "--format", "Catalogue TSV", file});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.startsWith(
                     "1 Products Added  1 Products Updated\n1 line skipped\nThe table as it was before is "
                     "kept in backups/import-products-"),
                 qPrintable(r.out));
        QVERIFY(r.err.contains("line 2 skipped: it has no product identifier"));
        QCOMPARE(peerRead(dir.file("Prod5.DBF")).size(), 2);

        QCOMPARE(tool({"--dir", d, "--undo", "products"}).exitCode, 0);
        QCOMPARE(peerRead(dir.file("Prod5.DBF")).size(), 1);
        QCOMPARE(tool({"--dir", d, "--undo", "products"}).exitCode, 1);

        QCOMPARE(tool({}).exitCode, 2);
        QVERIFY(tool({"--help"}).out.contains("--format NAME"));
        QCOMPARE(tool({"--dir", d, "products", "--format", "No such", file}).exitCode, 2);
        QCOMPARE(tool({"--dir", d, "customers", "--format", "Shop CSV", file}).exitCode, 2); // no group
        QCOMPARE(tool({"--dir", d, "customers", "--format", "Shop CSV", "--group", "7", file}).exitCode, 2);
        QCOMPARE(
            tool({"--dir", d, "products", "--format", "Catalogue TSV", dir.file("missing.tsv")}).exitCode, 3);
        QCOMPARE(tool({"--dir", dir.file("nowhere"), "products", "--format", "Catalogue TSV", file}).exitCode,
                 3);
        QVERIFY(writeFile(file, QByteArray("\x00\x01\x02\xff", 4)));
        r = tool({"--dir", d, "products", "--format", "Catalogue TSV", file});
        QCOMPARE(r.exitCode, 3);
        QVERIFY(r.err.contains("not a text file"));

        QVERIFY(writeFile(file, "Mr,John,Smith,,,,,,02134\nMs,Ann,Lee,,,,,,1\n"));
        r = tool({"--dir", d, "customers", "--format", "Shop CSV", "--group", "1", file});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(
            r.out.startsWith("1 Customers Added  1 Customers Updated\nThe table as it was before is kept in "
                             "backups/import-customers-"),
            qPrintable(r.out));
    }
};

QTEST_GUILESS_MAIN(TestImportEngine)
#include "tst_import_engine.moc"
