// The customer pick list's logic (PickGrid) on a business of a million customers, without a
// display: opening on the last customer by name, opening on customers anywhere, paging, the
// scroll thumb, and the search box. Each operation is timed alone; medians and maxima in
// milliseconds. The goal is under 50 ms (median) for opening, paging and searching.
//
//   bench_picklist [N]     default 1000000 (TALLYRA_BENCH_DIR: where to put the files)

#include "Database.h"
#include "Maintenance.h"
#include "NewBusiness.h"
#include "PickGrid.h"
#include "PickLists.h"
#include "Schema.h"
#include "Tables.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace tallyra;

namespace {

const char *kLast[] = {"Smith",    "Johnson", "Baker",  "Miller",   "O'Brien", "Nguyen", "García", "Müller",
                       "Kowalski", "Rossi",   "Dubois", "Andersen", "Tanaka",  "Silva",  "Murphy", "Cohen"};
const char *kFirst[] = {"Anna", "Bob", "Carla", "Dora", "Emil", "Frances", "Gus", "Hanna", "Ivan", "Jo"};

double millis(const std::function<void()> &f)
{
    QElapsedTimer t;
    t.start();
    f();
    return t.nsecsElapsed() / 1e6;
}

struct Stats
{
    double median = 0;
    double max = 0;
};

Stats stats(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v.back()};
}

void report(const char *what, const std::vector<double> &samples, bool goal)
{
    const Stats s = stats(samples);
    std::printf("  %-44s %5zu runs  median %8.3f ms  max %8.3f ms%s\n", what, samples.size(), s.median, s.max,
                goal ? (s.median < 50.0 ? "  (goal < 50 ms: met)" : "  (goal < 50 ms: MISSED)") : "");
    std::fflush(stdout);
}

