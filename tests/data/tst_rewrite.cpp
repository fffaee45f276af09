// Pack, zap and memo compaction rewrite whole files. Whatever stops them (the process killed at
// any step, the disk full at any write) the table comes back whole, old or new, with every tag
// present and matching and no temporary file left behind.

#include "TestSupport.h"
#include "engine/Dump.h"
#include "engine/Engine.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>
#include <atomic>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace testsupport;

namespace {

const QList<db::FieldDef> kFields = {
    {"NAME", db::FieldType::Character, 20, 0},
    {"NUM", db::FieldType::Numeric, 8, 0},
    {"NOTE", db::FieldType::Memo, 10, 0},
};

const QList<db::TagDef> kTags = {
    {"NAME", "Upper(Name)", {}, false, false, "name.ntx"},
    {"NUM", "Str(Num, 8)", {}, false, true, "num.ntx"},
    {"FIRST", "Name", {}, true, false, "first.ntx"},
};

constexpr int kRows = 240;

// Rows 1..kRows; every 4th deleted, every 10th with a memo.
void makeTable(const QString &dir)
{
    QVERIFY(db::Table::create(dir, "T.DBF", kFields).isOk());
    db::Engine engine(dir);
    db::Table *t = engine.open("T");
    QVERIFY(t);
    const db::Status built = t->createIndexGroup(kTags, false);
    QVERIFY2(built.isOk(), qPrintable(built.toString()));
    for (int i = 1; i <= kRows; ++i) {
        QVERIFY(t->appendBlank().isOk());
        QVERIFY(t->setText(0, QStringLiteral("Name %1").arg((i * 37) % 101)).isOk());
        QVERIFY(t->setInteger(1, i).isOk());
        if (i % 10 == 0)
            QVERIFY(t->setMemo(2, QStringLiteral("memo of %1 ").arg(i).repeated(20)).isOk());
        if (i % 4 == 0)
            QVERIFY(t->markDeleted().isOk());
        QVERIFY(t->flush().isOk());
    }
    // Memo blocks to reclaim: rewritten memos leave their old blocks behind.
    for (int i = 10; i <= kRows; i += 20) {
        QVERIFY(t->go(quint32(i)));
        QVERIFY(t->setMemo(2, QStringLiteral("changed memo of %1 ").arg(i).repeated(30)).isOk());
    }
    QVERIFY(engine.closeAll().isOk());
}

// Every record in record-number order, deletion flag and memo included, and the memo file's size
// (which only memo compaction changes).
QByteArray dumpRecords(db::Table &t, const QString &dir)
{
    t.selectNatural();
    QByteArray all = "memo file " + QByteArray::number(QFileInfo(dir + "/T.DBT").size()) + '\n';
    for (bool more = t.go(1); more; more = t.skip(1))
        all += (t.isDeleted() ? "* " : "  ") + db::dumpRecord(t) + '\n';
    return all;
}

QStringList litter(const QString &dir)
{
    return QDir(dir).entryList({"*.tmp", "*.TMP", "*.rewrite"}, QDir::Files);
}

enum class Kind
{
    Pack,
    Zap,
    CompactMemo,
    Reindex
};

db::Status run(db::Table &t, Kind kind)
{
    switch (kind) {
    case Kind::Pack:
        return t.pack();
    case Kind::Zap:
        return t.zap();
    case Kind::CompactMemo:
        return t.compactMemo();
    case Kind::Reindex:
        return t.reindex();
    }
    return db::Status::invalid("unknown rewrite");
}

// Copies every file of one directory into another.
bool copyDir(const QString &from, const QString &to)
{
    for (const QString &f : QDir(from).entryList(QDir::Files)) {
        QFile::remove(to + '/' + f);
        if (!QFile::copy(from + '/' + f, to + '/' + f))
            return false;
    }
    return true;
}

// The files of dir that this process holds open although they were removed or replaced.
QStringList removedFilesHeldOpen(const QString &dir)
{
    QStringList held;
    const QDir fds("/proc/self/fd");
    for (const QString &fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        char target[4096];
        const ssize_t n = ::readlink(QFile::encodeName(fds.filePath(fd)).constData(), target, sizeof target);
        const QString path = QFile::decodeName(QByteArray(target, n > 0 ? n : 0));
        if (path.startsWith(dir + '/') && path.endsWith(" (deleted)"))
            held << path;
    }
    return held;
}

// A file system whose n-th open or rename, counted once armed, fails: the steps that put the new
// files of a rewrite in place.
class SwapFailingFileSystem : public FailingFileSystem
{
public:
    SwapFailingFileSystem()
        : FailingFileSystem(std::int64_t(1) << 40)
    {}
    void failAt(int n)
    {
        m_failAt = n;
        m_steps = 0;
    }
    db::Status open(const QString &path, db::OpenMode mode, std::unique_ptr<db::File> *file) override
    {
        if (failNow())
            return db::Status::ioError("cannot open " + path);
        return FailingFileSystem::open(path, mode, file);
    }
    db::Status rename(const QString &from, const QString &to) override
    {
        if (failNow())
            return db::Status::ioError("cannot rename " + from);
        return FailingFileSystem::rename(from, to);
    }

private:
    bool failNow() { return m_failAt > 0 && ++m_steps == m_failAt; }

public:
    // Whether the step to fail was reached (a failure the rewrite got around is not one to check).
    bool reached() const { return m_failAt > 0 && m_steps >= m_failAt; }

private:
    int m_failAt = 0;
    std::atomic<int> m_steps{0}; // the engine opens files from two threads
};

// A file system that kills its own process with SIGKILL at the n-th step: an open, rename,
// removal, write or sync. Steps are counted once armed.
class KillingFileSystem : public db::FileSystem
{
public:
    explicit KillingFileSystem(int killAt)
        : m_killAt(killAt)
    {}
    void arm() { m_armed = true; }

