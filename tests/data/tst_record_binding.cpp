// Every field of every record type, written through its writer into a table created from the
// schema, then read by an independent dBASE reader (Debian's python3-dbfread) by field name and
// by our own loader. Within a record every field holds a value no other field of its kind holds,
// and each logical field is the only true one in one record, so a field read from and written to
// the wrong member (even the same wrong member both ways) shows as a wrong value under its name.

#include "Clock.h"
#include "Records.h"
#include "Schema.h"
#include "Settings.h"
#include "Tables.h"
#include "TestSupport.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <functional>

using namespace tallyra;
using testsupport::TempDataDir;

namespace {

// Field name and the value the peer must read there.
using PeerFields = QList<QPair<QString, QJsonValue>>;

template <typename Record> struct RecordCase
{
    TableId table;
    db::Status (*write)(db::Table &, const Record &);
    db::Status (*load)(const db::Table &, Record &);
    int records;                                    // written, the k passed to make() is 0 .. records - 1
    std::function<Record(int k)> make;              // the record written as the k-th
    std::function<Record(Record)> readBack;         // what comes back: memos trimmed, ...
    std::function<PeerFields(const Record &)> peer; // every field of the table, by name
    std::function<void(db::Table &)> before = {};   // values set before the writer runs
};

QString repeat(const QString &piece, int times)
{
    QString s;
    for (int i = 0; i < times; ++i)
        s += piece;
    return s;
}

QJsonValue date(const QDate &d)
{
    return d.isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(d.toString(Qt::ISODate));
}

QJsonValue num(double v)
{
    return QJsonValue(v);
}

QString show(const QJsonValue &v)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact));
}

// Numbers compare by value (the peer gives whole numbers for fields without decimals).
bool same(const QJsonValue &a, const QJsonValue &b)
{
    if (a.isDouble() && b.isDouble())
        return a.toDouble() == b.toDouble();
    return a == b;
}

template <typename Record> void checkRecordType(const QString &dir, const RecordCase<Record> &c)
{
    const TableDef &def = tableDef(c.table);
    QList<Record> written;
    {
        db::Engine engine(dir);
        const OpenResult open = openTable(engine, c.table);
        QVERIFY2(open, qPrintable(open.detail()));
        for (int k = 0; k < c.records; ++k) {
            written << c.make(k);
            QVERIFY(open.table->appendBlank().isOk());
            if (c.before)
                c.before(*open.table);
            const db::Status s = c.write(*open.table, written.last());
            QVERIFY2(s.isOk(), qPrintable(s.toString()));
        }
        QVERIFY(engine.closeAll().isOk());
    }

    const QJsonArray rows = testsupport::dbfreadRows(dir + QLatin1Char('/') + def.fileName);
    QCOMPARE(rows.size(), c.records);
    for (int k = 0; k < c.records; ++k) {
        QJsonObject byName;
        const QJsonObject row = rows.at(k).toObject();
        for (auto it = row.begin(); it != row.end(); ++it)
            byName.insert(it.key().toUpper(), it.value());
        const PeerFields expected = c.peer(c.readBack(written.at(k)));
        // The expectations name every field of the table, once.
        QCOMPARE(expected.size(), def.fields.size());
        for (const auto &[name, value] : expected) {
            const QString key = name.toUpper();
            QVERIFY2(byName.contains(key), qPrintable(def.name + QLatin1Char('.') + name + " not read"));
            QVERIFY2(same(byName.value(key), value),
                     qPrintable(QStringLiteral("%1 record %2, %3: read %4, expected %5")
                                    .arg(def.name)
                                    .arg(k + 1)
                                    .arg(name, show(byName.value(key)), show(value))));
            byName.remove(key);
        }
    }

    db::Engine engine(dir);
    const OpenResult open = openTable(engine, c.table);
    QVERIFY(open);
    for (int k = 0; k < c.records; ++k) {
        QVERIFY(open.table->go(quint32(k + 1)));
        Record back;
        const db::Status s = c.load(*open.table, back);
        QVERIFY2(s.isOk(), qPrintable(s.toString()));
        QVERIFY2(back == c.readBack(written.at(k)),
                 qPrintable(def.name + QStringLiteral(" record %1").arg(k + 1)));
    }
}

