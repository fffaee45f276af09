#include "DataUpgrade.h"

#include "BackupFiles.h"
#include "Conversions.h"
#include "Records.h"
#include "Tables.h"

#include <QDir>
#include <QStorageInfo>
#include <QStringDecoder>
#include <functional>

namespace tallyra {

namespace {

// Windows-1252 0x80 .. 0x9F; the five bytes it leaves undefined keep their Latin-1 meaning.
constexpr char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// A character field of an old table, without its trailing blanks.
QString oldText(const db::Table &t, int field)
{
    QByteArray bytes = t.raw(field);
    while (bytes.endsWith(' '))
        bytes.chop(1);
    return decodeOldText(bytes);
}

// Reads the fields of an old table by name. Every field the conversion names must exist; the
// first missing one is the table's status.
class OldTable
{
public:
    OldTable(const db::Table &t, const QList<const char *> &required)
        : m_t(t)
    {
        for (const char *name : required) {
            if (t.fieldIndex(name) < 0 && m_status.isOk())
                m_status = db::Status::invalid(
                    QStringLiteral("%1: field %2 is missing").arg(t.fileName(), QString::fromLatin1(name)));
        }
    }
    const db::Status &status() const { return m_status; }

    QString text(const char *name) const { return oldText(m_t, m_t.fieldIndex(name)); }
    double number(const char *name) const { return m_t.number(m_t.fieldIndex(name)); }
    qint64 integer(const char *name) const { return m_t.integer(m_t.fieldIndex(name)); }
    bool logical(const char *name) const { return m_t.logical(m_t.fieldIndex(name)); }
    QDate date(const char *name) const { return m_t.date(m_t.fieldIndex(name)); }
    QString memo(const char *name) const { return decodeOldText(m_t.memoBytes(m_t.fieldIndex(name))); }

private:
    const db::Table &m_t;
    db::Status m_status;
};

using Step = std::function<void(qint64 n, qint64 count)>;

// Appends one converted record to `to` for every live record of `from`, in record order.
db::Status convertRecords(db::Table &from, db::Table &to, const std::function<db::Status()> &convert,
                          const Step &step)
{
    const qint64 count = from.recordCount();
    from.selectNatural();
    qint64 n = 0;
    db::Status s;
    for (bool more = from.go(1); more && s.isOk(); more = from.skip(1)) {
        ++n;
        if (!from.isDeleted()) {
            s = to.appendBlank();
            if (s)
                s = convert();
            if (s)
                s = to.flush();
        }
        if (step)
            step(n, count);
    }
    if (s)
        s = from.takeError();
    if (s)
        s = to.takeError();
    return s;
}

// Copies a table whose layout has not changed in meaning: every field of the current table
// takes the old field of the same name and type; the others stay blank.
db::Status convertSameNamed(db::Table &from, db::Table &to)
{
    struct Pair
    {
        int from;
        int to;
        db::FieldType type;
    };
    QList<Pair> pairs;
    for (int i = 0; i < to.fieldCount(); ++i) {
        const db::FieldDef &f = to.field(i);
        const int j = from.fieldIndex(f.name);
        if (j >= 0 && from.field(j).type == f.type)
            pairs.append({j, i, f.type});
    }
    return convertRecords(from, to,
                          [&]() {
                              db::Status s;
                              for (const Pair &p : pairs) {
                                  switch (p.type) {
                                  case db::FieldType::Character:
                                      s = to.setText(p.to, oldText(from, p.from));
                                      break;
                                  case db::FieldType::Numeric:
                                      s = to.setNumber(p.to, from.number(p.from));
                                      break;
                                  case db::FieldType::Date:
                                      s = to.setDate(p.to, from.date(p.from));
                                      break;
                                  case db::FieldType::Logical:
                                      s = to.setLogical(p.to, from.logical(p.from));
                                      break;
                                  case db::FieldType::Memo:
                                      s = to.setMemo(p.to, memoText(decodeOldText(from.memoBytes(p.from))));
                                      break;
                                  }
                                  if (!s)
                                      return s;
                              }
                              return s;
                          },
                          {});
}

struct Run
{
    db::Engine &engine;
    db::Engine old;
    const ProgressDisplay &progress;

    void set(int percent) const
    {
        if (progress.set)
            progress.set(percent);
    }
    Step span(int from, int width) const
    {
        return [this, from, width](qint64 n, qint64 count) {
            if (count > 0)
                set(from + static_cast<int>(width * n / count));
        };
    }

