#include "InventoryCosting.h"

#include "engine/Table.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_map>

namespace tallyra {

namespace {

struct Lot
{
    double remaining = 0;
    double unitCost = 0;
    QDate date;
};

// Takes one lot's share of q: all of the lot when it holds less than q, else q from it.
inline void consume(Lot &lot, double &q)
{
    if (lot.remaining < q) {
        q -= lot.remaining;
        lot.remaining = 0;
    } else {
        lot.remaining -= q;
        q = 0;
    }
}

class Allocator
{
public:
    Allocator(std::vector<Lot> &lots, CostingMethod method)
        : m_lots(lots)
        , m_method(method)
    {}

    // Takes q out of the lots for a sale (or return) dated `date`; returns what no lot covered.
    double take(double q, const QDate &date)
    {
        if (m_lots.empty())
            return q;
        if (m_method == CostingMethod::FirstInFirstOut)
            return takeOldestFirst(q);
        return takeNewestFirst(q, date);
    }

private:
    // Oldest to newest until q is used up. The lots before m_firstFull are empty, and visiting an
    // empty lot with something left to take changes nothing, so they are skipped; a negative q (an
    // item credited back) goes to the oldest lot, which may be empty.
    double takeOldestFirst(double q)
    {
        size_t i = q > 0 ? m_firstFull : 0;
        for (; i < m_lots.size(); ++i) {
            consume(m_lots[i], q);
            if (q <= 0)
                break;
        }
        if (m_lots[0].remaining > 0)
            m_firstFull = 0;
        while (m_firstFull < m_lots.size() && m_lots[m_firstFull].remaining <= 0)
            ++m_firstFull;
        return q;
    }

    // Newest to oldest among the lots bought on or before the date that still hold stock; what is
    // left then comes from the oldest lots onwards, whatever their date.
    double takeNewestFirst(double q, const QDate &date)
    {
        // Lots are in date order: the ones bought on or before the date end at `end`.
        const auto end = std::upper_bound(m_lots.begin(), m_lots.end(), date,
                                          [](const QDate &d, const Lot &lot) { return d < lot.date; });
        for (auto it = end; it != m_lots.begin();) {
            --it;
            if (it->remaining <= 0)
                continue;
            consume(*it, q);
            if (q <= 0)
                break;
        }
        if (q > 0) {
            for (Lot &lot : m_lots) {
                consume(lot, q);
                if (q <= 0)
                    break;
            }
        }
        return q;
    }

    std::vector<Lot> &m_lots;
    CostingMethod m_method;
    size_t m_firstFull = 0;
};

// FNV-1a, mixed at the end so the low bits used for the slot depend on every byte.
quint32 keyHash(QByteArrayView key)
{
    quint64 h = 14695981039346656037ull;
    for (char c : key) {
        h ^= quint8(c);
        h *= 1099511628211ull;
    }
    return quint32(h ^ (h >> 32));
}

// Trims and folds a field's bytes in place into its product key.
void toKey(QByteArray &bytes)
{
    qsizetype n = bytes.size();
    while (n > 0 && (bytes[n - 1] == ' ' || bytes[n - 1] == '\0'))
        --n;
    qsizetype start = 0;
    while (start < n && bytes[start] == ' ')
        ++start;
    bytes.truncate(n);
    if (start > 0)
        bytes.remove(0, start);
    for (char &c : bytes) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    }
}

// A stored "yyyymmdd" date read straight from the field's bytes; blank or invalid gives a null date.
QDate storedDate(const QByteArray &b)
{
    if (b.size() < 8)
        return {};
    int v[8];
    for (int i = 0; i < 8; ++i) {
        const char c = b[i];
        if (c < '0' || c > '9')
            return {};
        v[i] = c - '0';
    }
    return QDate(v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3], v[4] * 10 + v[5], v[6] * 10 + v[7]);
}

void foldAscii(QByteArray &bytes)
{
    for (char &c : bytes) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    }
}

db::Status missingField(const db::Table &table, const char *field)
{
    return db::Status::invalid(
        QStringLiteral("%1: the field %2 is missing").arg(table.fileName(), QLatin1String(field)));
}

struct Fields
{
    bool ok = true;
    QString missing;
    int operator()(const db::Table &table, const char *name)
    {
        const int index = table.fieldIndex(name);
        if (index < 0 && ok) {
            ok = false;
            missing = QLatin1String(name);
        }
        return index;
    }
};