template <typename Record> Record unchanged(Record r)
{
    return r;
}

// --- the twelve record types -------------------------------------------------------------------

RecordCase<CustomerRecord> customers()
{
    return {TableId::Customers,
            writeCustomer,
            loadCustomer,
            2,
            [](int k) {
                CustomerRecord r;
                r.CuNo = 999999 - k;
                r.Title = QStringLiteral("Dr.%1").arg(k);
                r.First = QStringLiteral("Zoë%1").arg(k);
                r.Last = QStringLiteral("Ångström%1").arg(k);
                r.Addr1 = QStringLiteral("Harbor Lane Office Supply %1").arg(k);
                r.Addr2 = QStringLiteral("Suite 14%1").arg(k);
                r.Addr3 = QStringLiteral("12 Quay Street %1").arg(k);
                r.Addr4 = QStringLiteral("Portsmouth NH %1").arg(k);
                r.Zip = QStringLiteral("03801-441%1").arg(k);
                r.Comments = QStringLiteral("Pays by card %1.\r\nCall first.  \r\n\r\n ").arg(k);
                r.NGroup = 12 + k;
                r.Note = QStringLiteral("Prefers e-mail %1").arg(k);
                r.Phone = QStringLiteral("+1 603 555 014%1").arg(k);
                r.Fax = QStringLiteral("+1 603 555 019%1").arg(k);
                // 60 characters: e-mail addresses are written whole.
                r.EMail =
                    repeat(QStringLiteral("a"), 47) + QString::number(k) + QStringLiteral("@example.com");
                return r;
            },
            [](CustomerRecord r) {
                r.Comments = r.Comments.left(r.Comments.indexOf(QLatin1String("first.")) + 6);
                return r;
            },
            [](const CustomerRecord &r) {
                return PeerFields{{"CuNo", num(r.CuNo)},
                                  {"Title", r.Title},
                                  {"First", r.First},
                                  {"Last", r.Last},
                                  {"Addr1", r.Addr1},
                                  {"Addr2", r.Addr2},
                                  {"Addr3", r.Addr3},
                                  {"Addr4", r.Addr4},
                                  {"Zip", r.Zip},
                                  {"Comments", r.Comments},
                                  {"NGroup", num(r.NGroup)},
                                  {"Note", r.Note},
                                  {"Phone", r.Phone},
                                  {"Fax", r.Fax},
                                  {"EMail", r.EMail}};
            }};
}

RecordCase<GroupRecord> groups()
{
    return {TableId::Groups,
            writeGroup,
            loadGroup,
            2,
            [](int k) {
                return GroupRecord{7 + k, QStringLiteral("Wholesale %1").arg(k)};
            },
            unchanged<GroupRecord>,
            [](const GroupRecord &r) {
                return PeerFields{{"nGroup", num(r.nGroup)}, {"cGroup", r.cGroup}};
            }};
}

// lBuild is written false whatever the record held.
RecordCase<ProductRecord> products()
{
    return {TableId::Products,
            writeProduct,
            loadProduct,
            3,
            [](int k) {
                ProductRecord r;
                r.PrID = QStringLiteral("CHAIR-ERG%1").arg(k);
                r.RCode = QStringLiteral("LIC-000%1").arg(k);
                r.PDesc = repeat(QStringLiteral("ä"), 26) + QString::number(k);
                r.IComm = QStringLiteral("Adjustable arms %1").arg(k);
                r.UPrice = k == 0 ? 99999999.99 : 10.25 + k;
                r.LTax1 = k == 0;
                r.LTax2 = k == 1;
                r.lInven = k == 2;
                r.REORDER = -12.5 - k;
                r.ONHAND = k == 0 ? -99999999.99 : 300.75 + k;
                r.PMemo = QStringLiteral("Five-year warranty %1.\nParts only.\n\n\t").arg(k);
                return r;
            },
            [](ProductRecord r) {
                r.PMemo.chop(3);
                return r;
            },
            [](const ProductRecord &r) {
                return PeerFields{
                    {"PrID", r.PrID},          {"RCode", r.RCode},        {"PDesc", r.PDesc},
                    {"IComm", r.IComm},        {"UPrice", num(r.UPrice)}, {"LTax1", r.LTax1},
                    {"LTax2", r.LTax2},        {"lInven", r.lInven},      {"REORDER", num(r.REORDER)},
                    {"ONHAND", num(r.ONHAND)}, {"PMemo", r.PMemo},        {"lBuild", false}};
            },
            [](db::Table &t) { QVERIFY(t.setLogical(t.fieldIndex("lBuild"), true).isOk()); }};
}

