// The eight sales, receivables and customer reports built from businesses written to disk:
//  - each report's text against a reviewed golden file (a small business with every edge case);
//  - the edge cases named line by line;
//  - every total and row of a random business against figures the test computes from the stored
//    records, in exact cents;
//  - damaged or missing tables: a clear message and untouched files.

#include "Clock.h"
#include "Conversions.h"
#include "CustomerReports.h"
#include "Maintenance.h"
#include "ReceivableReports.h"
#include "ReportFixture.h"
#include "ReportText.h"
#include "SalesReportSupport.h"
#include "SalesReports.h"
#include "TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <map>

using namespace tallyra;
using namespace reportfixture;

namespace {

enum class Kind
{
    Sales,
    Product,
    Tax,
    Department,
    Receivables,
    Income,
    Buyers,
    Profile,
};

struct Built
{
    SalesReportResult result;
    QStringList lines; // the padded text export, one entry per row
};

// Builds one report from the business in dir into `buffer`.
SalesReportResult build(Kind kind, const QString &dir, ReportBuffer &buffer, const SettingsRecord &settings,
                        const QDate &start = kStart, const QDate &end = kEnd,
                        const QString &product = "WIDGET", const QList<qint64> &customers = {1, 2, 3},
                        const QList<qint64> &groups = {}, const ProgressDisplay &none = {})
{
    db::Engine engine(dir);
    switch (kind) {
    case Kind::Sales:
        return makeSalesReport(SalesReport::SalesSummary, engine, buffer, start, end, settings, none);
    case Kind::Product:
        return makeSalesReport(SalesReport::ProductSummary, engine, buffer, start, end, settings, none);
    case Kind::Tax:
        return makeSalesReport(SalesReport::TaxSummary, engine, buffer, start, end, settings, none);
    case Kind::Department:
        return makeSalesReport(SalesReport::DepartmentSummary, engine, buffer, start, end, settings, none);
    case Kind::Receivables:
        return makeReceivables(engine, buffer, kToday, none);
    case Kind::Income:
        return makeDailyIncome(engine, buffer, start, end, none);
    case Kind::Buyers:
        return makeProductBuyers(engine, buffer, product, start, end, none);
    case Kind::Profile:
        return makeCustomerProfiles(engine, buffer, customers, groups);
    }
    return {};
}

QStringList textLines(const ReportBuffer &buffer)
{
    QStringList lines;
    for (int r = 0; r < buffer.rowCount(); ++r)
        lines << reportLine(buffer, r, TextLayout::Padded);
    return lines;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// Whole cents of a value given in ten-thousandths, rounded half away from zero.
qint64 centsOf(qint64 tenThousandths)
{
    return tenThousandths >= 0 ? (tenThousandths + 50) / 100 : -((-tenThousandths + 50) / 100);
}

// Hundredths of a stored two-decimal value.
qint64 hundredths(double v)
{
    return qRound64(v * 100);
}

// A printed amount must be a nearest cent of the exact value (either one when it lies halfway).
bool printedNear(const QString &cell, qint64 exactTenThousandths)
{
    const qint64 printed = qRound64(cell.mid(3).trimmed().toDouble() * 10000);
    return std::llabs(printed - exactTenThousandths) <= 50;
}

QString printedCents(qint64 cents, int width)
{
    return QString::asprintf("%*.2f", width, double(cents) / 100);
}

} // namespace

class TestSalesReports : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        setFixedToday(kToday);
        QVERIFY(write(m_dir.path(), sampleBusiness()));
    }

    void cleanupTestCase() { setFixedToday(QDate()); }

    // Each report built in the program and written by tallyra-report (the dialogs' answers given
    // as options) gives the reviewed golden text.
    void reportsMatchTheirGoldenFiles_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("golden");
        QTest::addColumn<QStringList>("args");
        const QStringList march = {"--from", "2024-03-01", "--to", "2024-03-31"};
        QTest::newRow("sales summary")
            << int(Kind::Sales) << "sales_summary.txt" << (QStringList{"sales-summary"} + march);
        QTest::newRow("product summary")
            << int(Kind::Product) << "product_summary.txt" << (QStringList{"product-summary"} + march);
        QTest::newRow("tax summary") << int(Kind::Tax) << "tax_summary.txt"
                                     << (QStringList{"tax-summary"} + march);
        QTest::newRow("department summary")
            << int(Kind::Department) << "sales_by_dept.txt" << (QStringList{"sales-by-dept"} + march);
        QTest::newRow("receivables") << int(Kind::Receivables) << "receivables.txt"
                                     << QStringList{"receivables"};
        QTest::newRow("daily income")
            << int(Kind::Income) << "income_summary.txt" << (QStringList{"income-summary"} + march);
        QTest::newRow("product buyers") << int(Kind::Buyers) << "product_buyers.txt"
                                        << (QStringList{"product-buyers", "--product", "widget"} + march);
        QTest::newRow("customer profile") << int(Kind::Profile) << "customer_profile.txt"
                                          << QStringList{"customer-profile", "--customers", "1,2,3"};
    }

    void reportsMatchTheirGoldenFiles()
    {
        QFETCH(int, kind);
        QFETCH(QString, golden);
        QFETCH(QStringList, args);
        ReportBuffer buffer;
        const SalesReportResult r = build(Kind(kind), m_dir.path(), buffer, sampleBusiness().settings);
        QVERIFY2(r.built(), qPrintable(r.message));
        const QByteArray text = reportExportText(buffer, TextLayout::Padded);
        const QByteArray expected = readAll(testsupport::fixturePath("report/" + golden));
        if (text != expected) {
            QFile actual(QDir::temp().filePath(golden + ".actual"));
            if (actual.open(QIODevice::WriteOnly))
                actual.write(text);
            QFAIL(qPrintable(golden + " differs; actual output in " + actual.fileName()));
        }
        // Every report closes its table with a rule and keeps its declared shape.
        QCOMPARE(buffer.flags(buffer.curRow()), QStringLiteral("U"));
        for (int row = 0; row < buffer.rowCount(); ++row)
            for (int c = 0; c < buffer.cellCount() - 1; ++c) {
                const QString cell = buffer.cell(c, row);
                if (cell.size() >= 3 && cell != QStringLiteral("EJECT"))
                    QVERIFY2(cell.mid(1, 2).trimmed().toInt() <= buffer.reportWidth(), qPrintable(cell));
            }
        int exitCode = -1;
        QString err;
        QCOMPARE(runReportTool(args, &exitCode, &err), expected);
        QCOMPARE(exitCode, 0);
    }

    // Each case: a report, the tax settings, lines that must appear (regular expressions over the
    // padded lines) and lines that must not.
    void edgeCases_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<double>("taxRate1");
        QTest::addColumn<int>("shipTax");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QStringList>("absent");
        // Two lines of 1.50 × 0.75 = 1.125: 2.25 unrounded in the sales summary, 1.13 + 1.13 by product.
        QTest::newRow("a cent apart: sales")
            << int(Kind::Sales) << 0.0 << 1 << QStringList{R"(^\s+1003\s+3/15/24\s+2\.25\s)"}
            << QStringList{};
        QTest::newRow("a cent apart: product")
            << int(Kind::Product) << 0.0 << 1 << QStringList{R"(^  BOLT\s+Hex bolt M6\s+3\.00\s+2\.26$)"}
            << QStringList{};
        QTest::newRow("departments folded")
            << int(Kind::Department) << 0.0 << 1
            << QStringList{R"(^ RETAIL\s+39\.75\s+3\.00\s+5\.00\s+0\.81\s+42\.56$)"}
            << QStringList{"retail", "Retail", R"(^ SERVICE.*\n.*SERVICE)"};
        QTest::newRow("deleted product last")
            << int(Kind::Product) << 0.0 << 1 << QStringList{R"(^  GONE\s+Unknown Product\s+2\.00\s+9\.00$)"}
            << QStringList{"Discontinued", "SPARE"};
        QTest::newRow("no ship base without rate")
            << int(Kind::Tax) << 0.0 << 1
            << QStringList{"^Sales subject to Sales Tax", "^Shipping Charged\\s+8\\.50$"}
            << QStringList{"Sales subject to Shipping"};
        QTest::newRow("ship base with rate")
            << int(Kind::Tax) << 5.0 << 1 << QStringList{R"(^Sales subject to Shipping\s+2\.25$)"}
            << QStringList{};
        // Bases of the tax line: items 27.00 + 9.75 + 10.00 + 10.00 = 56.75 after discounts.
        QTest::newRow("ship tax 3 keeps untaxed ship out")
            << int(Kind::Tax) << 0.0 << 3 << QStringList{R"(^Sales subject to Sales Tax\s+57\.75\s*$)"}
            << QStringList{};
        QTest::newRow("ship tax 2 adds all ship")
            << int(Kind::Tax) << 0.0 << 2 << QStringList{R"(^Sales subject to Sales Tax\s+65\.25\s*$)"}
            << QStringList{};
        QTest::newRow("overpaid lowers receivables; today is 0 days")
            << int(Kind::Receivables) << 0.0 << 1
            << QStringList{R"(^\s+1005\s+UNKNOWN\s+10\s+-5\.00$)", R"(^\s+1006\s+Mr Carl Diaz\s+0\s+7\.50$)",
                           R"(^ Total Receivables\s+17\.50$)"}
            << QStringList{"1000", "1002"};
        QTest::newRow("payments grouped by day") << int(Kind::Income) << 0.0 << 1
                                                 << QStringList{R"(^ 3/10/24\s+1003\s+1\.00$)",
                                                                R"(^\s+1004\s+2\.00$)",
                                                                R"(^\s+1005  CHQ 0042\s+3\.00\s+6\.00$)",
                                                                R"(^ 3/5/24\s+1001  VISA 4111\s+0\.00$)",
                                                                R"(^ 3/5/24\s+1001  VISA 4111\s+10\.00$)",
                                                                R"(^\s+1002\s+9\.81\s+19\.81$)",
                                                                R"(^ 3/31/24\s+1005  CHQ 0042\s+12\.00$)",
                                                                R"(^\s+1999\s+4\.00\s+16\.00$)",
                                                                R"(^ Total Payments\s+41\.81$)"}
                                                 << QStringList{"2/27/24", "4/3/24"};
        QTest::newRow("buyers: twice on one invoice, discounted")
            << int(Kind::Buyers) << 0.0 << 1
            << QStringList{R"(^ Ms Ann Baker\s+Retail\s+3/1/24\s+9\.00\n Ms Ann Baker\s+Retail\s+3/1/24\s+9\.00$)",
                           R"(^ Dr Eve Ng\s+UNKNOWN\s+3/20/24\s+10\.00$)",
                           R"(^ UNKNOWN\s+UNKNOWN\s+3/31/24\s+10\.00$)"}
            << QStringList{"Diaz"};
        QTest::newRow("profile: history longer than address")
            << int(Kind::Profile) << 0.0 << 1
            << QStringList{R"(^ Dr Eve Ng\s+3/15/24\s+BOLT\s+1\.50\s+0\.75\n)"
                           R"(\s+3/15/24\s+BOLT\s+1\.50\s+0\.75\n)"
                           R"( 1 Short Rd  999\s+3/20/24\s+NUT\s+1\.00\s+0\.25\n)"
                           R"( Cust#: 3  Group: \s+3/20/24\s+NUT\s+2\.00\s+0\.25\n)"
                           R"(\s+3/20/24\s+WIDGET\s+1\.00\s+10\.00\n)"
                           R"(\s+3/20/24\s+NUT\s+4\.00\s+0\.25\n)"
                           R"(\s+3/20/24\s+NUT\s+5\.00\s+0\.25$)",
                           R"(^ Portsmouth  PO1 3AB\n Cust#: 2  Group: Wholesale$)"}
            << QStringList{};
    }

    void edgeCases()
    {
        QFETCH(int, kind);
        QFETCH(double, taxRate1);
        QFETCH(int, shipTax);
        QFETCH(QStringList, present);
        QFETCH(QStringList, absent);
        SettingsRecord settings = sampleBusiness().settings;
        settings.TaxRate1 = taxRate1;
        settings.ShipTax = shipTax;
        ReportBuffer buffer;
        QVERIFY(build(Kind(kind), m_dir.path(), buffer, settings).built());
        const QString text = textLines(buffer).join(QLatin1Char('\n'));
        for (const QString &p : present)
            QVERIFY2(QRegularExpression(p, QRegularExpression::MultilineOption).match(text).hasMatch(),
                     qPrintable(p + "\nnot in:\n" + text));
        for (const QString &a : absent)
            QVERIFY2(!QRegularExpression(a, QRegularExpression::MultilineOption).match(text).hasMatch(),
                     qPrintable(a + "\nfound in:\n" + text));
    }

    void progressShowsEachReportsText_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("steps"); // records counted: invoices or payments of the span, INV6 records
        QTest::newRow("sales") << int(Kind::Sales) << "Processing Sales" << 5;
        QTest::newRow("product") << int(Kind::Product) << "Processing Sales" << 5;
        QTest::newRow("tax") << int(Kind::Tax) << "Processing Sales" << 5;
        QTest::newRow("department") << int(Kind::Department) << "Processing Sales" << 5;
        QTest::newRow("receivables") << int(Kind::Receivables) << "Processing Receivables" << 7;
        QTest::newRow("income") << int(Kind::Income) << "Processing Payments" << 8;
        QTest::newRow("buyers") << int(Kind::Buyers) << "Processing Buyers" << 5;
    }

    void progressShowsEachReportsText()
    {
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(int, steps);
        QStringList started;
        QList<int> percents;
        int ended = 0;
        const ProgressDisplay progress{[&](const QString &m) { started << m; }, [&](int p) { percents << p; },
                                       [&] { ++ended; }};
        ReportBuffer buffer;
        QVERIFY(build(Kind(kind), m_dir.path(), buffer, sampleBusiness().settings, kStart, kEnd, "WIDGET", {},
                      {}, progress)
                    .built());
        QCOMPARE(started, QStringList{text});
        QCOMPARE(ended, 1);
        // (done × 100 + 100) / count after each record, shown when it changes.
        QList<int> expected;
        for (int done = 0; done < steps; ++done)
            if (expected.isEmpty() || expected.last() != (done * 100 + 100) / steps)
                expected << (done * 100 + 100) / steps;
        QCOMPARE(percents, expected);
    }

    void spansWithoutRecordsGiveTheirNotice_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QDate>("start");
        QTest::addColumn<QDate>("end");
        QTest::addColumn<QString>("message");
        const QString invoices = "No Invoices within selected dates.";
        QTest::newRow("sales") << int(Kind::Sales) << QDate(2023, 1, 1) << QDate(2023, 12, 31) << invoices;
        QTest::newRow("department") << int(Kind::Department) << QDate(2024, 5, 1) << QDate(2024, 5, 1)
                                    << invoices;
        QTest::newRow("buyers") << int(Kind::Buyers) << QDate(2024, 4, 11) << QDate(2024, 4, 30) << invoices;
        QTest::newRow("income") << int(Kind::Income) << QDate(2024, 3, 6) << QDate(2024, 3, 9)
                                << "No Payments within selected dates.";
    }

    void spansWithoutRecordsGiveTheirNotice()
    {
        QFETCH(int, kind);
        QFETCH(QDate, start);
        QFETCH(QDate, end);
        QFETCH(QString, message);
        ReportBuffer buffer;
        const SalesReportResult r =
            build(Kind(kind), m_dir.path(), buffer, sampleBusiness().settings, start, end);
        QCOMPARE(int(r.outcome), int(SalesReportResult::Outcome::Nothing));
        QCOMPARE(r.message, message);
        QCOMPARE(buffer.rowCount(), 0);
    }

    // tallyra-report runs the current month without dates and says by its exit status and a
    // message when there is nothing to write or an option is missing.
    void commandLineGivesNoticesAndDefaults_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("expected"); // text in the standard output (exit 0) or error
        QTest::newRow("current month by default")
            << QStringList{"sales-summary"} << 0 << "Sales Summary for 4/1/24 through 4/30/24";
        QTest::newRow("no invoices") << QStringList{"tax-summary", "--from", "2023-01-01", "--to",
                                                    "2023-12-31"}
                                     << 1 << "No Invoices within selected dates.";
        QTest::newRow("no payments") << QStringList{"income-summary", "--from", "2024-03-06", "--to",
                                                    "2024-03-09"}
                                     << 1 << "No Payments within selected dates.";
        QTest::newRow("buyers without product") << QStringList{"product-buyers"} << 2 << "needs --product";
        QTest::newRow("profile without choice")
            << QStringList{"customer-profile"} << 2 << "--customers or --groups";
        QTest::newRow("profile of unknown")
            << QStringList{"customer-profile", "--customers", "77"} << 1 << "No such customers: 77";
    }

    void commandLineGivesNoticesAndDefaults()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, expected);
        int code = -1;
        QString err;
        const QByteArray out = runReportTool(args, &code, &err);
        QCOMPARE(code, exitCode);
        if (exitCode == 0)
            QVERIFY2(out.contains(expected.toUtf8()) && out.contains("   1006   4/10/24"), out.constData());
        else
            QVERIFY2(err.contains(expected) && out.isEmpty(), qPrintable(err));
    }

    // A random business of a quarter year; every figure of every report is compared with what
    // the test computes from the records read back from disk, in exact cents.
    void figuresMatchTheStoredRecords_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("sales summary") << int(Kind::Sales);
        QTest::newRow("product summary") << int(Kind::Product);
        QTest::newRow("tax summary") << int(Kind::Tax);
        QTest::newRow("department summary") << int(Kind::Department);
        QTest::newRow("receivables") << int(Kind::Receivables);
        QTest::newRow("daily income") << int(Kind::Income);
        QTest::newRow("product buyers") << int(Kind::Buyers);
        QTest::newRow("customer profile") << int(Kind::Profile);
    }

    void figuresMatchTheStoredRecords()
    {
        QFETCH(int, kind);
        if (!m_random) {
            m_random = std::make_unique<testsupport::TempDataDir>();
            QVERIFY(write(m_random->path(), randomBusiness()));
        }
        const QString dir = m_random->path();
        const QDate start(2024, 2, 10), end(2024, 3, 20);
        SettingsRecord settings = defaultSettings();
        settings.TaxRate1 = 5;
        settings.ShipTax = 3;
        const auto invoices = stored<InvoiceRecord>(dir, openInvoices, loadInvoice);
        const auto items = stored<ItemRecord>(dir, openItems, loadItem);
        const auto payments = stored<PaymentRecord>(dir, openPayments, loadPayment);
        const auto products = stored<ProductRecord>(dir, openProducts, loadProduct);
        const auto customers = stored<CustomerRecord>(dir, openCustomers, loadCustomer);
        const auto groups = stored<GroupRecord>(dir, openGroups, loadGroup);
        QVERIFY(invoices.size() > 300 && items.size() > 1000);

        // The invoices of the span in date order (record order within a day).
        QList<InvoiceRecord> span;
        for (const InvoiceRecord &i : invoices)
            if (i.IDate >= start && i.IDate <= end)
                span.append(i);
        std::stable_sort(span.begin(), span.end(),
                         [](const InvoiceRecord &a, const InvoiceRecord &b) { return a.IDate < b.IDate; });
        QMultiMap<qint64, ItemRecord> itemsOf; // by invoice, record order kept per key
        for (const ItemRecord &it : items)
            itemsOf.insert(itemsOf.upperBound(it.IvNo), it.IvNo, it);
        const auto lineOf = [](const ItemRecord &it) { return hundredths(it.Qty) * hundredths(it.UPR); };
        const auto discountCents = [](qint64 gross, double percent) {
            // gross (1e-4) × percent (1e-2) / 100 is the discount in 1e-8: cents half away from zero
            const qint64 v = gross * hundredths(percent);
            return v >= 0 ? (v + 500000) / 1000000 : -((-v + 500000) / 1000000);
        };

        ReportBuffer buffer;
        const SalesReportResult r = build(Kind(kind), dir, buffer, settings, start, end, "P007", {}, {2, 4});
        QVERIFY2(r.built(), qPrintable(r.message));
        const auto rowsOf = [&](int cell, const QString &prefix) {
            return rowsStartingWith(buffer, cell, prefix);
        };

        switch (Kind(kind)) {
        case Kind::Sales:
        case Kind::Department: {
            // Per invoice (sales) or per department (department summary), and the totals.
            struct Sums
            {
                qint64 items = 0, discount = 0, ship = 0, tax = 0; // 1e-4, cents, cents, cents
            };
            std::vector<std::pair<QString, Sums>> groupsSeen;
            Sums total;
            for (const InvoiceRecord &inv : span) {
                Sums s;
                for (const ItemRecord &it : itemsOf.values(inv.IvNo))
                    s.items += lineOf(it);
                s.discount = discountCents(s.items, inv.Discount);
                s.ship = hundredths(inv.Ship);
                s.tax = hundredths(inv.Tax);
                const QString key =
                    Kind(kind) == Kind::Sales ? QString::number(inv.IvNo) : inv.Dept.toUpper().trimmed();
                auto found = std::find_if(groupsSeen.begin(), groupsSeen.end(),
                                          [&](const auto &g) { return g.first == key; });
                if (found == groupsSeen.end())
                    groupsSeen.push_back({key, s});
                else {
                    found->second.items += s.items;
                    found->second.discount += s.discount;
                    found->second.ship += s.ship;
                    found->second.tax += s.tax;
                }
                total.items += s.items;
                total.discount += s.discount;
                total.ship += s.ship;
                total.tax += s.tax;
            }
            const bool sales = Kind(kind) == Kind::Sales;
            const int keyCell = sales ? 1 : 1;
            const int first = sales ? 5 : 3;
            const QList<int> rows = rowsOf(first, sales ? "R28" : "R22");
            // Data rows: all but the heading copies and the totals row.
            QList<int> data;
            for (int row : rows)
                if (!buffer.cell(first, row).contains("Items") &&
                    buffer.cell(keyCell, row) != (sales ? QString() : QStringLiteral("L01Totals")) &&
                    !(sales && buffer.cell(3, row) == QStringLiteral("R17Totals")))
                    data.append(row);
            QCOMPARE(data.size(), int(groupsSeen.size()));
            QVERIFY(groupsSeen.size() > (sales ? 100u : 3u));
            const auto check = [&](int row, const Sums &s) {
                QVERIFY2(printedNear(buffer.cell(first, row), s.items), qPrintable(buffer.cell(first, row)));
                QCOMPARE(buffer.cell(first + 2, row).mid(3), printedCents(s.discount, 10));
                QCOMPARE(buffer.cell(first + 4, row).mid(3), printedCents(s.ship, 10));
                QCOMPARE(buffer.cell(first + 6, row).mid(3), printedCents(s.tax, 10));
                QVERIFY(
                    printedNear(buffer.cell(first + 8, row), s.items + 100 * (s.ship + s.tax - s.discount)));
            };
            for (int i = 0; i < data.size(); ++i) {
                QCOMPARE(buffer.cell(keyCell, data[i]).mid(3).trimmed(), groupsSeen[std::size_t(i)].first);
                check(data[i], groupsSeen[std::size_t(i)].second);
            }
            const int totalsRow = buffer.curRow();
            QCOMPARE(buffer.cell(sales ? 3 : 1, totalsRow),
                     sales ? QString("R17Totals") : QString("L01Totals"));
            check(totalsRow, total);
            break;
        }
        case Kind::Product: {
            std::map<QString, std::pair<qint64, qint64>> sold; // id → quantity, value in cents
            QStringList order;
            for (const InvoiceRecord &inv : span)
                for (const ItemRecord &it : itemsOf.values(inv.IvNo)) {
                    const qint64 gross = lineOf(it);
                    if (!sold.count(it.PrID))
                        order << it.PrID;
                    sold[it.PrID].first += hundredths(it.Qty);
                    sold[it.PrID].second += centsOf(gross) - discountCents(gross, inv.Discount);
                }
            QStringList expected; // catalogue order (upper-case identifier), then unknown ones
            QStringList catalogue;
            for (const ProductRecord &p : products)
                catalogue << p.PrID;
            std::sort(catalogue.begin(), catalogue.end(),
                      [](const QString &a, const QString &b) { return keyUpper(a) < keyUpper(b); });
            for (const QString &id : catalogue)
                if (sold.count(id))
                    expected << id;
            for (const QString &id : order)
                if (!catalogue.contains(id))
                    expected << id;
            QCOMPARE(expected.size(), int(sold.size()));
            QVERIFY(std::count_if(order.cbegin(), order.cend(),
                                  [&](const QString &id) { return !catalogue.contains(id); }) >= 4);
            const QList<int> rows = rowsOf(5, "R49");
            QStringList printed;
            qint64 total = 0;
            for (int row : rows) {
                if (buffer.cell(5, row) == QStringLiteral("R49Qty."))
                    continue;
                const QString id = buffer.cell(1, row).mid(3);
                printed << id;
                QCOMPARE(buffer.cell(5, row).mid(3), printedCents(sold[id].first, 10));
                QCOMPARE(buffer.cell(7, row).mid(3), printedCents(sold[id].second, 10));
                if (!catalogue.contains(id))
                    QCOMPARE(buffer.cell(3, row), QStringLiteral("L15Unknown Product"));
                total += sold[id].second;
            }
            QCOMPARE(printed, expected);
            QCOMPARE(buffer.cell(7, buffer.curRow()), "R63" + printedCents(total, 10));
            break;
        }
        case Kind::Tax: {
            qint64 net = 0, base1 = 0, base2 = 0, ship = 0, tax = 0; // 1e-4, 1e-4, 1e-4, cents, cents
            for (const InvoiceRecord &inv : span) {
                for (const ItemRecord &it : itemsOf.values(inv.IvNo)) {
                    const qint64 n = lineOf(it) - 100 * discountCents(lineOf(it), inv.Discount);
                    net += n;
                    base1 += it.LTax1 ? n : 0;
                    base2 += it.LTax2 ? n : 0;
                }
                if (inv.Tax > 0)
                    base2 += 100 * hundredths(inv.Ship);
                ship += hundredths(inv.Ship);
                tax += hundredths(inv.Tax);
            }
            const QStringList lines = textLines(buffer);
            const auto amountAfter = [&](const QString &label) {
                for (const QString &l : lines)
                    if (l.startsWith(label))
                        return "   " + l.mid(label.size());
                return QString();
            };
            QVERIFY(printedNear(amountAfter("Net Item Sales"), net));
            QVERIFY(printedNear(amountAfter("Sales subject to Shipping"), base1));
            QVERIFY(printedNear(amountAfter("Sales subject to Sales Tax"), base2));
            QCOMPARE(amountAfter("Shipping Charged").trimmed(), printedCents(ship, 1));
            QCOMPARE(amountAfter("Sales Tax Charged").trimmed(), printedCents(tax, 1));
            QVERIFY(printedNear(amountAfter("Total"), net + 100 * (ship + tax)));
            break;
        }
        case Kind::Receivables: {
            QList<InvoiceRecord> due;
            for (const InvoiceRecord &i : invoices)
                if (hundredths(i.Due) != 0)
                    due.append(i);
            std::sort(due.begin(), due.end(), [](const auto &a, const auto &b) { return a.IvNo < b.IvNo; });
            QList<int> rows = rowsOf(7, "R69");
            rows.erase(
                std::remove_if(rows.begin(), rows.end(),
                               [&](int r) { return buffer.cell(7, r) == QStringLiteral("R69Amount"); }),
                rows.end());
            QCOMPARE(rows.size(), due.size() + 1);
            qint64 total = 0;
            for (int i = 0; i < due.size(); ++i) {
                QCOMPARE(buffer.cell(1, rows[i]), "R07" + QString::number(due[i].IvNo));
                QCOMPARE(buffer.cell(5, rows[i]), "R55" + QString::number(due[i].IDate.daysTo(kToday)));
                QCOMPARE(buffer.cell(7, rows[i]), "R69" + printedCents(hundredths(due[i].Due), 10));
                total += hundredths(due[i].Due);
            }
            QCOMPARE(buffer.cell(7, rows.last()), "R69" + printedCents(total, 10));
            break;
        }
        case Kind::Income: {
            std::map<QDate, qint64> days;
            qint64 total = 0;
            int count = 0;
            for (const PaymentRecord &p : payments)
                if (p.PDate >= start && p.PDate <= end) {
                    days[p.PDate] += hundredths(p.PAmt);
                    total += hundredths(p.PAmt);
                    ++count;
                }
            QCOMPARE(rowsOf(7, "R58").size() - buffer.pageNo(), count); // a heading row per page
            QList<int> dayRows = rowsOf(9, "R71");
            dayRows.erase(
                std::remove_if(dayRows.begin(), dayRows.end(),
                               [&](int r) { return buffer.cell(9, r) == QStringLiteral("R71Daily Total"); }),
                dayRows.end());
            QCOMPARE(dayRows.size(), int(days.size()) + 1);
            auto it = days.begin();
            for (int i = 0; i < int(days.size()); ++i, ++it) {
                QCOMPARE(buffer.cell(9, dayRows[i]), "R71" + printedCents(it->second, 12));
                QCOMPARE(buffer.flags(dayRows[i]), QStringLiteral("U"));
            }
            QCOMPARE(buffer.cell(9, dayRows.last()), "R71" + printedCents(total, 12));
            break;
        }
        case Kind::Buyers: {
            QStringList expected;
            QHash<qint64, CustomerRecord> byNumber;
            for (const CustomerRecord &c : customers)
                byNumber.insert(c.CuNo, c);
            for (const InvoiceRecord &inv : span)
                for (const ItemRecord &it : itemsOf.values(inv.IvNo))
                    if (it.PrID == QStringLiteral("P007")) {
                        const qint64 price = hundredths(it.UPR) * 100;
                        const qint64 paid = price - 100 * discountCents(price, inv.Discount);
                        const QString name =
                            byNumber.contains(inv.CuNo)
                                ? customerName(byNumber[inv.CuNo].Title, byNumber[inv.CuNo].First,
                                               byNumber[inv.CuNo].Last)
                                : QStringLiteral("UNKNOWN");
                        expected << name + "|" + formatShortDate(inv.IDate) + "|" +
                                        printedCents(paid / 100, 8);
                    }
            QStringList printed;
            for (int row : rowsOf(7, "R76"))
                if (buffer.cell(7, row) != QStringLiteral("R76Unit Price"))
                    printed << buffer.cell(1, row).mid(3) + "|" + buffer.cell(5, row).mid(3) + "|" +
                                   buffer.cell(7, row).mid(3);
            QVERIFY(expected.size() > 10);
            QCOMPARE(printed, expected);
            break;
        }
        case Kind::Profile: {
            // Customers of groups 2 and 4 in name order, each with every item of every invoice.
            QList<CustomerRecord> chosen;
            for (const CustomerRecord &c : customers)
                if (c.NGroup == 2 || c.NGroup == 4)
                    chosen.append(c);
            std::stable_sort(chosen.begin(), chosen.end(), [](const auto &a, const auto &b) {
                return keyUpper(a.Last + a.First) < keyUpper(b.Last + b.First);
            });
            QStringList expected, printed;
            for (const CustomerRecord &c : chosen) {
                expected << "Cust#: " + QString::number(c.CuNo);
                for (const InvoiceRecord &inv : invoices)
                    if (inv.CuNo == c.CuNo)
                        for (const ItemRecord &it : itemsOf.values(inv.IvNo))
                            expected << formatShortDate(inv.IDate) + " " + it.PrID + " " +
                                            printedCents(hundredths(it.Qty), 8).trimmed();
            }
            for (int row = 0; row < buffer.rowCount(); ++row) {
                if (buffer.cell(1, row).startsWith("L01Cust#: "))
                    printed << buffer.cell(1, row).mid(3).section("  ", 0, 0);
                if (buffer.cell(3, row).size() > 3 && buffer.cell(3, row) != QStringLiteral("R43Date"))
                    printed << buffer.cell(3, row).mid(3) + " " + buffer.cell(5, row).mid(3) + " " +
                                   buffer.cell(7, row).mid(3).trimmed();
            }
            // The Cust# line comes after the first history lines; compare as per-customer sets.
            QCOMPARE(printed.size(), expected.size());
            QStringList a = printed, b = expected;
            std::sort(a.begin(), a.end());
            std::sort(b.begin(), b.end());
            QCOMPARE(a, b);
            QVERIFY(chosen.size() >= 5);
            break;
        }
        }
    }

    // The reports format and round with their own fast helpers; they must give exactly what the
    // library's "%w.2f" and roundToCents give, over every family of values that reach them.
    void amountsFormatAndRoundAsTheLibraryDoes_data()
    {
        QTest::addColumn<QList<double>>("values");
        QRandomGenerator rng(7);
        QList<double> products, sums, ties, tiny, large;
        for (int i = 0; i < 200000; ++i) {
            const double q = (int(rng.bounded(200000)) - 1000) / 100.0, p = rng.bounded(10000000) / 100.0;
            products << q * p << q * p * (rng.bounded(10000) / 100.0) / 100;
            sums << products.last() + products[products.size() - 2] + 0.1;
        }
        for (int k = -4000; k <= 4000; ++k) {
            ties << (k + 0.5) / 100 << k / 8.0 << k * 0.005 << k * 0.015 << (k + 0.5) / 100 + 1e-12;
            tiny << k * 1e-17 << k * 1e-5;
        }
        large << 99999999.995 << -99999999.995 << 1e13 + 0.125 << 999999999999.99 << 0.0 << -0.0;
        QTest::newRow("line values and discounts") << products;
        QTest::newRow("sums") << sums;
        QTest::newRow("halves and near halves") << ties;
        QTest::newRow("tiny, signed zero") << tiny;
        QTest::newRow("large") << large;
    }

    void amountsFormatAndRoundAsTheLibraryDoes()
    {
        QFETCH(QList<double>, values);
        int checked = 0;
        for (double v : values) {
            for (int width : {8, 10, 12}) {
                const QString ours = amountCell(QStringLiteral("R63"), v, width);
                const QString library = QStringLiteral("R63") + QString::asprintf("%*.2f", width, v);
                if (ours != library)
                    QFAIL(qPrintable(QString::asprintf("%.17g: ", v) + ours + " != " + library));
            }
            const double a = roundCents(v), b = roundToCents(v);
            if (a != b || std::signbit(a) != std::signbit(b))
                QFAIL(
                    qPrintable(QString::asprintf("roundCents(%.17g) = %.17g, roundToCents %.17g", v, a, b)));
            ++checked;
        }
        QCOMPARE(checked, values.size());
    }

    // Damaged or missing tables: the report says which file, and no data file changes.
    void damagedTablesAreReportedAndLeftAlone_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("cut"); // bytes cut from the end; 0: the file is removed
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("items missing") << "ITM5.DBF" << 0 << int(Kind::Sales)
                                       << "Unable to open file ITM5.DBF\nProgram will now terminate.";
        QTest::newRow("payments cut") << "PMT.DBF" << 7 << int(Kind::Income) << "PMT.DBF";
        QTest::newRow("invoices cut") << "INV6.DBF" << 30 << int(Kind::Receivables) << "INV6.DBF";
        QTest::newRow("customer index missing") << "ccno.ntx" << 0 << int(Kind::Profile) << "AccTag.Ntx";
    }

    void damagedTablesAreReportedAndLeftAlone()
    {
        QFETCH(QString, file);
        QFETCH(int, cut);
        QFETCH(int, kind);
        QFETCH(QString, message);
        testsupport::TempDataDir dir;
        QVERIFY(write(dir.path(), sampleBusiness()));
        QString path;
        for (const QString &name : QDir(dir.path()).entryList(QDir::Files))
            if (name.compare(file, Qt::CaseInsensitive) == 0)
                path = dir.file(name);
        QVERIFY(!path.isEmpty());
        if (cut == 0) {
            QVERIFY(QFile::remove(path));
        } else {
            QFile f(path);
            QVERIFY(f.resize(f.size() - cut));
        }
        const auto snapshot = [&] {
            QStringList sums;
            for (const QString &name : QDir(dir.path()).entryList(QDir::Files, QDir::Name))
                sums << name + QCryptographicHash::hash(readAll(dir.file(name)), QCryptographicHash::Sha1)
                                   .toHex();
            return sums;
        };
        const QStringList before = snapshot();
        ReportBuffer buffer;
        const SalesReportResult r = build(Kind(kind), dir.path(), buffer, sampleBusiness().settings);
        QVERIFY2(!r.built() && r.outcome != SalesReportResult::Outcome::Nothing, qPrintable(r.message));
        QVERIFY2(r.message.contains(message, Qt::CaseInsensitive), qPrintable(r.message));
        QCOMPARE(snapshot(), before);
    }

