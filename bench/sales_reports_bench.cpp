// The sales reports at size, beside SQLite computing the same figures: a business of 10,000
// customers, 100,000 invoices over one year with about 1,000,000 line items and 80,000 payments.
// Each of the four sales summaries, the receivables and the income summary is run for the full
// year; then the customer profile of a group of 1,000 customers. Ours opens the tables and builds
// the whole report into the buffer; SQLite only computes the figures from indexed tables holding
// the same data and steps through every result row.
//
//   bench_sales_reports [customers invoices]   default: 10000 100000 (items: 10 per invoice)
//   TALLYRA_BENCH_DIR   where to put the files (default: the temporary folder)
//   TALLYRA_BENCH_KEEP=1 keeps the files in TALLYRA_BENCH_DIR/tallyra-sales-bench for later runs
//   TALLYRA_BENCH_CASES=tax,dept  runs only the reports whose names contain one of these words
//   TALLYRA_BENCH_OURS_ONLY=1     leaves SQLite out

#include "Conversions.h"
#include "CustomerReports.h"
#include "Maintenance.h"
#include "NewBusiness.h"
#include "ReceivableReports.h"
#include "ReportBuffer.h"
#include "SalesReports.h"
#include "Settings.h"
#include "Tables.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#ifdef TALLYRA_HAVE_SQLITE
#include <sqlite3.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <vector>

namespace {

using namespace tallyra;

const QDate kYearStart(2025, 1, 1);
const QDate kYearEnd(2025, 12, 31);
constexpr int kProducts = 5000;
constexpr int kGroups = 10;

// splitmix64: cheap and deterministic, so both engines get the same records.
struct Mix
{
    quint64 state;
    quint32 bounded(quint32 n)
    {
        quint64 z = (state += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return quint32((z ^ (z >> 31)) % n);
    }
};

const char *kLast[] = {"Smith", "Johnson", "Baker", "Miller", "O'Brien", "Nguyen", "García", "Müller"};
const char *kDepts[] = {"", "Retail", "retail", " RETAIL", "Trade", "Web", "Service", "service "};

struct Invoice
{
    int ivNo, cuNo;
    QDate date;
    QByteArray dept, memo;
    double discount, ship, tax, due;
};
struct Item
{
    int ivNo;
    QByteArray prId;
    double qty, price;
    bool ship, tax;
};
struct Payment
{
    int ivNo;
    QDate date;
    double amount;
};

// The business, one record at a time, in the same order for both engines.
struct Generator
{
    int customers, invoices;

    QByteArray productId(int p) const
    {
        return QByteArray("P") + QByteArray::number(p).rightJustified(5, '0');
    }
    int groupOf(int cuNo) const { return 1 + cuNo % kGroups; }

