#pragma once

// Reading, numbering, saving and deleting invoices: the current invoice against INV6 (headers),
// ITM5 (line items) and PMT (payments), with the customer note written back to CUST5 and the
// product texts read from Prod5. No widgets: the invoice window asks the questions and shows
// the messages this class returns.

#include "AddressBlock.h"
#include "InvoiceModel.h"
#include "Tables.h"
#include "engine/Engine.h"

#include <QString>
#include <QStringList>
#include <functional>

namespace tallyra {

// The invoice number as its key: right-aligned in six characters ("  1001").
QByteArray invoiceNumberKey(qint64 number);

// The customer of an invoice as the invoice window shows it.
struct InvoiceCustomer
{
    quint32 recNo = 0;   // CUST5 record; 0 for none
    qint64 number = 0;   // CuNo
    QStringList address; // the address block
    QString note;
    QString email;
    QString zip;
    QString phone;
};

struct InvoiceSaveResult
{
    enum class Outcome
    {
        Saved,
        NoCustomer,       // nothing written
        HeaderNotAdded,   // INV6 append failed; nothing written
        ItemsNotAdded,    // header and earlier items written
        PaymentsNotAdded, // header, items and earlier payments written
        WriteFailed,      // a write other than an append failed; see message
    };
    Outcome outcome = Outcome::Saved;
    QString message;         // what to tell the user; empty when saved
    quint32 recNo = 0;       // the invoice's INV6 record (0 when none was written)
    int itemsDeleted = 0;    // left-over item records removed
    int paymentsDeleted = 0; // left-over payment records removed
    bool ok() const { return outcome == Outcome::Saved; }
};

class InvoiceStore
{
public:
    // The tables must be open (openTables) for every other call; the store never closes them.
    explicit InvoiceStore(db::Engine &engine);

    // Opens what the invoice command works on: CUST5 (tag CName), GROUPS (NGroup), INV6 (Inv),
    // ITM5 (Itm), PMT (Pmt), Prod5 (Prod), each on its first record. Returns INV6, or the first
    // failure (whose message() the caller shows before the program ends).
    static OpenResult openTables(db::Engine &engine);

    // Highest IvNo + 1, or 1 when INV6 is empty.
    qint64 nextInvoiceNumber() const;
    // INV6 record of the last invoice in number order; 0 when INV6 is empty.
    quint32 lastInvoiceRecord() const;

    // A new, empty invoice with the next number and today's date.
    void startNew(CurrentInvoice &invoice) const;
    // The invoice of INV6 record recNo with its items (and their products' licence codes and
    // texts from Prod5) and payments, in stored order. Quantities, prices and amounts are taken
    // to the two decimals the invoice shows. Records marked deleted are passed over.
    db::Status load(quint32 recNo, CurrentInvoice &invoice) const;

    // The customer of CUST5 record recNo, or the one numbered `number` (found on tag CCNO, the
    // table's order restored afterwards). False when there is none.
    bool loadCustomer(quint32 recNo, InvoiceCustomer *customer) const;
    bool findCustomer(qint64 number, InvoiceCustomer *customer) const;
    // A new line filled from Prod5 record recNo: identifier, descriptions, flags, unit price,
    // quantity 1, licence code and product text. False when there is no such product.
    bool productItem(quint32 recNo, InvoiceItem *item) const;

    // Saves the invoice held in `invoice` as INV6 record recNo (0: a new invoice, numbered here).
    // Items and payments overwrite the invoice's old records in order and append the rest; old
    // records left over are deleted and their table packed. `customerNote` (trimmed) is written to
    // the customer's Note. For the very first invoice `askStartNumber` is called with no
    // arguments and returns the typed start number (text that is no number in 1..999999 gives 1).
    InvoiceSaveResult save(CurrentInvoice &invoice, quint32 recNo, const QString &customerNote,
                           const std::function<QString()> &askStartNumber);

    // Deletes the invoice of INV6 record recNo with its items and payments and packs the three
    // tables. recNo 0 (never saved) touches nothing. *selectionAfter receives the record of the
    // last invoice left (0 when none).
    db::Status remove(quint32 recNo, quint32 *selectionAfter);

private:
    db::Table *table(TableId id) const;

    db::Engine &m_engine;
};

} // namespace tallyra