    // Opens an old table without index and a current one emptied (and its memo compacted).
    db::Status open(const QString &oldName, TableId id, db::Table **from, db::Table **to)
    {
        db::Status s;
        *from = old.open(oldName, &s);
        if (!*from)
            return s;
        *to = engine.open(tableDef(id).name, &s);
        if (!*to)
            return s;
        s = (*to)->zap();
        if (s && !tableDef(id).memoFileName.isEmpty())
            s = (*to)->compactMemo();
        return s;
    }
    db::Status close()
    {
        old.closeAll();
        return engine.closeAll();
    }

    // Opens both tables, runs `convert` on them and closes both; the first failure is the result.
    db::Status copy(const QString &oldName, TableId id,
                    const std::function<db::Status(db::Table &from, db::Table &to)> &convert)
    {
        db::Table *from = nullptr;
        db::Table *to = nullptr;
        db::Status s = open(oldName, id, &from, &to);
        if (s)
            s = convert(*from, *to);
        const db::Status closed = close();
        return s ? closed : s;
    }

    db::Status sameNamed(const QString &oldName, TableId id) { return copy(oldName, id, convertSameNamed); }

    // Converts every live record of the old table with `convert`, once every field in `required`
    // is known to exist.
    db::Status records(const QString &oldName, TableId id, const QList<const char *> &required,
                       const std::function<db::Status(const OldTable &o, db::Table &to)> &convert,
                       const Step &step)
    {
        return copy(oldName, id, [&](db::Table &from, db::Table &to) {
            const OldTable o(from, required);
            if (!o.status())
                return o.status();
            return convertRecords(
                from, to, [&] { return convert(o, to); }, step);
        });
    }

    db::Status invoices(const QString &oldName, bool withDept, const Step &step)
    {
        QList<const char *> fields{"IvNo", "CuNo", "IDate", "IMemo", "REM", "Ship", "Tax", "Due"};
        if (withDept)
            fields << "Dept";
        return records(
            oldName, TableId::Invoices, fields,
            [withDept](const OldTable &o, db::Table &to) {
                InvoiceRecord r;
                r.IvNo = o.integer("IvNo");
                r.CuNo = o.integer("CuNo");
                r.IDate = o.date("IDate");
                r.IMemo = o.text("IMemo");
                r.Dept = withDept ? o.text("Dept") : QString();
                r.REM = o.memo("REM").trimmed();
                r.Ship = o.number("Ship");
                r.Tax = o.number("Tax");
                r.Due = o.number("Due");
                return writeInvoice(to, r);
            },
            step);
    }

    db::Status customers(const Step &step)
    {
        return records(
            QStringLiteral("cust2"), TableId::Customers,
            {"CuNo", "NGroup", "Title", "First", "Last", "Addr1", "Addr2", "Addr3", "Addr4", "Zip",
             "Comments", "Note"},
            [](const OldTable &o, db::Table &to) {
                CustomerRecord r;
                r.CuNo = o.integer("CuNo");
                r.NGroup = o.integer("NGroup");
                r.Title = o.text("Title");
                r.First = o.text("First");
                r.Last = o.text("Last");
                r.Addr1 = o.text("Addr1");
                r.Addr2 = o.text("Addr2");
                r.Addr3 = o.text("Addr3");
                r.Addr4 = o.text("Addr4");
                r.Zip = o.text("Zip");
                r.Comments = o.memo("Comments");
                r.Note = o.text("Note");
                return writeCustomer(to, r);
            },
            step);
    }

    db::Status items(const Step &step)
    {
        return records(
            QStringLiteral("itm4"), TableId::Items, {"IvNo", "Prid", "IComm", "Qty", "UPR", "LTax1", "LTax2"},
            [](const OldTable &o, db::Table &to) {
                ItemRecord r;
                r.IvNo = o.integer("IvNo");
                r.PrID = o.text("Prid");
                r.IComm = o.text("IComm");
                r.Qty = o.number("Qty");
                r.UPR = o.number("UPR");
                r.LTax1 = o.logical("LTax1");
                r.LTax2 = o.logical("LTax2");
                return writeItem(to, r);
            },
            step);
    }

    db::Status products(const Step &step)
    {
        return records(
            QStringLiteral("Prod4"), TableId::Products,
            {"Prid", "RCode", "PDesc", "UPrice", "LTax1", "LTax2", "IComm", "PMemo"},
            [](const OldTable &o, db::Table &to) {
                ProductRecord r;
                r.PrID = o.text("Prid");
                r.RCode = o.text("RCode");
                r.PDesc = o.text("PDesc");
                r.UPrice = o.number("UPrice");
                r.LTax1 = o.logical("LTax1");
                r.LTax2 = o.logical("LTax2");
                r.IComm = o.text("IComm");
                r.PMemo = o.memo("PMemo");
                return writeProduct(to, r);
            },
            step);
    }

