// tallyra-dbtool run as a user runs it, on copies of the reference files written by another
// implementation: `dump` gives their canonical dump byte for byte, and `check` gives one line per
// table and tag, names each damaged index file, exits non-zero, and writes nothing.

#include "TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

using testsupport::binPath;
using testsupport::fixturePath;
using testsupport::TempDataDir;

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run dbtool(const QStringList &args)
{
    QProcess p;
    p.start(binPath(QStringLiteral("tallyra-dbtool")), args);
    Run r;
    if (!p.waitForFinished(60000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// The reference tables with the group files that name their tags.
const QList<QPair<QString, QStringList>> kGroups = {
    {QStringLiteral("CUST5"), {"cName.ntx", "ccno.ntx", "czip.ntx", "ccomp.ntx", "cEmail.ntx"}},
    {QStringLiteral("INV6"), {"inv.ntx", "invc.ntx", "invd.ntx"}},
    {QStringLiteral("ITM5"), {"itm.ntx", "itmP.ntx"}},
};

bool makeReference(TempDataDir &dir)
{
    if (!dir.copyFixtures(QStringLiteral("xbase/ref")))
        return false;
    for (const auto &[table, tags] : kGroups) {
        QFile group(dir.file(table + QStringLiteral(".cgp")));
        if (!group.open(QIODevice::WriteOnly) || group.write(tags.join('\n').toUtf8() + '\n') < 0)
            return false;
    }
    return true;
}

// Name and checksum of every file in the folder, to show that a check changed nothing.
QStringList snapshot(const QString &dir)
{
    QStringList files;
    const QStringList names = QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString &name : names)
        files << name + ' ' +
                     QCryptographicHash::hash(readAll(QDir(dir).filePath(name)), QCryptographicHash::Sha1)
                         .toHex();
    return files;
}

} // namespace

class TestDbtool : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dumpEqualsTheReferenceDump_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("table");
        QTest::newRow("CUST5 by its name") << "CUST5"
                                           << "CUST5";
        QTest::newRow("INV6 in lower case") << "inv6"
                                            << "INV6";
        QTest::newRow("ITM5 with the extension") << "ITM5.dbf"
                                                 << "ITM5";
    }

    void dumpEqualsTheReferenceDump()
    {
        QFETCH(QString, given);
        QFETCH(QString, table);
        TempDataDir dir;
        QVERIFY(makeReference(dir));
        const Run r = dbtool({"dump", dir.path(), given});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        const QByteArray expected = readAll(fixturePath("xbase/ref/" + table + ".hb.txt"));
        QVERIFY(expected.count('\n') > 1000);
        QVERIFY(r.out == expected);
    }

    void soundFilesPassWithOneLinePerTableAndTag()
    {
        TempDataDir dir;
        QVERIFY(makeReference(dir));
        const Run r = dbtool({"check", dir.path()});
        QVERIFY2(r.exitCode == 0, r.out.constData());
        QStringList expected;
        for (const auto &[table, tags] : kGroups) {
            expected << table + QStringLiteral(".dbf: ok");
            for (const QString &tag : tags)
                expected << tag + QStringLiteral(": ok");
        }
        QCOMPARE(QString::fromUtf8(r.out).split('\n', Qt::SkipEmptyParts), expected);
    }

    void eachDamagedIndexIsNamedAndTheRestStillChecked_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("fault");
        QTest::newRow("keys swapped") << "CUST5"
                                      << "cName.ntx"
                                      << "out of order";
        QTest::newRow("cut in half") << "CUST5"
                                     << "ccno.ntx"
                                     << "outside the file";
        QTest::newRow("record number replaced") << "INV6"
                                                << "invd.ntx"
                                                << "indexed twice";
        QTest::newRow("tag file missing") << "ITM5"
                                          << "itmP.ntx"
                                          << "not found";
    }

    void eachDamagedIndexIsNamedAndTheRestStillChecked()
    {
        QFETCH(QString, table);
        QFETCH(QString, file);
        QFETCH(QString, fault);
        TempDataDir dir;
        QVERIFY(makeReference(dir));
        const QString damaged = fixturePath("xbase/damaged/" + file);
        QVERIFY(QFile::remove(dir.file(file)));
        if (QFile::exists(damaged))
            QVERIFY(dir.copyFile(damaged, file));
        const QStringList before = snapshot(dir.path());

        const Run r = dbtool({"check", dir.path(), table});
        QCOMPARE(r.exitCode, 1);
        const QStringList lines = QString::fromUtf8(r.out).split('\n', Qt::SkipEmptyParts);
        QStringList tags;
        for (const auto &[t, files] : kGroups) {
            if (t == table)
                tags = files;
        }
        // The table and every tag get their own line, in group order; only the damaged one fails.
        QCOMPARE(lines.size(), 1 + tags.size());
        QCOMPARE(lines[0], table + QStringLiteral(".dbf: ok"));
        for (int i = 0; i < tags.size(); ++i) {
            QVERIFY2(lines[i + 1].startsWith(tags[i] + QStringLiteral(": ")), qPrintable(lines[i + 1]));
            if (tags[i] == file) {
                QVERIFY2(lines[i + 1].contains(fault, Qt::CaseInsensitive), qPrintable(lines[i + 1]));
                // The message names the user's folder, never a scratch one.
                QVERIFY2(!lines[i + 1].contains(QDir::tempPath()) || lines[i + 1].contains(dir.path()),
                         qPrintable(lines[i + 1]));
            } else {
                QCOMPARE(lines[i + 1], tags[i] + QStringLiteral(": ok"));
            }
        }
        // A check reads only: every file as it was, nothing added.
        QCOMPARE(snapshot(dir.path()), before);
    }

    void badArgumentsFailWithAMessage()
    {
        TempDataDir empty;
        Run r = dbtool({"check", empty.path()});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.out.contains("no tables"), r.out.constData());

        TempDataDir dir;
        QVERIFY(makeReference(dir));
        r = dbtool({"check", dir.path(), "CUST5", "NOSUCH"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.out.contains("NOSUCH") && r.out.contains("cEmail.ntx: ok"), r.out.constData());

        r = dbtool({"dump", dir.path(), "NOSUCH"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.out.isEmpty());
        QVERIFY(r.err.contains("NOSUCH"));

        r = dbtool({"check", dir.file(QStringLiteral("not a folder"))});
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.err.contains("no such directory"));
        QCOMPARE(dbtool({"dump", dir.path()}).exitCode, 2);
    }
};

QTEST_GUILESS_MAIN(TestDbtool)
#include "tst_dbtool.moc"
