// What happens to a table when things go wrong: a full disk in the middle of a change, a process
// killed while appending, a second program wanting the table, and damaged table files.

#include "TestSupport.h"
#include "engine/Dump.h"
#include "engine/Engine.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace testsupport;

namespace {

const QList<db::FieldDef> kFields = {
    {"NAME", db::FieldType::Character, 20, 0},
    {"NUM", db::FieldType::Numeric, 8, 0},
    {"AMOUNT", db::FieldType::Numeric, 12, 2},
    {"NOTE", db::FieldType::Memo, 10, 0},
};

const QList<db::TagDef> kTags = {
    {"NAME", "Upper(Name)", {}, false, false, "name.ntx"},
    {"NUM", "Str(Num, 8)", {}, false, false, "num.ntx"},
};

QByteArray dumpAll(const QString &dir, const QString &table)
{
    db::Engine engine(dir);
    db::Table *t = engine.open(table);
    if (!t)
        return "cannot open";
    QByteArray all;
    for (bool more = t->go(1); more; more = t->skip(1))
        all += db::dumpRecord(*t) + '\n';
    return all;
}

void appendRow(db::Table &t, int i, bool memo)
{
    QVERIFY(t.appendBlank().isOk());
    t.setText(0, QStringLiteral("Name %1").arg(i % 97));
    t.setInteger(1, i);
    t.setNumber(2, i * 1.25);
    if (memo)
        QVERIFY(t.setMemo(3, QString(600, QLatin1Char('m')) + QString::number(i)).isOk());
}

void makeTable(const QString &dir, int rows)
{
    QVERIFY(db::Table::create(dir, "T.DBF", kFields).isOk());
    db::Engine engine(dir);
    db::Table *t = engine.open("T");
    QVERIFY(t);
    QVERIFY(t->createIndexGroup(kTags, false).isOk());
    for (int i = 1; i <= rows; ++i) {
        appendRow(*t, i, i % 3 == 0);
        QVERIFY(t->flush().isOk());
    }
    QVERIFY(engine.closeAll().isOk());
}

} // namespace

