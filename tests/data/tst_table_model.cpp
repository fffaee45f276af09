// A long random run of appends, key changes, deletions, recalls, packs and reopenings, checked
// against a plain in-memory model: every tag must walk in key order holding exactly the model's
// records, and seeks must land where the model says.

#include "TestSupport.h"
#include "engine/Engine.h"

#include <QRandomGenerator>
#include <QTest>
#include <map>
#include <set>

using namespace testsupport;

namespace {

struct Row
{
    QByteArray name; // C 12
    int number = 0;  // N 6
    QDate date;      // D
    bool deleted = false;
};

const QList<db::FieldDef> kFields = {
    {"NAME", db::FieldType::Character, 12, 0},
    {"NUM", db::FieldType::Numeric, 6, 0},
    {"WHEN", db::FieldType::Date, 8, 0},
    {"NOTE", db::FieldType::Memo, 10, 0},
};

const QList<db::TagDef> kTags = {
    {"BYNAME", "Upper(Name)", {}, false, false, "byname.ntx"},
    {"BYNUM", "Str(Num, 6)", {}, false, false, "bynum.ntx"},
    {"BYDATE", "DTOS(When) + Name", {}, false, true, "bydate.ntx"},
};

QByteArray keyOf(const Row &r, int tag)
{
    switch (tag) {
    case 0:
        return r.name.toUpper().leftJustified(12, ' ', true);
    case 1:
        return QByteArray::number(r.number).rightJustified(6, ' ');
    default:
        return (r.date.isValid() ? r.date.toString("yyyyMMdd").toLatin1() : QByteArray(8, ' ')) +
               r.name.leftJustified(12, ' ', true);
    }
}

} // namespace

class TestTableModel : public QObject
{
    Q_OBJECT

private:
    QRandomGenerator m_rng{20261208};

    QByteArray randomName()
    {
        // Few distinct prefixes, so there are many equal and near-equal keys.
        static const char *stems[] = {"smith", "Smith", "SMITHERS", "baker", "Bakers", "o'brien", "zz", "a"};
        QByteArray n = stems[m_rng.bounded(8)];
        if (m_rng.bounded(3) == 0)
            n += QByteArray::number(m_rng.bounded(100));
        return n;
    }

    Row randomRow()
    {
        Row r;
        r.name = randomName();
        r.number = int(m_rng.bounded(2000)) - 100; // negatives sort as text
        if (m_rng.bounded(10) != 0)
            r.date = QDate(2020, 1, 1).addDays(m_rng.bounded(2000));
        return r;
    }

    static void store(db::Table &t, const Row &r)
    {
        QVERIFY(t.setRaw(0, r.name).isOk());
        QVERIFY(t.setInteger(1, r.number).isOk());
        QVERIFY(t.setDate(2, r.date).isOk());
    }

