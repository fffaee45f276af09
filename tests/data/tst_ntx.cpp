// The NTX index: reading the reference files another implementation wrote, building our own,
// changing them against a model, and surviving damaged files, a full disk and a crash.

#include "TestSupport.h"
#include "engine/KeyExpression.h"
#include "engine/NtxIndex.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

using namespace db;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

// ----- a small reader for the reference tables, independent of the engine's own -----

struct RefTable
{
    QList<FieldLayout> fields;
    std::vector<QByteArray> records;
};

RefTable readDbf(const QString &path)
{
    RefTable t;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return t;
    const QByteArray b = f.readAll();
    auto u16 = [&](int at) { return int(quint8(b[at])) | (int(quint8(b[at + 1])) << 8); };
    const int headerLength = u16(8);
    const int recordLength = u16(10);
    int offset = 1;
    for (int at = 32; at + 32 <= headerLength && b[at] != '\x0d'; at += 32) {
        FieldLayout fl;
        fl.def.name = QByteArray(b.constData() + at, int(qstrnlen(b.constData() + at, 11)));
        fl.def.type = FieldType(b[at + 11]);
        fl.def.length = quint8(b[at + 16]);
        fl.def.decimals = quint8(b[at + 17]);
        if (fl.def.type == FieldType::Character) {
            fl.def.length += 256 * fl.def.decimals;
            fl.def.decimals = 0;
        }
        fl.offset = offset;
        offset += fl.def.length;
        t.fields.append(fl);
    }
    const qsizetype count = (b.size() - headerLength) / recordLength;
    for (qsizetype r = 0; r < count; ++r)
        t.records.push_back(b.mid(headerLength + r * recordLength, recordLength));
    return t;
}

struct RefIndex
{
    const char *file;
    const char *table;
    const char *expression;
    int keySize;
    int maxItems;
};

// Expressions, key sizes and keys per page as the format notes list them for these files.
const RefIndex kReferences[] = {
    {"cName.ntx", "CUST5.dbf", "Upper(Last + First)", 33, 22},
    {"ccno.ntx", "CUST5.dbf", "Str(CuNo, 6)", 6, 62},
    {"czip.ntx", "CUST5.dbf", "Zip", 10, 50},
    {"ccomp.ntx", "CUST5.dbf", "Addr1", 34, 22},
    {"cEmail.ntx", "CUST5.dbf", "Upper(EMail)", 60, 12},
    {"inv.ntx", "INV6.dbf", "Str(IvNo,6,0)", 6, 62},
    {"invc.ntx", "INV6.dbf", "Str(CuNo,6,0)", 6, 62},
    {"invd.ntx", "INV6.dbf", "DTOS(IDate)", 8, 54},
    {"itm.ntx", "ITM5.dbf", "Str(IvNo,6,0)", 6, 62},
    {"itmP.ntx", "ITM5.dbf", "PrID + Str(IvNo,6,0)", 16, 38},
};

struct Entry
{
    QByteArray key;
    std::uint32_t recNo;
    bool operator==(const Entry &o) const { return key == o.key && recNo == o.recNo; }
};

bool byKeyThenRecord(const Entry &a, const Entry &b)
{
    const int c = std::memcmp(a.key.constData(), b.key.constData(), std::size_t(a.key.size()));
    return c != 0 ? c < 0 : a.recNo < b.recNo;
}

// The keys the reference table's records give, computed by our own evaluator.
std::vector<Entry> expectedEntries(const RefIndex &ref, KeyExpression *exprOut = nullptr)
{
    const RefTable table =
        readDbf(testsupport::fixturePath(QStringLiteral("xbase/ref/") + QLatin1String(ref.table)));
    KeyExpression expr;
    Status s = KeyExpression::compile(QLatin1String(ref.expression), table.fields, &expr);
    if (!s)
        qWarning() << s.toString();
    std::vector<Entry> entries;
    for (std::size_t r = 0; r < table.records.size(); ++r)
        entries.push_back({expr.evaluate(table.records[r].constData()), std::uint32_t(r + 1)});
    if (exprOut)
        *exprOut = std::move(expr);
    return entries;
}

std::vector<Entry> walkForward(NtxIndex &index, std::size_t limit = 10'000'000)
{
    std::vector<Entry> out;
    for (bool ok = index.first(); ok && out.size() < limit; ok = index.next())
        out.push_back({index.key(), index.recNo()});
    return out;
}

std::vector<Entry> walkBackward(NtxIndex &index)
{
    std::vector<Entry> out;
    for (bool ok = index.last(); ok; ok = index.prev())
        out.push_back({index.key(), index.recNo()});
    std::reverse(out.begin(), out.end());
    return out;
}

int maxItemsFor(int keySize)
{
    int max = 1022 / (keySize + 10) - 1;
    if (max % 2 == 1 && max > 2)
        --max;
    return max;
}

QByteArray padded(const QByteArray &key, int size)
{
    return key.leftJustified(size, ' ', true);
}

// ----- a model of an index: a multimap keeps equal keys in insertion order, as the index does -----

struct ModelLess
{
    bool descending = false;
    bool operator()(const std::string &a, const std::string &b) const
    {
        const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
        const int r = c != 0 ? c : (a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0);
        return descending ? r > 0 : r < 0;
    }
};
using Model = std::multimap<std::string, std::uint32_t, ModelLess>;

struct Variant
{
    const char *name;
    int keySize;
    bool descending;
    bool unique;
    int distinctKeys; // how many different keys the random keys come from
    int operations;
};

} // namespace

class TestNtx : public QObject
{
    Q_OBJECT

private:
    std::shared_ptr<FileSystem> m_fs = FileSystem::posix();

    std::unique_ptr<NtxIndex> openIndex(const QString &path, bool readOnly = false)
    {
        std::unique_ptr<NtxIndex> index;
        Status s = NtxIndex::open(*m_fs, path, readOnly, &index);
        if (!s)
            qWarning() << s.toString();
        return index;
    }

