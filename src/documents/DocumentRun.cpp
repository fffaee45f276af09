#include "DocumentRun.h"

#include "Conversions.h"
#include "DocumentSender.h"
#include "InvoiceStore.h"
#include "Records.h"
#include "ReportBuffer.h"
#include "ReportRender.h"
#include "ReportText.h"
#include "TagScope.h"

#include <QBuffer>
#include <QPageLayout>
#include <QPdfWriter>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tallyra {

namespace {

db::Status notOpen(const char *name)
{
    return db::Status::invalid(QStringLiteral("%1 is not open").arg(QLatin1String(name)));
}

QString processingText(DocumentType type)
{
    switch (type) {
    case DocumentType::Invoice:
        return QStringLiteral("Processing Invoices");
    case DocumentType::Bill:
        return QStringLiteral("Processing Bills");
    case DocumentType::Statement:
        return QStringLiteral("Processing Statements");
    case DocumentType::PackingList:
        return QStringLiteral("Processing Packing Lists");
    }
    return {};
}

} // namespace

// Reads invoices for documents as InvoiceStore::load() does (the same values, items in stored
// order, records marked deleted passed over), tuned for runs of thousands: the item fields are
// found once, and each product's licence code and text are read once per run.
class DocumentRun::InvoiceReader
{
public:
    explicit InvoiceReader(db::Engine &engine)
        : m_engine(engine)
    {}

    db::Status load(quint32 recNo, CurrentInvoice &invoice)
    {
        db::Table *inv = m_engine.table(QStringLiteral("INV6"));
        db::Table *itm = m_engine.table(QStringLiteral("ITM5"));
        db::Table *pmt = m_engine.table(QStringLiteral("PMT"));
        if (!inv || !itm || !pmt)
            return notOpen(!inv ? "INV6" : !itm ? "ITM5" : "PMT");
        if (itm != m_items)
            findItemFields(itm);
        if (!inv->go(recNo)) {
            const db::Status s = inv->takeError();
            return s.isOk() ? db::Status::notFound(
                                  QStringLiteral("%1: no record %2").arg(inv->fileName()).arg(recNo))
                            : s;
        }
        InvoiceRecord h;
        if (db::Status s = loadInvoice(*inv, h); !s.isOk())
            return s;
        CurrentInvoice loaded;
        loaded.number = h.IvNo;
        loaded.customerNumber = h.CuNo;
        loaded.department = h.Dept;
        loaded.date = h.IDate;
        loaded.note = h.IMemo;
        loaded.discountPercent = shown(h.Discount);
        loaded.shipAmount = shown(h.Ship);
        loaded.taxAmount = shown(h.Tax);
        loaded.amountDue = shown(h.Due);
        loaded.memo = h.REM;

        const QByteArray key = invoiceNumberKey(loaded.number);
        if (m_itemFields[0] >= 0 && itm->seek(key) == db::SeekResult::Found) {
            for (; !itm->eof() && itm->integer(m_itemFields[0]) == loaded.number; itm->skip(1)) {
                if (itm->isDeleted())
                    continue;
                InvoiceItem item;
                item.productId = itm->text(m_itemFields[1]);
                item.quantity = shown(itm->number(m_itemFields[2]));
                item.unitPrice = shown(itm->number(m_itemFields[3]));
                item.shipLine = itm->logical(m_itemFields[4]);
                item.taxLine = itm->logical(m_itemFields[5]);
                item.description1 = itm->text(m_itemFields[6]);
                item.description2 = itm->text(m_itemFields[7]);
                if (const db::Status s = itm->error(); !s.isOk())
                    return s;
                productTexts(item);
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
                loaded.payments << InvoicePayment{r.PDate, shown(r.PAmt)};
            }
        }
        if (db::Status s = pmt->takeError(); !s.isOk())
            return s;
        invoice = std::move(loaded);
        return db::Status::ok();
    }

private:
    struct ProductTexts
    {
        QString licenceCode;
        QString productText;
    };