private:
    // Runs tallyra-report on the sample business with today fixed and the golden files' locale;
    // gives its standard output.
    QByteArray runReportTool(const QStringList &args, int *exitCode, QString *err) const
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LANG", "en_US.UTF-8"); // the short dates of the golden files
        env.insert("LC_ALL", "en_US.UTF-8");
        p.setProcessEnvironment(env);
        p.start(testsupport::binPath("tallyra-report"),
                QStringList{"--dir", m_dir.path(), "--today", kToday.toString(Qt::ISODate)} + args);
        if (!p.waitForFinished(60000))
            return "<tallyra-report did not finish>";
        *exitCode = p.exitCode();
        *err = QString::fromUtf8(p.readAllStandardError());
        return p.readAllStandardOutput();
    }

    // 40 customers in 5 groups (group 5 has no record), 60 products of which some are deleted
    // and some never stored, 420 invoices over Jan-Apr 2024 with 1 to 8 items, discounts,
    // departments in varied case and blanks, charges, dues and credits, and payments.
    static Business randomBusiness()
    {
        QRandomGenerator rng(20240310);
        Business b;
        b.groups = {{1, "North"}, {2, "South"}, {3, "East"}, {4, "West"}};
        const QStringList last = {"Young", "Baker", "adams", "Zeller", "Müller", "Ng", "O'Brien", "Diaz"};
        for (int c = 1; c <= 40; ++c)
            b.customers << customer(c, c % 3 ? "Ms" : "", QStringLiteral("First%1").arg(c),
                                    last[c % last.size()], 1 + c % 5,
                                    {QStringLiteral("Company %1").arg(c), "Street"}, "12345");
        for (int p = 1; p <= 60; ++p)
            if (p % 11 != 0) // every eleventh was never in the catalogue
                b.products << product(QStringLiteral("P%1").arg(p, 3, 10, QLatin1Char('0')),
                                      QStringLiteral("Product %1").arg(p), p * 0.37);
        b.deletedProducts = {"P013", "P027"};
        const QStringList depts = {"", "Retail", "retail", " RETAIL ", "Trade", "trade  ", "Web"};
        for (int i = 0; i < 420; ++i) {
            const qint64 number = 5000 + i;
            const QDate date = QDate(2024, 1, 1).addDays(rng.bounded(120));
            const double discount = rng.bounded(4) == 0 ? rng.bounded(2500) / 100.0 : 0;
            const double ship = rng.bounded(3) == 0 ? rng.bounded(2000) / 100.0 : 0;
            const double tax = rng.bounded(2) == 0 ? rng.bounded(3000) / 100.0 : 0;
            const double due = rng.bounded(3) == 0 ? (rng.bounded(20000) - 4000) / 100.0 : 0;
            b.invoices << invoice(number, 1 + rng.bounded(44), date, depts[rng.bounded(depts.size())],
                                  discount, ship, tax, due, QStringLiteral("note %1").arg(i));
            const int n = 1 + rng.bounded(8);
            for (int k = 0; k < n; ++k)
                b.items << item(number,
                                QStringLiteral("P%1").arg(1 + rng.bounded(60), 3, 10, QLatin1Char('0')),
                                (1 + rng.bounded(1200)) / 100.0, rng.bounded(100000) / 100.0, rng.bounded(2),
                                rng.bounded(2));
            if (rng.bounded(2))
                b.payments << payment(number, date.addDays(rng.bounded(20)), rng.bounded(50000) / 100.0);
        }
        return b;
    }

    testsupport::TempDataDir m_dir;
    std::unique_ptr<testsupport::TempDataDir> m_random;
};

QTEST_MAIN(TestSalesReports)
#include "tst_sales_reports.moc"
