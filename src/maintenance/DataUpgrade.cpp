#include "DataUpgrade.h"

#include "BackupFiles.h"
#include "Conversions.h"
#include "Records.h"
#include "Tables.h"

#include <QDir>
#include <QStorageInfo>
#include <QStringDecoder>
#include <functional>
#include <variant>

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

// One field of an old table and the member of the current record it fills: texts without their
// trailing blanks, memos whole, both decoded as old text.
template <typename Record> struct OldField
{
    const char *name;
    std::variant<QString Record::*, double Record::*, qint64 Record::*, bool Record::*, QDate Record::*>
        member;
};

// Reads the fields of an old table by name. Every field the conversion names must exist; the
// first missing one is the table's status.
template <typename Record> class OldTable
{
public:
    OldTable(const db::Table &t, const QList<OldField<Record>> &fields)
        : m_t(t)
        , m_fields(fields)
    {
        for (const OldField<Record> &f : fields) {
            if (t.fieldIndex(f.name) < 0 && m_status.isOk())
                m_status = db::Status::invalid(
                    QStringLiteral("%1: field %2 is missing").arg(t.fileName(), QString::fromLatin1(f.name)));
        }
    }
    const db::Status &status() const { return m_status; }

    // The current record's fields, each into its member of r.
    void read(Record &r) const
    {
        for (const OldField<Record> &f : m_fields)
            std::visit([&](auto member) { read(m_t.fieldIndex(f.name), r.*member); }, f.member);
    }

private:
    void read(int i, QString &v) const
    {
        v = m_t.field(i).type == db::FieldType::Memo ? decodeOldText(m_t.memoBytes(i)) : oldText(m_t, i);
    }
    void read(int i, double &v) const { v = m_t.number(i); }
    void read(int i, qint64 &v) const { v = m_t.integer(i); }
    void read(int i, bool &v) const { v = m_t.logical(i); }
    void read(int i, QDate &v) const { v = m_t.date(i); }

    const db::Table &m_t;
    QList<OldField<Record>> m_fields;
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

    // Converts every live record of the old table into one written by `write`, once every field
    // named in `fields` is known to exist.
    template <typename Record>
    db::Status records(const QString &oldName, TableId id, const QList<OldField<Record>> &fields,
                       const std::function<db::Status(db::Table &, const Record &)> &write, const Step &step)
    {
        return copy(oldName, id, [&](db::Table &from, db::Table &to) {
            const OldTable<Record> o(from, fields);
            if (!o.status())
                return o.status();
            return convertRecords(
                from, to,
                [&] {
                    Record r;
                    o.read(r);
                    return write(to, r);
                },
                step);
        });
    }

    db::Status invoices(const QString &oldName, bool withDept, const Step &step)
    {
        using R = InvoiceRecord;
        QList<OldField<R>> fields{{"IvNo", &R::IvNo},   {"CuNo", &R::CuNo}, {"IDate", &R::IDate},
                                  {"IMemo", &R::IMemo}, {"REM", &R::REM},   {"Ship", &R::Ship},
                                  {"Tax", &R::Tax},     {"Due", &R::Due}};
        if (withDept)
            fields.append({"Dept", &R::Dept});
        return records<R>(
            oldName, TableId::Invoices, fields,
            [](db::Table &to, R r) {
                r.REM = r.REM.trimmed();
                return writeInvoice(to, r);
            },
            step);
    }

    db::Status customers(const Step &step)
    {
        using R = CustomerRecord;
        const QList<OldField<R>> fields{
            {"CuNo", &R::CuNo},   {"NGroup", &R::NGroup}, {"Title", &R::Title},       {"First", &R::First},
            {"Last", &R::Last},   {"Addr1", &R::Addr1},   {"Addr2", &R::Addr2},       {"Addr3", &R::Addr3},
            {"Addr4", &R::Addr4}, {"Zip", &R::Zip},       {"Comments", &R::Comments}, {"Note", &R::Note}};
        return records<R>(QStringLiteral("cust2"), TableId::Customers, fields, writeCustomer, step);
    }

    db::Status items(const Step &step)
    {
        using R = ItemRecord;
        const QList<OldField<R>> fields{{"IvNo", &R::IvNo},  {"Prid", &R::PrID}, {"IComm", &R::IComm},
                                        {"Qty", &R::Qty},    {"UPR", &R::UPR},   {"LTax1", &R::LTax1},
                                        {"LTax2", &R::LTax2}};
        return records<R>(QStringLiteral("itm4"), TableId::Items, fields, writeItem, step);
    }

    db::Status products(const Step &step)
    {
        using R = ProductRecord;
        const QList<OldField<R>> fields{{"Prid", &R::PrID},     {"RCode", &R::RCode}, {"PDesc", &R::PDesc},
                                        {"UPrice", &R::UPrice}, {"LTax1", &R::LTax1}, {"LTax2", &R::LTax2},
                                        {"IComm", &R::IComm},   {"PMemo", &R::PMemo}};
        return records<R>(QStringLiteral("Prod4"), TableId::Products, fields, writeProduct, step);
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
