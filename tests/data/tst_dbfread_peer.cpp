// An independent reader (Debian's python3-dbfread) reads what our engine writes and agrees on
// every value, memos of every length around the block edges included.

#include "TestSupport.h"
#include "engine/Engine.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

using namespace testsupport;

namespace {

const char *kReader = R"PY(
import json, sys
from dbfread import DBF
rows = []
for r in DBF(sys.argv[1], encoding='utf-8', char_decode_errors='strict', load=True, ignore_missing_memofile=False):
    out = {}
    for k, v in r.items():
        out[k] = None if v is None else (v.isoformat() if hasattr(v, 'isoformat') else v)
    rows.append(out)
print(json.dumps(rows))
)PY";

} // namespace

class TestDbfreadPeer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void peerReadsEveryValue()
    {
        if (!QFile::exists("/usr/bin/python3"))
            QSKIP("python3 is not installed");
        TempDataDir dir;
        QVERIFY(db::Table::create(dir.path(), "PEER.DBF",
                                  {{"NAME", db::FieldType::Character, 40, 0},
                                   {"CUNO", db::FieldType::Numeric, 6, 0},
                                   {"AMOUNT", db::FieldType::Numeric, 12, 2},
                                   {"WHEN", db::FieldType::Date, 8, 0},
                                   {"PAID", db::FieldType::Logical, 1, 0},
                                   {"NOTE", db::FieldType::Memo, 10, 0}})
                    .isOk());
        db::Engine engine(dir.path());
        db::Table *t = engine.open("PEER");
        QVERIFY(t);
        struct Row
        {
            QString name;
            int cuno;
            double amount;
            QDate when;
            bool paid;
            QString note;
        };
        QList<Row> rows;
        const QList<int> memoLengths = {0, 1, 509, 510, 511, 512, 1021, 1022, 1023, 1024, 5000};
        for (int i = 0; i < memoLengths.size() * 2; ++i) {
            const int len = memoLengths[i % memoLengths.size()];
            QString note;
            for (int k = 0; k < len; ++k)
                note += QChar(k % 61 == 60 ? '\n' : QChar('a' + k % 26));
            if (i % 4 == 1 && len > 3)
                note.replace(0, 2, QStringLiteral("ñ\r"));
            rows.append({i % 3 ? QStringLiteral("Zoë Ångström-Łukasz %1").arg(i) : QStringLiteral("O'Brien"),
                         i * 7 - 20, (i - 5) * 1234.56, i % 5 ? QDate(2026, 1 + i % 12, 1 + i % 28) : QDate(),
                         i % 2 == 0, note});
        }
        for (const Row &r : rows) {
            QVERIFY(t->appendBlank().isOk());
            QVERIFY(t->setText(0, r.name).isOk());
            QVERIFY(t->setInteger(1, r.cuno).isOk());
            QVERIFY(t->setNumber(2, r.amount).isOk());
            QVERIFY(t->setDate(3, r.when).isOk());
            QVERIFY(t->setLogical(4, r.paid).isOk());
            QVERIFY(t->setMemo(5, r.note).isOk());
        }
        // Rewrite a memo and delete a record: the reader must see the new text, and by default
        // skips deleted records.
        QVERIFY(t->go(2));
        rows[1].note = QStringLiteral("rewritten");
        QVERIFY(t->setMemo(5, rows[1].note).isOk());
        QVERIFY(engine.closeAll().isOk());

        QProcess py;
        py.start("/usr/bin/python3", {"-c", kReader, dir.file("PEER.DBF")});
        QVERIFY(py.waitForFinished(60000));
        QVERIFY2(py.exitCode() == 0, py.readAllStandardError().constData());
        const QJsonArray got = QJsonDocument::fromJson(py.readAllStandardOutput()).array();
        QCOMPARE(got.size(), rows.size());
        for (int i = 0; i < rows.size(); ++i) {
            const QJsonObject o = got[i].toObject();
            const Row &r = rows[i];
            QCOMPARE(o["NAME"].toString(), r.name);
            QCOMPARE(o["CUNO"].toInt(), r.cuno);
            QCOMPARE(o["AMOUNT"].toDouble(), qRound64(r.amount * 100) / 100.0);
            QCOMPARE(o["WHEN"].toString(), r.when.isValid() ? r.when.toString(Qt::ISODate) : QString());
            QCOMPARE(o["PAID"].toBool(), r.paid);
            QCOMPARE(o["NOTE"].toString(), r.note);
        }
    }
};

QTEST_GUILESS_MAIN(TestDbfreadPeer)
#include "tst_dbfread_peer.moc"
