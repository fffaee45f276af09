#pragma once

// The rules of inventory purchases on the open Pur5 table: what a purchase must hold to be saved,
// saving and deleting it, and marking the product bought as an inventory item. No widgets.
//
// A negative quantity records a return to the supplier; its total cost is then the amount
// refunded, 0 or less. The costing takes returned stock out of the lots at their own cost.

#include "CustomerBook.h"
#include "Records.h"
#include "engine/Table.h"

#include <QString>

namespace tallyra {

inline const char kProductSelectionRequiredMessage[] = "Product Selection Required.";
inline const char kPurchaseAppendFailedMessage[] = "Unable to Append record . . Please try again.";
inline const char kReturnCostMessage[] =
    "A return to the supplier (a negative quantity) takes a total cost of 0 or less: the amount refunded.";
inline const char kNegativeCostMessage[] =
    "The total cost of a purchase cannot be negative. Enter a return to the supplier as a negative quantity.";

class PurchaseBook
{
public:
    // REQUIRES: purchases is Pur5, open.
    explicit PurchaseBook(db::Table &purchases);

    // The message that refuses the purchase, or an empty text when it may be saved: a product
    // identifier (trimmed) is required, and the cost may not have the other sign than the quantity.
    static QString refusal(const PurchaseRecord &purchase);

    // Reads Pur5 record recNo into *purchase (texts trimmed). False when there is no such record.
    bool load(quint32 recNo, PurchaseRecord *purchase, bool *deleted = nullptr);

    // Saves the purchase as record recNo, or appended when recNo is 0, after refusal() allows it.
    // The identifier is stored trimmed and in upper case; the date as whole days; PURNo as given.
    // A record marked deleted is recalled. Flushed at once.
    RecordSave save(PurchaseRecord &purchase, quint32 recNo);

    // Marks record recNo deleted and sets the pack-needed flag. The product is not touched.
    db::Status remove(quint32 recNo);

    // Sets the "Inventory Item" flag (lInven) of Prod5 record recNo and nothing else; flushed.
    static db::Status markInventoryItem(db::Table &products, quint32 recNo);

private:
    db::Table &m_purchases;
};

} // namespace tallyra
