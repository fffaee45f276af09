#pragma once

// The rules of the product catalogue on the open Prod5 table: identifiers stored in upper case
// and never used twice, saving with the on-hand quantity carried unchanged, and deleting a
// product together with its inventory purchases (Pur5). No widgets.

#include "CustomerBook.h"
#include "Records.h"
#include "engine/Engine.h"

#include <QString>

namespace tallyra {

inline const char kBlankProductIdMessage[] = "Blank Product ID not allowed";
inline const char kDuplicateProductIdMessage[] = "Duplicate Product ID's are not allowed";
inline const char kProductAppendFailedMessage[] = "Unable to Append record . . Please try again.";

class ProductCatalog
{
public:
    // REQUIRES: products is Prod5, open in `engine` (which opens Pur5 when a product is deleted).
    ProductCatalog(db::Engine &engine, db::Table &products);

    // The identifier as stored: trimmed and upper-cased.
    static QString normaliseId(const QString &typed);

    // Reads Prod5 record recNo into *product with its texts trimmed (the product text at its end
    // only). False when there is no such record.
    bool load(quint32 recNo, ProductRecord *product, bool *deleted = nullptr);

    // True when a product other than record ownRecNo (0 for a new product) is stored under the
    // identifier `id` exactly (compared in upper case; a longer identifier that begins with it,
    // "ABC" beside "AB", is another identifier). An identifier equal to originalId, the one the
    // product had when its form opened, is never checked.
    bool isDuplicate(const QString &id, const QString &originalId, quint32 ownRecNo);

    // Saves the product as Prod5 record recNo, or as a new record when recNo is 0. product.PrID
    // is normalised first; refused when blank, when it names another product and when the record
    // cannot be appended. ONHAND is written as stored (0 for a new product), whatever *product
    // holds; lBuild is written false. A record marked deleted is recalled.
    RecordSave save(ProductRecord &product, quint32 recNo, const QString &originalId);

    struct Removal
    {
        db::Status status; // ok, or what failed (then the product is not marked deleted)
        int purchases = 0; // Pur5 records marked deleted
    };
    // Marks every purchase of the product (Pur5, tag Pur: PURProd equal to its identifier) and
    // then the product's record deleted, and sets the pack-needed flag. Pur5 is opened for this
    // and closed again; when a command already has it open it is left open in its order.
    // Invoice items naming the product are not touched.
    Removal remove(quint32 recNo);

private:
    db::Engine &m_engine;
    db::Table &m_products;
};

} // namespace tallyra