    void eachInvoice(const std::function<void(const Invoice &, const std::vector<Item> &,
                                              const std::vector<Payment> &)> &use) const
    {
        Mix rng{42};
        std::vector<Item> items;
        std::vector<Payment> payments;
        for (int i = 0; i < invoices; ++i) {
            Invoice inv;
            inv.ivNo = 1000 + i;
            inv.cuNo = 1 + int(rng.bounded(quint32(customers)));
            inv.date = kYearStart.addDays(qint64(i) * 365 / invoices);
            inv.dept = kDepts[rng.bounded(8)];
            inv.memo = "CARD " + QByteArray::number(rng.bounded(100000));
            inv.discount = rng.bounded(5) == 0 ? rng.bounded(2000) / 100.0 : 0;
            inv.ship = rng.bounded(2) ? rng.bounded(3000) / 100.0 : 0;
            inv.tax = rng.bounded(2) ? rng.bounded(5000) / 100.0 : 0;
            inv.due = rng.bounded(5) == 0 ? (int(rng.bounded(50000)) - 5000) / 100.0 : 0;
            items.clear();
            const int n = 5 + i % 11; // ten on average
            for (int k = 0; k < n; ++k)
                items.push_back({inv.ivNo, productId(1 + int(rng.bounded(kProducts + 100))),
                                 (1 + rng.bounded(2000)) / 100.0, rng.bounded(100000) / 100.0,
                                 rng.bounded(2) == 1, rng.bounded(2) == 1});
            payments.clear();
            if (rng.bounded(5) != 0)
                payments.push_back(
                    {inv.ivNo, inv.date.addDays(rng.bounded(30)), rng.bounded(100000) / 100.0});
            use(inv, items, payments);
        }
    }
};

double msSince(const QElapsedTimer &t)
{
    return t.nsecsElapsed() / 1e6;
}

// Processor time of this process: on a machine shared with other work, wall time measures the
// others too.
double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// ---- our files ----

bool writeOurs(const QString &dir, const Generator &g)
{
    if (!createBusiness(dir, false).ok())
        return false;
    db::Engine engine(dir);
    engine.setAutoOpenIndex(false); // tags are built once at the end
    db::Table *cust = engine.open("CUST5");
    db::Table *groups = engine.open("GROUPS");
    db::Table *prod = engine.open("Prod5");
    db::Table *inv = engine.open("INV6");
    db::Table *itm = engine.open("ITM5");
    db::Table *pmt = engine.open("PMT");
    if (!cust || !groups || !prod || !inv || !itm || !pmt)
        return false;
    for (int gr = 1; gr <= kGroups; ++gr) {
        groups->appendBlank();
        groups->setInteger(groups->fieldIndex("nGroup"), gr);
        groups->setText(groups->fieldIndex("cGroup"), QStringLiteral("Group %1").arg(gr));
    }
    for (int c = 1; c <= g.customers; ++c) {
        cust->appendBlank();
        cust->setInteger(cust->fieldIndex("CuNo"), c);
        cust->setText(cust->fieldIndex("Title"), QStringLiteral("Ms"));
        cust->setText(cust->fieldIndex("First"), QStringLiteral("First%1").arg(c));
        cust->setText(cust->fieldIndex("Last"), QString::fromUtf8(kLast[c % 8]));
        cust->setText(cust->fieldIndex("Addr2"), QStringLiteral("%1 Main Street").arg(c));
        cust->setText(cust->fieldIndex("Addr4"), QStringLiteral("Springfield"));
        cust->setText(cust->fieldIndex("Zip"), QStringLiteral("%1").arg(10000 + c % 90000));
        cust->setInteger(cust->fieldIndex("NGroup"), g.groupOf(c));
    }
    for (int p = 1; p <= kProducts; ++p) {
        prod->appendBlank();
        prod->setText(prod->fieldIndex("PrID"), QString::fromLatin1(g.productId(p)));
        prod->setText(prod->fieldIndex("PDesc"), QStringLiteral("Product number %1").arg(p));
        prod->setNumber(prod->fieldIndex("UPrice"), p * 0.25);
    }
    const int f[] = {inv->fieldIndex("IvNo"),  inv->fieldIndex("CuNo"),  inv->fieldIndex("Dept"),
                     inv->fieldIndex("IDate"), inv->fieldIndex("IMemo"), inv->fieldIndex("Discount"),
                     inv->fieldIndex("Ship"),  inv->fieldIndex("Tax"),   inv->fieldIndex("Due")};
    const int t[] = {itm->fieldIndex("IvNo"), itm->fieldIndex("PrID"),  itm->fieldIndex("Qty"),
                     itm->fieldIndex("UPR"),  itm->fieldIndex("LTax1"), itm->fieldIndex("LTax2")};
    const int p[] = {pmt->fieldIndex("IvNo"), pmt->fieldIndex("PDate"), pmt->fieldIndex("PAmt")};
    g.eachInvoice(
        [&](const Invoice &i, const std::vector<Item> &items, const std::vector<Payment> &payments) {
            inv->appendBlank();
            inv->setInteger(f[0], i.ivNo);
            inv->setInteger(f[1], i.cuNo);
            inv->setRaw(f[2], i.dept);
            inv->setDate(f[3], i.date);
            inv->setRaw(f[4], i.memo);
            inv->setNumber(f[5], i.discount);
            inv->setNumber(f[6], i.ship);
            inv->setNumber(f[7], i.tax);
            inv->setNumber(f[8], i.due);
            for (const Item &it : items) {
                itm->appendBlank();
                itm->setInteger(t[0], it.ivNo);
                itm->setRaw(t[1], it.prId);
                itm->setNumber(t[2], it.qty);
                itm->setNumber(t[3], it.price);
                itm->setLogical(t[4], it.ship);
                itm->setLogical(t[5], it.tax);
            }
            for (const Payment &pm : payments) {
                pmt->appendBlank();
                pmt->setInteger(p[0], pm.ivNo);
                pmt->setDate(p[1], pm.date);
                pmt->setNumber(p[2], pm.amount);
            }
        });
    if (!engine.closeAll().isOk())
        return false;
    db::Engine indexer(dir);
    return rebuildIndexes(indexer, ReindexMode::Full).ok();
}

#ifdef TALLYRA_HAVE_SQLITE
// ---- SQLite ----

void exec(sqlite3 *db, const char *sql)
{
    char *err = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite: %s\n", err);
        sqlite3_free(err);
    }
}

struct Statement
{
    Statement(sqlite3 *db, const char *sql) { sqlite3_prepare_v2(db, sql, -1, &st, nullptr); }
    ~Statement() { sqlite3_finalize(st); }
    sqlite3_stmt *st = nullptr;
};

sqlite3 *writeSqlite(const QString &path, const Generator &g)
{
    QFile::remove(path);
    sqlite3 *db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
             "CREATE TABLE cust(cuno INTEGER, title TEXT, first TEXT, last TEXT, ngroup INTEGER);"
             "CREATE TABLE groups(ngroup INTEGER, cgroup TEXT);"
             "CREATE TABLE prod(prid TEXT, pdesc TEXT);"
             "CREATE TABLE inv(ivno INTEGER, cuno INTEGER, dept TEXT, idate TEXT, imemo TEXT, discount REAL,"
             " ship REAL, tax REAL, due REAL);"
             "CREATE TABLE itm(ivno INTEGER, prid TEXT, qty REAL, upr REAL, ltax1 INTEGER, ltax2 INTEGER);"
             "CREATE TABLE pmt(ivno INTEGER, pdate TEXT, pamt REAL);"
             "BEGIN;");
    {
        Statement c(db, "INSERT INTO cust VALUES(?,?,?,?,?)");
        for (int n = 1; n <= g.customers; ++n) {
            const QByteArray first = "First" + QByteArray::number(n);
            sqlite3_bind_int(c.st, 1, n);
            sqlite3_bind_text(c.st, 2, "Ms", 2, SQLITE_STATIC);
            sqlite3_bind_text(c.st, 3, first.constData(), int(first.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(c.st, 4, kLast[n % 8], -1, SQLITE_STATIC);
            sqlite3_bind_int(c.st, 5, g.groupOf(n));
            sqlite3_step(c.st);
            sqlite3_reset(c.st);
        }
        Statement gr(db, "INSERT INTO groups VALUES(?,?)");
        for (int n = 1; n <= kGroups; ++n) {
            const QByteArray name = "Group " + QByteArray::number(n);
            sqlite3_bind_int(gr.st, 1, n);
            sqlite3_bind_text(gr.st, 2, name.constData(), int(name.size()), SQLITE_TRANSIENT);
            sqlite3_step(gr.st);
            sqlite3_reset(gr.st);
        }
        Statement p(db, "INSERT INTO prod VALUES(?,?)");
        for (int n = 1; n <= kProducts; ++n) {
            const QByteArray id = g.productId(n), desc = "Product number " + QByteArray::number(n);
            sqlite3_bind_text(p.st, 1, id.constData(), int(id.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(p.st, 2, desc.constData(), int(desc.size()), SQLITE_TRANSIENT);
            sqlite3_step(p.st);
            sqlite3_reset(p.st);
        }
        Statement i(db, "INSERT INTO inv VALUES(?,?,?,?,?,?,?,?,?)");
        Statement t(db, "INSERT INTO itm VALUES(?,?,?,?,?,?)");
        Statement m(db, "INSERT INTO pmt VALUES(?,?,?)");
        g.eachInvoice(
            [&](const Invoice &v, const std::vector<Item> &items, const std::vector<Payment> &payments) {
                const QByteArray date = dateKey(v.date);
                sqlite3_bind_int(i.st, 1, v.ivNo);
                sqlite3_bind_int(i.st, 2, v.cuNo);
                sqlite3_bind_text(i.st, 3, v.dept.constData(), int(v.dept.size()), SQLITE_TRANSIENT);
                sqlite3_bind_text(i.st, 4, date.constData(), 8, SQLITE_TRANSIENT);
                sqlite3_bind_text(i.st, 5, v.memo.constData(), int(v.memo.size()), SQLITE_TRANSIENT);
                sqlite3_bind_double(i.st, 6, v.discount);
                sqlite3_bind_double(i.st, 7, v.ship);
                sqlite3_bind_double(i.st, 8, v.tax);
                sqlite3_bind_double(i.st, 9, v.due);
                sqlite3_step(i.st);
                sqlite3_reset(i.st);
                for (const Item &it : items) {
                    sqlite3_bind_int(t.st, 1, it.ivNo);
                    sqlite3_bind_text(t.st, 2, it.prId.constData(), int(it.prId.size()), SQLITE_TRANSIENT);
                    sqlite3_bind_double(t.st, 3, it.qty);
                    sqlite3_bind_double(t.st, 4, it.price);
                    sqlite3_bind_int(t.st, 5, it.ship);
                    sqlite3_bind_int(t.st, 6, it.tax);
                    sqlite3_step(t.st);
                    sqlite3_reset(t.st);
                }
                for (const Payment &pm : payments) {
                    const QByteArray pdate = dateKey(pm.date);
                    sqlite3_bind_int(m.st, 1, pm.ivNo);
                    sqlite3_bind_text(m.st, 2, pdate.constData(), 8, SQLITE_TRANSIENT);
                    sqlite3_bind_double(m.st, 3, pm.amount);
                    sqlite3_step(m.st);
                    sqlite3_reset(m.st);
                }
            });
    }
    // The indexes our tags give.
    exec(db, "COMMIT;"
             "CREATE INDEX cust_ccno ON cust(cuno); CREATE INDEX cust_cname ON cust(upper(last || first));"
             "CREATE INDEX groups_n ON groups(ngroup); CREATE INDEX prod_prod ON prod(upper(prid));"
             "CREATE INDEX inv_inv ON inv(ivno); CREATE INDEX inv_invc ON inv(cuno);"
             "CREATE INDEX inv_invd ON inv(idate); CREATE INDEX itm_itm ON itm(ivno);"
             "CREATE INDEX itm_itmp ON itm(prid, ivno); CREATE INDEX pmt_pmt ON pmt(ivno);"
             "CREATE INDEX pmt_pmtd ON pmt(pdate); ANALYZE;");
    return db;
}

// Runs a query with the year's two dates bound (where it takes them) and steps through every
// row, adding up the real columns so that nothing is optimised away.
double runQuery(sqlite3 *db, const char *sql, int *rows)
{
    Statement s(db, sql);
    const QByteArray from = dateKey(kYearStart), to = dateKey(kYearEnd);
    if (sqlite3_bind_parameter_count(s.st) >= 2) {
        sqlite3_bind_text(s.st, 1, from.constData(), 8, SQLITE_TRANSIENT);
        sqlite3_bind_text(s.st, 2, to.constData(), 8, SQLITE_TRANSIENT);
    } else if (sqlite3_bind_parameter_count(s.st) == 1) {
        sqlite3_bind_int(s.st, 1, 3);
    }
    double sum = 0;
    *rows = 0;
    while (sqlite3_step(s.st) == SQLITE_ROW) {
        ++*rows;
        for (int c = 0; c < sqlite3_column_count(s.st); ++c) {
            if (sqlite3_column_type(s.st, c) == SQLITE_FLOAT)
                sum += sqlite3_column_double(s.st, c);
            else if (sqlite3_column_type(s.st, c) == SQLITE_TEXT)
                sum += sqlite3_column_bytes(s.st, c);
        }
    }
    return sum;
}
#endif

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Case
{
    const char *name;
    std::function<SalesReportResult(db::Engine &, ReportBuffer &)> ours;
    const char *sql; // the same figures with SQL
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const Generator g{argc > 1 ? std::max(100, std::atoi(argv[1])) : 10000,
                      argc > 2 ? std::max(100, std::atoi(argv[2])) : 100000};

    QTemporaryDir tmp(qEnvironmentVariable("TALLYRA_BENCH_DIR", QDir::tempPath()) + "/tallyra-sales-XXXXXX");
    const bool keep = qEnvironmentVariableIntValue("TALLYRA_BENCH_KEEP") != 0;
    const QString dir =
        keep ? qEnvironmentVariable("TALLYRA_BENCH_DIR", QDir::tempPath()) + "/tallyra-sales-bench"
             : tmp.path() + "/data";
    QElapsedTimer t;
    t.start();
    if (!QFile::exists(dir + "/INV6.DBF")) {
        QDir().mkpath(dir);
        if (!writeOurs(dir, g)) {
            std::fprintf(stderr, "could not write the business in %s\n", qPrintable(dir));
            return 1;
        }
        std::printf("wrote %d customers, %d invoices with their items and payments, indexed: %.1f s\n",
                    g.customers, g.invoices, msSince(t) / 1000);
    }
#ifdef TALLYRA_HAVE_SQLITE
    sqlite3 *db = nullptr;
    if (qEnvironmentVariableIntValue("TALLYRA_BENCH_OURS_ONLY") == 0) {
        t.restart();
        db = writeSqlite(tmp.path() + "/sales.sqlite", g);
        std::printf("loaded the same into SQLite with indexes: %.1f s\n", msSince(t) / 1000);
    }
#endif

    SettingsRecord settings = defaultSettings();
    settings.TaxRate1 = 5;
    settings.ShipTax = 3;
    const ProgressDisplay none;
    const auto sales = [&](SalesReport r) {
        return [&settings, &none, r](db::Engine &e, ReportBuffer &b) {
            return makeSalesReport(r, e, b, kYearStart, kYearEnd, settings, none);
        };
    };
    const std::vector<Case> cases = {
        {"sales summary", sales(SalesReport::SalesSummary),
         "SELECT i.ivno, i.idate, s.items, round(s.items * i.discount / 100, 2), i.ship, i.tax FROM inv i "
         "JOIN (SELECT ivno, sum(qty * upr) AS items FROM itm GROUP BY ivno) s ON s.ivno = i.ivno "
         "WHERE i.idate BETWEEN ?1 AND ?2 ORDER BY i.idate, i.rowid"},
        {"product summary", sales(SalesReport::ProductSummary),
         "SELECT s.prid, coalesce(p.pdesc, 'Unknown Product'), s.q, s.v FROM (SELECT t.prid AS prid, "
         "sum(t.qty) AS q, sum(round(t.qty * t.upr, 2) - round(t.qty * t.upr * i.discount / 100, 2)) AS v "
         "FROM inv i JOIN itm t ON t.ivno = i.ivno WHERE i.idate BETWEEN ?1 AND ?2 GROUP BY t.prid) s "
         "LEFT JOIN prod p ON upper(p.prid) = upper(s.prid) ORDER BY p.prid IS NULL, upper(p.prid)"},
        {"tax summary", sales(SalesReport::TaxSummary),
         "SELECT sum(n), sum(CASE WHEN ltax1 THEN n END), sum(CASE WHEN ltax2 THEN n END) FROM (SELECT "
         "t.qty * t.upr - round(t.qty * t.upr * i.discount / 100, 2) AS n, t.ltax1, t.ltax2 FROM inv i "
         "JOIN itm t ON t.ivno = i.ivno WHERE i.idate BETWEEN ?1 AND ?2) UNION ALL SELECT sum(ship), "
         "sum(tax), "
         "sum(CASE WHEN tax > 0 THEN ship END) FROM inv WHERE idate BETWEEN ?1 AND ?2"},
        {"sales by dept.", sales(SalesReport::DepartmentSummary),
         "SELECT upper(trim(i.dept)) AS d, sum(s.items), sum(round(s.items * i.discount / 100, 2)), "
         "sum(i.ship), "
         "sum(i.tax) FROM inv i JOIN (SELECT ivno, sum(qty * upr) AS items FROM itm GROUP BY ivno) s "
         "ON s.ivno = i.ivno WHERE i.idate BETWEEN ?1 AND ?2 GROUP BY d ORDER BY min(i.idate)"},
        {"receivables",
         [](db::Engine &e, ReportBuffer &b) {
             return makeReceivables(e, b, QDate(2026, 1, 15), ProgressDisplay());
         },
         "SELECT i.ivno, coalesce(trim(c.title || ' ' || c.first || ' ' || c.last), 'UNKNOWN'), "
         "julianday('2026-01-15') - julianday(substr(i.idate, 1, 4) || '-' || substr(i.idate, 5, 2) || '-' "
         "|| "
         "substr(i.idate, 7, 2)), i.due FROM inv i LEFT JOIN cust c ON c.cuno = i.cuno WHERE i.due <> 0 "
         "ORDER BY i.ivno"},
        {"income summary",
         [](db::Engine &e, ReportBuffer &b) {
             return makeDailyIncome(e, b, kYearStart, kYearEnd, ProgressDisplay());
         },
         "SELECT p.pdate, p.ivno, i.imemo, p.pamt, sum(p.pamt) OVER (PARTITION BY p.pdate) FROM pmt p "
         "LEFT JOIN inv i ON i.ivno = p.ivno WHERE p.pdate BETWEEN ?1 AND ?2 ORDER BY p.pdate, p.rowid"},
        {"customer profile, 1 group",
         [](db::Engine &e, ReportBuffer &b) { return makeCustomerProfiles(e, b, {}, {3}); },
         "SELECT c.cuno, c.title, c.first, c.last, g.cgroup, i.idate, t.prid, t.qty, t.upr FROM cust c "
         "LEFT JOIN groups g ON g.ngroup = c.ngroup LEFT JOIN inv i ON i.cuno = c.cuno "
         "LEFT JOIN itm t ON t.ivno = i.ivno WHERE c.ngroup = ?1 ORDER BY upper(c.last || c.first), i.rowid, "
         "t.rowid"},
    };

    std::printf("\nmedians of 3 runs; wall time, and processor time in brackets\n");
    std::printf("%-26s %18s %8s %18s %8s %6s  %s\n", "full year (2025)", "ours ms", "rows", "SQLite ms",
                "rows", "ratio", "goal: < 1000 ms, not slower than SQLite (processor time)");
    bool allMet = true;
    const QStringList only = qEnvironmentVariable("TALLYRA_BENCH_CASES").split(',', Qt::SkipEmptyParts);
    const bool oursOnly = qEnvironmentVariableIntValue("TALLYRA_BENCH_OURS_ONLY") != 0;
    for (const Case &c : cases) {
        if (!only.isEmpty() && std::none_of(only.begin(), only.end(),
                                            [&](const QString &w) { return QString(c.name).contains(w); }))
            continue;
        std::vector<double> ours, theirs, oursCpu, theirsCpu;
        int rows = 0, sqlRows = 0;
        for (int run = 0; run < 3; ++run) {
            db::Engine engine(dir);
            ReportBuffer buffer;
            QElapsedTimer timer;
            timer.start();
            double cpu = cpuMs();
            const SalesReportResult r = c.ours(engine, buffer);
            ours.push_back(msSince(timer));
            oursCpu.push_back(cpuMs() - cpu);
            if (!r.built()) {
                std::fprintf(stderr, "%s: %s\n", c.name, qPrintable(r.message));
                return 1;
            }
            rows = buffer.rowCount();
            buffer.reportClear();
#ifdef TALLYRA_HAVE_SQLITE
            if (!oursOnly) {
                timer.restart();
                cpu = cpuMs();
                runQuery(db, c.sql, &sqlRows);
                theirs.push_back(msSince(timer));
                theirsCpu.push_back(cpuMs() - cpu);
            }
#endif
        }
        const double mine = median(oursCpu);
        const double sql = theirs.empty() ? 0 : median(theirsCpu);
        const bool met = mine < 1000 && (theirs.empty() || mine <= sql);
        allMet = allMet && met;
        std::printf("%-26s %8.1f (%7.1f) %8d %8.1f (%7.1f) %8d %6.2f  %s\n", c.name, median(ours), mine, rows,
                    theirs.empty() ? 0.0 : median(theirs), sql, sqlRows, sql > 0 ? mine / sql : 0.0,
                    met ? "met" : "MISSED");
    }
#ifdef TALLYRA_HAVE_SQLITE
    if (db)
        sqlite3_close(db);
#endif
    std::printf("ratio = ours / SQLite in processor time (below 1: ours is faster); %s\n",
                allMet ? "all goals met" : "some goals MISSED");
    return 0;
}