    // Each line item takes the description of its product, when that product still exists.
    db::Status itemDescriptions()
    {
        engine.setAutoOpenIndex(true);
        const OpenResult items = openTable(engine, TableId::Items);
        const OpenResult products = items ? openTable(engine, TableId::Products) : OpenResult();
        db::Status s = !items ? items.status : products.status;
        if (items && products) {
            if (progress.start)
                progress.start(QStringLiteral("Transferring Item Descriptions"));
            db::Table &itm = *items.table;
            db::Table &prod = *products.table;
            const int itemId = itm.fieldIndex("PrID");
            const int itemDesc = itm.fieldIndex("PDesc");
            const int prodId = prod.fieldIndex("PrID");
            const int prodDesc = prod.fieldIndex("PDesc");
            const qint64 count = itm.recordCount();
            qint64 n = 0;
            for (bool more = itm.top(); more && s.isOk(); more = itm.skip(1)) {
                const QString id = itm.text(itemId).trimmed();
                // The seek finds a key that begins with the one sought; only the same
                // identifier is the item's product.
                if (!id.isEmpty() && prod.seek(keyUpper(id)) == db::SeekResult::Found &&
                    keyUpper(prod.text(prodId).trimmed()) == keyUpper(id)) {
                    s = itm.setText(itemDesc, prod.text(prodDesc));
                    if (s)
                        s = itm.flush();
                }
                ++n;
                if (count > 0)
                    set(static_cast<int>(100 * n / count));
            }
            if (s)
                s = itm.takeError();
            if (s)
                s = prod.takeError();
        }
        const db::Status closed = engine.closeAll();
        return s ? closed : s;
    }
};

bool holdsAll(const QString &dir, const QStringList &files, QString *missing)
{
    for (const QString &f : files) {
        if (findNoCase(dir, f).isEmpty()) {
            *missing = f;
            return false;
        }
    }
    return true;
}

db::Status convertRelease1(Run &run, const QString &dir, bool sameFolder)
{
    run.set(5);
    if (!sameFolder) {
        struct Copy
        {
            const char *oldName;
            TableId id;
            QList<int> percents;
        };
        const Copy copies[] = {
            {"cust5", TableId::Customers, {10, 15}}, {"Groups", TableId::Groups, {20}},
            {"itm5", TableId::Items, {25}},          {"labels", TableId::Labels, {30}},
            {"pmt", TableId::Payments, {35}},        {"Prod5", TableId::Products, {40, 45}},
            {"pur5", TableId::Purchases, {50}}};
        for (const Copy &c : copies) {
            if (db::Status s = run.sameNamed(QString::fromLatin1(c.oldName), c.id); !s)
                return s;
            for (int p : c.percents)
                run.set(p);
        }
    }
    if (db::Status s = run.invoices(QStringLiteral("inv5"), true, run.span(50, 50)); !s)
        return s;
    (void)dir;
    return rebuildIndexes(run.engine, ReindexMode::Full, run.progress).status;
}

db::Status convertOlder(Run &run)
{
    run.set(5);
    const QList<QPair<const char *, TableId>> copies = {
        {"groups", TableId::Groups}, {"labels", TableId::Labels}, {"Pmt", TableId::Payments}};
    int percent = 10;
    for (const auto &[name, id] : copies) {
        if (db::Status s = run.sameNamed(QString::fromLatin1(name), id); !s)
            return s;
        run.set(percent);
        percent += 5;
    }
    run.set(25);
    db::Status s = run.products(run.span(20, 5));
    if (s)
        s = run.customers(run.span(25, 25));
    if (s)
        s = run.invoices(QStringLiteral("inv"), false, run.span(50, 25));
    if (s)
        s = run.items(run.span(75, 25));
    if (s)
        s = rebuildIndexes(run.engine, ReindexMode::Full, run.progress).status;
    if (s)
        s = run.itemDescriptions();
    return s;
}

} // namespace

QString decodeOldText(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    text.clear();
    text.reserve(bytes.size());
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        text += (u >= 0x80 && u < 0xA0) ? QChar(kCp1252High[u - 0x80]) : QChar(u);
    }
    return text;
}

UpgradeKind upgradeKindOf(const QString &dir)
{
    return findNoCase(dir, QStringLiteral("Inv5.dbf")).isEmpty() ? UpgradeKind::Older : UpgradeKind::Release1;
}

const QStringList &release1Files()
{
    static const QStringList files = {"cust5.dbf",  "Groups.dbf", "inv5.dbf", "itm5.dbf",
                                      "labels.dbf", "pmt.dbf",    "pur5.dbf", "Prod5.dbf"};
    return files;
}