// Fills CUST5 with n customers (tags closed while appending), then builds its index group.
bool makeCustomers(const QString &dir, quint32 n)
{
    const NewBusinessResult made = createBusiness(dir, false);
    if (!made.ok()) {
        std::fprintf(stderr, "%s\n", qPrintable(made.message));
        return false;
    }
    const TableDef &def = tableDef(TableId::Customers);
    db::Engine engine(dir);
    engine.setAccess(db::Access::Exclusive);
    engine.setAutoOpenIndex(false);
    db::Status status;
    db::Table *t = engine.open(def.name, &status);
    if (!t) {
        std::fprintf(stderr, "%s\n", qPrintable(status.toString()));
        return false;
    }
    const int cuNo = t->fieldIndex("CuNo"), first = t->fieldIndex("First"), last = t->fieldIndex("Last"),
              group = t->fieldIndex("NGroup"), email = t->fieldIndex("EMail"), note = t->fieldIndex("Note");
    for (quint32 i = 1; i <= n; ++i) {
        QRandomGenerator rng(i * 2654435761u + 17);
        const QByteArray lastName =
            QByteArray(kLast[rng.bounded(16)]) + QByteArray::number(rng.bounded(100000));
        const QByteArray firstName = kFirst[rng.bounded(10)];
        t->appendBlank();
        t->setInteger(cuNo, i);
        t->setRaw(last, lastName);
        t->setRaw(first, firstName);
        t->setInteger(group, 1 + i % 4);
        t->setRaw(email, (firstName + "." + lastName + "@example.com").toLower());
        t->setRaw(note, "Customer since " + QByteArray::number(1990 + i % 30));
        if (!t->flush().isOk()) {
            std::fprintf(stderr, "%s\n", qPrintable(t->error().toString()));
            return false;
        }
    }
    status = t->createIndexGroup(def.tags, true);
    engine.closeAll();
    if (!status.isOk())
        std::fprintf(stderr, "%s\n", qPrintable(status.toString()));
    return status.isOk();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const quint32 n = argc > 1 ? QByteArray(argv[1]).toUInt() : 1000000u;
    const QString base = qEnvironmentVariable("TALLYRA_BENCH_DIR", QDir::tempPath());
    QTemporaryDir dir(base + QStringLiteral("/tallyra-picklist-XXXXXX"));
    if (!dir.isValid() || n < 100) {
        std::fprintf(stderr, "usage: bench_picklist [N >= 100]; need a writable TALLYRA_BENCH_DIR\n");
        return 1;
    }

    std::printf("== pick list (PickGrid) on %u customers, tag CName\n", n);
    const double setup = millis([&] {
        if (!makeCustomers(dir.path(), n))
            std::exit(1);
    });
    std::printf("  setup: %u customers and their tags in %.1f s\n", n, setup / 1000);

    db::Engine engine(dir.path());
    const OpenResult customers = openCustomers(engine);
    if (!customers) {
        std::fprintf(stderr, "%s\n", qPrintable(customers.detail()));
        return 1;
    }
    db::Table *t = customers.table;
    PickGrid grid(customerPickList(true).grid);
    QRandomGenerator rng(42);

    t->bottom();
    const quint32 lastByName = t->recNo();
    std::vector<double> openLast, openAnywhere, paging, ends, thumb, searching;
    for (int i = 0; i < 25; ++i)
        openLast.push_back(millis([&] { grid.open(t, lastByName); }));
    if (grid.currentRecNo() != lastByName || grid.top() != grid.lastTop()) {
        std::fprintf(stderr, "the last customer is not selected in the last row\n");
        return 1;
    }
    report("open on the last customer by name", openLast, true);

    for (int i = 0; i < 25; ++i) {
        const quint32 target = 1 + rng.bounded(n);
        openAnywhere.push_back(millis([&] { grid.open(t, target); }));
        if (grid.currentRecNo() != target) {
            std::fprintf(stderr, "customer %u is not selected\n", target);
            return 1;
        }
    }
    report("open on a customer anywhere", openAnywhere, true);

    grid.open(t, 1 + rng.bounded(n));
    for (int i = 0; i < 40; ++i) {
        paging.push_back(millis([&] { grid.pageDown(); }));
        paging.push_back(millis([&] { i % 2 ? grid.lineUp() : grid.lineDown(); }));
    }
    for (int i = 0; i < 40; ++i)
        paging.push_back(millis([&] { grid.pageUp(); }));
    grid.open(t, lastByName);
    for (int i = 0; i < 20; ++i)
        paging.push_back(millis([&] { grid.pageUp(); }));
    report("page down / up, line down / up", paging, true);

    for (int i = 0; i < 10; ++i) {
        ends.push_back(millis([&] { grid.end(); }));
        ends.push_back(millis([&] { grid.home(); }));
    }
    report("End / Home", ends, false);

    for (int i = 0; i < 25; ++i)
        thumb.push_back(millis([&] { grid.thumbReleased(1 + rng.bounded(99)); }));
    report("scroll thumb released anywhere", thumb, false);

    grid.open(t, lastByName);
    const char *prefixes[] = {"S",   "SM",     "SMI",    "SMITH",   "SMITH4",  "SMITH45", "M",
                              "MI",  "MIL",    "MILLER", "MILLER9", "T",       "TA",      "TAN",
                              "C",   "CO",     "COH",    "COHEN1",  "COHEN12", "R",       "RO",
                              "ROS", "ROSSI7", "ZZZ",    "A",       "AN",      "AND",     "ANDERSEN99999",
                              "B",   "BA"};
    for (const char *p : prefixes)
        searching.push_back(millis([&] { grid.search(QString::fromUtf8(p)); }));
    for (int i = 0; i < 20; ++i) {
        const QString text = QString::fromUtf8(kLast[rng.bounded(16)]).left(2 + int(rng.bounded(4))) +
                             QString::number(rng.bounded(100));
        searching.push_back(millis([&] { grid.search(text); }));
    }
    report("search (each text a change)", searching, true);

    const db::Status e = grid.takeError();
    closeAllTables(engine);
    if (!e.isOk()) {
        std::fprintf(stderr, "%s\n", qPrintable(e.toString()));
        return 1;
    }
    return 0;
}
