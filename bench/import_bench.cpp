// Imports on a large scale:
//   - 100,000 customer lines (one in ten names a customer already there, the rest new) into a
//     business of 10,000 customers;
//   - 1,000,000 product lines into an empty catalogue;
//   - 1,000 customer lines into the 110,000 customers the first import left (tags kept).
// Each import runs as the window and tallyra-import run it (the tags kept or built again by the
// share of the table the file brings), and the tags are checked afterwards.
//
//   bench_import [customers|products]   (only that part; TALLYRA_BENCH_DIR: where to work; default
//   /tmp/tallyra-bench-import)

#include "ImportBackup.h"
#include "ImportEngine.h"
#include "NewBusiness.h"
#include "Records.h"
#include "Tables.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>
#include <sys/resource.h>

namespace {

using namespace tallyra;

// Processor time of the process so far (user and system), in seconds: on a machine shared with
// other work the wall-clock time alone says little.
double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

const char *const kLast[] = {"Smith",  "Baker", "Nguyen", "Müller", "Rossi",
                             "Tanaka", "Silva", "Cohen",  "García", "Okafor"};
const char *const kFirst[] = {"Ann", "John", "Renée", "Carl", "Zoë", "Pat", "Lee", "Maria", "Ivan", "Aiko"};

// Customer n: a name and postal code that no other n has.
QByteArray customerLine(int n)
{
    return QStringLiteral(
               "Mr,%1,%2 %3,\"%4 Main St, Apt %5\",,Springfield,IL,,%6,555-%7,,c%4@example.com,imported\n")
        .arg(QString::fromUtf8(kFirst[n % 10]), QString::fromUtf8(kLast[(n / 10) % 10]))
        .arg(n / 100)
        .arg(n)
        .arg(n % 50)
        .arg(10000 + n % 90000, 5, 10, QLatin1Char('0'))
        .arg(n % 10000, 4, 10, QLatin1Char('0'))
        .toUtf8();
}

bool writeLines(const QString &path, int from, int count, const std::function<QByteArray(int)> &line)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray block;
    for (int n = from; n < from + count; ++n) {
        block += line(n);
        if (block.size() > (1 << 20)) {
            f.write(block);
            block.clear();
        }
    }
    return f.write(block) == block.size();
}

ImportFormatRecord customerFormat()
{
    ImportFormatRecord f = newImportFormat(ImportKind::Customers);
    for (int i = 0; i < 13; ++i)
        f.Fld[i] = i + 1;
    f.nFields = 9;
    return f;
}

ImportFormatRecord productFormat()
{
    ImportFormatRecord f = newImportFormat(ImportKind::Products);
    f.Fld = {1, 2, 3, 4};
    f.DELIM = 9;
    f.nFields = 2;
    return f;
}

bool timed(const char *what, const QString &dir, const ImportRequest &request, double limitSeconds)
{
    db::Engine engine(dir);
    QElapsedTimer timer;
    timer.start();
    const double cpuBefore = cpuSeconds();
    const ImportResult r = runImport(engine, request);
    const double seconds = timer.nsecsElapsed() / 1e9;
    const double cpu = cpuSeconds() - cpuBefore;
    if (!r.ok) {
        std::fprintf(stderr, "bench_import: %s failed: %s\n", what, qPrintable(r.message));
        return false;
    }
    std::printf("%-58s %8.2f s wall %8.2f s processor  (%lld added, %lld updated, tags %s)%s\n", what,
                seconds, cpu, r.added, r.updated, r.bulk ? "built at the end" : "kept",
                limitSeconds > 0 && seconds > limitSeconds ? "  OVER GOAL" : "");
    std::fflush(stdout);
    QElapsedTimer check;
    check.start();
    OpenResult t = openTable(engine, importTable(request.kind));
    if (!t || !t.table->check()) {
        std::fprintf(stderr, "bench_import: the tags are not sound after %s\n", what);
        return false;
    }
    std::printf("%-58s %8.2f s\n", "  (checking the table and its tags afterwards)",
                check.nsecsElapsed() / 1e9);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString dir = qEnvironmentVariableIsSet("TALLYRA_BENCH_DIR")
                            ? qEnvironmentVariable("TALLYRA_BENCH_DIR")
                            : QStringLiteral("/tmp/tallyra-bench-import");
    QDir(dir).removeRecursively();
    const NewBusinessResult made = createBusiness(dir, false);
    if (!made.ok()) {
        std::fprintf(stderr, "bench_import: %s\n", qPrintable(made.message));
        return 1;
    }
    const QString cust10k = dir + QStringLiteral("/customers-10000.csv");
    const QString cust100k = dir + QStringLiteral("/customers-100000.csv");
    const QString cust1k = dir + QStringLiteral("/customers-1000.csv");
    const QString prod1m = dir + QStringLiteral("/products-1000000.tsv");
    // 100,000 lines: customers 9,000 .. 108,999, so 1,000 of the first 10,000 are met again.
    if (!writeLines(cust10k, 0, 10000, customerLine) || !writeLines(cust100k, 9000, 100000, customerLine) ||
        !writeLines(cust1k, 200000, 1000, customerLine) || !writeLines(prod1m, 0, 1000000, [](int n) {
            return QStringLiteral("p%1\tProduct number %1\tSize %2\t%3.%4\n")
                .arg(n, 7, 36, QLatin1Char('0'))
                .arg(n % 40)
                .arg(n % 500)
                .arg(n % 100, 2, 10, QLatin1Char('0'))
                .toUtf8();
        })) {
        std::fprintf(stderr, "bench_import: cannot write the import files in %s\n", qPrintable(dir));
        return 1;
    }

    const QString only = app.arguments().value(1);
    ImportRequest request;
    request.kind = ImportKind::Customers;
    request.format = customerFormat();
    request.group = 1;
    if (only != QLatin1String("products")) {
        request.file = cust10k;
        if (!timed("10,000 customer lines into an empty business", dir, request, 0))
            return 1;
        request.file = cust100k;
        if (!timed("100,000 customer lines into 10,000 customers (goal 10 s)", dir, request, 10))
            return 1;
        request.file = cust1k;
        if (!timed("1,000 customer lines into 109,000 customers", dir, request, 0))
            return 1;
    }
    if (only == QLatin1String("customers")) {
        QDir(dir).removeRecursively();
        return 0;
    }

    request.kind = ImportKind::Products;
    request.format = productFormat();
    request.file = prod1m;
    if (!timed("1,000,000 product lines into an empty catalogue (goal 15 s)", dir, request, 15))
        return 1;
    QDir(dir).removeRecursively();
    return 0;
}