const QStringList &olderFiles()
{
    static const QStringList files = {"cust2.dbf",  "Groups.dbf", "inv.dbf",  "itm4.dbf",
                                      "labels.dbf", "pmt.dbf",    "Prod4.dbf"};
    return files;
}

QString upgradeStartFolder(const QStringList &bases)
{
    static const QList<QPair<QString, QString>> candidates = {
        {QStringLiteral("QVL_sb"), QStringLiteral("Inv5.dbf")},
        {QStringLiteral("QVL_bus"), QStringLiteral("Prod4.dbf")},
        {QStringLiteral("QVL"), QStringLiteral("Prod4.dbf")}};
    for (const auto &[folder, file] : candidates) {
        for (const QString &base : bases) {
            const QString dir = QDir(base).filePath(folder);
            if (!findNoCase(dir, file).isEmpty())
                return dir;
        }
    }
    return {};
}

QStringList upgradeSearchBases()
{
    QStringList bases{QDir::homePath()};
    const auto volumes = QStorageInfo::mountedVolumes();
    for (const QStorageInfo &v : volumes) {
        if (v.isValid() && v.isReady() && !bases.contains(v.rootPath()))
            bases << v.rootPath();
    }
    return bases;
}

QString UpgradeResult::message() const
{
    QString text;
    if (outcome == Outcome::Failed) {
        text = QStringLiteral("Unable to convert all data files\n") + status.toString();
        if (putBack)
            text += QStringLiteral("\nYour data were put back as they were before the upgrade.");
        else if (!safety.folder.isEmpty())
            text += QLatin1Char('\n') + safetyBackupNote(safety);
    } else if (outcome == Outcome::Done) {
        text = QStringLiteral("The data were upgraded.");
        if (!safety.folder.isEmpty())
            text += QLatin1Char('\n') + safetyBackupNote(safety);
    }
    if (!packed.ok())
        text += (text.isEmpty() ? QString() : QStringLiteral("\n")) +
                QStringLiteral("The data files could not be packed:\n") + packed.status.toString();
    return text;
}

UpgradeResult upgradeData(db::Engine &engine, const QString &dir, const CopyPrompts &prompts,
                          const ProgressDisplay &progress, const QDateTime &now)
{
    UpgradeResult result;
    engine.closeAll();
    const UpgradeKind kind = upgradeKindOf(dir);
    QString missing;
    if (!holdsAll(dir, kind == UpgradeKind::Release1 ? release1Files() : olderFiles(), &missing)) {
        if (prompts.info)
            prompts.info(QStringLiteral("Data files not found in ") + dir);
        result.outcome = UpgradeResult::Outcome::FilesMissing;
    } else {
        const QString warning =
            kind == UpgradeKind::Release1
                ? QStringLiteral(
                      "Convert/Upgrade data from Tallyra version 1.xx\r\nWarning: All previously entered "
                      "data will be overwritten")
                : QStringLiteral("Warning: All previously entered data will be overwritten");
        if (!prompts.okCancel || !prompts.okCancel(warning)) {
            result.outcome = UpgradeResult::Outcome::Cancelled;
        } else {
            QList<TableId> all;
            for (const TableDef &def : schemaTables())
                all << def.id;
            result.safety = takeSafetyBackup(engine.directory(), QStringLiteral("upgrade"), all,
                                             engine.fileSystem(), now);
            if (!result.safety) {
                result.outcome = UpgradeResult::Outcome::Failed;
                result.status = result.safety.status;
                result.putBack = false;
            } else {
                if (progress.start)
                    progress.start(QStringLiteral("Converting Data Files"));
                Run run{engine, db::Engine(dir), progress};
                run.old.setAutoOpenIndex(false);
                run.old.setAccess(db::Access::Shared);
                engine.setAccess(db::Access::Exclusive);
                engine.setAutoOpenIndex(false);
                const db::Status s = kind == UpgradeKind::Release1
                                         ? convertRelease1(run, dir, sameDirectory(dir, engine.directory()))
                                         : convertOlder(run);
                run.close();
                engine.setAutoOpenIndex(true);
                engine.setIndexSafety(true);
                engine.setAccess(db::Access::Shared);
                if (!s) {
                    result.outcome = UpgradeResult::Outcome::Failed;
                    result.status = s;
                    result.putBack =
                        putBackSafetyCopy(*engine.fileSystem(), engine.directory(), result.safety.folder)
                            .isOk();
                    rebuildIndexes(engine, ReindexMode::Full, progress);
                }
            }
        }
    }
    result.packed = packDataFiles(engine, progress);
    if (progress.end)
        progress.end();
    return result;
}

} // namespace tallyra
