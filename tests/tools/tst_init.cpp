// tallyra-init: the files of a new business and of the sample business, read back by our own
// engine, by an independent reader (python3-dbfread) and checked by tallyra-dbtool.

#include "Clock.h"
#include "Conversions.h"
#include "NewBusiness.h"
#include "Records.h"
#include "Settings.h"
#include "Tables.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>
#include <cmath>
#include <map>

using namespace tallyra;
using testsupport::TempDataDir;

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(testsupport::binPath(program), args);
    Run r;
    if (!p.waitForFinished(120000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

std::map<QString, QByteArray> snapshot(const QString &dir)
{
    std::map<QString, QByteArray> files;
    for (const QString &name : QDir(dir).entryList(QDir::Files)) {
        QFile f(QDir(dir).filePath(name));
        if (f.open(QIODevice::ReadOnly))
            files[name] = f.readAll();
    }
    return files;
}

template <typename Record, typename Load> QList<Record> readAll(db::Engine &engine, TableId id, Load load)
{
    QList<Record> list;
    const OpenResult open = openTable(engine, id);
    if (!open)
        return list;
    open.table->selectNatural();
    for (bool more = open.table->go(1); more; more = open.table->skip(1)) {
        Record r;
        if (!load(*open.table, r).isOk())
            return {};
        list << r;
    }
    engine.closeAll();
    return list;
}

// Every table of a data directory as python3-dbfread reads it: {"CUST5": [{field: value}], ...}.
const char *kDbfread = R"PY(
import json, sys, os
from dbfread import DBF
out = {}
for name in sys.argv[2:]:
    path = os.path.join(sys.argv[1], name)
    rows = []
    table = DBF(path, encoding='utf-8', char_decode_errors='strict', ignore_missing_memofile=False)
    memos = {f.name for f in table.fields if f.type == 'M'}
    for r in table:
        row = {}
        for k, v in r.items():
            if v is None and k in memos:
                v = ''  # an empty memo has no block
            row[k] = None if v is None else (v.isoformat() if hasattr(v, 'isoformat') else v)
        rows.append(row)
    out[name] = rows
print(json.dumps(out))
)PY";

// Our engine's reading of the same table, in the same form, from the stored bytes.
QJsonArray ourReading(const QString &dir, const TableDef &def)
{
    QJsonArray rows;
    db::Engine engine(dir);
    engine.setAutoOpenIndex(false);
    db::Table *t = engine.open(def.name);
    if (!t)
        return rows;
    for (bool more = t->go(1); more; more = t->skip(1)) {
        QJsonObject row;
        for (int i = 0; i < t->fieldCount(); ++i) {
            const db::FieldDef &f = t->field(i);
            const QString key = QString::fromLatin1(f.name);
            switch (f.type) {
            case db::FieldType::Character:
                row[key] = t->text(i);
                break;
            case db::FieldType::Numeric:
                row[key] = t->number(i);
                break;
            case db::FieldType::Date: {
                const QDate d = storedToDate(QString::fromLatin1(t->raw(i)));
                row[key] = d.isValid() ? QJsonValue(d.toString(Qt::ISODate)) : QJsonValue();
                break;
            }
            case db::FieldType::Logical:
                row[key] = t->logical(i);
                break;
            case db::FieldType::Memo:
                row[key] = t->memo(i);
                break;
            }
        }
        rows.append(row);
    }
    return rows;
}

} // namespace

