#include "ImportEngine.h"

#include "Conversions.h"
#include "ImportBackup.h"
#include "Records.h"
#include "Tables.h"
#include "engine/KeyExpression.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <cmath>
#include <map>
#include <optional>
#include <unordered_map>

namespace tallyra {

namespace {

// A file with at least this many lines, and at least an eighth as many lines as the table has
// records, is imported with the tags closed and built again at the end (see ImportEngine.h).
constexpr qint64 kBulkMinLines = 2000;
constexpr qint64 kBulkShare = 8;
constexpr int kProgressEvery = 256; // lines between progress reports

// The bytes a text gets in a character field of `width` bytes: written from at most 59
// characters, then cut at a character boundary, as the record writers and the engine do.
QByteArray storedBytes(const QString &text, int width)
{
    QByteArray bytes = cutText(text, kTextLimit).toUtf8();
    if (bytes.size() > width) {
        qsizetype cut = width;
        while (cut > 0 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80)
            --cut;
        bytes.truncate(cut);
    }
    return bytes;
}

QByteArray padded(QByteArray bytes, int width)
{
    if (bytes.size() < width)
        bytes.append(QByteArray(width - bytes.size(), ' '));
    return bytes;
}

// ASCII upper case with trailing blanks removed: how last names and identifiers are compared.
QByteArray upperRight(QByteArrayView bytes)
{
    qsizetype n = bytes.size();
    while (n > 0 && (bytes[n - 1] == ' ' || bytes[n - 1] == '\t'))
        --n;
    return db::upperAscii(bytes.first(n));
}

// ASCII upper case of the trimmed text: how first names and postal codes are compared.
QByteArray upperTrimmed(QByteArrayView bytes)
{
    return db::upperAscii(QByteArray(bytes.data(), bytes.size()).trimmed());
}

int fieldOf(const db::Table &t, const char *name)
{
    return t.fieldIndex(name);
}

// --- Matching ------------------------------------------------------------------------------------

// The customers matching may look at, in name-tag order (key, then record number). Filled either
// from the whole table at once, or one last name at a time from tag CName.
class CustomerIndex
{
public:
    struct Entry
    {
        QByteArray last;  // upperRight(Last)
        QByteArray first; // upperTrimmed(First)
        QByteArray zip;   // upperTrimmed(Zip)
    };

    void setTable(db::Table *t, bool byTag)
    {
        m_table = t;
        m_byTag = byTag;
        m_last = fieldOf(*t, "Last");
        m_first = fieldOf(*t, "First");
        m_zip = fieldOf(*t, "Zip");
        m_lastWidth = t->field(m_last).length;
        m_firstWidth = t->field(m_first).length;
    }
    int lastWidth() const { return m_lastWidth; }
    int firstWidth() const { return m_firstWidth; }
    int zipWidth() const { return m_table->field(m_zip).length; }

    // Every live record, in record order.
    db::Status loadAll()
    {
        m_table->selectNatural();
        for (bool more = m_table->top(); more; more = m_table->skip(1))
            addCurrent();
        return m_table->takeError();
    }

    // The record the imported names and postal code (as stored) match; 0 for none.
    quint32 find(const QByteArray &last, const QByteArray &first, const QByteArray &zip)
    {
        const QByteArray group = upperRight(last);
        if (m_byTag && !m_loaded.contains(group)) {
            m_loaded.insert(group);
            if (m_table->seek(db::upperAscii(last)) != db::SeekResult::Error) {
                for (bool more = !m_table->eof(); more; more = m_table->skip(1)) {
                    if (upperRight(m_table->raw(m_last)) != group)
                        break;
                    addCurrent();
                }
            }
        }
        const QByteArray wantFirst = upperTrimmed(first);
        const QByteArray wantZip = upperTrimmed(zip);
        for (auto it = m_map.lower_bound({db::upperAscii(last), 0}); it != m_map.end(); ++it) {
            if (it->second.last != group)
                break;
            if (it->second.first == wantFirst && it->second.zip == wantZip)
                return it->first.second;
        }
        return 0;
    }