    void step()
    {
        if (m_armed && ++m_steps == m_killAt)
            ::raise(SIGKILL);
    }

    db::Status open(const QString &path, db::OpenMode mode, std::unique_ptr<db::File> *file) override
    {
        step();
        std::unique_ptr<db::File> real;
        db::Status s = m_real->open(path, mode, &real);
        if (s)
            *file = std::make_unique<KillingFile>(std::move(real), this);
        return s;
    }
    db::Status rename(const QString &from, const QString &to) override
    {
        step();
        return m_real->rename(from, to);
    }
    db::Status remove(const QString &path) override
    {
        step();
        return m_real->remove(path);
    }
    bool exists(const QString &path) const override { return m_real->exists(path); }
    db::Status list(const QString &dir, QStringList *names) const override
    {
        return m_real->list(dir, names);
    }

private:
    class KillingFile : public db::File
    {
    public:
        KillingFile(std::unique_ptr<db::File> real, KillingFileSystem *fs)
            : m_real(std::move(real))
            , m_fs(fs)
        {}
        db::Status read(std::uint64_t offset, void *buffer, std::size_t n) override
        {
            return m_real->read(offset, buffer, n);
        }
        std::int64_t readSome(std::uint64_t offset, void *buffer, std::size_t n) override
        {
            return m_real->readSome(offset, buffer, n);
        }
        db::Status write(std::uint64_t offset, const void *buffer, std::size_t n) override
        {
            m_fs->step();
            return m_real->write(offset, buffer, n);
        }
        std::uint64_t size() const override { return m_real->size(); }
        db::Status truncate(std::uint64_t size) override { return m_real->truncate(size); }
        db::Status sync() override
        {
            m_fs->step();
            return m_real->sync();
        }
        db::Status lock(bool exclusive) override { return m_real->lock(exclusive); }
        const QString &path() const override { return m_real->path(); }
        int nativeHandle() const override { return m_real->nativeHandle(); }

    private:
        std::unique_ptr<db::File> m_real;
        KillingFileSystem *m_fs;
    };

    std::shared_ptr<db::FileSystem> m_real = db::FileSystem::posix();
    int m_killAt;
    std::atomic<int> m_steps{0}; // the engine writes from two threads
    std::atomic<bool> m_armed{false};
};

} // namespace

Q_DECLARE_METATYPE(Kind)