// Invoice dates by invoice number; the first one added for a number stays.
class InvoiceDates
{
public:
    void add(qint64 number, const QDate &date)
    {
        if (number >= 0 && number < kDense) {
            if (size_t(number) >= m_days.size())
                m_days.resize(std::max(size_t(number) + 1, m_days.size() * 2), kNone);
            if (m_days[size_t(number)] == kNone)
                m_days[size_t(number)] = date.isValid() ? date.toJulianDay() : kNullDay;
        } else {
            m_other.emplace(number, date);
        }
    }

    QDate find(qint64 number, bool *found) const
    {
        if (number >= 0 && number < kDense) {
            const qint64 day = size_t(number) < m_days.size() ? m_days[size_t(number)] : kNone;
            *found = day != kNone;
            return day == kNone || day == kNullDay ? QDate() : QDate::fromJulianDay(day);
        }
        const auto it = m_other.find(number);
        *found = it != m_other.end();
        return *found ? it->second : QDate();
    }

private:
    static constexpr qint64 kDense = 1000000; // numbers of six digits
    static constexpr qint64 kNone = std::numeric_limits<qint64>::min();
    static constexpr qint64 kNullDay = kNone + 1;
    std::vector<qint64> m_days;
    std::unordered_map<qint64, QDate> m_other;
};

// The invoice number as its tag Str(IvNo,6,0) holds it.
QByteArray invoiceKey(qint64 number)
{
    return QByteArray::number(number).rightJustified(6, ' ');
}

} // namespace

CostingResult costInventory(bool tracked, const StockHistory &history, const QDate &asOf,
                            CostingMethod method)
{
    CostingResult r;
    if (!tracked)
        return r;
    r.tracked = true;

    std::vector<Lot> lots;
    lots.reserve(history.purchases.size());
    for (const StockPurchase &p : history.purchases) {
        if (p.quantity == 0)
            continue;
        if (p.date > asOf) {
            r.laterPurchases += p.quantity;
        } else if (p.quantity > 0) {
            lots.push_back({p.quantity, p.cost / p.quantity, p.date});
        }
    }

    Allocator allocator(lots, method);
    // Returns to the supplier first, oldest first, as the lots they send back were bought.
    for (const StockPurchase &p : history.purchases) {
        if (p.quantity < 0 && !(p.date > asOf))
            r.unallocated += allocator.take(-p.quantity, p.date);
    }
    for (const StockSale &s : history.sales) {
        if (s.date > asOf)
            r.unallocated += s.quantity;
        else
            r.unallocated += allocator.take(s.quantity, s.date);
    }

    for (const Lot &lot : lots) {
        r.quantity += lot.remaining;
        r.value += lot.remaining * lot.unitCost;
    }
    return r;
}

QByteArray productKey(QByteArrayView stored)
{
    qsizetype n = stored.size();
    while (n > 0 && (stored[n - 1] == ' ' || stored[n - 1] == '\0'))
        --n;
    qsizetype start = 0;
    while (start < n && stored[start] == ' ')
        ++start;
    QByteArray key(stored.data() + start, n - start);
    foldAscii(key);
    return key;
}