    // Builds an index of the given entries at path.
    Status buildIndex(const QString &path, const NtxInfo &info, const std::vector<Entry> &entries)
    {
        KeyArray keys;
        keys.keySize = info.keySize;
        for (const Entry &e : entries)
            keys.add(padded(e.key, info.keySize).constData(), e.recNo);
        return NtxIndex::build(*m_fs, path, info, std::move(keys));
    }

    static NtxInfo infoFor(int keySize, bool descending = false, bool unique = false)
    {
        NtxInfo info;
        info.expression = "Name";
        info.keySize = keySize;
        info.descending = descending;
        info.unique = unique;
        return info;
    }

    void verifySeeks(NtxIndex &index, const Model &model, int keySize, QRandomGenerator &rng, int probes);
    void runVariant(const Variant &v);

private Q_SLOTS:
    void referenceHeaders_data();
    void referenceHeaders();
    void referenceOrderAndCheck_data();
    void referenceOrderAndCheck();
    void referenceSeeks();
    void buildMatchesReferenceHeaders();
    void damagedFilesAreReported_data();
    void damagedFilesAreReported();
    void fuzzedCopiesNeverCrash();
    void bulkBuildShape();
    void bulkBuildUniqueAndDescending();
    void bulkBuildLongKeysMatchModel_data();
    void bulkBuildLongKeysMatchModel();
    void bulkBuildReplacesOnlyWhenComplete();
    void randomChangesMatchModel_data();
    void randomChangesMatchModel();
    void freedPagesAreReusedFirst();
    void changesToReferenceFiles();
    void fullDiskOnCommitKeepsTheFile();
    void reserveMakesCommitGrowthFree();
    void crashLeavesTheMarkSet();
    void secondOpenWhileChanging();
    void readOnlyRefusesChanges();
    void relativePosition();
};

// ----- the reference files -----

void TestNtx::referenceHeaders_data()
{
    QTest::addColumn<int>("which");
    for (int i = 0; i < int(std::size(kReferences)); ++i)
        QTest::newRow(kReferences[i].file) << i;
}

void TestNtx::referenceHeaders()
{
    QFETCH(int, which);
    const RefIndex &ref = kReferences[which];
    const QString path = testsupport::fixturePath(QStringLiteral("xbase/ref/") + QLatin1String(ref.file));
    auto index = openIndex(path, true);
    QVERIFY(index);
    QCOMPARE(index->info().expression, QByteArray(ref.expression));
    QCOMPARE(index->info().keySize, ref.keySize);
    QCOMPARE(index->info().keyDecimals, 0);
    QVERIFY(!index->info().unique);
    QVERIFY(!index->info().descending);
    QVERIFY(index->info().filter.isEmpty());
    QVERIFY(index->info().tagName.isEmpty());

    // The raw header: signature, item size, keys per page as the layout rule gives them.
    const QByteArray h = readFile(path);
    auto u16 = [&](int at) { return int(quint8(h[at])) | (int(quint8(h[at + 1])) << 8); };
    QCOMPARE(u16(0), 6);
    QCOMPARE(u16(12), ref.keySize + 8);
    QCOMPARE(u16(18), ref.maxItems);
    QCOMPARE(maxItemsFor(ref.keySize), ref.maxItems);
    QCOMPARE(u16(20), ref.maxItems / 2);
}

void TestNtx::referenceOrderAndCheck_data()
{
    referenceHeaders_data();
}

void TestNtx::referenceOrderAndCheck()
{
    QFETCH(int, which);
    const RefIndex &ref = kReferences[which];
    const QString path = testsupport::fixturePath(QStringLiteral("xbase/ref/") + QLatin1String(ref.file));
    std::vector<Entry> expected = expectedEntries(ref);
    QVERIFY(!expected.empty());
    auto index = openIndex(path, true);
    QVERIFY(index);

    const std::vector<Entry> forward = walkForward(*index);
    QVERIFY2(index->error().isOk(), qPrintable(index->error().toString()));
    QCOMPARE(forward.size(), expected.size());
    // Keys come in byte order; equal keys may hold their records in any order (a key inserted
    // later goes after the equal keys already there), so compare the entries as a multiset.
    std::vector<Entry> sortedForward = forward;
    std::sort(expected.begin(), expected.end(), byKeyThenRecord);
    std::stable_sort(sortedForward.begin(), sortedForward.end(), byKeyThenRecord);
    for (std::size_t i = 0; i < forward.size(); ++i) {
        QCOMPARE(forward[i].key, expected[i].key);
        if (!(sortedForward[i] == expected[i]))
            QFAIL(qPrintable(
                QStringLiteral(
                    "entry %1: index has record %2 key \"%3\", the table gives record %4 key \"%5\"")
                    .arg(i)
                    .arg(sortedForward[i].recNo)
                    .arg(QString::fromLatin1(sortedForward[i].key))
                    .arg(expected[i].recNo)
                    .arg(QString::fromLatin1(expected[i].key))));
    }
    QVERIFY(walkBackward(*index) == forward);

    std::vector<Entry> visited;
    NtxTreeStats stats;
    Status s = index->check(
        [&](QByteArrayView k, std::uint32_t r) {
            visited.push_back({k.toByteArray(), r});
        },
        &stats);
    QVERIFY2(s, qPrintable(s.toString()));
    QVERIFY(visited == forward);
    QCOMPARE(stats.keys, forward.size());
    QCOMPARE(stats.depth, index->depth());
    QVERIFY(stats.depth >= 2);
    // Every page of the file is either in the tree or on the free list.
    QCOMPARE(std::uint64_t(stats.pages + stats.freePages + 1) * 1024, stats.fileSize);
    QVERIFY(stats.minKeys >= ref.maxItems / 2);
}