// A date with a two-digit year falls into the window (today 15 March 2026: 1966 to 2065); a
// four-digit year is kept however far away.
RecordCase<PurchaseRecord> purchases()
{
    return {TableId::Purchases,
            writePurchase,
            loadPurchase,
            3,
            [](int k) {
                const QDate dates[] = {QDate(2025, 11, 3), QDate(65, 11, 4), QDate(1890, 1, 1)};
                return PurchaseRecord{QStringLiteral("CHAIR-ERG%1").arg(k), dates[k], 120.0 + k,
                                      k == 0 ? 999999999.99 : 17.5 + k, 42 + k};
            },
            [](PurchaseRecord r) {
                if (r.PURDate.year() == 65)
                    r.PURDate = QDate(2065, 11, 4);
                return r;
            },
            [](const PurchaseRecord &r) {
                return PeerFields{{"PURProd", r.PURProd},
                                  {"PURDate", date(r.PURDate)},
                                  {"PURQty", num(r.PURQty)},
                                  {"PURCost", num(r.PURCost)},
                                  {"PURNo", num(r.PURNo)}};
            }};
}

RecordCase<InvoiceRecord> invoices()
{
    return {TableId::Invoices,
            writeInvoice,
            loadInvoice,
            2,
            [](int k) {
                if (k == 0)
                    return InvoiceRecord{1001,
                                         999999,
                                         repeat(QStringLiteral("D"), 59),
                                         QDate(2026, 2, 28),
                                         repeat(QStringLiteral("n"), 30),
                                         99.99,
                                         -99999999.99,
                                         0.01,
                                         123.45,
                                         QStringLiteral("Remarks\r\nover two lines\r\n")};
                return InvoiceRecord{1002,
                                     77,
                                     QStringLiteral("Retail"),
                                     QDate(2026, 3, 1),
                                     QStringLiteral("VISA ending 4821"),
                                     12.5,
                                     7.25,
                                     3.5,
                                     200.75,
                                     QStringLiteral("Second remark  ")};
            },
            [](InvoiceRecord r) {
                r.REM = r.REM.trimmed();
                return r;
            },
            [](const InvoiceRecord &r) {
                return PeerFields{{"IvNo", num(r.IvNo)}, {"CuNo", num(r.CuNo)},
                                  {"Dept", r.Dept},      {"IDate", date(r.IDate)},
                                  {"IMemo", r.IMemo},    {"Discount", num(r.Discount)},
                                  {"Ship", num(r.Ship)}, {"Tax", num(r.Tax)},
                                  {"Due", num(r.Due)},   {"REM", r.REM}};
            }};
}

