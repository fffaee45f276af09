// Our dBASE engine beside SQLite on customer-like records: appends with five tags kept, building
// the tags, random seeks, an ordered scan, delete-and-pack, and pick-list style positioning.
// Each phase runs in a child process so its peak memory is its own.
//
//   bench_engine [N ...]     default: 100000 1000000 (TALLYRA_BENCH_DIR: where to put the files)
//   TALLYRA_BENCH_OURS_ONLY=1           leaves SQLite out
//   TALLYRA_BENCH_PHASES=append,build   runs only the named phases (append build floor seek scan walk
//                                       pack); later phases need the table that append makes
//   TALLYRA_BENCH_KEEP=1                keeps the files in TALLYRA_BENCH_DIR/tallyra-bench-keep for
//                                       later runs of single phases

#include "engine/Engine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>

#ifdef TALLYRA_HAVE_SQLITE
#include <sqlite3.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const QList<db::FieldDef> kFields = {
    {"CUNO", db::FieldType::Numeric, 6, 0},      {"TITLE", db::FieldType::Character, 6, 0},
    {"FIRST", db::FieldType::Character, 26, 0},  {"LAST", db::FieldType::Character, 40, 0},
    {"ADDR1", db::FieldType::Character, 68, 0},  {"ADDR2", db::FieldType::Character, 68, 0},
    {"ADDR3", db::FieldType::Character, 68, 0},  {"ADDR4", db::FieldType::Character, 38, 0},
    {"ZIP", db::FieldType::Character, 20, 0},    {"COMMENTS", db::FieldType::Memo, 10, 0},
    {"NGROUP", db::FieldType::Numeric, 2, 0},    {"NOTE", db::FieldType::Character, 68, 0},
    {"PHONE", db::FieldType::Character, 40, 0},  {"FAX", db::FieldType::Character, 40, 0},
    {"EMAIL", db::FieldType::Character, 120, 0},
};

const QList<db::TagDef> kTags = {
    {"CName", "Upper(Last + First)", {}, false, false, "cName.ntx"},
    {"CCNO", "Str(CuNo, 6)", {}, false, false, "ccno.ntx"},
    {"CZip", "Zip", {}, false, false, "czip.ntx"},
    {"cComp", "Addr1", {}, false, false, "ccomp.ntx"},
    {"cEMail", "Upper(EMail)", {}, false, false, "cEmail.ntx"},
};

const char *kLast[] = {"Smith",    "Johnson", "Baker",  "Miller",   "O'Brien", "Nguyen", "García", "Müller",
                       "Kowalski", "Rossi",   "Dubois", "Andersen", "Tanaka",  "Silva",  "Murphy", "Cohen"};
const char *kFirst[] = {"Anna", "Bob", "Carla", "Dora", "Emil", "Frances", "Gus", "Hanna", "Ivan", "Jo"};

struct Customer
{
    int cuno;
    QByteArray first, last, addr1, zip, email;
};

// A cheap deterministic generator (splitmix64): making the test data must cost far less than
// storing it, or the comparison measures the generator.
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

Customer customer(quint32 i)
{
    Mix rng{i * 2654435761ull + 17};
    Customer c;
    c.cuno = int(i);
    c.last = QByteArray(kLast[rng.bounded(16)]) + QByteArray::number(rng.bounded(100000));
    c.first = kFirst[rng.bounded(10)];
    c.addr1 = rng.bounded(3) ? QByteArray() : "Acme " + QByteArray::number(rng.bounded(50000)) + " Ltd";
    c.zip = QByteArray::number(10000 + rng.bounded(89999));
    c.email = rng.bounded(5) ? (c.first + "." + c.last + "@example.com").toLower() : QByteArray();
    return c;
}

double seconds(const std::function<void()> &f)
{
    QElapsedTimer t;
    t.start();
    f();
    return t.nsecsElapsed() / 1e9;
}

struct Result
{
    double seconds = 0;
    double cpu = 0;       // user + system time of the phase's process
    long peakKiB = 0;     // resident, the pages of mapped files included
    long peakAnonKiB = 0; // anonymous memory only (heap, stacks), sampled every 2 ms
};

