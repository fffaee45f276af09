// tallyra-report run as a user runs it: on real businesses made by the library, its output read
// back as text, tab-delimited text and PDF (poppler's tools), its failures by exit status and
// message.

#include "Conversions.h"
#include "NewBusiness.h"
#include "Records.h"
#include "Tables.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

using namespace tallyra;
using testsupport::TempDataDir;

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QString err;
};

Run runTool(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program.startsWith(QLatin1Char('/')) ? program : testsupport::binPath(program), args);
    Run r;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

Run report(const QStringList &args)
{
    return runTool(QStringLiteral("tallyra-report"), args);
}

// The demo catalogue as stored: identifier and unit price as the listing prints them.
QList<QPair<QString, QString>> storedProducts(const QString &dir)
{
    QList<QPair<QString, QString>> list;
    db::Engine engine(dir);
    const OpenResult prod = openProducts(engine);
    if (!prod)
        return list;
    ProductRecord p;
    for (bool more = prod.table->top(); more; more = prod.table->skip(1)) {
        if (!prod.table->isDeleted() && loadProduct(*prod.table, p).isOk())
            list.append({p.PrID.trimmed(), QString::asprintf("%.2f", p.UPrice)});
    }
    engine.closeAll();
    return list;
}

} // namespace

class TstReportCli : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void usageAndDataFailures_data();
    void usageAndDataFailures();
    void productListingInEveryFormat();
    void failedOutputKeepsTheOldFile();
    void labelsOfChosenCustomersInTheirOrder();
};

void TstReportCli::usageAndDataFailures_data()
{
    QTest::addColumn<QString>("business"); // "none", "empty" or "demo"
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    QTest::newRow("no report") << "demo" << QStringList{} << 2 << "no report named";
    QTest::newRow("unknown option") << "demo" << QStringList{"product-listing", "--frm", "2026-01-01"} << 2
                                    << "unknown option --frm";
    QTest::newRow("bad date") << "demo" << QStringList{"product-listing", "--today", "8/12/2026"} << 2
                              << "not a date";
    QTest::newRow("span half given") << "demo" << QStringList{"product-listing", "--from", "2026-01-01"} << 2
                                     << "--from and --to go together";
    QTest::newRow("span reversed") << "demo"
                                   << QStringList{"product-listing", "--from", "2026-02-01", "--to",
                                                  "2026-01-01"}
                                   << 2 << "--from is after --to";
    QTest::newRow("pdf to stdout") << "demo" << QStringList{"product-listing", "--format", "pdf"} << 2
                                   << "needs --output";
    QTest::newRow("bad list") << "demo" << QStringList{"product-listing", "--customers", "12,x"} << 2
                              << "not a list of numbers";
    QTest::newRow("unknown report") << "demo" << QStringList{"sales-of-the-moon"} << 2 << "unknown report";
    QTest::newRow("no data files") << "none" << QStringList{"product-listing"} << 3
                                   << "Unable to find data file TLR2.dbf";
    QTest::newRow("nothing to list") << "empty" << QStringList{"product-listing"} << 1 << "No Products.";
    const QString stock = QStringLiteral("Letter 3 x 10, 1 x 2-5/8 in");
    QTest::newRow("labels without stock")
        << "demo" << QStringList{"labels", "--kind", "2", "--output", "l.pdf"} << 2 << "--stock NAME";
    QTest::newRow("labels, unknown stock")
        << "demo" << QStringList{"labels", "--stock", "Nope", "--kind", "2", "--output", "l.pdf"} << 3
        << "No label stock named Nope";
    QTest::newRow("labels, no batch file")
        << "demo" << QStringList{"labels", "--stock", stock, "--kind", "6", "--output", "l.pdf"} << 3
        << "Unable to save to: BatchLab.dat";
    QTest::newRow("labels, nobody in the span")
        << "demo" << QStringList{"labels",     "--stock", stock,        "--kind",   "2",    "--from",
                                 "1990-01-01", "--to",    "1990-12-31", "--output", "l.pdf"}
        << 1 << "No labels to print.";
}

void TstReportCli::usageAndDataFailures()
{
    QFETCH(QString, business);
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);

    TempDataDir dir;
    if (business != QLatin1String("none"))
        QVERIFY(createBusiness(dir.path(), business == QLatin1String("demo")).ok());
    const Run r = report(QStringList{"--dir", dir.path()} + args);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY(r.out.isEmpty());
}