// lBuild is written false and BackOrder 0 whatever the record held.
RecordCase<ItemRecord> items()
{
    return {TableId::Items,
            writeItem,
            loadItem,
            2,
            [](int k) {
                return ItemRecord{1001 + k,
                                  QStringLiteral("CHAIR-ERG%1").arg(k),
                                  1234567.5 + k,
                                  k == 0 ? -0.01 : 4.75,
                                  k == 0,
                                  k == 1,
                                  QStringLiteral("Chair %1").arg(k),
                                  repeat(QStringLiteral("ß"), 26) + QString::number(k)};
            },
            unchanged<ItemRecord>,
            [](const ItemRecord &r) {
                return PeerFields{{"IvNo", num(r.IvNo)}, {"PrID", r.PrID},   {"Qty", num(r.Qty)},
                                  {"UPR", num(r.UPR)},   {"LTax1", r.LTax1}, {"LTax2", r.LTax2},
                                  {"PDesc", r.PDesc},    {"IComm", r.IComm}, {"lBuild", false},
                                  {"BackOrder", num(0)}};
            },
            [](db::Table &t) {
                QVERIFY(t.setInteger(t.fieldIndex("BackOrder"), 7).isOk());
                QVERIFY(t.setLogical(t.fieldIndex("lBuild"), true).isOk());
            }};
}

RecordCase<PaymentRecord> payments()
{
    return {TableId::Payments,
            writePayment,
            loadPayment,
            2,
            [](int k) {
                return PaymentRecord{1001 + k, k == 0 ? QDate(2026, 3, 1) : QDate(2199, 12, 31), -250.75 - k};
            },
            unchanged<PaymentRecord>,
            [](const PaymentRecord &r) {
                return PeerFields{{"IvNo", num(r.IvNo)}, {"PDate", date(r.PDate)}, {"PAmt", num(r.PAmt)}};
            }};
}

RecordCase<LabelRecord> labels()
{
    return {TableId::Labels,
            writeLabel,
            loadLabel,
            2,
            [](int k) {
                if (k == 0)
                    return LabelRecord{repeat(QStringLiteral("L"), 40),
                                       36,
                                       13.5,
                                       42.945,
                                       20.438,
                                       280.913,
                                       108,
                                       7.2,
                                       0.001,
                                       9,
                                       true};
                return LabelRecord{
                    QStringLiteral("Avery 5160"), 72, 9.25, 18, 27.5, 144.125, 54, 3.6, 1.5, 3, false};
            },
            unchanged<LabelRecord>,
            [](const LabelRecord &r) {
                return PeerFields{{"Name", r.Name},
                                  {"TopM", num(r.TopM)},
                                  {"LeftM", num(r.LeftM)},
                                  {"BottomM", num(r.BottomM)},
                                  {"RightM", num(r.RightM)},
                                  {"Width", num(r.Width)},
                                  {"Height", num(r.Height)},
                                  {"HGap", num(r.HGap)},
                                  {"VGap", num(r.VGap)},
                                  {"NAcross", num(r.NAcross)},
                                  {"Continuous", r.Continuous}};
            }};
}

RecordCase<ZoneRecord> zones()
{
    return {TableId::Zones,
            writeZone,
            loadZone,
            2,
            [](int k) {
                return ZoneRecord{QStringLiteral("15%1").arg(k), QStringLiteral("19%1").arg(k), 2 + k};
            },
            unchanged<ZoneRecord>,
            [](const ZoneRecord &r) {
                return PeerFields{{"SZip", r.SZip}, {"EZip", r.EZip}, {"Zone", num(r.Zone)}};
            }};
}

RecordCase<ImportFormatRecord> importFormats()
{
    return {TableId::ImportFormats,
            writeImportFormat,
            loadImportFormat,
            2,
            [](int k) {
                ImportFormatRecord r;
                r.FmtName = k == 0 ? repeat(QStringLiteral("F"), 30) : QStringLiteral("Shop export");
                r.FmtType = 1 + k;
                for (std::size_t i = 0; i < r.Fld.size(); ++i)
                    r.Fld[i] = 99 - qint64(i) - 20 * k;
                r.DELIM = k == 0 ? 255 : 9;
                r.nFields = 14 - k;
                return r;
            },
            unchanged<ImportFormatRecord>,
            [](const ImportFormatRecord &r) {
                PeerFields f{{"FmtName", r.FmtName}, {"FmtType", num(r.FmtType)}};
                for (std::size_t i = 0; i < r.Fld.size(); ++i)
                    f.append({QStringLiteral("Fld%1").arg(i + 1), num(r.Fld[i])});
                f.append({"DELIM", num(r.DELIM)});
                f.append({"nFields", num(r.nFields)});
                return f;
            }};
}