    void add(quint32 recNo, const QByteArray &last, const QByteArray &first, const QByteArray &zip)
    {
        const QByteArray key = db::upperAscii(padded(last, m_lastWidth) + padded(first, m_firstWidth));
        m_map[{key, recNo}] = {upperRight(last), upperTrimmed(first), upperTrimmed(zip)};
        m_keys[recNo] = key;
    }
    void setZip(quint32 recNo, const QByteArray &zip)
    {
        const auto k = m_keys.find(recNo);
        if (k != m_keys.end())
            m_map[{k->second, recNo}].zip = upperTrimmed(zip);
    }

private:
    void addCurrent()
    {
        if (!m_table->isDeleted())
            add(m_table->recNo(), m_table->raw(m_last), m_table->raw(m_first), m_table->raw(m_zip));
    }

    db::Table *m_table = nullptr;
    bool m_byTag = false;
    int m_last = -1, m_first = -1, m_zip = -1;
    int m_lastWidth = 0, m_firstWidth = 0;
    std::map<std::pair<QByteArray, quint32>, Entry> m_map;
    std::unordered_map<quint32, QByteArray> m_keys;
    QSet<QByteArray> m_loaded;
};

// Keys to record numbers in one open-addressed table, the key bytes kept together: a million
// identifiers cost two allocations and one cache miss a lookup, not a node each.
class KeyTable
{
public:
    void reserve(qint64 keys)
    {
        std::size_t size = 1024;
        while (size < std::size_t(keys) * 2)
            size *= 2;
        if (size > m_slots.size())
            rehash(size);
        m_bytes.reserve(qsizetype(keys) * 8);
    }
    // The record of key; 0 when absent.
    quint32 find(QByteArrayView key) const
    {
        if (m_slots.empty())
            return 0;
        for (std::size_t i = hash(key) & m_mask;; i = (i + 1) & m_mask) {
            const Slot &s = m_slots[i];
            if (s.recNo == 0)
                return 0;
            if (keyOf(s) == key)
                return s.recNo;
        }
    }
    // Records key with recNo unless it is there already.
    void insert(QByteArrayView key, quint32 recNo)
    {
        if ((m_count + 1) * 2 > m_slots.size())
            rehash(std::max<std::size_t>(1024, m_slots.size() * 2));
        for (std::size_t i = hash(key) & m_mask;; i = (i + 1) & m_mask) {
            Slot &s = m_slots[i];
            if (s.recNo == 0) {
                s = {recNo, quint32(m_bytes.size()), quint32(key.size())};
                m_bytes.append(key.data(), key.size());
                ++m_count;
                return;
            }
            if (keyOf(s) == key)
                return;
        }
    }

private:
    struct Slot
    {
        quint32 recNo = 0; // 0: empty
        quint32 offset = 0;
        quint32 length = 0;
    };
    static std::size_t hash(QByteArrayView key) { return qHash(key, 0x9e3779b9); }
    QByteArrayView keyOf(const Slot &s) const
    {
        return QByteArrayView(m_bytes.constData() + s.offset, s.length);
    }
    void rehash(std::size_t size)
    {
        std::vector<Slot> old(size);
        old.swap(m_slots);
        m_mask = size - 1;
        for (const Slot &s : old) {
            if (s.recNo == 0)
                continue;
            std::size_t i = hash(keyOf(s)) & m_mask;
            while (m_slots[i].recNo != 0)
                i = (i + 1) & m_mask;
            m_slots[i] = s;
        }
    }

    std::vector<Slot> m_slots;
    std::size_t m_mask = 0;
    std::size_t m_count = 0;
    QByteArray m_bytes;
};

// The products matching may look at: upper-cased identifier to the first live record.
class ProductIndex
{
public:
    void setTable(db::Table *t, bool byTag, qint64 expected)
    {
        m_table = t;
        m_byTag = byTag;
        m_id = fieldOf(*t, "PrID");
        m_map.reserve(expected + (byTag ? 0 : t->recordCount()));
    }
    int idWidth() const { return m_table->field(m_id).length; }