db::Status readStockHistory(const QString &productId, db::Table &purchases, db::Table &items,
                            db::Table &invoices, StockHistory *history)
{
    *history = StockHistory{};
    const QByteArray key = productKey(productId.toUtf8());
    if (key.isEmpty())
        return db::Status::ok();

    Fields field;
    const int purProd = field(purchases, "PURProd"), purDate = field(purchases, "PURDate"),
              purQty = field(purchases, "PURQty"), purCost = field(purchases, "PURCost");
    const int itmProd = field(items, "PrID"), itmNo = field(items, "IvNo"), itmQty = field(items, "Qty");
    const int invNo = field(invoices, "IvNo"), invDate = field(invoices, "IDate");
    if (!field.ok)
        return db::Status::invalid(QStringLiteral("a field is missing: %1").arg(field.missing));

    const QString purTag = purchases.selectedTag(), itmTag = items.selectedTag(),
                  invTag = invoices.selectedTag();
    auto restore = [&] {
        auto back = [](db::Table &t, const QString &tag) {
            if (tag.isEmpty())
                t.selectNatural();
            else
                t.selectTag(tag);
        };
        back(purchases, purTag);
        back(items, itmTag);
        back(invoices, invTag);
    };
    if (!purchases.selectTag(QStringLiteral("Pur")) || !items.selectTag(QStringLiteral("ItmP")) ||
        !invoices.selectTag(QStringLiteral("Inv"))) {
        restore();
        return db::Status::invalid(QStringLiteral("the tags Pur, ItmP and Inv must be open"));
    }

    db::Status status;
    if (purchases.seek(key) != db::SeekResult::Error) {
        for (; !purchases.eof(); purchases.skip(1)) {
            if (productKey(purchases.raw(purProd)) != key)
                break;
            if (!purchases.isDeleted())
                history->purchases.push_back(
                    {purchases.date(purDate), purchases.number(purQty), purchases.number(purCost)});
        }
    }
    status = purchases.takeError();

    // The item tag holds the identifier as stored (products are stored in upper case): the seek
    // finds the items stored under the key itself.
    if (status && items.seek(key) != db::SeekResult::Error) {
        for (; !items.eof(); items.skip(1)) {
            if (productKey(items.raw(itmProd)) != key)
                break;
            if (items.isDeleted())
                continue;
            const qint64 number = items.integer(itmNo);
            const double qty = items.number(itmQty);
            if (invoices.seek(invoiceKey(number)) != db::SeekResult::Found)
                continue;
            // The first undeleted invoice of that number.
            while (!invoices.eof() && invoices.isDeleted() && invoices.integer(invNo) == number)
                invoices.skip(1);
            if (invoices.eof() || invoices.isDeleted() || invoices.integer(invNo) != number)
                continue;
            history->sales.push_back({invoices.date(invDate), qty});
        }
    }
    if (status)
        status = items.takeError();
    if (status)
        status = invoices.takeError();
    restore();
    return status;
}