// Held trimmed: written and read without the blanks around them.
RecordCase<ImportDirsRecord> importDirs()
{
    return {TableId::ImportDirs,
            writeImportDirs,
            loadImportDirs,
            2,
            [](int k) {
                return ImportDirsRecord{QStringLiteral("  /home/office/in%1 ").arg(k),
                                        QStringLiteral("\t/srv/orders%1  ").arg(k)};
            },
            [](ImportDirsRecord r) {
                r.InfoDir = r.InfoDir.trimmed();
                r.OrderDir = r.OrderDir.trimmed();
                return r;
            },
            [](const ImportDirsRecord &r) {
                return PeerFields{{"InfoDir", r.InfoDir}, {"OrderDir", r.OrderDir}};
            }};
}

// The mail fields are held trimmed; a charge rounding is stored as its number.
RecordCase<SettingsRecord> settingsRecords()
{
    return {TableId::Settings,
            writeSettingsRecord,
            readSettingsRecord,
            2,
            [](int k) {
                SettingsRecord r;
                r.FontName = QStringLiteral("DejaVu Serif %1").arg(k);
                r.FontSize = 12 + k;
                r.LabID = QStringLiteral("A4 3 x 7, 63.5 x 38.1 mm %1").arg(k);
                r.Company = QStringLiteral("Harbor Lane Office Supply %1").arg(k);
                r.Addr1 = QStringLiteral("1187 Harbor Lane %1").arg(k);
                r.Addr2 = QStringLiteral("Portsmouth, NH 03801 %1").arg(k);
                r.Addr3 = QStringLiteral("Phone (603) 555-014%1").arg(k);
                r.Addr4 = QStringLiteral("  Größe & Söhne %1").arg(k);
                r.CloLine = QStringLiteral("Sincerely, %1").arg(k);
                r.SigLine = repeat(QStringLiteral("é"), 58) + QString::number(k);
                r.LogoFile = QStringLiteral("/home/dana/") + repeat(QStringLiteral("p"), 110) +
                             QStringLiteral("%1.bmp").arg(k);
                r.LogoHeight = 1.25 + k;
                r.LogoWidth = 999.99 - k;
                r.ShipLine = QStringLiteral("Freight %1").arg(k);
                r.TaxLine = QStringLiteral("VAT %1").arg(k);
                r.ShipTax = 2 + k;
                r.TaxRound = k == 0 ? ChargeRounding::Down : ChargeRounding::Up;
                r.LHJustify = 1 + 2 * k;
                r.TaxRate1 = 12.5 + k;
                r.TaxRate2 = -99.99 + k;
                r.TopMargin = 0.75 + k;
                r.ByCust = k == 0;
                r.fifo = k == 1;
                r.MailHost = QStringLiteral("  smtp%1.example.com ").arg(k);
                r.MailID = QStringLiteral("\tharborlane%1").arg(k);
                r.MailAddr = QStringLiteral("office%1@harborlane.example  ").arg(k);
                r.MailName = repeat(QStringLiteral("m"), 68) + QString::number(k);
                r.MailReply = QStringLiteral(" billing%1@harborlane.example").arg(k);
                return r;
            },
            [](SettingsRecord r) {
                for (QString *mail : {&r.MailHost, &r.MailID, &r.MailAddr, &r.MailName, &r.MailReply})
                    *mail = mail->trimmed();
                return r;
            },
            [](const SettingsRecord &r) {
                return PeerFields{{"FontName", r.FontName},
                                  {"FontSize", num(r.FontSize)},
                                  {"LabID", r.LabID},
                                  {"Company", r.Company},
                                  {"Addr1", r.Addr1},
                                  {"Addr2", r.Addr2},
                                  {"Addr3", r.Addr3},
                                  {"Addr4", r.Addr4},
                                  {"CloLine", r.CloLine},
                                  {"SigLine", r.SigLine},
                                  {"LogoFile", r.LogoFile},
                                  {"LogoHeight", num(r.LogoHeight)},
                                  {"LogoWidth", num(r.LogoWidth)},
                                  {"ShipLine", r.ShipLine},
                                  {"TaxLine", r.TaxLine},
                                  {"ShipTax", num(r.ShipTax)},
                                  {"TaxRound", num(double(r.TaxRound))},
                                  {"LHJustify", num(r.LHJustify)},
                                  {"TaxRate1", num(r.TaxRate1)},
                                  {"TaxRate2", num(r.TaxRate2)},
                                  {"TopMargin", num(r.TopMargin)},
                                  {"ByCust", r.ByCust},
                                  {"fifo", r.fifo},
                                  {"MailHost", r.MailHost},
                                  {"MailID", r.MailID},
                                  {"MailAddr", r.MailAddr},
                                  {"MailName", r.MailName},
                                  {"MailReply", r.MailReply}};
            }};
}