void TestNtx::referenceSeeks()
{
    QRandomGenerator rng(4711);
    for (const RefIndex &ref : kReferences) {
        const QString path = testsupport::fixturePath(QStringLiteral("xbase/ref/") + QLatin1String(ref.file));
        auto index = openIndex(path, true);
        QVERIFY(index);
        const std::vector<Entry> order = walkForward(*index);
        for (int probe = 0; probe < 300; ++probe) {
            const Entry &pick = order[rng.bounded(quint32(order.size()))];
            QByteArray key;
            switch (probe % 4) {
            case 0: // an existing key
                key = pick.key;
                break;
            case 1: // a prefix of one
                key = pick.key.left(1 + rng.bounded(ref.keySize));
                break;
            case 2: { // just above an existing key: found only by a soft seek
                key = pick.key;
                int i = key.size() - 1;
                while (i >= 0 && quint8(key[i]) == 0xff)
                    --i;
                if (i < 0)
                    continue;
                key[i] = char(quint8(key[i]) + 1);
                key.truncate(i + 1);
                break;
            }
            default: // random bytes
                for (int i = 0, n = 1 + rng.bounded(4); i < n; ++i)
                    key += char(0x20 + rng.bounded(0x60));
            }
            const auto it = std::find_if(order.begin(), order.end(), [&](const Entry &e) {
                return std::memcmp(e.key.constData(), key.constData(), std::size_t(key.size())) >= 0;
            });
            const SeekResult r = index->seek(key);
            if (it == order.end()) {
                QCOMPARE(int(r), int(SeekResult::Eof));
                QVERIFY(!index->valid());
                continue;
            }
            const bool exact = it->key.startsWith(key);
            QCOMPARE(int(r), int(exact ? SeekResult::Found : SeekResult::Next));
            QCOMPARE(index->key(), it->key);
            QCOMPARE(index->recNo(), it->recNo);
            QVERIFY(index->find(pick.key, pick.recNo));
            QCOMPARE(index->recNo(), pick.recNo);
        }
        QCOMPARE(int(index->seek("\xff")), int(SeekResult::Eof));
        QVERIFY(!index->find(order.front().key, 999999));
    }
}

void TestNtx::buildMatchesReferenceHeaders()
{
    testsupport::TempDataDir dir;
    for (const RefIndex &ref : kReferences) {
        const QString refPath =
            testsupport::fixturePath(QStringLiteral("xbase/ref/") + QLatin1String(ref.file));
        std::vector<Entry> entries = expectedEntries(ref);
        NtxInfo info;
        info.expression = ref.expression;
        info.keySize = ref.keySize;
        const QString ours = dir.file(QLatin1String(ref.file));
        Status s = buildIndex(ours, info, entries);
        QVERIFY2(s, qPrintable(s.toString()));
        const QByteArray theirs = readFile(refPath).left(1024);
        const QByteArray mine = readFile(ours).left(1024);
        // Everything but the update counter, the root and the free list head is the same.
        QCOMPARE(mine.left(2), theirs.left(2));
        QCOMPARE(mine.mid(12), theirs.mid(12));

        // A bulk build holds equal keys in record order.
        auto index = openIndex(ours);
        QVERIFY(index);
        std::sort(entries.begin(), entries.end(), byKeyThenRecord);
        QVERIFY(walkForward(*index) == entries);
        QVERIFY(index->close());
    }
}

void TestNtx::damagedFilesAreReported_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("two keys swapped") << QStringLiteral("cName.ntx");
    QTest::newRow("cut in half") << QStringLiteral("ccno.ntx");
    QTest::newRow("record number duplicated") << QStringLiteral("invd.ntx");
}

void TestNtx::damagedFilesAreReported()
{
    QFETCH(QString, file);
    const QString path = testsupport::fixturePath(QStringLiteral("xbase/damaged/") + file);
    std::unique_ptr<NtxIndex> index;
    Status s = NtxIndex::open(*m_fs, path, true, &index);
    if (s) {
        // Walking must not crash either, whatever it finds.
        walkForward(*index);
        s = index->check();
    }
    QVERIFY(s.isCorruption());
    QVERIFY2(s.message().contains(file), qPrintable(s.message()));
}

void TestNtx::fuzzedCopiesNeverCrash()
{
    testsupport::TempDataDir dir;
    QRandomGenerator rng(20240607);
    const QString target = dir.file(QStringLiteral("fuzz.ntx"));
    int opened = 0, consistent = 0;
    for (const char *name : {"ccno.ntx", "itmP.ntx", "cEmail.ntx"}) {
        const QByteArray original =
            readFile(testsupport::fixturePath(QStringLiteral("xbase/ref/") + QLatin1String(name)));
        QVERIFY(!original.isEmpty());
        for (int variant = 0; variant < 120; ++variant) {
            QByteArray bytes = original;
            if (variant % 5 == 4) {
                bytes.truncate(rng.bounded(qint64(bytes.size())));
            } else {
                for (int flips = 1 + rng.bounded(4); flips > 0; --flips) {
                    // Aim at the pages' first bytes (count, offset table, first items) half the time.
                    const qint64 page = rng.bounded(qint64(bytes.size() / 1024));
                    const qint64 at =
                        variant % 2 ? page * 1024 + rng.bounded(160) : rng.bounded(qint64(bytes.size()));
                    bytes[at] = char(bytes[at] ^ (1 << rng.bounded(8)));
                }
            }
            QVERIFY(writeFile(target, bytes));
            std::unique_ptr<NtxIndex> index;
            if (!NtxIndex::open(*m_fs, target, false, &index))
                continue;
            ++opened;
            NtxTreeStats stats;
            const Status checked = index->check({}, &stats);
            const std::vector<Entry> walked = walkForward(*index, 100000);
            QVERIFY(walked.size() < 100000);
            if (checked) {
                ++consistent;
                QVERIFY(index->error().isOk());
                QCOMPARE(walked.size(), stats.keys);
                QVERIFY(std::is_sorted(walked.begin(), walked.end(),
                                       [](const Entry &a, const Entry &b) { return a.key < b.key; }));
            } else {
                QVERIFY2(checked.isCorruption(), qPrintable(checked.toString()));
            }
            // Changes on a damaged file stop with a status; they never crash.
            const int keySize = index->info().keySize;
            for (int i = 0; i < 40; ++i) {
                const QByteArray key = padded(QByteArray::number(rng.bounded(100000)), keySize);
                if (!index->insert(key, 100000 + i))
                    break;
            }
            if (!walked.empty())
                index->remove(walked[walked.size() / 2].key, walked[walked.size() / 2].recNo);
            if (index->commit() && checked)
                QVERIFY2(index->check(), "a file that passed its check fails it after clean changes");
            index->close();
        }
    }
    QVERIFY(opened > 0);
    QVERIFY(consistent > 0);
}