// The process's anonymous resident memory now, from /proc/self/status (0 where there is none).
long anonKiB()
{
    FILE *f = std::fopen("/proc/self/status", "r");
    if (!f)
        return 0;
    char line[256];
    long kib = 0;
    while (std::fgets(line, sizeof line, f)) {
        if (std::sscanf(line, "RssAnon: %ld", &kib) == 1)
            break;
    }
    std::fclose(f);
    return kib;
}

// Runs f in a child process; returns its time (written by the child through a pipe) and peak memory.
Result inChild(const std::function<double()> &f)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    std::fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::atomic<bool> done{false};
        std::atomic<long> peakAnon{0};
        std::thread sampler([&] {
            while (!done) {
                peakAnon = std::max(peakAnon.load(), anonKiB());
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        double out[2] = {f(), 0};
        done = true;
        sampler.join();
        out[1] = double(peakAnon.load());
        if (write(fds[1], out, sizeof out) != sizeof out)
            _exit(1);
        _exit(0);
    }
    close(fds[1]);
    Result r;
    double in[2] = {-1, 0};
    if (read(fds[0], in, sizeof in) != sizeof in)
        in[0] = -1;
    r.seconds = in[0];
    r.peakAnonKiB = long(in[1]);
    close(fds[0]);
    int status = 0;
    struct rusage ru
    {
    };
    wait4(pid, &status, 0, &ru);
    r.peakKiB = ru.ru_maxrss;
    r.cpu = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
    return r;
}

void fill(db::Table &t, const Customer &c)
{
    t.setInteger(0, c.cuno);
    t.setRaw(3, c.last);
    t.setRaw(2, c.first);
    t.setRaw(4, c.addr1);
    t.setRaw(5, "123 Main Street");
    t.setRaw(7, "Springfield");
    t.setRaw(8, c.zip);
    t.setInteger(10, c.cuno % 7);
    t.setRaw(12, "555-0100");
    t.setRaw(14, c.email);
}

// ---- our engine ----

double oursAppend(const QString &dir, quint32 n)
{
    return seconds([&] {
        db::Table::create(dir, "CUST5.DBF", kFields);
        db::Engine e(dir);
        db::Table *t = e.open("CUST5");
        t->createIndexGroup(kTags, true);
        for (quint32 i = 1; i <= n; ++i) {
            t->appendBlank();
            fill(*t, customer(i));
            t->flush();
        }
        e.closeAll();
    });
}

double oursBuildTags(const QString &dir)
{
    return seconds([&] {
        db::Engine e(dir);
        e.setAccess(db::Access::Exclusive);
        e.setAutoOpenIndex(false);
        db::Table *t = e.open("CUST5");
        t->createIndexGroup(kTags, true);
        e.closeAll();
    });
}

double oursSeeks(const QString &dir, quint32 n, const char *tag)
{
    db::Engine e(dir);
    db::Table *t = e.open("CUST5");
    t->selectTag(tag);
    QRandomGenerator rng(99);
    std::vector<QByteArray> keys;
    for (int i = 0; i < 100000; ++i) {
        const Customer c = customer(1 + rng.bounded(n));
        keys.push_back(qstrcmp(tag, "CCNO") == 0
                           ? QByteArray::number(c.cuno).rightJustified(6, ' ')
                           : (c.last.toUpper() + QByteArray(40 - c.last.size(), ' ') + c.first.toUpper()));
    }
    long found = 0;
    double s = seconds([&] {
        for (const QByteArray &k : keys) {
            if (t->seek(k) == db::SeekResult::Found)
                found += t->integer(0) > 0;
        }
    });
    if (found < 99000)
        std::fprintf(stderr, "seeks found only %ld\n", found);
    return s;
}

double oursScan(const QString &dir)
{
    db::Engine e(dir);
    db::Table *t = e.open("CUST5");
    t->selectTag("CName");
    long sum = 0;
    double s = seconds([&] {
        for (bool more = t->top(); more; more = t->skip(1))
            sum += t->integer(0) + t->raw(14).size();
    });
    return sum > 0 ? s : -1;
}

double oursPickWalk(const QString &dir, quint32 n)
{
    db::Engine e(dir);
    db::Table *t = e.open("CUST5");
    t->selectTag("CName");
    QRandomGenerator rng(5);
    long sum = 0;
    return seconds([&] {
        for (int i = 0; i < 100000; ++i) {
            t->go(1 + rng.bounded(n));
            t->skip(0);
            for (int k = 0; k < 10 && t->skip(1); ++k)
                sum += t->raw(3).size();
        }
    });
}

double oursDeletePack(const QString &dir, quint32 n)
{
    return seconds([&] {
        db::Engine e(dir);
        e.setAccess(db::Access::Exclusive);
        db::Table *t = e.open("CUST5");
        for (quint32 r = 10; r <= n; r += 10) {
            t->go(r);
            t->markDeleted();
        }
        t->pack();
        e.closeAll();
    });
}

double floorWriteAndSort(const QString &dir, quint32 n)
{
    return seconds([&] {
        // Writing the records sequentially, and sorting the five key sets.
        QFile f(dir + "/floor.bin");
        f.open(QIODevice::WriteOnly);
        QByteArray rec(683, ' ');
        std::vector<QByteArray> keys[5];
        for (quint32 i = 1; i <= n; ++i) {
            const Customer c = customer(i);
            std::memcpy(rec.data() + 1, c.last.constData(), size_t(c.last.size()));
            f.write(rec);
            keys[0].push_back(c.last.toUpper() + c.first.toUpper());
            keys[1].push_back(QByteArray::number(c.cuno).rightJustified(6));
            keys[2].push_back(c.zip);
            keys[3].push_back(c.addr1);
            keys[4].push_back(c.email.toUpper());
        }
        f.flush();
        fsync(f.handle());
        for (auto &k : keys)
            std::stable_sort(k.begin(), k.end());
    });
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

sqlite3 *openSqlite(const QString &dir)
{
    sqlite3 *db = nullptr;
    sqlite3_open((dir + "/cust.sqlite").toUtf8().constData(), &db);
    exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
    return db;
}

const char *kIndexes = "CREATE INDEX cname ON cust(upper(last) || upper(first));"
                       "CREATE INDEX ccno ON cust(cuno); CREATE INDEX czip ON cust(zip);"
                       "CREATE INDEX ccomp ON cust(addr1); CREATE INDEX cemail ON cust(upper(email));";

void sqliteInsertAll(sqlite3 *db, quint32 n)
{
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(
        db,
        "INSERT INTO "
        "cust(cuno,title,first,last,addr1,addr2,addr3,addr4,zip,comments,ngroup,note,phone,fax,email)"
        " VALUES(?,'',?,?,?,'123 Main Street','','Springfield',?,'',?,'','555-0100','',?)",
        -1, &st, nullptr);
    exec(db, "BEGIN");
    for (quint32 i = 1; i <= n; ++i) {
        const Customer c = customer(i);
        sqlite3_bind_int(st, 1, c.cuno);
        sqlite3_bind_text(st, 2, c.first.constData(), int(c.first.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 3, c.last.constData(), int(c.last.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 4, c.addr1.constData(), int(c.addr1.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 5, c.zip.constData(), int(c.zip.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(st, 6, c.cuno % 7);
        sqlite3_bind_text(st, 7, c.email.constData(), int(c.email.size()), SQLITE_TRANSIENT);
        sqlite3_step(st);
        sqlite3_reset(st);
        if (i % 10000 == 0) {
            exec(db, "COMMIT");
            exec(db, "BEGIN");
        }
    }
    exec(db, "COMMIT");
    sqlite3_finalize(st);
}

const char *kCreate =
    "CREATE TABLE cust(cuno INTEGER, title TEXT, first TEXT, last TEXT, addr1 TEXT, addr2 TEXT,"
    " addr3 TEXT, addr4 TEXT, zip TEXT, comments TEXT, ngroup INTEGER, note TEXT, phone TEXT,"
    " fax TEXT, email TEXT)";

double sqliteAppend(const QString &dir, quint32 n)
{
    return seconds([&] {
        sqlite3 *db = openSqlite(dir);
        exec(db, kCreate);
        exec(db, kIndexes);
        sqliteInsertAll(db, n);
        sqlite3_close(db);
    });
}

double sqliteBuildTags(const QString &dir)
{
    return seconds([&] {
        sqlite3 *db = openSqlite(dir);
        exec(db, "DROP INDEX cname; DROP INDEX ccno; DROP INDEX czip; DROP INDEX ccomp; DROP INDEX cemail;");
        exec(db, kIndexes);
        sqlite3_close(db);
    });
}

double sqliteSeeks(const QString &dir, quint32 n, bool byName)
{
    sqlite3 *db = openSqlite(dir);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db,
                       byName ? "SELECT * FROM cust WHERE upper(last) || upper(first) = ? LIMIT 1"
                              : "SELECT * FROM cust WHERE cuno = ? LIMIT 1",
                       -1, &st, nullptr);
    QRandomGenerator rng(99);
    std::vector<Customer> cs;
    for (int i = 0; i < 100000; ++i)
        cs.push_back(customer(1 + rng.bounded(n)));
    long found = 0;
    double s = seconds([&] {
        for (const Customer &c : cs) {
            if (byName) {
                const QByteArray k = c.last.toUpper() + c.first.toUpper();
                sqlite3_bind_text(st, 1, k.constData(), int(k.size()), SQLITE_TRANSIENT);
            } else {
                sqlite3_bind_int(st, 1, c.cuno);
            }
            if (sqlite3_step(st) == SQLITE_ROW)
                found += sqlite3_column_int(st, 0) > 0;
            sqlite3_reset(st);
        }
    });
    sqlite3_finalize(st);
    sqlite3_close(db);
    return s;
}

double sqliteScan(const QString &dir)
{
    sqlite3 *db = openSqlite(dir);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, "SELECT * FROM cust ORDER BY upper(last) || upper(first)", -1, &st, nullptr);
    long sum = 0;
    double s = seconds([&] {
        while (sqlite3_step(st) == SQLITE_ROW)
            sum += sqlite3_column_int(st, 0) + sqlite3_column_bytes(st, 14);
    });
    sqlite3_finalize(st);
    sqlite3_close(db);
    return s;
}

double sqlitePickWalk(const QString &dir, quint32 n)
{
    sqlite3 *db = openSqlite(dir);
    sqlite3_stmt *one = nullptr, *walk = nullptr;
    sqlite3_prepare_v2(db, "SELECT upper(last) || upper(first) FROM cust WHERE rowid = ?", -1, &one, nullptr);
    // A range scan on the name index from the chosen record's key: what a pick list asks for.
    sqlite3_prepare_v2(db,
                       "SELECT * FROM cust WHERE upper(last) || upper(first) >= ?"
                       " ORDER BY upper(last) || upper(first) LIMIT 11",
                       -1, &walk, nullptr);
    QRandomGenerator rng(5);
    long sum = 0;
    double s = seconds([&] {
        for (int i = 0; i < 100000; ++i) {
            sqlite3_bind_int64(one, 1, 1 + rng.bounded(n));
            if (sqlite3_step(one) == SQLITE_ROW) {
                sqlite3_bind_text(walk, 1, reinterpret_cast<const char *>(sqlite3_column_text(one, 0)), -1,
                                  SQLITE_TRANSIENT);
                while (sqlite3_step(walk) == SQLITE_ROW)
                    sum += sqlite3_column_bytes(walk, 3);
                sqlite3_reset(walk);
            }
            sqlite3_reset(one);
        }
    });
    sqlite3_finalize(one);
    sqlite3_finalize(walk);
    sqlite3_close(db);
    return s;
}

double sqliteDeletePack(const QString &dir)
{
    return seconds([&] {
        sqlite3 *db = openSqlite(dir);
        exec(db, "DELETE FROM cust WHERE rowid % 10 = 0; VACUUM;");
        sqlite3_close(db);
    });
}
#endif

void row(const char *what, const Result &ours, const Result &sqlite)
{
    std::printf("%-34s %8.3f s %8.3f s %6ld MiB %5ld MiB", what, ours.seconds, ours.cpu, ours.peakKiB / 1024,
                ours.peakAnonKiB / 1024);
    if (sqlite.seconds > 0)
        std::printf("  %8.3f s %8.3f s %6ld MiB  %6.2fx", sqlite.seconds, sqlite.cpu, sqlite.peakKiB / 1024,
                    sqlite.seconds / ours.seconds);
    std::printf("\n");
    std::fflush(stdout);
}

void run(quint32 n, const QString &base)
{
    QDir(base).mkpath("ours");
    QDir(base).mkpath("sqlite");
    const QString ours = base + "/ours", lite = base + "/sqlite";
    std::printf("\nN = %u customer records, 5 tags  ours: wall, cpu, peak memory, of it anonymous    SQLite: "
                "wall, cpu, peak  "
                "  SQLite/ours (wall)\n",
                n);
    Result none;
#ifdef TALLYRA_HAVE_SQLITE
    // TALLYRA_BENCH_OURS_ONLY=1 leaves SQLite out (for profiling our side alone).
    const bool withSqlite = qEnvironmentVariableIntValue("TALLYRA_BENCH_OURS_ONLY") == 0;
#define LITE(expr) (withSqlite ? inChild([&] { return expr; }) : none)
#else
#define LITE(expr) none
#endif
    const QStringList phases =
        qEnvironmentVariable("TALLYRA_BENCH_PHASES").split(QLatin1Char(','), Qt::SkipEmptyParts);
    auto wanted = [&](const char *phase) {
        return phases.isEmpty() || phases.contains(QLatin1String(phase));
    };
    if (wanted("append")) {
        QDir(ours).removeRecursively();
        QDir(lite).removeRecursively();
        QDir(base).mkpath("ours");
        QDir(base).mkpath("sqlite");
    }
    if (wanted("append"))
        row("append N, 5 tags kept", inChild([&] { return oursAppend(ours, n); }),
            LITE(sqliteAppend(lite, n)));
    if (wanted("build"))
        row("build the 5 tags", inChild([&] { return oursBuildTags(ours); }), LITE(sqliteBuildTags(lite)));
    if (wanted("floor"))
        row("floor: write N + sort 5 key sets", inChild([&] { return floorWriteAndSort(ours, n); }), none);
    if (wanted("seek")) {
        row("100,000 exact seeks, name tag", inChild([&] { return oursSeeks(ours, n, "CName"); }),
            LITE(sqliteSeeks(lite, n, true)));
        row("100,000 exact seeks, number tag", inChild([&] { return oursSeeks(ours, n, "CCNO"); }),
            LITE(sqliteSeeks(lite, n, false)));
    }
    if (wanted("scan"))
        row("full scan in name order", inChild([&] { return oursScan(ours); }), LITE(sqliteScan(lite)));
    if (wanted("walk"))
        row("100,000 x position + walk 10", inChild([&] { return oursPickWalk(ours, n); }),
            LITE(sqlitePickWalk(lite, n)));
    if (wanted("pack"))
        row("delete 10% and pack", inChild([&] { return oursDeletePack(ours, n); }),
            LITE(sqliteDeletePack(lite)));
    if (qEnvironmentVariableIntValue("TALLYRA_BENCH_KEEP") == 0)
        QDir(base).removeRecursively();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QList<quint32> sizes;
    for (const QString &a : app.arguments().mid(1))
        sizes << a.toUInt();
    if (sizes.isEmpty())
        sizes = {100000, 1000000};
    const QString where = qEnvironmentVariable("TALLYRA_BENCH_DIR", QDir::tempPath());
    QTemporaryDir tmp(where + "/tallyra-bench-XXXXXX");
    const QString base =
        qEnvironmentVariableIntValue("TALLYRA_BENCH_KEEP") ? where + "/tallyra-bench-keep" : tmp.path();
    for (quint32 n : sizes)
        run(n, base + "/n" + QString::number(n));
    return 0;
}