    static void verify(db::Table &t, const std::map<quint32, Row> &model)
    {
        QCOMPARE(t.recordCount(), quint32(model.size()));
        for (int tag = 0; tag < 3; ++tag) {
            QVERIFY(t.selectTag(kTags[tag].name));
            std::multiset<std::pair<QByteArray, quint32>> expected;
            for (const auto &[rec, row] : model)
                expected.emplace(keyOf(row, tag), rec);
            std::multiset<std::pair<QByteArray, quint32>> actual;
            QByteArray previous;
            bool firstRow = true;
            for (bool more = t.top(); more; more = t.skip(1)) {
                const QByteArray key = t.keyFor(kTags[tag].name);
                const bool ordered = kTags[tag].descending ? (firstRow || key <= previous) : previous <= key;
                QVERIFY2(ordered, qPrintable(kTags[tag].name + ": " + previous + " then " + key));
                previous = key;
                firstRow = false;
                actual.emplace(key, t.recNo());
                QCOMPARE(t.isDeleted(), model.at(t.recNo()).deleted);
            }
            QVERIFY(t.error().isOk());
            QVERIFY(actual == expected);
        }
        // Seeks on the number tag against the model.
        QVERIFY(t.selectTag("BYNUM"));
        for (int probe = -120; probe < 2000; probe += 97) {
            const QByteArray key = QByteArray::number(probe).rightJustified(6, ' ');
            std::set<QByteArray> keys;
            for (const auto &[rec, row] : model)
                keys.insert(keyOf(row, 1));
            auto it = keys.lower_bound(key);
            const db::SeekResult r = t.seek(key);
            if (it == keys.end()) {
                QCOMPARE(r, db::SeekResult::Eof);
            } else {
                QCOMPARE(r, *it == key ? db::SeekResult::Found : db::SeekResult::Next);
                QCOMPARE(t.keyFor("BYNUM"), *it);
            }
        }
    }

private Q_SLOTS:
    void randomRunAgreesWithModel()
    {
        TempDataDir dir;
        QVERIFY(db::Table::create(dir.path(), "MODEL.DBF", kFields).isOk());
        // A thousand reopens: the disk's syncs would make most of the run's time.
        auto fs = std::make_shared<FailingFileSystem>(std::int64_t(1) << 50);
        fs->skipSyncs();
        auto engine = std::make_unique<db::Engine>(dir.path(), fs);
        db::Table *t = engine->open("MODEL");
        QVERIFY(t);
        QVERIFY(t->createIndexGroup(kTags, false).isOk());

        std::map<quint32, Row> model;
        const int kOps = 100000;
        for (int op = 0; op < kOps; ++op) {
            const quint32 dice = m_rng.bounded(1000);
            if (model.empty() || dice < 450) {
                Row r = randomRow();
                QVERIFY(t->appendBlank().isOk());
                store(*t, r);
                if (dice % 50 == 0)
                    QVERIFY(t->setMemo(3, QString("note %1").arg(op)).isOk());
                QVERIFY(t->flush().isOk());
                model[t->recNo()] = r;
            } else if (dice < 850) {
                const quint32 rec = 1 + m_rng.bounded(quint32(model.size()));
                QVERIFY(t->go(rec));
                Row &r = model[rec];
                const Row n = randomRow();
                switch (dice % 3) {
                case 0:
                    r.name = n.name;
                    break;
                case 1:
                    r.number = n.number;
                    break;
                default:
                    r.date = n.date;
                    r.name = n.name;
                }
                store(*t, r);
                // Half the changes are written by moving on rather than by flush.
                if (dice % 2)
                    QVERIFY(t->flush().isOk());
            } else if (dice < 960) {
                const quint32 rec = 1 + m_rng.bounded(quint32(model.size()));
                QVERIFY(t->go(rec));
                Row &r = model[rec];
                r.deleted = !r.deleted;
                QVERIFY((r.deleted ? t->markDeleted() : t->recall()).isOk());
            } else if (dice < 962) {
                QVERIFY(t->pack().isOk());
                std::map<quint32, Row> packed;
                quint32 n = 0;
                for (auto &[rec, row] : model) {
                    if (!row.deleted)
                        packed[++n] = row;
                }
                model.swap(packed);
            } else if (dice < 975) {
                // Reopen: everything written must be there.
                QVERIFY(engine->closeAll().isOk());
                engine = std::make_unique<db::Engine>(dir.path(), fs);
                t = engine->open("MODEL");
                QVERIFY(t);
            } else {
                // Walk a little in the middle of the changes.
                QVERIFY(t->selectTag(kTags[dice % 3].name));
                t->setRelativePosition((dice % 100) / 100.0);
                t->skip(int(dice % 21) - 10);
                t->selectNatural();
            }
            if (op % 20000 == 19999) {
                verify(*t, model);
                t->selectNatural();
            }
            if (QTest::currentTestFailed())
                return;
        }
        verify(*t, model);
        QStringList report;
        QVERIFY2(t->check(&report).isOk(), qPrintable(report.join('\n')));
    }

    void relativePositionFollowsTheOrder()
    {
        TempDataDir dir;
        QVERIFY(db::Table::create(dir.path(), "POS.DBF", kFields).isOk());
        db::Engine engine(dir.path());
        db::Table *t = engine.open("POS");
        QVERIFY(t);
        QVERIFY(t->createIndexGroup(kTags, false).isOk());
        for (int i = 0; i < 20000; ++i) {
            QVERIFY(t->appendBlank().isOk());
            QVERIFY(t->setInteger(1, 19999 - i).isOk());
        }
        QVERIFY(t->selectTag("BYNUM"));
        QVERIFY(t->top());
        QCOMPARE(t->relativePosition(), 0.0);
        QVERIFY(t->bottom());
        QCOMPARE(t->relativePosition(), 1.0);
        for (double p : {0.1, 0.25, 0.5, 0.9}) {
            QVERIFY(t->setRelativePosition(p));
            const double number = t->number(1);
            // An estimate from one path of pages: near the true position even in a tree whose
            // pages were all split at the front.
            QVERIFY2(qAbs(number / 19999.0 - p) < 0.1, qPrintable(QString::number(number)));
            QVERIFY(qAbs(t->relativePosition() - p) < 0.05);
        }
    }
};

QTEST_GUILESS_MAIN(TestTableModel)
#include "tst_table_model.moc"