class TestRewrite : public QObject
{
    Q_OBJECT

private:
    std::vector<pid_t> m_children;

    // The table's records before and after the rewrite, made once per kind.
    struct Outcomes
    {
        QByteArray before;
        QByteArray after;
    };
    Outcomes outcomes(const QString &pristine, Kind kind)
    {
        TempDataDir dir;
        if (!copyDir(pristine, dir.path()))
            return {};
        db::Engine engine(dir.path());
        db::Table *t = engine.open("T");
        if (!t)
            return {};
        Outcomes o;
        o.before = dumpRecords(*t, dir.path());
        if (!run(*t, kind))
            return {};
        o.after = dumpRecords(*t, dir.path());
        return o;
    }

private Q_SLOTS:
    void cleanup()
    {
        for (pid_t child : m_children) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
        }
        m_children.clear();
    }

    void killedAtEachStepIsFinishedOrUndoneOnTheNextOpen_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::newRow("pack") << Kind::Pack;
        QTest::newRow("zap") << Kind::Zap;
        QTest::newRow("memo compaction") << Kind::CompactMemo;
    }

    void killedAtEachStepIsFinishedOrUndoneOnTheNextOpen()
    {
        QFETCH(Kind, kind);
        TempDataDir pristine;
        makeTable(pristine.path());
        const Outcomes expected = outcomes(pristine.path(), kind);
        QVERIFY(!expected.before.isEmpty());
        QVERIFY(expected.after != expected.before);

        int oldSeen = 0, newSeen = 0;
        bool finished = false;
        for (int killAt = 1; !finished; ++killAt) {
            QVERIFY2(killAt < 2000, "the rewrite never finished");
            TempDataDir dir;
            QVERIFY(copyDir(pristine.path(), dir.path()));
            const QByteArray path = dir.path().toLocal8Bit();
            pid_t child = ::fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                auto fs = std::make_shared<KillingFileSystem>(killAt);
                db::Engine engine(QString::fromLocal8Bit(path), fs);
                db::Table *t = engine.open("T");
                if (!t)
                    ::_exit(2);
                fs->arm();
                ::_exit(run(*t, kind).isOk() ? 0 : 3);
            }
            m_children.push_back(child);
            int status = 0;
            QCOMPARE(::waitpid(child, &status, 0), child);
            m_children.pop_back();
            if (WIFEXITED(status)) {
                QCOMPARE(WEXITSTATUS(status), 0);
                finished = true;
            } else {
                QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
            }

            db::Engine engine(dir.path());
            db::Status s;
            db::Table *t = engine.open("T", &s);
            QVERIFY2(t, qPrintable(QStringLiteral("killed at step %1: %2").arg(killAt).arg(s.toString())));
            QVERIFY2(
                litter(dir.path()).isEmpty(),
                qPrintable(QStringLiteral("killed at step %1: ").arg(killAt) + litter(dir.path()).join(' ')));
            QCOMPARE(t->tagNames().size(), kTags.size());
            QStringList report;
            QVERIFY2(t->check(&report).isOk(),
                     qPrintable(QStringLiteral("killed at step %1:\n").arg(killAt) + report.join('\n')));
            const QByteArray records = dumpRecords(*t, dir.path());
            if (records == expected.after)
                ++newSeen;
            else if (records == expected.before)
                ++oldSeen;
            else
                QFAIL(qPrintable(
                    QStringLiteral("killed at step %1: the records are neither the old nor the new ones")
                        .arg(killAt)));
        }
        // Both sides of the swap were reached: the kills fell before and after it.
        QVERIFY(oldSeen > 0);
        QVERIFY(newSeen > 1);
    }

    void fullDiskAtEveryWriteLeavesTheTableAsItWas_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::newRow("pack") << Kind::Pack;
        QTest::newRow("zap") << Kind::Zap;
        QTest::newRow("memo compaction") << Kind::CompactMemo;
    }

    void fullDiskAtEveryWriteLeavesTheTableAsItWas()
    {
        QFETCH(Kind, kind);
        TempDataDir dir;
        makeTable(dir.path());
        const Outcomes expected = outcomes(dir.path(), kind);
        QVERIFY(!expected.before.isEmpty());
        auto fs = std::make_shared<FailingFileSystem>(std::int64_t(1) << 40);
        bool done = false;
        for (int failAt = 1; !done; ++failAt) {
            QVERIFY2(failAt < 2000, "the rewrite never finished");
            db::Engine engine(dir.path(), fs);
            db::Table *t = engine.open("T");
            QVERIFY(t);
            QVERIFY(t->selectTag("NUM"));
            fs->failAtWrite(failAt);
            const db::Status s = run(*t, kind);
            fs->failAtWrite(0);
            if (s) {
                done = true;
                QCOMPARE(t->selectedTag(), QStringLiteral("NUM"));
                QCOMPARE(dumpRecords(*t, dir.path()), expected.after);
            } else {
                QVERIFY2(s.isIoError(), qPrintable(s.toString()));
                // Unchanged, usable, not left locked, nothing left behind.
                QVERIFY2(litter(dir.path()).isEmpty(), qPrintable(litter(dir.path()).join(' ')));
                QCOMPARE(dumpRecords(*t, dir.path()), expected.before);
                QVERIFY(t->check().isOk());
                db::Engine other(dir.path());
                db::Status os;
                QVERIFY2(other.open("T", &os), qPrintable(os.toString()));
            }
            QVERIFY(engine.closeAll().isOk());
        }
        db::Engine engine(dir.path());
        db::Table *t = engine.open("T");
        QVERIFY(t);
        QCOMPARE(dumpRecords(*t, dir.path()), expected.after);
        QStringList report;
        QVERIFY2(t->check(&report).isOk(), qPrintable(report.join('\n')));
    }

    void failedSwapKeepsReadingOneSideAndRefusesChanges_data()
    {
        fullDiskAtEveryWriteLeavesTheTableAsItWas_data();
    }

    // A rename or open failing while the new files are put in place: the table object goes on
    // reading whole records of one side, refuses every change until it is opened again, and the
    // next open finishes the swap.
    void failedSwapKeepsReadingOneSideAndRefusesChanges()
    {
        QFETCH(Kind, kind);
        TempDataDir pristine;
        makeTable(pristine.path());
        TempDataDir dir;
        QVERIFY(copyDir(pristine.path(), dir.path()));
        const Outcomes expected = outcomes(dir.path(), kind);
        auto records = [](const QByteArray &dump) { return dump.mid(dump.indexOf('\n') + 1); };
        auto fs = std::make_shared<SwapFailingFileSystem>();
        int broken = 0;
        bool done = false;
        for (int failAt = 1; !done; ++failAt) {
            QVERIFY2(failAt < 200, "the rewrite never finished");
            db::Engine engine(dir.path(), fs);
            db::Table *t = engine.open("T");
            QVERIFY(t);
            fs->failAt(failAt);
            const db::Status s = run(*t, kind);
            const bool reached = fs->reached();
            fs->failAt(0);
            if (s) {
                done = !reached;
                QVERIFY(engine.closeAll().isOk());
                QVERIFY(copyDir(pristine.path(), dir.path()));
                continue;
            }
            const QByteArray seen = records(dumpRecords(*t, dir.path()));
            QVERIFY2(seen == records(expected.before) || seen == records(expected.after),
                     qPrintable(QStringLiteral("step %1: neither the old nor the new records").arg(failAt)));
            const bool halfSwapped = s.message().contains("open it again");
            if (halfSwapped) {
                ++broken;
                if (t->go(1)) { // a zap whose new, empty files are in use has no record 1
                    const db::Status change = t->setText(0, "changed");
                    QVERIFY2(change.message().contains("open it again"), qPrintable(change.toString()));
                }
                QVERIFY(t->appendBlank().message().contains("open it again"));
                QVERIFY(t->pack().message().contains("open it again"));
            } else {
                QCOMPARE(seen, records(expected.before));
                QVERIFY2(litter(dir.path()).isEmpty(), qPrintable(litter(dir.path()).join(' ')));
            }
            QVERIFY(engine.closeAll().isOk());
            db::Engine again(dir.path());
            db::Table *reopened = again.open("T");
            QVERIFY(reopened);
            QVERIFY(litter(dir.path()).isEmpty());
            QStringList report;
            QVERIFY2(reopened->check(&report).isOk(), qPrintable(report.join('\n')));
            const QByteArray after = dumpRecords(*reopened, dir.path());
            if (halfSwapped) {
                QCOMPARE(after, expected.after);
                // Back to the old records for the next step.
                QVERIFY(again.closeAll().isOk());
                QVERIFY(copyDir(pristine.path(), dir.path()));
            } else {
                QCOMPARE(after, expected.before);
            }
        }
        QVERIFY(broken > 0);
    }

    // Records appended by a program that does not keep the tags: the old tags miss them, so a pack
    // cannot carry them over in order and builds them from the records instead.
    void packBuildsTagsMissingRecordsFromTheRecords()
    {
        TempDataDir dir;
        makeTable(dir.path());
        {
            db::Engine engine(dir.path());
            engine.setAutoOpenIndex(false);
            db::Table *t = engine.open("T");
            QVERIFY(t);
            for (int i = 1; i <= 6; ++i) {
                QVERIFY(t->appendBlank().isOk());
                QVERIFY(t->setText(0, QStringLiteral("Added %1").arg(i)).isOk());
                QVERIFY(t->setInteger(1, 1000 + i).isOk());
                if (i % 3 == 0)
                    QVERIFY(t->markDeleted().isOk());
            }
            QVERIFY(engine.closeAll().isOk());
        }
        db::Engine engine(dir.path());
        db::Table *t = engine.open("T");
        QVERIFY(t);
        QVERIFY(!t->check().isOk()); // the tags miss the new records
        const db::Status packed = t->pack();
        QVERIFY2(packed.isOk(), qPrintable(packed.toString()));
        QStringList report;
        QVERIFY2(t->check(&report).isOk(), qPrintable(report.join('\n')));
        QCOMPARE(t->recordCount(), quint32(kRows - kRows / 4 + 4));
        QVERIFY(t->selectTag("NAME"));
        QCOMPARE(t->seek("ADDED 5"), db::SeekResult::Found);
        QVERIFY(t->selectTag("NUM"));
        QCOMPARE(t->seek("    1004"), db::SeekResult::Found);
    }

    // The replaced files are closed in the background. One left open would keep its disk space
    // taken until the program ends.
    void replacedFilesAreLetGo_data()
    {
        killedAtEachStepIsFinishedOrUndoneOnTheNextOpen_data();
        QTest::newRow("re-index") << Kind::Reindex;
    }

    void replacedFilesAreLetGo()
    {
        QFETCH(Kind, kind);
        TempDataDir dir;
        makeTable(dir.path());
        db::Engine engine(dir.path());
        db::Table *t = engine.open("T");
        QVERIFY(t);
        QVERIFY(run(*t, kind).isOk());
        QTRY_VERIFY_WITH_TIMEOUT(removedFilesHeldOpen(dir.path()).isEmpty(), 10000);
        QVERIFY(t->check().isOk());
    }

    void leftOversAreClearedOnlyWhenNoOneUsesTheTable()
    {
        TempDataDir dir;
        makeTable(dir.path());
        // What a rewrite killed before its journal leaves: partial new files.
        const QStringList partial = {"T.DBF.tmp", "T.DBT.tmp", "name.ntx.tmp", "first.ntx.tmp"};
        {
            db::Engine user(dir.path());
            QVERIFY(user.open("T"));
            for (const QString &name : partial) {
                QFile f(dir.file(name));
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write("partial");
            }
            db::Engine second(dir.path());
            QVERIFY(second.open("T"));
            // Someone has the table open, maybe rewriting it: its files are left alone.
            QCOMPARE(litter(dir.path()).size(), partial.size());
        }
        db::Engine engine(dir.path());
        db::Table *t = engine.open("T");
        QVERIFY(t);
        QVERIFY(litter(dir.path()).isEmpty());
        QVERIFY(t->check().isOk());
        QCOMPARE(t->recordCount(), quint32(kRows));
    }
};

QTEST_GUILESS_MAIN(TestRewrite)
#include "tst_rewrite.moc"