void TstReportCli::productListingInEveryFormat()
{
    TempDataDir dir;
    QVERIFY(createBusiness(dir.path(), true).ok());
    const QList<QPair<QString, QString>> products = storedProducts(dir.path());
    QVERIFY(products.size() >= 3);

    const Run text = report({"--dir", dir.path(), "product-listing"});
    QCOMPARE(text.exitCode, 0);
    const QStringList lines = QString::fromUtf8(text.out).split(QStringLiteral("\r\n"));
    QVERIFY(lines.join('\n').contains(QStringLiteral("Product Listing")));
    for (const auto &[id, price] : products) {
        // The identifier at column 0 and the price ending at column 51, on one line.
        bool found = false;
        for (const QString &line : lines)
            found = found || (line.startsWith(id + QLatin1Char(' ')) && line.left(51).endsWith(price));
        QVERIFY2(found, qPrintable(id + QStringLiteral(" ") + price));
    }

    const Run tsv = report({"--dir", dir.path(), "product-listing", "--format", "tsv"});
    QCOMPARE(tsv.exitCode, 0);
    const QString tsvText = QString::fromUtf8(tsv.out);
    for (const auto &[id, price] : products)
        QVERIFY2(
            tsvText.contains(QRegularExpression(QStringLiteral("(^|\\n)") + QRegularExpression::escape(id) +
                                                QStringLiteral("\\t[^\\r\\n]*\\t *") +
                                                QRegularExpression::escape(price) + QStringLiteral("\\t"))),
            qPrintable(id));

    const QString pdf = dir.file(QStringLiteral("listing.pdf"));
    const Run printed = report({"--dir", dir.path(), "product-listing", "--format", "pdf", "--output", pdf});
    QCOMPARE(printed.exitCode, 0);
    QVERIFY(printed.out.isEmpty());
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    const Run back = runTool(pdftotext, {"-layout", pdf, "-"});
    QCOMPARE(back.exitCode, 0);
    const QString pageText = QString::fromUtf8(back.out);
    QVERIFY(pageText.contains(QStringLiteral("Product Listing")));
    for (const auto &[id, price] : products)
        QVERIFY2(pageText.contains(id) && pageText.contains(price), qPrintable(id));

    // Nothing of the run is left in the business: no table written, no file added.
    QVERIFY(!QDir(dir.path()).entryList(QDir::Files).contains(QStringLiteral("listing.pdf.tmp")));
}

void TstReportCli::failedOutputKeepsTheOldFile()
{
    TempDataDir dir;
    QVERIFY(createBusiness(dir.path(), true).ok());
    const Run missingFolder = report({"--dir", dir.path(), "product-listing", "--output",
                                      dir.file(QStringLiteral("no/such/listing.txt"))});
    QCOMPARE(missingFolder.exitCode, 3);
    QVERIFY2(missingFolder.err.contains(QStringLiteral("Unable to write")), qPrintable(missingFolder.err));

    // A read-only folder: the earlier export stays as it was.
    const QString folder = dir.file(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(folder));
    const QString target = folder + QStringLiteral("/listing.txt");
    {
        QFile f(target);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("earlier export\n");
    }
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    if (QFileInfo(folder).isWritable())
        QSKIP("running with rights that ignore folder permissions");
    const Run readOnly = report({"--dir", dir.path(), "product-listing", "--output", target});
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(readOnly.exitCode, 3);
    QFile f(target);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("earlier export\n"));
}

void TstReportCli::labelsOfChosenCustomersInTheirOrder()
{
    TempDataDir dir;
    QVERIFY(createBusiness(dir.path(), true).ok());
    QStringList lastNames;
    {
        db::Engine engine(dir.path());
        const OpenResult cust = openCustomers(engine);
        QVERIFY(cust);
        cust.table->selectTag(QStringLiteral("CCNO"));
        for (qint64 number : {3, 1}) {
            QCOMPARE(cust.table->seek(customerNumberKey(number)), db::SeekResult::Found);
            CustomerRecord c;
            QVERIFY(loadCustomer(*cust.table, c).isOk());
            lastNames << c.Last.trimmed();
        }
        engine.closeAll();
    }
    const QString pdf = dir.file(QStringLiteral("labels.pdf"));
    const Run r = report({"--dir", dir.path(), "labels", "--stock", "Letter 3 x 10, 1 x 2-5/8 in", "--kind",
                          "1", "--customers", "3,1", "--start-column", "2", "--output", pdf});
    QCOMPARE(r.exitCode, 0);
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    const Run back = runTool(pdftotext, {"-layout", pdf, "-"});
    const QString text = QString::fromUtf8(back.out);
    // Both on the first row (from its second label, which the sheet tests place): customer 3, then 1.
    const QString firstLine = text.split(QLatin1Char('\n')).value(0);
    QVERIFY2(firstLine.indexOf(lastNames[0]) >= 0 &&
                 firstLine.indexOf(lastNames[1]) > firstLine.indexOf(lastNames[0]),
             qPrintable(firstLine));
    QVERIFY(!QFileInfo::exists(pdf + QStringLiteral(".tmp")));
}

QTEST_GUILESS_MAIN(TstReportCli)
#include "tst_report_cli.moc"