    // A figure as the invoice shows it: the value of its two-decimal text. Stored figures mostly
    // hold whole cents already; k / 100 is then the very double the text reads back as.
    static double shown(double value)
    {
        const double cents = std::round(value * 100);
        if (std::abs(value * 100 - cents) < 1e-6 && std::abs(cents) < 1e15)
            return cents / 100;
        char text[64];
        std::snprintf(text, sizeof text, "%.2f", value);
        return std::strtod(text, nullptr);
    }

    void findItemFields(db::Table *itm)
    {
        m_items = itm;
        const char *names[] = {"IvNo", "PrID", "Qty", "UPR", "LTax1", "LTax2", "PDesc", "IComm"};
        for (int i = 0; i < 8; ++i)
            m_itemFields[i] = itm->fieldIndex(names[i]);
    }

    void productTexts(InvoiceItem &item)
    {
        const QString id = item.productId.trimmed();
        if (id.isEmpty())
            return;
        auto it = m_products.constFind(id);
        if (it == m_products.constEnd()) {
            ProductTexts texts;
            if (db::Table *prod = m_engine.table(QStringLiteral("Prod5"))) {
                // Keys of tag Prod are the upper-cased identifier padded to the field's width.
                const int idField = prod->fieldIndex("PrID");
                QByteArray productKey = keyUpper(id);
                if (idField >= 0)
                    productKey = productKey.leftJustified(prod->field(idField).length, ' ', true);
                ProductRecord p;
                if (prod->seek(productKey) == db::SeekResult::Found && loadProduct(*prod, p).isOk()) {
                    texts.licenceCode = p.RCode.trimmed();
                    texts.productText = p.PMemo.trimmed();
                }
                prod->takeError(); // a product that cannot be read only costs its texts
            }
            it = m_products.insert(id, texts);
        }
        item.licenceCode = it->licenceCode;
        item.productText = it->productText;
    }

