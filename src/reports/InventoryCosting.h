#pragma once

// The inventory costing: what a tracked product has on hand as of a day and what that stock cost,
// recomputed from its purchases (Pur5) and the invoice items that sold it (ITM5 dated by INV6),
// first in first out or last in first out. Nothing here shows a window.
//
// A purchase with a positive quantity becomes a lot: its remaining quantity starts at the
// quantity bought, valued at the purchase's unit cost (total cost / quantity). A purchase with a
// quantity of 0 is ignored. A purchase with a negative quantity is a return to the supplier: it
// never becomes a lot; on its date it takes its quantity out of the lots as a sale does, by the
// same method, so the stock returned leaves at the lots' own cost. Returns are taken out before the
// sales, oldest first. A return dated after the day asked for counts (negatively) in the later
// purchases, as goods on order that will not come.

#include "engine/Engine.h"
#include "engine/Status.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <functional>
#include <vector>

namespace tallyra {

enum class CostingMethod
{
    FirstInFirstOut,
    LastInFirstOut
};

// The method the preference `fifo` names.
inline CostingMethod costingMethod(bool fifo)
{
    return fifo ? CostingMethod::FirstInFirstOut : CostingMethod::LastInFirstOut;
}

struct StockPurchase
{
    QDate date; // a purchase without a date counts as the oldest
    double quantity = 0;
    double cost = 0; // the total paid for the whole quantity
};

struct StockSale
{
    QDate date; // the date of the invoice that sold it
    double quantity = 0;
};

// One product's history: purchases in date order (purchases of one day in the order entered),
// sales in invoice-number order (items of one invoice in the order entered).
struct StockHistory
{
    std::vector<StockPurchase> purchases;
    std::vector<StockSale> sales;
};

struct CostingResult
{
    bool tracked = false;
    double quantity = 0;       // what the lots hold after the sales and returns up to the day
    double value = 0;          // sum over the lots of remaining quantity x unit cost
    double laterPurchases = 0; // quantity of the purchases (net of returns) dated after the day
    double unallocated = 0;    // sold (or returned) but covered by no lot, with every sale after the day

    // The stock on hand: the lots less what was sold from no lot.
    double onHand() const { return quantity - unallocated; }
};

// The costing of one product as of `asOf`. An untracked product gives all zeros with tracked false.
CostingResult costInventory(bool tracked, const StockHistory &history, const QDate &asOf,
                            CostingMethod method);

// Identifiers of products, purchases and invoice items are compared trimmed of trailing blanks and
// without regard to the case of the ASCII letters, as the product and purchase tags fold them.
QByteArray productKey(QByteArrayView stored);

// One product's history read from the tables by seeking, as a single product needs it: Pur5 on its
// tag Pur, ITM5 on its tag ItmP and INV6 on its tag Inv (the tags selected are restored).
// Records marked deleted are left out, and so are items whose invoice is missing or deleted.
// REQUIRES: the three tables open with those tags in their index groups.
db::Status readStockHistory(const QString &productId, db::Table &purchases, db::Table &items,
                            db::Table &invoices, StockHistory *history);

// Reports go over every product at once: the histories of many products read in one pass over each
// table in record order (fast at any size) and kept by product key.
class StockLedger
{
public:
    using Progress = std::function<void(int percent)>;

    // Reads the histories of the products whose keys are given (the tracked ones). Every purchase's
    // total cost between purchasesFrom and purchasesTo (inclusive; null dates: no sum) is summed
    // into purchaseCost() whatever its product. Progress runs over the records of the three tables.
    db::Status read(const QList<QByteArray> &productKeys, db::Table &purchases, db::Table &items,
                    db::Table &invoices, const Progress &progress = {}, const QDate &purchasesFrom = {},
                    const QDate &purchasesTo = {});

    // The history of a product key; an empty one for a key not read.
    const StockHistory &history(const QByteArray &key) const;
    double purchaseCost() const { return m_purchaseCost; }
    qint64 purchaseCount() const { return m_purchaseCount; }

private:
    // Product keys to history indexes: open addressing with the key bytes held in the slot, so a
    // lookup (one per record read) touches one slot's memory.
    struct Slot
    {
        quint32 hash = 0;
        qint32 index = -1; // -1: empty
        quint8 length = 0;
        char key[23];
    };
    int find(QByteArrayView key, quint32 hash) const;
    int insert(QByteArrayView key);
    std::vector<Slot> m_slots;
    quint64 m_mask = 0;
    std::vector<StockHistory> m_histories;
    StockHistory m_empty;
    double m_purchaseCost = 0;
    qint64 m_purchaseCount = 0;
};

} // namespace tallyra