// ----- bulk build -----

void TestNtx::bulkBuildShape()
{
    testsupport::TempDataDir dir;
    QRandomGenerator rng(7);
    for (int keySize : {6, 60, 256}) {
        const int max = maxItemsFor(keySize);
        for (int n : {0, 1, max, max + 1, 2 * max + 1, 1000, 20000}) {
            std::vector<Entry> entries;
            for (int i = 0; i < n; ++i)
                entries.push_back(
                    {padded(QByteArray::number(rng.bounded(n / 3 + 1)), keySize), std::uint32_t(i + 1)});
            const QString path = dir.file(QStringLiteral("b%1_%2.ntx").arg(keySize).arg(n));
            std::vector<int> progress;
            KeyArray keys;
            keys.keySize = keySize;
            for (const Entry &e : entries)
                keys.add(e.key.constData(), e.recNo);
            Status s = NtxIndex::build(*m_fs, path, infoFor(keySize), std::move(keys),
                                       [&](int p) { progress.push_back(p); });
            QVERIFY2(s, qPrintable(s.toString()));
            QVERIFY(!progress.empty());
            QVERIFY(std::is_sorted(progress.begin(), progress.end()));
            QCOMPARE(progress.back(), 100);
            QVERIFY(!QFile::exists(path + QStringLiteral(".tmp")));

            auto index = openIndex(path);
            QVERIFY(index);
            NtxTreeStats stats;
            s = index->check({}, &stats);
            QVERIFY2(s, qPrintable(s.toString()));
            QCOMPARE(stats.keys, std::uint64_t(n));
            QCOMPARE(stats.freePages, 0u);
            QCOMPARE(std::uint64_t(stats.pages + 1) * 1024, stats.fileSize);
            if (stats.pages > 1)
                QVERIFY2(stats.minKeys >= max / 2,
                         qPrintable(QStringLiteral("a page holds %1 keys").arg(stats.minKeys)));
            // Pages are nearly full: one key less than a page holds, on average at worst.
            if (n > max)
                QVERIFY2(stats.pages <= std::uint32_t(n / (max - 1) + stats.depth + 1),
                         qPrintable(QStringLiteral("%1 keys of %2 bytes take %3 pages, %4 levels")
                                        .arg(n)
                                        .arg(keySize)
                                        .arg(stats.pages)
                                        .arg(stats.depth)));
            std::sort(entries.begin(), entries.end(), byKeyThenRecord);
            QVERIFY(walkForward(*index) == entries);
            QVERIFY(index->close());
        }
    }
}

void TestNtx::bulkBuildUniqueAndDescending()
{
    testsupport::TempDataDir dir;
    std::vector<Entry> entries;
    for (int i = 0; i < 5000; ++i)
        entries.push_back({padded(QByteArray::number((i * 7919) % 1300), 8), std::uint32_t(5000 - i)});

    const QString uniquePath = dir.file(QStringLiteral("u.ntx"));
    QVERIFY(buildIndex(uniquePath, infoFor(8, false, true), entries));
    auto index = openIndex(uniquePath);
    QVERIFY(index);
    QVERIFY(index->info().unique);
    const std::vector<Entry> unique = walkForward(*index);
    QCOMPARE(unique.size(), std::size_t(1300));
    for (const Entry &e : unique) {
        // The first record of each key stays.
        std::uint32_t lowest = UINT32_MAX;
        for (const Entry &c : entries)
            if (c.key == e.key)
                lowest = std::min(lowest, c.recNo);
        QCOMPARE(e.recNo, lowest);
    }
    QVERIFY(index->check());
    QVERIFY(index->close());

    const QString descPath = dir.file(QStringLiteral("d.ntx"));
    QVERIFY(buildIndex(descPath, infoFor(8, true, false), entries));
    index = openIndex(descPath);
    QVERIFY(index);
    QVERIFY(index->info().descending);
    const std::vector<Entry> desc = walkForward(*index);
    QCOMPARE(desc.size(), entries.size());
    for (std::size_t i = 1; i < desc.size(); ++i) {
        const int c = std::memcmp(desc[i - 1].key.constData(), desc[i].key.constData(), 8);
        QVERIFY(c > 0 || (c == 0 && desc[i - 1].recNo < desc[i].recNo));
    }
    // Descending: the first key starting with "12" is the greatest of them.
    QCOMPARE(int(index->seek("12")), int(SeekResult::Found));
    QCOMPARE(index->key(), padded("1299", 8));
    QCOMPARE(int(index->seek("12      ")), int(SeekResult::Found));
    QCOMPARE(index->key(), padded("12", 8));
    while (index->key() == padded("12", 8))
        QVERIFY(index->next());
    QCOMPARE(index->key(), padded("1199", 8));
    QVERIFY(index->check());
}

void TestNtx::bulkBuildLongKeysMatchModel_data()
{
    QTest::addColumn<bool>("descending");
    QTest::addColumn<bool>("unique");
    QTest::newRow("ascending") << false << false;
    QTest::newRow("descending") << true << false;
    QTest::newRow("unique") << false << true;
    QTest::newRow("unique descending") << true << true;
}