class TestInit : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { tallyra::setFixedToday({}); }

    void newBusinessHasEveryTableAndItsDefaults()
    {
        TempDataDir dir;
        const QString path = dir.file("shop"); // made by the program
        const Run r = run("tallyra-init", {path});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY(dataFilesPresent(path));
        db::Engine engine(path);
        for (const TableDef &def : schemaTables()) {
            const OpenResult open = openTable(engine, def.id);
            QVERIFY2(open, qPrintable(def.name + ": " + open.detail()));
            const quint32 expected = def.id == TableId::Settings || def.id == TableId::ImportDirs ? 1
                                     : def.id == TableId::Labels                                  ? 7
                                                                                                  : 0;
            QCOMPARE(open.table->recordCount(), expected);
            QCOMPARE(open.table->tagNames().size(), def.tags.size());
            if (!def.memoFileName.isEmpty())
                QVERIFY(QFile::exists(QDir(path).filePath(def.memoFileName)));
            engine.closeAll();
        }
        SettingsRecord s;
        QVERIFY(loadSettings(engine, s));
        QCOMPARE(s, defaultSettings());
        const QList<ImportDirsRecord> dirs =
            readAll<ImportDirsRecord>(engine, TableId::ImportDirs, loadImportDirs);
        QCOMPARE(dirs, QList<ImportDirsRecord>{ImportDirsRecord{}});
        const Run check = run("tallyra-dbtool", {"check", path});
        QVERIFY2(check.exitCode == 0, qPrintable(check.out + check.err));
    }

    // Label stocks: every sheet's margins, labels and gaps add up to its page, and the two
    // everyday sheets have their exact sizes.
    void labelStocksFitTheirPages()
    {
        TempDataDir dir;
        QVERIFY(createBusiness(dir.path(), false).ok());
        db::Engine engine(dir.path());
        const QList<LabelRecord> labels = readAll<LabelRecord>(engine, TableId::Labels, loadLabel);
        QCOMPARE(labels.size(), 7);
        std::map<QString, LabelRecord> byName;
        for (const LabelRecord &l : labels) {
            byName[l.Name] = l;
            if (l.Continuous)
                continue;
            const double pageWidth = l.Name.startsWith("A4") ? 595.276 : 612;
            const double pageHeight = l.Name.startsWith("A4") ? 841.890 : 792;
            const double across = l.LeftM + l.NAcross * l.Width + (l.NAcross - 1) * l.HGap + l.RightM;
            QVERIFY2(std::fabs(across - pageWidth) < 0.002, qPrintable(l.Name));
            const double rows =
                std::floor((pageHeight - l.TopM - l.BottomM + l.VGap) / (l.Height + l.VGap) + 1e-6);
            const double down = l.TopM + rows * l.Height + (rows - 1) * l.VGap + l.BottomM;
            QVERIFY2(std::fabs(down - pageHeight) < 0.002, qPrintable(l.Name));
        }
        const LabelRecord letter = byName.at("Letter 3 x 10, 1 x 2-5/8 in");
        QCOMPARE(letter.Width, 189.0); // 2 5/8 in
        QCOMPARE(letter.Height, 72.0); // 1 in
        QCOMPARE(letter.NAcross, 3);
        QCOMPARE(std::round((792 - letter.TopM - letter.BottomM) / letter.Height), 10.0);
        const LabelRecord a4 = byName.at("A4 3 x 7, 63.5 x 38.1 mm");
        QCOMPARE(a4.Width, 180.0);  // 63.5 mm
        QCOMPARE(a4.Height, 108.0); // 38.1 mm
        QCOMPARE(a4.NAcross, 3);
        QCOMPARE(a4.HGap, 7.2); // 2.54 mm
        QCOMPARE(std::round((841.890 - a4.TopM - a4.BottomM) / a4.Height), 7.0);
    }

    void refusesToWriteOverAnExistingDataSet()
    {
        TempDataDir dir;
        QVERIFY(run("tallyra-init", {dir.path(), "--demo"}).exitCode == 0);
        const auto before = snapshot(dir.path());
        const Run again = run("tallyra-init", {dir.path()});
        QVERIFY(again.exitCode != 0);
        QVERIFY2(again.err.contains("already holds data files"), qPrintable(again.err));
        QVERIFY(snapshot(dir.path()) == before);

        // One stray file of the schema, in any case, is enough to refuse.
        TempDataDir other;
        QFile stray(other.file("pmt.dbf"));
        QVERIFY(stray.open(QIODevice::WriteOnly));
        stray.write("not a table");
        stray.close();
        QVERIFY(!createBusiness(other.path(), false).ok());
        QCOMPARE(QDir(other.path()).entryList(QDir::Files), QStringList{"pmt.dbf"});

        QVERIFY(run("tallyra-init", {}).exitCode == 2);
    }

    // A disk that fills up while the files are made leaves no half-made business behind.
    void fullDiskLeavesNothingBehind()
    {
        TempDataDir dir;
        auto fs = std::make_shared<testsupport::FailingFileSystem>(20000);
        const NewBusinessResult r = createBusiness(dir.path(), true, fs);
        QVERIFY(!r.ok());
        QVERIFY2(r.message.contains("No data files were made"), qPrintable(r.message));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());
        // With room, the same directory takes the business.
        QVERIFY(createBusiness(dir.path(), true).ok());
    }

    // The sample business: its size, its variety, and figures that add up.
    void demoBusinessIsConsistent()
    {
        tallyra::setFixedToday(QDate(2026, 3, 15));
        TempDataDir dir;
        const NewBusinessResult made = createBusiness(dir.path(), true);
        QVERIFY2(made.ok(), qPrintable(made.message));
        db::Engine engine(dir.path());
        SettingsRecord settings;
        QVERIFY(loadSettings(engine, settings));
        QVERIFY(!settings.Company.isEmpty());
        QVERIFY(settings.TaxRate2 > 0);

        const auto groups = readAll<GroupRecord>(engine, TableId::Groups, loadGroup);
        const auto customers = readAll<CustomerRecord>(engine, TableId::Customers, loadCustomer);
        const auto products = readAll<ProductRecord>(engine, TableId::Products, loadProduct);
        const auto purchases = readAll<PurchaseRecord>(engine, TableId::Purchases, loadPurchase);
        const auto invoices = readAll<InvoiceRecord>(engine, TableId::Invoices, loadInvoice);
        const auto items = readAll<ItemRecord>(engine, TableId::Items, loadItem);
        const auto payments = readAll<PaymentRecord>(engine, TableId::Payments, loadPayment);
        QCOMPARE(groups.size(), 4);
        QCOMPARE(customers.size(), 60);
        QCOMPARE(products.size(), 30);
        QCOMPARE(invoices.size(), 150);

        int withoutMail = 0, accented = 0, longLines = 0;
        for (const CustomerRecord &c : customers) {
            withoutMail += c.EMail.isEmpty();
            accented += (c.First + c.Last).toUtf8().size() != (c.First + c.Last).size();
            longLines += c.Addr2.size() == 34 || c.Addr3.size() == 34;
            QVERIFY(c.NGroup >= 1 && c.NGroup <= 4);
            QVERIFY(c.First.size() <= 13 && c.Last.size() <= 20 && c.Addr4.size() <= 19 &&
                    c.EMail.size() <= 60);
        }
        QVERIFY(withoutMail >= 5);
        QVERIFY(accented >= 3);
        QVERIFY(longLines >= 2);

        std::map<QString, const ProductRecord *> productById;
        for (const ProductRecord &p : products)
            productById[p.PrID] = &p;
        std::map<qint64, QList<ItemRecord>> itemsOf;
        std::map<QString, double> sold;
        for (const ItemRecord &i : items) {
            itemsOf[i.IvNo] << i;
            QVERIFY2(productById.count(i.PrID), qPrintable(i.PrID));
            sold[i.PrID] += i.Qty;
        }
        std::map<qint64, double> paidOf;
        for (const PaymentRecord &p : payments) {
            paidOf[p.IvNo] = roundToCents(paidOf[p.IvNo] + p.PAmt);
            QVERIFY(p.PDate.isValid() && p.PDate <= tallyra::today());
        }
        const QDate today = tallyra::today();
        int paid = 0, partly = 0, overdue = 0, discounted = 0, shipped = 0, taxed = 0, remarks = 0;
        QDate previous;
        for (const InvoiceRecord &inv : invoices) {
            QVERIFY(inv.IDate.isValid() && inv.IDate <= today && inv.IDate >= today.addDays(-183));
            QVERIFY(previous.isNull() || previous <= inv.IDate);
            previous = inv.IDate;
            QVERIFY(!itemsOf[inv.IvNo].isEmpty());
            // The figures the invoice window would show for these items.
            double sum = 0, taxBase = 0;
            for (const ItemRecord &i : itemsOf[inv.IvNo]) {
                const double line = roundToCents(i.Qty * i.UPR);
                sum += line;
                if (i.LTax2)
                    taxBase += line;
            }
            taxBase = roundToCents(taxBase);
            if (inv.Discount > 0)
                taxBase = roundToCents(taxBase - roundToCents(taxBase * inv.Discount / 100));
            const double subtotal = roundToCents(sum - roundToCents(sum * inv.Discount / 100));
            QCOMPARE(inv.Tax, roundCharge(settings.TaxRate2 / 100 * taxBase, settings.TaxRound));
            const double total = roundToCents(subtotal + inv.Ship + inv.Tax);
            QCOMPARE(inv.Due, roundToCents(total - paidOf[inv.IvNo]));
            QVERIFY(inv.Due >= 0);
            paid += paidOf[inv.IvNo] > 0 && inv.Due == 0;
            partly += paidOf[inv.IvNo] > 0 && inv.Due > 0;
            overdue += paidOf[inv.IvNo] == 0 && inv.IDate.daysTo(today) > 30;
            discounted += inv.Discount > 0;
            shipped += inv.Ship > 0;
            taxed += inv.Tax > 0;
            remarks += !inv.REM.isEmpty();
        }
        QVERIFY(paid >= 40);
        QVERIFY(partly >= 5);
        QVERIFY(overdue >= 5);
        QVERIFY(discounted >= 5);
        QVERIFY(shipped >= 50);
        QVERIFY(taxed >= 50);
        QVERIFY(remarks >= 5);

        // Stock on hand is what was bought less what was sold.
        std::map<QString, double> bought;
        for (const PurchaseRecord &p : purchases) {
            bought[p.PURProd] += p.PURQty;
            QVERIFY(p.PURCost > 0 && p.PURDate < today);
        }
        int inventory = 0;
        for (const ProductRecord &p : products) {
            if (!p.lInven)
                continue;
            ++inventory;
            QVERIFY2(bought.count(p.PrID), qPrintable(p.PrID));
            QCOMPARE(p.ONHAND, bought[p.PrID] - sold[p.PrID]);
            QVERIFY(p.ONHAND > 0);
        }
        QVERIFY(inventory >= 8);
    }

    // tallyra-dbtool reindex repairs the index files, pack removes deleted records.
    void dbtoolReindexAndPack()
    {
        TempDataDir dir;
        QVERIFY(run("tallyra-init", {dir.path(), "--demo"}).exitCode == 0);
        QVERIFY(QFile::remove(dir.file("invd.ntx")));
        QFile ccno(dir.file("ccno.ntx"));
        QVERIFY(ccno.resize(ccno.size() / 2));
        QVERIFY(run("tallyra-dbtool", {"check", dir.path()}).exitCode != 0);
        const Run reindex = run("tallyra-dbtool", {"reindex", dir.path()});
        QVERIFY2(reindex.exitCode == 0, qPrintable(reindex.err));
        QVERIFY(reindex.out.contains("INV6"));
        Run check = run("tallyra-dbtool", {"check", dir.path()});
        QVERIFY2(check.exitCode == 0, qPrintable(check.out + check.err));

        quint32 items = 0;
        {
            db::Engine engine(dir.path());
            const OpenResult open = openItems(engine);
            QVERIFY(open);
            items = open.table->recordCount();
            QVERIFY(open.table->go(3) && open.table->markDeleted().isOk());
            QVERIFY(open.table->go(5) && open.table->markDeleted().isOk());
        }
        const Run pack = run("tallyra-dbtool", {"pack", dir.path()});
        QVERIFY2(pack.exitCode == 0, qPrintable(pack.err));
        db::Engine engine(dir.path());
        const OpenResult open = openItems(engine);
        QCOMPARE(open.table->recordCount(), items - 2);
        engine.closeAll();
        check = run("tallyra-dbtool", {"check", dir.path()});
        QVERIFY2(check.exitCode == 0, qPrintable(check.out + check.err));
    }

    // The same date gives the same files, byte for byte.
    void demoIsDeterministic()
    {
        tallyra::setFixedToday(QDate(2026, 3, 15));
        TempDataDir a, b;
        QVERIFY(createBusiness(a.path(), true).ok());
        QVERIFY(createBusiness(b.path(), true).ok());
        QVERIFY(snapshot(a.path()) == snapshot(b.path()));
    }

    // The program's demo output passes tallyra-dbtool check and reads the same in python3-dbfread.
    void demoOutputReadsTheSameInAnIndependentReader()
    {
        TempDataDir dir;
        const Run init = run("tallyra-init", {dir.path(), "--demo"});
        QVERIFY2(init.exitCode == 0, qPrintable(init.err));
        const Run check = run("tallyra-dbtool", {"check", dir.path()});
        QVERIFY2(check.exitCode == 0, qPrintable(check.out + check.err));

        if (!QFile::exists("/usr/bin/python3"))
            QSKIP("python3 is not installed");
        QStringList files;
        for (const TableDef &def : schemaTables())
            files << def.fileName;
        QProcess py;
        py.start("/usr/bin/python3", QStringList{"-c", kDbfread, dir.path()} + files);
        QVERIFY(py.waitForFinished(120000));
        QVERIFY2(py.exitCode() == 0, py.readAllStandardError().constData());
        const QJsonObject peer = QJsonDocument::fromJson(py.readAllStandardOutput()).object();
        for (const TableDef &def : schemaTables()) {
            const QJsonArray theirs = peer[def.fileName].toArray();
            const QJsonArray ours = ourReading(dir.path(), def);
            QCOMPARE(theirs.size(), ours.size());
            for (qsizetype i = 0; i < ours.size(); ++i) {
                const QJsonObject o = ours[i].toObject();
                const QJsonObject t = theirs[i].toObject();
                QCOMPARE(t.keys(), o.keys());
                for (const QString &key : o.keys()) {
                    const QJsonValue a = o[key];
                    const QJsonValue b = t[key];
                    const bool same = a.isDouble() ? b.isDouble() && a.toDouble() == b.toDouble() : a == b;
                    QVERIFY2(
                        same,
                        qPrintable(QStringLiteral("%1 record %2 field %3: ours %4, theirs %5")
                                       .arg(def.fileName)
                                       .arg(i + 1)
                                       .arg(key)
                                       .arg(QJsonDocument(QJsonArray{a}).toJson(QJsonDocument::Compact),
                                            QJsonDocument(QJsonArray{b}).toJson(QJsonDocument::Compact))));
                }
            }
        }
        // A few values checked against the peer directly, not only against our reading.
        const QJsonArray settings = peer["TLR2.DBF"].toArray();
        QCOMPARE(settings.size(), 1);
        QCOMPARE(settings[0].toObject()["FONTNAME"].toString(), QStringLiteral("DejaVu Sans Mono"));
        QCOMPARE(settings[0].toObject()["FIFO"].toBool(), true);
        QCOMPARE(peer["CUST5.DBF"].toArray().size(), 60);
        QCOMPARE(peer["INV6.DBF"].toArray()[0].toObject()["IVNO"].toInt(), 1001);
    }
};

QTEST_GUILESS_MAIN(TestInit)
#include "tst_init.moc"