    db::Status loadAll()
    {
        m_table->selectNatural();
        for (bool more = m_table->top(); more; more = m_table->skip(1))
            if (!m_table->isDeleted())
                m_map.insert(upperRight(m_table->raw(m_id)), m_table->recNo());
        return m_table->takeError();
    }

    quint32 find(const QByteArray &id)
    {
        const QByteArray key = upperRight(id);
        if (m_byTag && !m_looked.contains(key)) {
            m_looked.insert(key);
            quint32 first = 0;
            if (m_table->seek(db::upperAscii(id)) != db::SeekResult::Error) {
                for (bool more = !m_table->eof(); more; more = m_table->skip(1)) {
                    if (upperRight(m_table->raw(m_id)) != key)
                        break;
                    if (!m_table->isDeleted() && (first == 0 || m_table->recNo() < first))
                        first = m_table->recNo();
                }
            }
            if (first)
                m_map.insert(key, first);
        }
        return m_map.find(key);
    }
    void add(quint32 recNo, const QByteArray &id)
    {
        const QByteArray key = upperRight(id);
        if (m_byTag)
            m_looked.insert(key);
        m_map.insert(key, recNo);
    }

private:
    db::Table *m_table = nullptr;
    bool m_byTag = false;
    int m_id = -1;
    KeyTable m_map;
    QSet<QByteArray> m_looked; // identifiers sought on the tag already (tag mode only)
};

// --- One import run ------------------------------------------------------------------------------

class ImportRun
{
public:
    ImportRun(db::Engine &engine, const ImportRequest &request, bool dryRun)
        : m_engine(engine)
        , m_request(request)
        , m_dryRun(dryRun)
        , m_def(tableDef(importTable(request.kind)))
    {}

    // Opens the table: shared with its tag for a preview, exclusive otherwise, without its
    // index when `bulk`. False with the message set on failure.
    bool open(const TextFileCheck &check, BulkMode bulk, ImportResult &result);
    // Handles one line; fills the preview row when given.
    bool line(const TextLine &line, ImportResult &result, PreviewRow *row);
    // Builds the tags again after a bulk import and closes the table.
    void finish(ImportResult &result);
    QChar delimiter() const { return m_delimiter; }
    QString status() const { return m_status; }

private:
    bool customer(const QStringList &fields, qint64 lineNo, ImportResult &result, PreviewRow *row);
    bool product(const QStringList &fields, qint64 lineNo, ImportResult &result, PreviewRow *row);
    void skip(qint64 lineNo, const QString &reason, ImportResult &result, PreviewRow *row);
    bool beforeWrite(ImportResult &result);
    bool failed(const db::Status &s, ImportResult &result);
    bool goTo(quint32 recNo, ImportResult &result);