// A record type's case, whatever its record.
struct AnyCase
{
    TableId table;
    std::function<void(const QString &dir)> check;
};

template <typename Record> AnyCase anyCase(RecordCase<Record> (*make)())
{
    return {make().table, [make](const QString &dir) { checkRecordType(dir, make()); }};
}

const QList<AnyCase> &recordCases()
{
    static const QList<AnyCase> cases{anyCase(customers),     anyCase(groups),     anyCase(products),
                                      anyCase(purchases),     anyCase(invoices),   anyCase(items),
                                      anyCase(payments),      anyCase(labels),     anyCase(zones),
                                      anyCase(importFormats), anyCase(importDirs), anyCase(settingsRecords)};
    return cases;
}

} // namespace

class TestRecordBinding : public QObject
{
    Q_OBJECT

    TempDataDir *m_dir = nullptr;

private Q_SLOTS:
    void init()
    {
        tallyra::setFixedToday(QDate(2026, 3, 15));
        m_dir = new TempDataDir;
        QVERIFY(testsupport::createSchemaTables(m_dir->path()));
    }
    void cleanup()
    {
        delete m_dir;
        m_dir = nullptr;
        tallyra::setFixedToday({});
    }

    void everyFieldReachesItsNamedField_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < recordCases().size(); ++i)
            QTest::newRow(qPrintable(tableDef(recordCases().at(i).table).name)) << i;
    }
    void everyFieldReachesItsNamedField()
    {
        QFETCH(int, index);
        if (!QFile::exists(QStringLiteral("/usr/bin/python3")))
            QSKIP("python3 is not installed");
        recordCases().at(index).check(m_dir->path());
    }

    // A table lacking one of the record's fields fails both ways, naming the file and the field,
    // before anything is read or assigned.
    void aMissingFieldIsNamed()
    {
        TempDataDir dir;
        QList<db::FieldDef> fields = tableDef(TableId::Payments).fields;
        fields.removeAt(2); // PAmt
        QVERIFY(db::Table::create(dir.path(), QStringLiteral("PMT.DBF"), fields).isOk());
        db::Engine engine(dir.path());
        engine.setAutoOpenIndex(false);
        db::Table *t = engine.open(QStringLiteral("PMT"));
        QVERIFY(t);
        QVERIFY(t->appendBlank().isOk());
        const db::Status written = writePayment(*t, PaymentRecord{5, QDate(2026, 1, 2), 10});
        QVERIFY(!written.isOk());
        QVERIFY2(written.toString().contains(QLatin1String("PMT.DBF: field PAmt is missing")),
                 qPrintable(written.toString()));
        QCOMPARE(t->integer(0), 0); // IvNo not assigned
        PaymentRecord r{9, QDate(2026, 1, 2), 3};
        const db::Status read = loadPayment(*t, r);
        QCOMPARE(read.toString(), written.toString());
        QCOMPARE(r, (PaymentRecord{9, QDate(2026, 1, 2), 3}));
    }
};

QTEST_GUILESS_MAIN(TestRecordBinding)
#include "tst_record_binding.moc"