class TestDurability : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fullDiskLeavesTheTableAsItWas()
    {
        // For many points of failure: fill the disk after n more bytes, try one more append (with a
        // memo) and check that the table and both tags are exactly as before, and usable.
        for (int budget : {0, 1, 100, 700, 1100, 1600, 2100, 5000, 40000}) {
            TempDataDir dir;
            makeTable(dir.path(), 400);
            const QByteArray before = dumpAll(dir.path(), "T");
            auto fs = std::make_shared<FailingFileSystem>(1 << 30);
            {
                db::Engine engine(dir.path(), fs);
                db::Table *t = engine.open("T");
                QVERIFY(t);
                fs->setBudget(budget);
                bool failed = false;
                // Keep appending until the disk is full; then the failed append must leave no trace.
                for (int i = 1000; i < 1400 && !failed; ++i) {
                    if (!t->appendBlank().isOk()) {
                        failed = true;
                        break;
                    }
                    t->setText(0, "Added");
                    t->setInteger(1, i);
                    db::Status s = t->setMemo(3, QString(900, QLatin1Char('x')));
                    if (s)
                        s = t->flush();
                    failed = !s.isOk();
                    if (failed)
                        QVERIFY2(s.isIoError(), qPrintable(s.toString()));
                }
                QVERIFY(failed);
                fs->setBudget(1 << 30);
                engine.closeAll();
            }
            // Reopened on the real disk: checks pass and every record is one of before or a
            // completed append.
            db::Engine engine(dir.path());
            db::Table *t = engine.open("T");
            QVERIFY(t);
            QStringList report;
            QVERIFY2(t->check(&report).isOk(), qPrintable(report.join('\n')));
            const QByteArray after = dumpAll(dir.path(), "T");
            QVERIFY(after.startsWith(before));
            const QList<QByteArray> added = after.mid(before.size()).split('\n');
            for (const QByteArray &line : added) {
                if (!line.isEmpty())
                    QVERIFY2(line.contains("|Added|") && line.contains("|900:"), line.constData());
            }
        }
    }

    void killedWhileAppendingLosesOnlyTheUnfinishedRecord()
    {
        TempDataDir dir;
        makeTable(dir.path(), 10);
        const QString path = dir.path();
        pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            db::Engine engine(path);
            db::Table *t = engine.open("T");
            for (int i = 11;; ++i) {
                t->appendBlank();
                t->setText(0, QStringLiteral("Name %1").arg(i % 97));
                t->setInteger(1, i);
                t->setNumber(2, i * 1.25);
                t->flush();
            }
            _exit(0);
        }
        // Let it write a few thousand records, then kill it without warning.
        QFile dbf(dir.file("T.DBF"));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(dir.file("T.DBF")).size() > 200000, 20000);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);

        db::Engine engine(path);
        engine.setAutoOpenIndex(false);
        db::Table *t = engine.open("T");
        QVERIFY(t);
        const quint32 count = t->recordCount();
        QVERIFY(count > 1000);
        for (quint32 r = 1; r <= count; ++r) {
            QVERIFY(t->go(r));
            QCOMPARE(t->integer(1), qint64(r));
            QCOMPARE(t->number(2), r * 1.25);
        }
        engine.closeAll();
        // The tags were open for writing when the process died: they are either correct or
        // reported as not closed cleanly, and then rebuilt from the table.
        engine.setAutoOpenIndex(true);
        db::Status s;
        t = engine.open("T", &s);
        if (!t) {
            QVERIFY2(s.isCorruption(), qPrintable(s.toString()));
            engine.setAutoOpenIndex(false);
            t = engine.open("T");
            QVERIFY(t);
            QVERIFY(t->createIndexGroup(kTags, true).isOk());
        }
        QVERIFY(t->check().isOk());
        QCOMPARE(t->recordCount(), count);
    }

    void exclusiveAccessIsRefusedNotAwaited()
    {
        TempDataDir dir;
        makeTable(dir.path(), 3);
        db::Engine first(dir.path());
        QVERIFY(first.open("T")); // shared

        // Another process asks for the table exclusively: refused at once with a clear status.
        pid_t child = fork();
        if (child == 0) {
            db::Engine other(dir.path());
            other.setAccess(db::Access::Exclusive);
            db::Status s;
            db::Table *t = other.open("T", &s);
            _exit(t ? 1 : s.isLocked() && s.message().contains("T.DBF") ? 0 : 2);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);

        // Within one process too; and a shared open next to an exclusive one is refused.
        db::Engine second(dir.path());
        second.setAccess(db::Access::Exclusive);
        db::Status s;
        QVERIFY(!second.open("T", &s));
        QVERIFY(s.isLocked());
        first.closeAll();
        QVERIFY(second.open("T", &s));
        db::Engine third(dir.path());
        QVERIFY(!third.open("T", &s));
        QVERIFY(s.isLocked());
    }

    void damagedTablesAreReportedNeverTrusted()
    {
        TempDataDir dir;
        makeTable(dir.path(), 50);
        QFile f(dir.file("T.DBF"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray good = f.readAll();
        f.close();
        struct Case
        {
            const char *what;
            std::function<QByteArray(QByteArray)> damage;
        };
        const QList<Case> cases = {
            {"cut inside the header", [](QByteArray b) { return b.left(40); }},
            {"unknown version",
             [](QByteArray b) {
                 b[0] = 0x42;
                 return b;
             }},
            {"header length past the end",
             [](QByteArray b) {
                 b[8] = '\xff';
                 b[9] = '\xff';
                 return b;
             }},
            {"record length disagrees",
             [](QByteArray b) {
                 b[10] = 7;
                 b[11] = 0;
                 return b;
             }},
            {"field of unknown type",
             [](QByteArray b) {
                 b[32 + 11] = 'Q';
                 return b;
             }},
        };
        for (const Case &c : cases) {
            QFile w(dir.file("T.DBF"));
            QVERIFY(w.open(QIODevice::WriteOnly | QIODevice::Truncate));
            w.write(c.damage(good));
            w.close();
            db::Engine engine(dir.path());
            db::Status s;
            QVERIFY2(!engine.open("T", &s), c.what);
            QVERIFY2(s.isCorruption(), qPrintable(QString(c.what) + ": " + s.toString()));
            QVERIFY2(s.message().contains("T.DBF"), qPrintable(s.toString()));
        }
        // A table cut in the middle of a record keeps the whole records before the cut, and its
        // check says that records the header counts are gone.
        QFile w(dir.file("T.DBF"));
        QVERIFY(w.open(QIODevice::WriteOnly | QIODevice::Truncate));
        w.write(good.left(good.size() - 1 - 45 - 10));
        w.close();
        db::Engine engine(dir.path());
        engine.setAutoOpenIndex(false);
        db::Table *t = engine.open("T");
        QVERIFY(t);
        QCOMPARE(t->recordCount(), 48u);
        const db::Status cut = t->check();
        QVERIFY(cut.isCorruption());
        QVERIFY2(cut.message().contains("counts 50 records but the file holds 48"),
                 qPrintable(cut.toString()));
        engine.closeAll();

        // Random byte flips anywhere in table, memo and index files: an error or a consistent
        // table, never a crash or a hang.
        QVERIFY(w.open(QIODevice::WriteOnly | QIODevice::Truncate));
        w.write(good);
        w.close();
        QRandomGenerator rng(7);
        for (const char *file : {"T.DBF", "T.DBT", "name.ntx"}) {
            QFile g(dir.file(file));
            QVERIFY(g.open(QIODevice::ReadOnly));
            const QByteArray original = g.readAll();
            g.close();
            for (int i = 0; i < 150; ++i) {
                QByteArray bytes = original;
                const int flips = 1 + int(rng.bounded(4));
                for (int k = 0; k < flips; ++k)
                    bytes[int(rng.bounded(quint32(qMin<qsizetype>(bytes.size(), 1600))))] =
                        char(rng.bounded(256));
                QFile h(dir.file(file));
                QVERIFY(h.open(QIODevice::WriteOnly | QIODevice::Truncate));
                h.write(bytes);
                h.close();
                db::Engine e(dir.path());
                db::Status s;
                if (db::Table *tt = e.open("T", &s)) {
                    for (bool more = tt->top(); more; more = tt->skip(1))
                        tt->memo(3);
                    tt->selectTag("NAME");
                    for (bool more = tt->top(); more; more = tt->skip(1))
                        ;
                    tt->check();
                }
            }
            QVERIFY(g.open(QIODevice::WriteOnly | QIODevice::Truncate));
            g.write(original);
            g.close();
        }
    }

    void valuesAreStoredAsOtherProgramsExpect()
    {
        TempDataDir dir;
        QVERIFY(db::Table::create(dir.path(), "V.DBF",
                                  {{"LAST", db::FieldType::Character, 8, 0},
                                   {"QTY", db::FieldType::Numeric, 9, 2},
                                   {"WHEN", db::FieldType::Date, 8, 0},
                                   {"OK", db::FieldType::Logical, 1, 0}})
                    .isOk());
        db::Engine engine(dir.path());
        db::Table *t = engine.open("V");
        QVERIFY(t);
        QVERIFY(t->appendBlank().isOk());
        // "Müller" is 7 bytes; "Müllerü" would be 9: cut before the last character, not inside it.
        QVERIFY(t->setText(0, QStringLiteral("Müllerü")).isOk());
        QCOMPARE(t->raw(0), QByteArray("M\xc3\xbcller "));
        QCOMPARE(t->text(0), QStringLiteral("Müller"));
        // Numbers: locale-independent, right-aligned, rounded half away from zero on the decimal
        // value, refused when too wide.
        const std::pair<double, const char *> numbers[] = {
            {1234.5, "  1234.50"}, {-4.19, "    -4.19"}, {0, "     0.00"},      {2.675, "     2.68"},
            {-2.675, "    -2.68"}, {1.005, "     1.01"}, {-0.001, "     0.00"}, {999999.99, "999999.99"}};
        for (const auto &[value, stored] : numbers) {
            QVERIFY(t->setNumber(1, value).isOk());
            QCOMPARE(t->raw(1), QByteArray(stored));
        }
        QVERIFY(!t->setNumber(1, 1000000).isOk());
        QCOMPARE(t->raw(1), QByteArray("999999.99"));
        // Dates: no date is stored blank, never zeros.
        QVERIFY(t->setDate(2, QDate()).isOk());
        QCOMPARE(t->raw(2), QByteArray(8, ' '));
        QVERIFY(!t->date(2).isValid());
        QVERIFY(t->setDate(2, QDate(2026, 2, 28)).isOk());
        QCOMPARE(t->raw(2), QByteArray("20260228"));
        QVERIFY(!t->logical(3));
        QVERIFY(t->setLogical(3, true).isOk());
        QVERIFY(t->flush().isOk());
        engine.closeAll();

        QFile f(dir.file("V.DBF"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QCOMPARE(quint8(bytes[0]), quint8(0x03));
        QCOMPARE(bytes.mid(4, 4), QByteArray("\x01\x00\x00\x00", 4));
        QCOMPARE(bytes.mid(32 + 4 * 32, 2), QByteArray("\x0d\x00", 2));
        QCOMPARE(bytes.right(1), QByteArray("\x1a"));
        QCOMPARE(bytes.size(), 32 + 4 * 32 + 2 + 1 + 8 + 9 + 8 + 1 + 1);
    }
};

QTEST_GUILESS_MAIN(TestDurability)
#include "tst_durability.moc"