// Keys of 40 bytes whose first 16 bytes are shared by many entries, differing further on or not
// at all, given in shuffled record order: the sort must look past the first bytes and order
// equal keys by record number.
void TestNtx::bulkBuildLongKeysMatchModel()
{
    QFETCH(bool, descending);
    QFETCH(bool, unique);
    constexpr int kKeySize = 40;
    QRandomGenerator rng(4711);
    std::vector<Entry> entries;
    for (int i = 0; i < 6000; ++i) {
        QByteArray key = "GROUP-" + QByteArray::number(rng.bounded(3)) + "---------"; // 16 bytes
        switch (rng.bounded(4)) {
        case 0:
            break; // nothing after the shared start: one long run of equal keys
        case 1:
            key += QByteArray(23, 'x') + char('a' + rng.bounded(26)); // differs in the last byte only
            break;
        default:
            key += QByteArray::number(rng.bounded(500));
        }
        entries.push_back({padded(key, kKeySize), 0});
    }
    std::vector<std::uint32_t> recNos(entries.size());
    for (std::size_t i = 0; i < recNos.size(); ++i)
        recNos[i] = std::uint32_t(i + 1);
    std::shuffle(recNos.begin(), recNos.end(), std::mt19937(7));
    for (std::size_t i = 0; i < entries.size(); ++i)
        entries[i].recNo = recNos[i];

    std::vector<Entry> expected = entries;
    std::sort(expected.begin(), expected.end(), [&](const Entry &a, const Entry &b) {
        const int c = std::memcmp(a.key.constData(), b.key.constData(), kKeySize);
        if (c != 0)
            return descending ? c > 0 : c < 0;
        return a.recNo < b.recNo;
    });
    if (unique)
        expected.erase(std::unique(expected.begin(), expected.end(),
                                   [](const Entry &a, const Entry &b) { return a.key == b.key; }),
                       expected.end());

    testsupport::TempDataDir dir;
    const QString path = dir.file(QStringLiteral("long.ntx"));
    QVERIFY(buildIndex(path, infoFor(kKeySize, descending, unique), entries));
    auto index = openIndex(path);
    QVERIFY(index);
    QVERIFY(index->check());
    QVERIFY(walkForward(*index) == expected);
    QVERIFY(index->close());

    // The two halves of a build give the same file; an order that does not belong to the
    // entries is refused and writes nothing.
    KeyArray keys;
    keys.keySize = kKeySize;
    for (const Entry &e : entries)
        keys.add(e.key.constData(), e.recNo);
    const NtxInfo info = infoFor(kKeySize, descending, unique);
    const std::vector<std::uint32_t> order = NtxIndex::sortForBuild(info, keys);
    QCOMPARE(order.size(), expected.size());
    const QString halves = dir.file(QStringLiteral("halves.ntx"));
    QVERIFY(NtxIndex::buildSorted(*m_fs, halves, info, keys, order));
    QCOMPARE(readFile(halves), readFile(path));
    std::vector<std::uint32_t> outside = order;
    outside.back() = std::uint32_t(entries.size());
    const QString bad = dir.file(QStringLiteral("bad.ntx"));
    QCOMPARE(NtxIndex::buildSorted(*m_fs, bad, info, keys, outside).code(), Status::Code::Invalid);
    QVERIFY(!QFile::exists(bad));
    QVERIFY(NtxIndex::sortForBuild(infoFor(kKeySize + 1), keys).empty());
}

void TestNtx::bulkBuildReplacesOnlyWhenComplete()
{
    testsupport::TempDataDir dir;
    const QString path = dir.file(QStringLiteral("keep.ntx"));
    std::vector<Entry> small = {{"alpha   ", 1}, {"beta    ", 2}};
    QVERIFY(buildIndex(path, infoFor(8), small));
    const QByteArray before = readFile(path);

    std::vector<Entry> big;
    for (int i = 0; i < 20000; ++i)
        big.push_back({padded(QByteArray::number(i), 8), std::uint32_t(i + 1)});
    testsupport::FailingFileSystem full(50 * 1024);
    KeyArray keys;
    keys.keySize = 8;
    for (const Entry &e : big)
        keys.add(e.key.constData(), e.recNo);
    Status s = NtxIndex::build(full, path, infoFor(8), std::move(keys));
    QVERIFY(s.isIoError());
    QCOMPARE(readFile(path), before);
    QVERIFY(!QFile::exists(path + QStringLiteral(".tmp")));

    // Bad arguments are refused before anything is written.
    KeyArray wrong;
    wrong.keySize = 4;
    wrong.add("abcd", 1);
    QCOMPARE(NtxIndex::build(*m_fs, path, infoFor(8), std::move(wrong)).code(), Status::Code::Invalid);
    NtxInfo noExpression = infoFor(8);
    noExpression.expression.clear();
    QCOMPARE(NtxIndex::build(*m_fs, path, noExpression, KeyArray{8, {}, {}}).code(), Status::Code::Invalid);
    QCOMPARE(readFile(path), before);
}

// ----- changes -----

void TestNtx::verifySeeks(NtxIndex &index, const Model &model, int keySize, QRandomGenerator &rng, int probes)
{
    const bool descending = model.key_comp().descending;
    for (int p = 0; p < probes; ++p) {
        std::string probe = std::to_string(rng.bounded(100000));
        if (probe.size() > std::size_t(keySize))
            probe.resize(std::size_t(keySize));
        auto before = [&](const Model::value_type &e) {
            const int c = std::memcmp(e.first.data(), probe.data(), probe.size());
            return descending ? c > 0 : c < 0;
        };
        const auto it = std::partition_point(model.begin(), model.end(), before);
        const SeekResult r = index.seek(QByteArrayView(probe.data(), qsizetype(probe.size())));
        if (it == model.end()) {
            QCOMPARE(int(r), int(SeekResult::Eof));
            continue;
        }
        const bool exact = std::memcmp(it->first.data(), probe.data(), probe.size()) == 0;
        QCOMPARE(int(r), int(exact ? SeekResult::Found : SeekResult::Next));
        QCOMPARE(index.key(), QByteArray(it->first.data(), qsizetype(it->first.size())));
        QCOMPARE(index.recNo(), it->second);
    }
}

void TestNtx::randomChangesMatchModel_data()
{
    QTest::addColumn<int>("keySize");
    QTest::addColumn<bool>("descending");
    QTest::addColumn<bool>("unique");
    QTest::addColumn<int>("distinctKeys");
    QTest::addColumn<int>("operations");
    QTest::newRow("8-byte keys, many duplicates") << 8 << false << false << 2000 << 110000;
    QTest::newRow("60-byte keys, descending") << 60 << true << false << 5000 << 40000;
    QTest::newRow("10-byte keys, unique") << 10 << false << true << 30000 << 40000;
}

