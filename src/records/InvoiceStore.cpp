#include "InvoiceStore.h"

#include "Clock.h"
#include "Conversions.h"
#include "Database.h"
#include "Records.h"
#include "Schema.h"

namespace tallyra {

namespace {

constexpr qint64 kMaxNumber = 999999; // IvNo holds six digits

// A figure as the invoice shows it: the value of its "%<width>.2f" text.
double shown(double value, int width)
{
    double v = 0;
    return parseAmount(formatAmount(value, width), &v) ? v : value;
}

// The first of an invoice's three tables that is not open, as a failure; ok when all three are.
db::Status tablesOpen(const db::Table *inv, const db::Table *itm, const db::Table *pmt)
{
    if (inv && itm && pmt)
        return db::Status::ok();
    const TableId missing = !inv ? TableId::Invoices : !itm ? TableId::Items : TableId::Payments;
    return db::Status::invalid(QStringLiteral("%1 is not open").arg(tableDef(missing).name));
}

// Puts the invoice table on record recNo; a number past the end is "no record <recNo>".
db::Status goToInvoice(db::Table &inv, quint32 recNo)
{
    if (inv.go(recNo))
        return db::Status::ok();
    const db::Status s = inv.takeError();
    return s.isOk() ? db::Status::notFound(QStringLiteral("%1: no record %2").arg(inv.fileName()).arg(recNo))
                    : s;
}

ItemRecord itemRecord(qint64 number, const InvoiceItem &item)
{
    ItemRecord r;
    r.IvNo = number;
    r.PrID = item.productId;
    r.Qty = item.quantity;
    r.UPR = item.unitPrice;
    r.LTax1 = item.shipLine;
    r.LTax2 = item.taxLine;
    r.PDesc = item.description1;
    r.IComm = item.description2;
    return r;
}

PaymentRecord paymentRecord(qint64 number, const InvoicePayment &payment)
{
    PaymentRecord r;
    r.IvNo = number;
    r.PDate = payment.date;
    r.PAmt = payment.amount;
    return r;
}

// Marks the invoice's records deleted from the current one on, adding their count to *deleted.
db::Status deleteOnward(db::Table &t, int ivnoField, qint64 number, int *deleted)
{
    while (!t.eof() && t.integer(ivnoField) == number) {
        if (!t.isDeleted()) {
            db::Status s = t.markDeleted();
            if (s.isOk())
                s = t.flush();
            if (!s.isOk())
                return s;
            ++*deleted;
        }
        if (!t.skip(1))
            break;
    }
    return t.takeError();
}

// The overwrite-then-append writer shared by items and payments: the invoice's old records are
// overwritten in their order, further entries appended; old records left over are marked
// deleted. write() assigns one entry to the current record and flushes it. *appendFailed tells
// an append that did not reach the disk from any other failure.
template <typename Entry, typename WriteFn>
db::Status writeList(db::Table &t, int ivnoField, qint64 number, const QList<Entry> &entries, WriteFn write,
                     int *deleted, bool *appendFailed)
{
    *deleted = 0;
    *appendFailed = false;
    const db::SeekResult found = t.seek(invoiceNumberKey(number));
    if (found == db::SeekResult::Error)
        return t.takeError();
    bool appending = found != db::SeekResult::Found;
    for (const Entry &entry : entries) {
        if (appending) {
            db::Status s = t.appendBlank();
            if (s.isOk())
                s = write(t, entry);
            if (!s.isOk()) {
                *appendFailed = true;
                return s;
            }
            continue;
        }
        db::Status s;
        if (t.isDeleted())
            s = t.recall(); // a record left over by a pack that failed is used again
        if (s.isOk())
            s = write(t, entry);
        if (!s.isOk())
            return s;
        if (!t.skip(1) || t.integer(ivnoField) != number) {
            db::Status moved = t.takeError();
            if (!moved.isOk())
                return moved;
            appending = true;
        }
    }
    if (!appending) {
        if (db::Status s = deleteOnward(t, ivnoField, number, deleted); !s.isOk())
            return s;
    }
    return t.flush();
}

// Marks every record of the invoice deleted; *deleted receives how many.
db::Status deleteAll(db::Table &t, int ivnoField, qint64 number, int *deleted)
{
    *deleted = 0;
    const db::SeekResult found = t.seek(invoiceNumberKey(number));
    if (found == db::SeekResult::Error)
        return t.takeError();
    if (found != db::SeekResult::Found)
        return db::Status::ok();
    return deleteOnward(t, ivnoField, number, deleted);
}

// Packs a table whose records were marked deleted. A pack that cannot run now (another program
// has the file open, the disk is full) leaves them marked, passed over by every reader, and
// leaves the pack to the end of the command or to shutdown.
void packOrDefer(db::Table &t, const QString &tag)
{
    if (!t.pack().isOk())
        setPackNeeded(true);
    t.selectTag(tag);
    t.takeError();
}

QString failure(const QString &what, const db::Status &status)
{
    return what + QStringLiteral("\n") + status.toString();
}

} // namespace

QByteArray invoiceNumberKey(qint64 number)
{
    return numberKey(number, 6);
}

InvoiceStore::InvoiceStore(db::Engine &engine)
    : m_engine(engine)
{}

db::Table *InvoiceStore::table(TableId id) const
{
    return openedTable(m_engine, id);
}

OpenResult InvoiceStore::openTables(db::Engine &engine)
{
    for (auto open : {openCustomers, openGroups, openInvoices, openItems, openPayments, openProducts}) {
        OpenResult r = open(engine);
        if (!r)
            return r;
    }
    return openInvoices(engine);
}

qint64 InvoiceStore::nextInvoiceNumber() const
{
    db::Table *inv = table(TableId::Invoices);
    InvoiceRecord last;
    inv->selectTag(QStringLiteral("Inv"));
    if (!inv->bottom() || !loadInvoice(*inv, last).isOk()) {
        inv->takeError();
        return 1;
    }
    return last.IvNo + 1;
}

quint32 InvoiceStore::lastInvoiceRecord() const
{
    db::Table *inv = table(TableId::Invoices);
    inv->selectTag(QStringLiteral("Inv"));
    if (!inv->bottom()) {
        inv->takeError();
        return 0;
    }
    return inv->recNo();
}

bool InvoiceStore::loadCustomer(quint32 recNo, InvoiceCustomer *customer) const
{
    db::Table *cust = table(TableId::Customers);
    CustomerRecord r;
    if (!cust || recNo == 0 || !cust->go(recNo) || !tallyra::loadCustomer(*cust, r).isOk()) {
        if (cust)
            cust->takeError();
        return false;
    }
    InvoiceCustomer c;
    c.recNo = recNo;
    c.number = r.CuNo;
    c.address = addressBlock(r.Title, r.First, r.Last, {r.Addr1, r.Addr2, r.Addr3, r.Addr4}, r.Zip);
    c.note = r.Note.trimmed();
    c.email = r.EMail.trimmed();
    c.zip = r.Zip;
    c.phone = r.Phone.trimmed();
    *customer = c;
    return true;
}

bool InvoiceStore::findCustomer(qint64 number, InvoiceCustomer *customer) const
{
    db::Table *cust = table(TableId::Customers);
    if (!cust)
        return false;
    const QString previous = cust->selectedTag();
    quint32 recNo = 0;
    if (cust->selectTag(QStringLiteral("CCNO")) &&
        cust->seek(customerNumberKey(number)) == db::SeekResult::Found)
        recNo = cust->recNo();
    if (previous.isEmpty())
        cust->selectNatural();
    else
        cust->selectTag(previous);
    cust->takeError();
    return recNo != 0 && loadCustomer(recNo, customer);
}

bool InvoiceStore::productItem(quint32 recNo, InvoiceItem *item) const
{
    db::Table *prod = table(TableId::Products);
    ProductRecord r;
    if (!prod || recNo == 0 || !prod->go(recNo) || !loadProduct(*prod, r).isOk()) {
        if (prod)
            prod->takeError();
        return false;
    }
    InvoiceItem i;
    i.productId = r.PrID.trimmed();
    i.description1 = r.PDesc.trimmed();
    i.description2 = r.IComm.trimmed();
    i.shipLine = r.LTax1;
    i.taxLine = r.LTax2;
    i.unitPrice = shown(r.UPrice, 8);
    i.quantity = 1;
    i.licenceCode = r.RCode.trimmed();
    i.productText = r.PMemo.trimmed();
    *item = i;
    return true;
}

void InvoiceStore::startNew(CurrentInvoice &invoice) const
{
    invoice.reset(nextInvoiceNumber(), today());
}

db::Status InvoiceStore::load(quint32 recNo, CurrentInvoice &invoice) const
{
    db::Table *inv = table(TableId::Invoices);
    db::Table *itm = table(TableId::Items);
    db::Table *pmt = table(TableId::Payments);
    db::Table *prod = table(TableId::Products);
    if (db::Status s = tablesOpen(inv, itm, pmt); !s.isOk())
        return s;
    if (db::Status s = goToInvoice(*inv, recNo); !s.isOk())
        return s;
    InvoiceRecord h;
    if (db::Status s = loadInvoice(*inv, h); !s.isOk())
        return s;

    CurrentInvoice loaded;
    loaded.number = h.IvNo;
    loaded.customerNumber = h.CuNo;
    loaded.department = h.Dept;
    loaded.date = h.IDate;
    loaded.note = h.IMemo;
    loaded.discountPercent = shown(h.Discount, 5);
    loaded.shipAmount = shown(h.Ship, 10);
    loaded.taxAmount = shown(h.Tax, 10);
    loaded.amountDue = shown(h.Due, 10);
    loaded.memo = h.REM;

    const QByteArray key = invoiceNumberKey(loaded.number);
    const int itemIvNo = itm->fieldIndex("IvNo");
    if (itemIvNo >= 0 && itm->seek(key) == db::SeekResult::Found) {
        for (; !itm->eof() && itm->integer(itemIvNo) == loaded.number; itm->skip(1)) {
            if (itm->isDeleted())
                continue;
            ItemRecord r;
            if (db::Status s = loadItem(*itm, r); !s.isOk())
                return s;
            InvoiceItem item;
            item.productId = r.PrID;
            item.quantity = shown(r.Qty, 9);
            item.unitPrice = shown(r.UPR, 8);
            item.shipLine = r.LTax1;
            item.taxLine = r.LTax2;
            item.description1 = r.PDesc;
            item.description2 = r.IComm;
            if (prod && !item.productId.trimmed().isEmpty()) {
                // Keys of tag Prod are the upper-cased identifier padded to the field's width.
                const int idField = prod->fieldIndex("PrID");
                QByteArray productKey = keyUpper(item.productId.trimmed());
                if (idField >= 0)
                    productKey = productKey.leftJustified(prod->field(idField).length, ' ', true);
                ProductRecord p;
                if (prod->seek(productKey) == db::SeekResult::Found && loadProduct(*prod, p).isOk()) {
                    item.licenceCode = p.RCode.trimmed();
                    item.productText = p.PMemo.trimmed();
                }
                prod->takeError(); // a product that cannot be read only costs its texts
            }
            loaded.items << item;
        }
    }
    if (db::Status s = itm->takeError(); !s.isOk())
        return s;
    const int paymentIvNo = pmt->fieldIndex("IvNo");
    if (paymentIvNo >= 0 && pmt->seek(key) == db::SeekResult::Found) {
        for (; !pmt->eof() && pmt->integer(paymentIvNo) == loaded.number; pmt->skip(1)) {
            if (pmt->isDeleted())
                continue;
            PaymentRecord r;
            if (db::Status s = loadPayment(*pmt, r); !s.isOk())
                return s;
            loaded.payments << InvoicePayment{r.PDate, shown(r.PAmt, 10)};
        }
    }
    if (db::Status s = pmt->takeError(); !s.isOk())
        return s;
    invoice = std::move(loaded);
    return db::Status::ok();
}

InvoiceSaveResult InvoiceStore::save(CurrentInvoice &invoice, quint32 recNo, const QString &customerNote,
                                     const std::function<QString()> &askStartNumber)
{
    using Outcome = InvoiceSaveResult::Outcome;
    InvoiceSaveResult result;
    auto fail = [&result](Outcome outcome, const QString &message) {
        result.outcome = outcome;
        result.message = message;
        return result;
    };
    if (invoice.customerNumber == 0)
        return fail(Outcome::NoCustomer, QStringLiteral("Customer selection required before saving."));
    db::Table *inv = table(TableId::Invoices);
    db::Table *itm = table(TableId::Items);
    db::Table *pmt = table(TableId::Payments);
    db::Table *cust = table(TableId::Customers);
    if (db::Status s = tablesOpen(inv, itm, pmt); !s.isOk())
        return fail(Outcome::WriteFailed, failure(QStringLiteral("Unable to save the invoice."), s));
    const int itemIvNo = itm->fieldIndex("IvNo");
    const int paymentIvNo = pmt->fieldIndex("IvNo");

    // The header: a new invoice is numbered and appended, an existing one written in place.
    if (recNo == 0) {
        qint64 number = nextInvoiceNumber();
        if (number == 1 && askStartNumber) {
            bool ok = false;
            const qint64 typed = askStartNumber().trimmed().toLongLong(&ok);
            number = ok && typed >= 1 && typed <= kMaxNumber ? typed : 1;
        }
        if (number > kMaxNumber)
            return fail(
                Outcome::HeaderNotAdded,
                QStringLiteral(
                    "Unable to add invoice: invoice number %1 is the last one the invoice file can hold.")
                    .arg(kMaxNumber));
        InvoiceRecord header;
        header.IvNo = number;
        db::Status s = inv->appendBlank();
        if (s.isOk())
            s = writeInvoice(*inv, header);
        if (s.isOk())
            s = inv->flush();
        if (!s.isOk())
            return fail(Outcome::HeaderNotAdded,
                        QStringLiteral("Unable to add invoice at this time. Please try again later"));
        invoice.number = number;
    } else if (db::Status s = goToInvoice(*inv, recNo); !s.isOk()) {
        return fail(Outcome::WriteFailed, failure(QStringLiteral("Unable to save the invoice."), s));
    }
    result.recNo = inv->recNo();
    InvoiceRecord header;
    header.IvNo = invoice.number;
    header.CuNo = invoice.customerNumber;
    header.Dept = invoice.department;
    header.IDate = invoice.date;
    header.IMemo = invoice.note;
    header.Discount = invoice.discountPercent;
    header.Ship = invoice.shipAmount;
    header.Tax = invoice.taxAmount;
    header.Due = invoice.amountDue;
    header.REM = invoice.memo;
    db::Status s = writeInvoice(*inv, header);
    if (s.isOk())
        s = inv->flush();
    if (!s.isOk())
        return fail(Outcome::WriteFailed, failure(QStringLiteral("Unable to save the invoice."), s));

    const qint64 number = invoice.number;
    bool appendFailed = false;
    s = writeList(
        *itm, itemIvNo, number, invoice.items,
        [number](db::Table &t, const InvoiceItem &item) { return writeItem(t, itemRecord(number, item)); },
        &result.itemsDeleted, &appendFailed);
    if (!s.isOk())
        return fail(appendFailed ? Outcome::ItemsNotAdded : Outcome::WriteFailed,
                    appendFailed
                        ? QStringLiteral("Unable to add invoice Items at this time. Please try again later")
                        : failure(QStringLiteral("Unable to save the invoice items."), s));
    s = writeList(
        *pmt, paymentIvNo, number, invoice.payments,
        [number](db::Table &t, const InvoicePayment &p) { return writePayment(t, paymentRecord(number, p)); },
        &result.paymentsDeleted, &appendFailed);
    if (!s.isOk())
        return fail(appendFailed ? Outcome::PaymentsNotAdded : Outcome::WriteFailed,
                    appendFailed
                        ? QStringLiteral("Unable to add Payments at this time. Please try again later")
                        : failure(QStringLiteral("Unable to save the payments."), s));

    // The note typed on the invoice belongs to the customer.
    if (cust) {
        const int noteField = cust->fieldIndex("Note");
        if (noteField >= 0 && cust->selectTag(QStringLiteral("CCNO")) &&
            cust->seek(customerNumberKey(invoice.customerNumber)) == db::SeekResult::Found) {
            s = cust->setText(noteField, cutText(customerNote.trimmed(), kTextLimit));
            if (s.isOk())
                s = cust->flush();
        }
        cust->selectTag(QStringLiteral("cname"));
        if (s.isOk())
            s = cust->takeError();
        if (!s.isOk())
            return fail(Outcome::WriteFailed,
                        failure(QStringLiteral("The invoice was saved, but the customer note was not."), s));
    }

    if (result.itemsDeleted > 0)
        packOrDefer(*itm, QStringLiteral("Itm"));
    if (result.paymentsDeleted > 0)
        packOrDefer(*pmt, QStringLiteral("Pmt"));
    s = itm->flush();
    if (s.isOk())
        s = pmt->flush();
    if (!s.isOk())
        return fail(Outcome::WriteFailed, failure(QStringLiteral("Unable to save the invoice."), s));
    return result;
}

db::Status InvoiceStore::remove(quint32 recNo, quint32 *selectionAfter)
{
    if (recNo == 0) {
        // Never saved: the number shown belongs to no stored invoice.
        if (selectionAfter)
            *selectionAfter = 0;
        return db::Status::ok();
    }
    db::Table *inv = table(TableId::Invoices);
    db::Table *itm = table(TableId::Items);
    db::Table *pmt = table(TableId::Payments);
    if (db::Status s = tablesOpen(inv, itm, pmt); !s.isOk())
        return s;
    if (db::Status s = goToInvoice(*inv, recNo); !s.isOk())
        return s;
    InvoiceRecord header;
    if (db::Status s = loadInvoice(*inv, header); !s.isOk())
        return s;

    int items = 0;
    int payments = 0;
    db::Status s = deleteAll(*itm, itm->fieldIndex("IvNo"), header.IvNo, &items);
    if (s.isOk())
        s = deleteAll(*pmt, pmt->fieldIndex("IvNo"), header.IvNo, &payments);
    if (s.isOk() && inv->go(recNo)) {
        s = inv->markDeleted();
        if (s.isOk())
            s = inv->flush();
    }
    if (s.isOk())
        s = inv->takeError();
    if (!s.isOk())
        return s;

    if (items > 0)
        packOrDefer(*itm, QStringLiteral("Itm"));
    if (payments > 0)
        packOrDefer(*pmt, QStringLiteral("Pmt"));
    packOrDefer(*inv, QStringLiteral("Inv"));
    if (selectionAfter)
        *selectionAfter = lastInvoiceRecord();
    return db::Status::ok();
}

} // namespace tallyra