    db::Engine &m_engine;
    const ImportRequest &m_request;
    bool m_dryRun;
    const TableDef &m_def;
    db::Table *m_table = nullptr;
    bool m_bulk = false;
    bool m_backupTaken = false;
    QChar m_delimiter;
    CustomerIndex m_customers;
    ProductIndex m_products;
    qint64 m_nextNumber = 1;
    quint32 m_nextRecNo = 1; // record number of the next append (previews count them)
    quint32 m_firstNew = 1;  // the first record number the import adds
    double m_priceLimit = 0;
    QString m_status;
};

bool ImportRun::open(const TextFileCheck &check, BulkMode bulk, ImportResult &result)
{
    const int code = int(m_request.format.DELIM);
    m_delimiter = check.encoding == TextEncoding::Windows1252 && code >= 0x80 && code <= 0x9F
                      ? decodeWindows1252(QByteArray(1, char(code))).at(0)
                      : QChar(char16_t(code));

    const QString unable = m_request.kind == ImportKind::Customers
                               ? QStringLiteral("Unable to open Customer file")
                               : QStringLiteral("Unable to open Product file");
    const db::Access access = m_engine.access();
    const bool autoIndex = m_engine.autoOpenIndex();
    auto restore = [&] {
        m_engine.setAccess(access);
        m_engine.setAutoOpenIndex(autoIndex);
    };
    if (m_engine.table(m_def.name))
        m_engine.close(m_def.name);
    db::Status s;
    if (!m_dryRun) {
        // A first look without the index, exclusive: how big the table is decides the mode.
        m_engine.setAccess(db::Access::Exclusive);
        m_engine.setAutoOpenIndex(false);
        m_table = m_engine.open(m_def.name, &s);
        if (m_table) {
            const qint64 records = m_table->recordCount();
            m_bulk = bulk == BulkMode::Always || (bulk == BulkMode::Auto && check.lines >= kBulkMinLines &&
                                                  check.lines * kBulkShare >= records);
            if (!m_bulk) {
                m_engine.close(m_def.name);
                m_table = nullptr;
            }
        }
    }
    if (!m_table && s.isOk()) {
        m_engine.setAutoOpenIndex(autoIndex);
        const OpenResult opened = openTable(m_engine, m_def.id);
        m_table = opened.table;
        s = opened.status;
    }
    restore();
    if (!m_table) {
        result.message = unable + QStringLiteral(":\n") + s.toString();
        result.tableFailed = true;
        return false;
    }
    result.bulk = m_bulk;
    db::Status loaded;
    if (m_request.kind == ImportKind::Customers) {
        m_customers.setTable(m_table, !m_bulk);
        if (m_bulk)
            loaded = m_customers.loadAll();
        m_nextNumber = nextCustomerNumber(*m_table);
        if (loaded)
            loaded = m_table->takeError();
    } else {
        m_products.setTable(m_table, !m_bulk, m_dryRun ? 64 : std::min<qint64>(check.lines, 50'000'000));
        if (m_bulk)
            loaded = m_products.loadAll();
        const db::FieldDef &price = m_table->field(fieldOf(*m_table, "UPrice"));
        const int whole = price.length - (price.decimals > 0 ? price.decimals + 1 : 0);
        m_priceLimit = std::pow(10.0, whole - 1); // one place is kept for a minus sign
    }
    if (!loaded) {
        result.message = unable + QStringLiteral(":\n") + loaded.toString();
        result.tableFailed = true;
        return false;
    }
    m_nextRecNo = m_table->recordCount() + 1;
    m_firstNew = m_nextRecNo;
    return true;
}

bool ImportRun::failed(const db::Status &s, ImportResult &result)
{
    if (s.isOk())
        return false;
    result.tableFailed = true;
    result.message = QStringLiteral("The import stopped: the data could not be written.\n") + s.toString();
    return true;
}

bool ImportRun::goTo(quint32 recNo, ImportResult &result)
{
    if (m_table->go(recNo))
        return true;
    db::Status s = m_table->takeError();
    if (s.isOk())
        s = db::Status::notFound(
            QStringLiteral("%1: record %2 cannot be read").arg(m_table->fileName()).arg(recNo));
    failed(s, result);
    return false;
}

// Before the first write: the copy for "Undo Last Import" and, for a bulk import, the tag files
// taken away (a crash then leaves a missing index, which start-up rebuilds).
bool ImportRun::beforeWrite(ImportResult &result)
{
    if (m_backupTaken)
        return true;
    m_backupTaken = true;
    db::Status s = copyTableFiles(m_engine, m_def.id, importOperation(m_request.kind), &result.backupDir);
    if (!s) {
        result.tableFailed = true;
        result.message =
            QStringLiteral("Nothing was imported: the copy of %1 for undoing the import could not be "
                           "made.\n%2")
                .arg(m_def.fileName, s.toString());
        return false;
    }
    if (m_bulk) {
        for (const QString &file : m_def.indexFiles()) {
            const QString real = m_engine.findFile(file);
            if (!real.isEmpty())
                QFile::remove(m_engine.directory() + QLatin1Char('/') + real);
        }
    }
    return true;
}

void ImportRun::skip(qint64 lineNo, const QString &reason, ImportResult &result, PreviewRow *row)
{
    ++result.skippedCount;
    if (result.skipped.size() < ImportResult::kMaxListed)
        result.skipped.append({lineNo, reason});
    if (row) {
        row->action = LineAction::Skip;
        row->what = QStringLiteral("Skip: ") + reason;
    }
}

bool ImportRun::line(const TextLine &text, ImportResult &result, PreviewRow *row)
{
    result.lastLine = text.number;
    if (row)
        row->line = text.number;
    if (text.tooLong) {
        skip(text.number,
             QStringLiteral("the line is %1 bytes long, more than %2")
                 .arg(text.bytes)
                 .arg(LineReader::kMaxLineBytes),
             result, row);
        return true;
    }
    const QStringList fields = splitLine(text.text, m_delimiter);
    if (row)
        row->fields = fields;
    if (fields.size() < m_request.format.nFields) {
        skip(text.number,
             QStringLiteral("it has %1 fields, the format needs %2")
                 .arg(fields.size())
                 .arg(m_request.format.nFields),
             result, row);
        return true;
    }
    return m_request.kind == ImportKind::Customers ? customer(fields, text.number, result, row)
                                                   : product(fields, text.number, result, row);
}

bool ImportRun::customer(const QStringList &fields, qint64, ImportResult &result, PreviewRow *row)
{
    const auto &slot = m_request.format.Fld;
    CustomerRecord c;
    c.NGroup = m_request.group;
    c.Title = slotValue(fields, slot[0]);
    c.First = slotValue(fields, slot[1]);
    c.Last = slotValue(fields, slot[2]);
    c.Zip = slotValue(fields, slot[8]);
    c.Phone = slotValue(fields, slot[9]);
    c.Fax = slotValue(fields, slot[10]);
    c.EMail = slotValue(fields, slot[11]);
    c.Note = slotValue(fields, slot[12]);
    QString lines[4] = {slotValue(fields, slot[3]).trimmed(), slotValue(fields, slot[4]).trimmed(),
                        slotValue(fields, slot[5]).trimmed(), slotValue(fields, slot[7]).trimmed()};
    const QString state = slotValue(fields, slot[6]).trimmed();
    if (!state.isEmpty())
        lines[2] = lines[2].isEmpty() ? state : lines[2] + QStringLiteral(", ") + state;
    QStringList address;
    for (const QString &l : lines)
        if (!l.isEmpty())
            address << l;
    address.resize(4);
    c.Addr1 = address[0];
    c.Addr2 = address[1];
    c.Addr3 = address[2];
    c.Addr4 = address[3];
    m_status = QStringLiteral("Importing: ") + c.First.trimmed() + QLatin1Char(' ') + c.Last.trimmed();

    const QByteArray last = storedBytes(c.Last, m_customers.lastWidth());
    const QByteArray first = storedBytes(c.First, m_customers.firstWidth());
    const QByteArray zip = storedBytes(c.Zip, m_customers.zipWidth());
    const quint32 match = m_customers.find(last, first, zip);
    if (match) {
        if (row) {
            row->action = LineAction::Update;
            row->recNo = match;
        }
        const bool existing = match < m_firstNew;
        CustomerRecord old;
        if (existing) {
            if (!goTo(match, result))
                return false;
            if (failed(loadCustomer(*m_table, old), result))
                return false;
        }
        if (row)
            row->what = existing ? QStringLiteral("Update customer %1 (%2, %3)")
                                       .arg(old.CuNo)
                                       .arg(old.Last.trimmed(), old.First.trimmed())
                                 : QStringLiteral("Update the customer added from an earlier line");
        if (!m_dryRun) {
            if (!beforeWrite(result) || !goTo(match, result))
                return false;
            db::Status s = existing ? db::Status() : loadCustomer(*m_table, old);
            const QString oldNote = old.Note.trimmed();
            const QString newNote = c.Note.trimmed();
            // An empty side adds no separator: "old: new", or whichever is not empty.
            const QString note = oldNote.isEmpty()   ? newNote
                                 : newNote.isEmpty() ? oldNote
                                                     : oldNote + QStringLiteral(": ") + newNote;
            const QString comments = old.Comments.trimmed();
            auto set = [&](const char *name, const QString &value, int limit = kTextLimit) {
                if (s)
                    s = m_table->setText(fieldOf(*m_table, name), cutText(value, limit));
            };
            set("Addr1", c.Addr1);
            set("Addr2", c.Addr2);
            set("Addr3", c.Addr3);
            set("Addr4", c.Addr4);
            set("Zip", c.Zip);
            set("Phone", c.Phone);
            set("Fax", c.Fax);
            set("EMail", c.EMail, kEmailTextLimit);
            set("Note", note);
            if (s && memoText(comments) != old.Comments)
                s = m_table->setMemo(fieldOf(*m_table, "Comments"), memoText(comments));
            if (s)
                s = m_table->flush();
            if (failed(s, result))
                return false;
        }
        m_customers.setZip(match, zip);
        ++result.updated;
        return true;
    }
    c.CuNo = m_nextNumber++;
    const quint32 recNo = m_nextRecNo++;
    if (row) {
        row->action = LineAction::Add;
        row->recNo = recNo;
        row->what = QStringLiteral("Add customer %1").arg(c.CuNo);
    }
    if (!m_dryRun) {
        if (!beforeWrite(result))
            return false;
        db::Status s = m_table->appendBlank();
        if (s)
            s = writeCustomer(*m_table, c);
        if (failed(s, result))
            return false;
    }
    m_customers.add(recNo, last, first, zip);
    ++result.added;
    return true;
}

bool ImportRun::product(const QStringList &fields, qint64 lineNo, ImportResult &result, PreviewRow *row)
{
    const auto &slot = m_request.format.Fld;
    ProductRecord p;
    // Identifiers are kept in upper case everywhere in the program.
    p.PrID = slotValue(fields, slot[0]).trimmed().toUpper();
    if (p.PrID.isEmpty()) {
        skip(lineNo, QStringLiteral("it has no product identifier"), result, row);
        return true;
    }
    p.PDesc = slotValue(fields, slot[1]);
    p.IComm = slotValue(fields, slot[2]);
    const QString price = slotValue(fields, slot[3]).trimmed();
    bool numeric = false;
    const double value = toNumber(price, &numeric);
    if (numeric && std::isfinite(value)) {
        if (std::fabs(value) >= m_priceLimit) {
            skip(lineNo, QStringLiteral("the price %1 is too large").arg(price), result, row);
            return true;
        }
        p.UPrice = value;
    }
    m_status = QStringLiteral("Importing Product ID: ") + p.PrID;

    const QByteArray id = storedBytes(p.PrID, m_products.idWidth());
    const quint32 match = m_products.find(id);
    if (match) {
        if (row) {
            row->action = LineAction::Update;
            row->recNo = match;
            row->what = QStringLiteral("Update product %1 (record %2)").arg(p.PrID).arg(match);
        }
        if (!m_dryRun) {
            if (!beforeWrite(result) || !goTo(match, result))
                return false;
            db::Status s = m_table->setText(fieldOf(*m_table, "PrID"), cutText(p.PrID, kTextLimit));
            if (s)
                s = m_table->setText(fieldOf(*m_table, "PDesc"), cutText(p.PDesc, kTextLimit));
            if (s)
                s = m_table->setText(fieldOf(*m_table, "IComm"), cutText(p.IComm, kTextLimit));
            if (s)
                s = m_table->setNumber(fieldOf(*m_table, "UPrice"), p.UPrice);
            if (s)
                s = m_table->setLogical(fieldOf(*m_table, "lBuild"), false);
            if (s)
                s = m_table->flush();
            if (failed(s, result))
                return false;
        }
        ++result.updated;
        return true;
    }
    const quint32 recNo = m_nextRecNo++;
    if (row) {
        row->action = LineAction::Add;
        row->recNo = recNo;
        row->what = QStringLiteral("Add product %1").arg(p.PrID);
    }
    if (!m_dryRun) {
        if (!beforeWrite(result))
            return false;
        db::Status s = m_table->appendBlank();
        if (s)
            s = writeProduct(*m_table, p);
        if (failed(s, result))
            return false;
    }
    m_products.add(recNo, id);
    ++result.added;
    return true;
}

void ImportRun::finish(ImportResult &result)
{
    if (!m_table)
        return;
    db::Status s = m_table->flush();
    if (m_bulk && m_backupTaken) {
        const db::Status built = m_table->createIndexGroup(m_def.tags, true);
        if (s)
            s = built;
    }
    const db::Status closed = m_engine.close(m_def.name);
    if (s)
        s = closed;
    m_table = nullptr;
    if (!s && result.message.isEmpty()) {
        result.tableFailed = true;
        result.message = QStringLiteral("The import could not be completed:\n") + s.toString();
    }
    if (!m_dryRun && m_backupTaken && !result.backupDir.isEmpty()) {
        // Even after a failure part way the import can be undone: the copy is whole.
        markUndoable(m_engine, m_def.id, result.backupDir);
    }
}

} // namespace

QString ImportResult::counts(ImportKind kind) const
{
    const QString what =
        kind == ImportKind::Customers ? QStringLiteral("Customers") : QStringLiteral("Products");
    return QStringLiteral("%1 %2 Added  %3 %2 Updated").arg(added).arg(what).arg(updated);
}

ImportResult runImport(db::Engine &engine, const ImportRequest &request, const ImportProgressFn &progress,
                       BulkMode bulk)
{
    ImportResult result;
    const TextFileCheck check = checkTextFile(request.file, int(request.format.DELIM));
    result.encoding = check.encoding;
    if (!check.ok) {
        result.message = check.message;
        return result;
    }
    LineReader reader(request.file, check.encoding);
    if (!reader.open(&result.message))
        return result;
    ImportRun run(engine, request, false);
    if (!run.open(check, bulk, result))
        return result;

    TextLine line;
    qint64 count = 0;
    bool ok = true;
    if (progress)
        progress(0, QString());
    while (reader.next(&line)) {
        if (!run.line(line, result, nullptr)) {
            ok = false;
            break;
        }
        if (progress && ++count % kProgressEvery == 0) {
            const int percent = check.size > 0 ? int(reader.position() * 100 / check.size) : 100;
            if (!progress(percent, run.status())) {
                result.cancelled = true;
                break;
            }
        }
    }
    if (ok && !result.cancelled && !reader.error().isEmpty()) {
        ok = false;
        result.message =
            QStringLiteral("The file %1 could not be read to its end: %2").arg(request.file, reader.error());
    }
    run.finish(result);
    if (progress)
        progress(100, QString());
    result.ok = ok && result.message.isEmpty();
    return result;
}

ImportPreview previewImport(db::Engine &engine, const ImportRequest &request, int lines)
{
    ImportPreview preview;
    const TextFileCheck check = checkTextFile(request.file, int(request.format.DELIM));
    preview.encoding = check.encoding;
    if (!check.ok) {
        preview.message = check.message;
        return preview;
    }
    LineReader reader(request.file, check.encoding);
    if (!reader.open(&preview.message))
        return preview;
    ImportResult result;
    ImportRun run(engine, request, true);
    if (!run.open(check, BulkMode::Never, result)) {
        preview.message = result.message;
        return preview;
    }
    TextLine line;
    while (preview.rows.size() < lines && reader.next(&line)) {
        PreviewRow row;
        run.line(line, result, &row);
        preview.fieldColumns = std::max<int>(preview.fieldColumns, row.fields.size());
        preview.rows.append(row);
    }
    run.finish(result);
    preview.ok = true;
    return preview;
}

} // namespace tallyra