void TestNtx::randomChangesMatchModel()
{
    QFETCH(int, keySize);
    QFETCH(bool, descending);
    QFETCH(bool, unique);
    QFETCH(int, distinctKeys);
    QFETCH(int, operations);

    testsupport::TempDataDir dir;
    const QString path = dir.file(QStringLiteral("model.ntx"));
    QVERIFY(buildIndex(path, infoFor(keySize, descending, unique), {}));
    auto index = openIndex(path);
    QVERIFY(index);
    const int half = maxItemsFor(keySize) / 2;

    QRandomGenerator rng(quint32(keySize * 31 + descending * 7 + unique));
    Model model(ModelLess{descending});
    std::vector<std::pair<std::string, std::uint32_t>> live; // for picking a random entry
    std::uint32_t nextRecNo = 0;
    auto randomKey = [&] {
        std::string k = std::to_string(rng.bounded(distinctKeys));
        // Leading digits vary the length so that prefixes matter; the tail pads to the key size.
        k.resize(std::size_t(keySize), ' ');
        return k;
    };
    // Compares every entry, record numbers of equal keys included.
    auto sameAsModel = [&](const char *when) {
        std::vector<Entry> expected;
        for (const auto &[k, r] : model)
            expected.push_back({QByteArray(k.data(), qsizetype(k.size())), r});
        const std::vector<Entry> got = walkForward(*index);
        if (got == expected)
            return true;
        const auto diff = std::mismatch(got.begin(), got.end(), expected.begin(), expected.end());
        qWarning("%s: the index holds %zu entries, the model %zu; they differ from entry %zd", when,
                 got.size(), expected.size(), diff.first - got.begin());
        return false;
    };
    auto removeFromModel = [&](const std::string &k, std::uint32_t r) {
        auto range = model.equal_range(k);
        for (auto it = range.first; it != range.second; ++it) {
            if (it->second == r) {
                model.erase(it);
                return;
            }
        }
    };

    bool sawFree = false;
    int reopenings = 0;
    for (int op = 1; op <= operations; ++op) {
        // Grow, shrink to almost nothing (joins, free pages, root collapse), grow again.
        const double phase = double(op) / operations;
        const int insertShare = phase < 0.35 ? 75 : phase < 0.65 ? 20 : 65;
        if (live.empty() || int(rng.bounded(100)) < insertShare) {
            const std::string k = randomKey();
            const std::uint32_t r = ++nextRecNo;
            Status s = index->insert(QByteArrayView(k.data(), qsizetype(k.size())), r);
            QVERIFY2(s, qPrintable(s.toString()));
            if (!unique || model.find(k) == model.end()) {
                model.insert({k, r});
                live.push_back({k, r});
            }
        } else {
            const std::size_t i = rng.bounded(quint32(live.size()));
            const auto [k, r] = live[i];
            Status s = index->remove(QByteArrayView(k.data(), qsizetype(k.size())), r);
            QVERIFY2(s, qPrintable(s.toString()));
            removeFromModel(k, r);
            live[i] = live.back();
            live.pop_back();
        }

        if (op % 997 == 0)
            QVERIFY(index->commit());
        if (op % 4999 == 0) {
            verifySeeks(*index, model, keySize, rng, 40);
            if (QTest::currentTestFailed())
                return;
        }
        if (op % 15013 == 0) {
            // Changes thrown away leave the index as it was at the last commit.
            QVERIFY(index->commit());
            const Model savedModel = model;
            const auto savedLive = live;
            for (int i = 0; i < 100; ++i) {
                const std::string k = randomKey();
                QVERIFY(index->insert(QByteArrayView(k.data(), qsizetype(k.size())), ++nextRecNo));
                if (!live.empty() && i % 3 == 0) {
                    const auto &[rk, rr] = live[rng.bounded(quint32(live.size()))];
                    index->remove(QByteArrayView(rk.data(), qsizetype(rk.size())), rr);
                }
            }
            index->discard();
            model = savedModel;
            live = savedLive;
            QVERIFY(sameAsModel("after discard"));
        }
        if (op % 9973 == 0 || op == operations / 2) {
            NtxTreeStats stats;
            Status s = index->check({}, &stats);
            QVERIFY2(s, qPrintable(s.toString()));
            QCOMPARE(stats.keys, std::uint64_t(model.size()));
            if (stats.pages > 1)
                QVERIFY2(stats.minKeys >= half,
                         qPrintable(QStringLiteral("a page holds only %1 keys").arg(stats.minKeys)));
            sawFree = sawFree || stats.freePages > 0;
            QCOMPARE(index->depth(), stats.depth);
            QVERIFY(sameAsModel("periodic"));
            QVERIFY(walkBackward(*index) == walkForward(*index));
            QVERIFY(index->close());
            index = openIndex(path);
            QVERIFY(index);
            ++reopenings;
        }
    }
    QVERIFY(reopenings >= 4);
    QVERIFY(sawFree);
    QVERIFY(sameAsModel("at the end"));
    verifySeeks(*index, model, keySize, rng, 200);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(index->close());
    index = openIndex(path);
    QVERIFY(index);
    NtxTreeStats stats;
    Status s = index->check({}, &stats);
    QVERIFY2(s, qPrintable(s.toString()));
    QCOMPARE(std::uint64_t(stats.pages + stats.freePages + 1) * 1024, stats.fileSize);
    QVERIFY(sameAsModel("after reopening"));
}

void TestNtx::freedPagesAreReusedFirst()
{
    testsupport::TempDataDir dir;
    const QString path = dir.file(QStringLiteral("free.ntx"));
    std::vector<Entry> entries;
    for (int i = 0; i < 6000; ++i)
        entries.push_back({padded(QByteArray::number(100000 + i), 8), std::uint32_t(i + 1)});
    QVERIFY(buildIndex(path, infoFor(8), entries));
    auto index = openIndex(path);
    QVERIFY(index);
    for (int i = 0; i < 5000; ++i)
        QVERIFY(index->remove(entries[std::size_t(i)].key, entries[std::size_t(i)].recNo));
    QVERIFY(index->commit());
    NtxTreeStats afterDelete;
    QVERIFY(index->check({}, &afterDelete));
    QVERIFY(afterDelete.freePages > 50);
    QCOMPARE(afterDelete.keys, 1000u);

    // New keys take the freed pages before the file grows.
    for (int i = 0; i < 3000; ++i)
        QVERIFY(index->insert(padded(QByteArray::number(200000 + i), 8), 10000 + i));
    QVERIFY(index->commit());
    NtxTreeStats afterInsert;
    QVERIFY(index->check({}, &afterInsert));
    QVERIFY(afterInsert.freePages < afterDelete.freePages);
    if (afterInsert.freePages > 0)
        QCOMPARE(afterInsert.fileSize, afterDelete.fileSize);
    QCOMPARE(afterInsert.keys, 4000u);
    QVERIFY(index->close());
}