    db::Engine &m_engine;
    db::Table *m_items = nullptr;
    int m_itemFields[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    QHash<QString, ProductTexts> m_products;
};

DocumentRun::DocumentRun(db::Engine &engine, ReportBuffer &buffer, const DocumentContext &context,
                         DocumentType type, DocumentSender *sender)
    : m_engine(engine)
    , m_buffer(buffer)
    , m_context(context)
    , m_type(type)
    , m_sender(sender)
    , m_reader(std::make_unique<InvoiceReader>(engine))
{
    startDocumentLayout(m_buffer, type);
}

DocumentRun::~DocumentRun() = default;

bool DocumentRun::readFailure(const db::Status &status)
{
    m_failure = QStringLiteral("Unable to read the invoices:\n") + status.toString();
    return false;
}

DocumentCustomer DocumentRun::customerAt(quint32 recNo) const
{
    DocumentCustomer c;
    db::Table *cust = m_engine.table(QStringLiteral("CUST5"));
    CustomerRecord r;
    if (!cust || recNo == 0 || !cust->go(recNo) || cust->isDeleted() || !loadCustomer(*cust, r).isOk()) {
        if (cust)
            cust->takeError();
        return c;
    }
    c.found = true;
    c.number = r.CuNo;
    c.last = r.Last.trimmed();
    c.address = addressBlock(r.Title, r.First, r.Last, {r.Addr1, r.Addr2, r.Addr3, r.Addr4}, r.Zip);
    c.phone = r.Phone;
    c.email = r.EMail.trimmed();
    return c;
}

quint32 DocumentRun::customerRecord(qint64 number) const
{
    db::Table *cust = m_engine.table(QStringLiteral("CUST5"));
    if (!cust)
        return 0;
    TagScope scope(*cust, QStringLiteral("CCNO"));
    quint32 found = 0;
    const int field = cust->fieldIndex("CuNo");
    if (scope.ok() && cust->seek(customerNumberKey(number)) == db::SeekResult::Found) {
        for (; !cust->eof() && cust->integer(field) == number; cust->skip(1)) {
            if (!cust->isDeleted()) {
                found = cust->recNo();
                break;
            }
        }
    }
    cust->takeError();
    return found;
}

quint32 DocumentRun::invoiceRecord(qint64 number) const
{
    db::Table *inv = m_engine.table(QStringLiteral("INV6"));
    if (!inv)
        return 0;
    TagScope scope(*inv, QStringLiteral("Inv"));
    quint32 found = 0;
    const int field = inv->fieldIndex("IvNo");
    if (scope.ok() && inv->seek(invoiceNumberKey(number)) == db::SeekResult::Found) {
        for (; !inv->eof() && inv->integer(field) == number; inv->skip(1)) {
            if (!inv->isDeleted()) {
                found = inv->recNo();
                break;
            }
        }
    }
    inv->takeError();
    return found;
}

DocumentCustomer DocumentRun::customerByNumber(qint64 number) const
{
    auto it = m_customers.constFind(number);
    if (it == m_customers.constEnd())
        it = m_customers.insert(number, customerAt(customerRecord(number)));
    return *it;
}

bool DocumentRun::finishDocument(const DocumentCustomer &customer, const QString &word, qint64 number)
{
    ++m_documents;
    if (m_documents == 1) {
        m_firstNumber = number;
        m_firstName = documentFileName(m_type, number, word, customer.last);
    }
    m_lastNumber = number;
    if (!m_sender)
        return true;

    bool ok = true;
    if (customer.found && customer.email.trimmed().size() > 3) {
        ++m_counter;
        if (m_progress.start)
            m_progress.start(QStringLiteral("Sending EMail ") + QString::number(m_counter));
        OutgoingDocument document;
        document.recipients = QStringList{customer.email.trimmed()};
        document.recipientName = customer.address.value(0).trimmed();
        document.subject = word.trimmed();
        document.text = reportEmailText(m_buffer, TextLayout::Padded);
        document.attachmentName = documentFileName(m_type, number, word, customer.last);
        if (m_pdf) {
            const ReportBuffer &buffer = m_buffer;
            auto render = m_pdf;
            document.renderPdf = [&buffer, render] { return render(buffer); };
        }
        QString error;
        ok = m_sender->send(document, &error);
        if (ok)
            ++m_sent;
        else
            m_failure = error.isEmpty() ? QStringLiteral("The document could not be sent.") : error;
        if (m_progress.end)
            m_progress.end();
    }
    m_buffer.discardRows();
    return ok;
}

bool DocumentRun::invoiceDocument(const CurrentInvoice &invoice, bool requireDue)
{
    if (requireDue && invoice.amountDue <= 0)
        return true;
    const DocumentCustomer customer = customerByNumber(invoice.customerNumber);
    if (m_type == DocumentType::PackingList)
        buildPackingListDocument(m_buffer, m_context, invoice, customer);
    else
        buildInvoiceDocument(m_buffer, m_context, m_type, invoice, customer, m_sender != nullptr);
    return finishDocument(customer, documentWord(m_type, invoice.amountDue), invoice.number);
}

bool DocumentRun::addInvoice(const CurrentInvoice &invoice)
{
    if (m_type == DocumentType::Statement)
        return true;
    return invoiceDocument(invoice, false);
}

bool DocumentRun::statementOf(quint32 customerRecNo, const QDate &from, const QDate &to, bool dueOnly)
{
    const DocumentCustomer customer = customerAt(customerRecNo);
    if (!customer.found)
        return true;
    db::Table *inv = m_engine.table(QStringLiteral("INV6"));
    if (!inv)
        return readFailure(notOpen("INV6"));
    QList<quint32> records;
    {
        TagScope scope(*inv, QStringLiteral("InvC"));
        const int field = inv->fieldIndex("CuNo");
        if (!scope.ok())
            return readFailure(inv->takeError());
        if (inv->seek(customerNumberKey(customer.number)) == db::SeekResult::Found) {
            for (; !inv->eof() && inv->integer(field) == customer.number; inv->skip(1))
                if (!inv->isDeleted())
                    records << inv->recNo();
        }
        if (db::Status s = inv->takeError(); !s.isOk())
            return readFailure(s);
    }
    QList<StatementLine> lines;
    CurrentInvoice invoice;
    for (const quint32 recNo : std::as_const(records)) {
        if (db::Status s = m_reader->load(recNo, invoice); !s.isOk())
            return readFailure(s);
        if (dueOnly && (invoice.amountDue == 0 || invoice.date < from || invoice.date > to))
            continue;
        lines << statementLine(invoice);
    }
    if (lines.isEmpty())
        return true;
    buildStatementDocument(m_buffer, m_context, customer, lines);
    return finishDocument(customer, documentWord(m_type, 0), customer.number);
}

bool DocumentRun::addRecord(quint32 recNo)
{
    if (m_type == DocumentType::Statement)
        return statementOf(recNo, {}, {}, false);
    CurrentInvoice invoice;
    if (db::Status s = m_reader->load(recNo, invoice); !s.isOk())
        return readFailure(s);
    return invoiceDocument(invoice, false);
}

bool DocumentRun::runDateSpan(const QDate &from, const QDate &to)
{
    // The records are gathered first and then loaded, so building never disturbs the walk.
    QList<quint32> records;
    if (m_type == DocumentType::Statement) {
        db::Table *cust = m_engine.table(QStringLiteral("CUST5"));
        if (!cust)
            return readFailure(notOpen("CUST5"));
        TagScope scope(*cust, QStringLiteral("CZip"));
        if (!scope.ok())
            return readFailure(cust->takeError());
        for (bool more = cust->top(); more; more = cust->skip(1))
            if (!cust->isDeleted())
                records << cust->recNo();
        if (db::Status s = cust->takeError(); !s.isOk())
            return readFailure(s);
    } else {
        db::Table *inv = m_engine.table(QStringLiteral("INV6"));
        if (!inv)
            return readFailure(notOpen("INV6"));
        TagScope scope(*inv, QStringLiteral("InvD"));
        if (!scope.ok())
            return readFailure(inv->takeError());
        const int field = inv->fieldIndex("IDate");
        const db::SeekResult r = inv->seek(dateKey(from));
        if (r == db::SeekResult::Found || r == db::SeekResult::Next) {
            for (; !inv->eof(); inv->skip(1)) {
                const QDate date = inv->date(field);
                if (date.isValid() && date > to)
                    break;
                if (!inv->isDeleted())
                    records << inv->recNo();
            }
        }
        if (db::Status s = inv->takeError(); !s.isOk())
            return readFailure(s);
    }

    if (m_progress.start && !m_sender)
        m_progress.start(processingText(m_type));
    const qint64 count = qMax<qint64>(1, records.size());
    qint64 done = 0;
    bool ok = true;
    CurrentInvoice invoice;
    for (const quint32 recNo : std::as_const(records)) {
        if (m_type == DocumentType::Statement) {
            ok = statementOf(recNo, from, to, true);
        } else if (db::Status s = m_reader->load(recNo, invoice); !s.isOk()) {
            ok = readFailure(s);
        } else {
            ok = invoiceDocument(invoice, m_type == DocumentType::Bill);
        }
        if (!ok)
            break;
        if (m_progress.set && !m_sender)
            m_progress.set(int(qMin<qint64>(100, (done * 100 + 100) / count)));
        ++done;
    }
    if (m_progress.end && !m_sender)
        m_progress.end();
    return ok;
}

QString DocumentRun::fileName() const
{
    if (m_documents <= 1)
        return m_firstName;
    switch (m_type) {
    case DocumentType::Statement:
        return QStringLiteral("Statements.pdf");
    case DocumentType::Invoice:
        return QStringLiteral("Invoices %1-%2.pdf").arg(m_firstNumber).arg(m_lastNumber);
    case DocumentType::Bill:
        return QStringLiteral("Bills %1-%2.pdf").arg(m_firstNumber).arg(m_lastNumber);
    case DocumentType::PackingList:
        return QStringLiteral("Packing Lists %1-%2.pdf").arg(m_firstNumber).arg(m_lastNumber);
    }
    return {};
}

QByteArray documentPdf(const ReportBuffer &buffer, const QPageLayout &layout, int resolution,
                       const QFont &font)
{
    QByteArray bytes;
    QBuffer device(&bytes);
    device.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&device);
        writer.setResolution(resolution);
        writer.setPageLayout(layout);
        writer.setCreator(QStringLiteral("Tallyra"));
        writer.setTitle(buffer.titles().value(0));
        if (!printReport(buffer, &writer, font))
            return {};
    }
    return bytes;
}

} // namespace tallyra