db::Status StockLedger::read(const QList<QByteArray> &productKeys, db::Table &purchases, db::Table &items,
                             db::Table &invoices, const Progress &progress, const QDate &purchasesFrom,
                             const QDate &purchasesTo)
{
    m_histories.clear();
    size_t capacity = 16;
    while (capacity < size_t(productKeys.size()) * 2)
        capacity *= 2;
    m_slots.assign(capacity, Slot{});
    m_mask = capacity - 1;
    m_purchaseCost = 0;
    m_purchaseCount = 0;
    for (const QByteArray &key : productKeys) {
        if (key.size() <= qsizetype(sizeof(Slot::key)) && insert(key) == int(m_histories.size()))
            m_histories.emplace_back();
    }

    Fields field;
    const int purProd = field(purchases, "PURProd"), purDate = field(purchases, "PURDate"),
              purQty = field(purchases, "PURQty"), purCost = field(purchases, "PURCost");
    const int itmProd = field(items, "PrID"), itmNo = field(items, "IvNo"), itmQty = field(items, "Qty");
    const int invNo = field(invoices, "IvNo"), invDate = field(invoices, "IDate");
    if (!field.ok) {
        for (db::Table *t : {&purchases, &items, &invoices}) {
            if (t->fieldIndex(field.missing.toLatin1()) < 0)
                return missingField(*t, field.missing.toLatin1().constData());
        }
        return db::Status::invalid(QStringLiteral("the field %1 is missing").arg(field.missing));
    }

    const qint64 total =
        qMax<qint64>(1, qint64(purchases.recordCount()) + items.recordCount() + invoices.recordCount());
    qint64 done = 0;
    int shown = -1;
    auto step = [&] {
        ++done;
        if (progress && (done & 1023) == 0) {
            const int percent = int(done * 100 / total);
            if (percent != shown)
                progress(shown = percent);
        }
    };

    // Every table is read in record order, which touches each page once.
    const QString purTag = purchases.selectedTag(), itmTag = items.selectedTag(),
                  invTag = invoices.selectedTag();
    purchases.selectNatural();
    items.selectNatural();
    invoices.selectNatural();
    auto restore = [&] {
        if (!purTag.isEmpty())
            purchases.selectTag(purTag);
        if (!itmTag.isEmpty())
            items.selectTag(itmTag);
        if (!invTag.isEmpty())
            invoices.selectTag(invTag);
    };

    // Purchases by product; one day's purchases stay in record order.
    const bool sumCost = purchasesFrom.isValid() && purchasesTo.isValid();
    for (bool more = purchases.top(); more; more = purchases.skip(1)) {
        step();
        if (purchases.isDeleted())
            continue;
        const QDate date = storedDate(purchases.raw(purDate));
        if (sumCost && date >= purchasesFrom && date <= purchasesTo) {
            m_purchaseCost += purchases.number(purCost);
            ++m_purchaseCount;
        }
        QByteArray key = purchases.raw(purProd);
        toKey(key);
        const int at = find(key, keyHash(key));
        if (at < 0)
            continue;
        m_histories[size_t(at)].purchases.push_back(
            {date, purchases.number(purQty), purchases.number(purCost)});
    }
    db::Status status = purchases.takeError();

    // Invoice dates by number: the first undeleted invoice of each number. Invoice numbers are
    // small (six digits in the file), so a table indexed by number holds them; others go to a map.
    InvoiceDates dates;
    if (status) {
        for (bool more = invoices.top(); more; more = invoices.skip(1)) {
            step();
            if (!invoices.isDeleted())
                dates.add(invoices.integer(invNo), storedDate(invoices.raw(invDate)));
        }
        status = invoices.takeError();
    }

    // Items by product, with their invoice numbers for the order. They are gathered in one array
    // in record order and then sorted, which reads and writes memory in sequence; spreading them
    // over one array per product as they are read would touch a random place for each item.
    struct Sold
    {
        qint32 product;
        qint64 invoice;
        double qty;
    };
    std::vector<Sold> sold;
    if (status) {
        for (bool more = items.top(); more; more = items.skip(1)) {
            step();
            if (items.isDeleted())
                continue;
            QByteArray key = items.raw(itmProd);
            toKey(key);
            const int at = find(key, keyHash(key));
            if (at >= 0)
                sold.push_back({at, items.integer(itmNo), items.number(itmQty)});
        }
        status = items.takeError();
    }
    restore();
    if (!status)
        return status;

    for (StockHistory &h : m_histories)
        std::stable_sort(h.purchases.begin(), h.purchases.end(),
                         [](const StockPurchase &a, const StockPurchase &b) { return a.date < b.date; });
    std::stable_sort(sold.begin(), sold.end(), [](const Sold &a, const Sold &b) {
        return a.product != b.product ? a.product < b.product : a.invoice < b.invoice;
    });
    for (size_t i = 0; i < sold.size();) {
        StockHistory &h = m_histories[size_t(sold[i].product)];
        size_t end = i;
        while (end < sold.size() && sold[end].product == sold[i].product)
            ++end;
        h.sales.reserve(end - i);
        for (; i < end; ++i) {
            bool found = false;
            const QDate date = dates.find(sold[i].invoice, &found);
            if (found)
                h.sales.push_back({date, sold[i].qty});
        }
    }
    if (progress)
        progress(100);
    return status;
}

const StockHistory &StockLedger::history(const QByteArray &key) const
{
    const int at = find(key, keyHash(key));
    return at < 0 ? m_empty : m_histories[size_t(at)];
}

int StockLedger::find(QByteArrayView key, quint32 hash) const
{
    if (m_slots.empty())
        return -1;
    for (quint64 i = hash & m_mask;; i = (i + 1) & m_mask) {
        const Slot &s = m_slots[size_t(i)];
        if (s.index < 0)
            return -1;
        if (s.hash == hash && s.length == key.size() &&
            std::memcmp(s.key, key.data(), size_t(key.size())) == 0)
            return s.index;
    }
}

// Returns the key's index: the one it had, or the next free one (the number of keys before it).
int StockLedger::insert(QByteArrayView key)
{
    const quint32 hash = keyHash(key);
    const int found = find(key, hash);
    if (found >= 0)
        return found;
    quint64 i = hash & m_mask;
    while (m_slots[size_t(i)].index >= 0)
        i = (i + 1) & m_mask;
    Slot &s = m_slots[size_t(i)];
    s.hash = hash;
    s.index = int(m_histories.size());
    s.length = quint8(key.size());
    std::memcpy(s.key, key.data(), size_t(key.size()));
    return s.index;
}

} // namespace tallyra