void TestNtx::changesToReferenceFiles()
{
    // Our changes to files another program wrote keep them sound, down to an empty tree and back.
    testsupport::TempDataDir dir;
    for (const RefIndex &ref : kReferences) {
        QVERIFY(dir.copyFile(testsupport::fixturePath(QStringLiteral("xbase/ref/") + QLatin1String(ref.file)),
                             QLatin1String(ref.file)));
        const QString path = dir.file(QLatin1String(ref.file));
        auto index = openIndex(path);
        QVERIFY(index);
        std::vector<Entry> entries = walkForward(*index);
        QRandomGenerator rng(quint32(ref.keySize));
        std::shuffle(entries.begin(), entries.end(), std::mt19937(rng.generate()));
        for (std::size_t i = 0; i < entries.size(); ++i) {
            Status s = index->remove(entries[i].key, entries[i].recNo);
            QVERIFY2(s, qPrintable(s.toString()));
            if (i % 500 == 0)
                QVERIFY(index->check());
        }
        QCOMPARE(index->depth(), 1);
        QVERIFY(!index->first());
        QVERIFY(index->error().isOk());
        QCOMPARE(index->remove(entries[0].key, entries[0].recNo).code(), Status::Code::NotFound);
        for (const Entry &e : entries)
            QVERIFY(index->insert(e.key, e.recNo));
        QVERIFY(index->close());
        index = openIndex(path);
        QVERIFY(index);
        NtxTreeStats stats;
        QVERIFY(index->check({}, &stats));
        QCOMPARE(stats.keys, entries.size());
        QCOMPARE(std::uint64_t(stats.pages + stats.freePages + 1) * 1024, stats.fileSize);
        std::sort(entries.begin(), entries.end(), byKeyThenRecord);
        std::vector<Entry> walked = walkForward(*index);
        std::stable_sort(walked.begin(), walked.end(), byKeyThenRecord);
        QVERIFY(walked == entries);
    }
}

void TestNtx::fullDiskOnCommitKeepsTheFile()
{
    testsupport::TempDataDir dir;
    const QString path = dir.file(QStringLiteral("full.ntx"));
    std::vector<Entry> entries;
    for (int i = 0; i < 3000; ++i)
        entries.push_back({padded(QByteArray::number(i * 2), 8), std::uint32_t(i + 1)});
    QVERIFY(buildIndex(path, infoFor(8), entries));
    const QByteArray before = readFile(path);

    testsupport::FailingFileSystem full(0);
    std::unique_ptr<NtxIndex> index;
    QVERIFY(NtxIndex::open(full, path, false, &index));
    for (int i = 0; i < 3000; ++i)
        QVERIFY(index->insert(padded(QByteArray::number(i * 2 + 1), 8), 5000 + i));
    Status s = index->commit();
    QVERIFY(s.isIoError());
    QVERIFY(s.message().contains(QLatin1String("full.ntx")));
    // The index is back at its committed state, in memory and on disk.
    std::sort(entries.begin(), entries.end(), byKeyThenRecord);
    QVERIFY(walkForward(*index) == entries);
    QVERIFY(index->check());
    QCOMPARE(QFile(path).size(), qint64(before.size()));
    QVERIFY(index->close());
    QCOMPARE(readFile(path), before);

    // reserve() finds the full disk before any change.
    QVERIFY(NtxIndex::open(full, path, false, &index));
    QVERIFY(index->reserve(index->depth() + 2).isIoError());
    QVERIFY(index->close());
    QCOMPARE(readFile(path), before);
    auto reopened = openIndex(path);
    QVERIFY(reopened);
    QVERIFY(walkForward(*reopened) == entries);
}

void TestNtx::reserveMakesCommitGrowthFree()
{
    testsupport::TempDataDir dir;
    const QString path = dir.file(QStringLiteral("reserve.ntx"));
    QVERIFY(buildIndex(path, infoFor(8), {}));
    testsupport::FailingFileSystem disk(1 << 30);
    std::unique_ptr<NtxIndex> index;
    QVERIFY(NtxIndex::open(disk, path, false, &index));
    std::vector<Entry> entries;
    for (int i = 0; i < 20000; ++i) {
        // As the table does: room first, then the change. With the disk full after the room
        // is made, the change and even its commit still succeed.
        QVERIFY(index->reserve(index->depth() + 2));
        disk.setBudget(0);
        const Entry e{padded(QByteArray::number((i * 7) % 20011), 8), std::uint32_t(i + 1)};
        Status s = index->insert(e.key, e.recNo);
        QVERIFY2(s, qPrintable(s.toString()));
        entries.push_back(e);
        if (i % 2000 == 1999) {
            s = index->commit();
            QVERIFY2(s, qPrintable(s.toString()));
        }
        disk.setBudget(1 << 30);
    }
    disk.setBudget(0);
    QVERIFY(index->close());
    auto reopened = openIndex(path);
    QVERIFY(reopened);
    NtxTreeStats stats;
    QVERIFY(reopened->check({}, &stats));
    // The reserved pages that were not used were given back at close.
    QCOMPARE(std::uint64_t(stats.pages + stats.freePages + 1) * 1024, stats.fileSize);
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry &a, const Entry &b) { return a.key < b.key; });
    QVERIFY(walkForward(*reopened) == entries);
}

void TestNtx::crashLeavesTheMarkSet()
{
    testsupport::TempDataDir dir;
    const QString path = dir.file(QStringLiteral("crash.ntx"));
    QVERIFY(buildIndex(path, infoFor(8), {{"one     ", 1}, {"two     ", 2}}));
    auto version = [](const QByteArray &h) { return int(quint8(h[2])) | (int(quint8(h[3])) << 8); };
    const int versionBefore = version(readFile(path));

    // Opened and dropped without a change: nothing was written, the file opens as before.
    openIndex(path).reset();
    QVERIFY(openIndex(path));

    auto index = openIndex(path);
    QVERIFY(index);
    QVERIFY(index->insert("three", 3));
    QVERIFY(index->commit());
    // The program "crashes" here: the bytes on disk are what another open would see.
    const QString copy = dir.file(QStringLiteral("after-crash.ntx"));
    QVERIFY(writeFile(copy, readFile(path)));
    std::unique_ptr<NtxIndex> crashed;
    Status s = NtxIndex::open(*m_fs, copy, true, &crashed);
    QVERIFY(s.isCorruption());
    QVERIFY2(s.message().contains(QLatin1String("not closed cleanly")), qPrintable(s.message()));
    QVERIFY(s.message().contains(QLatin1String("after-crash.ntx")));

    QVERIFY(index->close());
    const QByteArray closed = readFile(path);
    QVERIFY(version(closed) != versionBefore);
    index = openIndex(path);
    QVERIFY(index);
    QCOMPARE(walkForward(*index).size(), std::size_t(3));
}

void TestNtx::secondOpenWhileChanging()
{
    // Two opens of one file, as two copies of the program would have.
    testsupport::TempDataDir dir;
    const QString path = dir.file(QStringLiteral("two.ntx"));
    std::vector<Entry> entries;
    for (int i = 0; i < 2000; ++i)
        entries.push_back({padded(QByteArray::number(i * 3), 8), std::uint32_t(i + 1)});
    QVERIFY(buildIndex(path, infoFor(8), entries));

    auto reader = openIndex(path); // opened before anyone changes the file
    QVERIFY(reader);
    QCOMPARE(int(reader->seek("3")), int(SeekResult::Found));
    auto writer = openIndex(path);
    QVERIFY(writer);
    for (int i = 0; i < 1500; ++i)
        QVERIFY(writer->insert(padded(QByteArray::number(i * 3 + 1), 8), 3000 + i));
    QVERIFY(writer->commit());

    // A third open sees the mark of a live writer: busy, not damaged.
    std::unique_ptr<NtxIndex> third;
    Status s = NtxIndex::open(*m_fs, path, true, &third);
    QVERIFY2(s.isLocked(), qPrintable(s.toString()));
    // The early open may not change the file while the writer has it.
    s = reader->insert(padded("x", 8), 9999);
    QVERIFY2(s.isLocked(), qPrintable(s.toString()));
    QVERIFY(s.message().contains(QLatin1String("two.ntx")));

    QVERIFY(writer->close());
    // Now it may, and it works from the file as the writer left it, not from its old pages.
    for (int i = 0; i < 500; ++i)
        QVERIFY(reader->insert(padded(QByteArray::number(i * 3 + 2), 8), 5000 + i));
    QVERIFY(reader->close());
    auto after = openIndex(path);
    QVERIFY(after);
    NtxTreeStats stats;
    s = after->check({}, &stats);
    QVERIFY2(s, qPrintable(s.toString()));
    QCOMPARE(stats.keys, 4000u);
    QCOMPARE(std::uint64_t(stats.pages + stats.freePages + 1) * 1024, stats.fileSize);
}

void TestNtx::readOnlyRefusesChanges()
{
    const QString path = testsupport::fixturePath(QStringLiteral("xbase/ref/ccno.ntx"));
    const QByteArray before = readFile(path);
    auto index = openIndex(path, true);
    QVERIFY(index);
    QCOMPARE(index->insert("     1", 1).code(), Status::Code::Invalid);
    QCOMPARE(index->reserve(3).code(), Status::Code::Invalid);
    QVERIFY(index->first());
    QVERIFY(index->close());
    QCOMPARE(readFile(path), before);
}

void TestNtx::relativePosition()
{
    testsupport::TempDataDir dir;
    const QString path = dir.file(QStringLiteral("pos.ntx"));
    std::vector<Entry> entries;
    const int n = 30000;
    for (int i = 0; i < n; ++i)
        entries.push_back({padded(QByteArray::number(100000 + i), 6), std::uint32_t(i + 1)});
    QVERIFY(buildIndex(path, infoFor(6), entries));
    auto index = openIndex(path);
    QVERIFY(index);
    QVERIFY(index->first());
    QCOMPARE(index->relativePosition(), 0.0);
    QVERIFY(index->last());
    QCOMPARE(index->relativePosition(), 1.0);

    double previous = -1;
    int i = 0;
    for (bool ok = index->first(); ok; ok = index->next(), ++i) {
        const double p = index->relativePosition();
        QVERIFY2(p >= previous - 1e-12, qPrintable(QStringLiteral("entry %1 at %2, the one before at %3")
                                                       .arg(i)
                                                       .arg(p, 0, 'g', 17)
                                                       .arg(previous, 0, 'g', 17)));
        if (i % 1000 == 0)
            QVERIFY2(std::abs(p - double(i) / (n - 1)) < 0.05,
                     qPrintable(QStringLiteral("entry %1 at %2").arg(i).arg(p)));
        previous = p;
    }
    for (double want : {0.0, 0.1, 0.25, 0.5, 0.77, 0.999, 1.0}) {
        QVERIFY(index->setRelativePosition(want));
        const int at = int(index->recNo()) - 1;
        QVERIFY2(std::abs(double(at) / (n - 1) - want) < 0.05,
                 qPrintable(QStringLiteral("%1 went to %2").arg(want).arg(at)));
        QVERIFY(std::abs(index->relativePosition() - want) < 0.05);
    }
    QVERIFY(index->setRelativePosition(0.0));
    QCOMPARE(index->recNo(), 1u);
    QVERIFY(index->setRelativePosition(1.0));
    QCOMPARE(index->recNo(), std::uint32_t(n));
}

QTEST_GUILESS_MAIN(TestNtx)
#include "tst_ntx.moc"
