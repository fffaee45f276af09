#include "LabelRuns.h"

#include "AddressBlock.h"
#include "Conversions.h"
#include "Maintenance.h"
#include "Tables.h"
#include "ZoneLookup.h"

#include <QFile>
#include <QSet>

namespace tallyra {

namespace {

struct Walk
{
    const ProgressDisplay &progress;
    int last = -1;
    void set(qint64 done, qint64 total)
    {
        const int percent = int(qMin<qint64>(100, total > 0 ? done * 100 / total : 100));
        if (percent != last && progress.set) {
            last = percent;
            progress.set(percent);
        }
    }
};

// Finds the customer with number `cuNo` on CUST5 (tag CCNO selected) and hands it on.
db::Status labelCustomer(db::Table &customers, qint64 cuNo, const LabelSink &sink, bool *stop)
{
    if (customers.seek(customerNumberKey(cuNo)) != db::SeekResult::Found)
        return customers.takeError();
    CustomerRecord c;
    const db::Status s = loadCustomer(customers, c);
    if (!s)
        return s;
    *stop = !sink(c);
    return {};
}

} // namespace

QString labelRunStatus(LabelKind kind)
{
    switch (kind) {
    case LabelKind::InvoicesDated:
        return QStringLiteral("Processing Invoice Labels");
    case LabelKind::PastDue:
        return QStringLiteral("Processing Billing Labels");
    case LabelKind::BalanceDue:
        return QStringLiteral("Processing Statement Labels");
    case LabelKind::Groups:
        return QStringLiteral("Processing Customers");
    case LabelKind::SelectedCustomers:
    case LabelKind::Batch:
        break;
    }
    return {};
}

QStringList labelLines(db::Engine &engine, const CustomerRecord &customer)
{
    QStringList lines =
        addressBlock(customer.Title, customer.First, customer.Last,
                     {customer.Addr1, customer.Addr2, customer.Addr3, customer.Addr4}, customer.Zip);
    while (lines.size() < kLabelLineCount)
        lines << QString();
    const QString zone = bulkMailZone(engine, customer.Zip);
    if (!zone.isEmpty()) {
        QString first = lines[0].trimmed();
        if (first.size() < 33)
            first = first.leftJustified(33, QLatin1Char(' '));
        lines[0] = first + QStringLiteral("(Z") + zone + QLatin1Char(')');
    }
    return lines;
}

db::Status selectLabelCustomers(db::Engine &engine, LabelKind kind, const LabelSelection &selection,
                                const ProgressDisplay &progress, const LabelSink &sink)
{
    const OpenResult cust = openCustomers(engine);
    if (!cust)
        return db::Status::ioError(cust.message());
    db::Table &customers = *cust.table;
    const QString status = labelRunStatus(kind);
    if (!status.isEmpty() && progress.start)
        progress.start(status);
    Walk walk{progress};
    bool stop = false;
    db::Status s;

    switch (kind) {
    case LabelKind::SelectedCustomers:
        customers.selectTag(QStringLiteral("CCNO"));
        for (qint64 cuNo : selection.customers) {
            s = labelCustomer(customers, cuNo, sink, &stop);
            if (!s || stop)
                break;
        }
        break;
    case LabelKind::InvoicesDated:
    case LabelKind::PastDue: {
        const OpenResult inv = openInvoices(engine);
        if (!inv)
            return db::Status::ioError(inv.message());
        db::Table &invoices = *inv.table;
        invoices.selectTag(QStringLiteral("InvD"));
        customers.selectTag(QStringLiteral("CCNO"));
        const qint64 span = qMax<qint64>(1, selection.from.daysTo(selection.to) + 1);
        const qint64 total = qMax<quint32>(1, invoices.recordCount());
        qint64 read = 0;
        bool more;
        if (kind == LabelKind::InvoicesDated)
            more = invoices.seek(dateKey(selection.from)) != db::SeekResult::Eof;
        else
            more = invoices.top();
        InvoiceRecord invoice;
        for (; more && !stop; more = invoices.skip(1)) {
            s = loadInvoice(invoices, invoice);
            if (!s)
                break;
            ++read;
            if (invoice.IDate > selection.to)
                break;
            const bool inSpan = invoice.IDate.isValid() && invoice.IDate >= selection.from;
            const bool qualifies = kind == LabelKind::InvoicesDated ? inSpan : inSpan && invoice.Due != 0;
            if (kind == LabelKind::InvoicesDated)
                walk.set(qMax<qint64>(0, selection.from.daysTo(invoice.IDate)), span);
            else
                walk.set(read, total);
            if (qualifies) {
                s = labelCustomer(customers, invoice.CuNo, sink, &stop);
                if (!s)
                    break;
            }
        }
        if (s)
            s = invoices.takeError();
        break;
    }
    case LabelKind::BalanceDue: {
        const OpenResult inv = openInvoices(engine);
        if (!inv)
            return db::Status::ioError(inv.message());
        db::Table &invoices = *inv.table;
        invoices.selectTag(QStringLiteral("InvC"));
        customers.selectTag(QStringLiteral("CZip"));
        const qint64 total = qMax<quint32>(1, customers.recordCount());
        qint64 read = 0;
        CustomerRecord c;
        InvoiceRecord invoice;
        for (bool more = customers.top(); more && !stop; more = customers.skip(1)) {
            ++read;
            walk.set(read, total);
            s = loadCustomer(customers, c);
            if (!s)
                break;
            bool owes = false;
            if (invoices.seek(customerNumberKey(c.CuNo)) == db::SeekResult::Found) {
                for (bool inv = true; inv && !owes; inv = invoices.skip(1)) {
                    s = loadInvoice(invoices, invoice);
                    if (!s || invoice.CuNo != c.CuNo)
                        break;
                    owes = invoice.IDate.isValid() && invoice.IDate >= selection.from &&
                           invoice.IDate <= selection.to && invoice.Due != 0;
                }
            }
            if (!s)
                break;
            if (owes)
                stop = !sink(c);
        }
        if (s)
            s = customers.takeError();
        break;
    }
    case LabelKind::Groups: {
        const QSet<qint64> groups(selection.groups.begin(), selection.groups.end());
        customers.selectTag(QStringLiteral("CZip"));
        const qint64 total = qMax<quint32>(1, customers.recordCount());
        qint64 read = 0;
        CustomerRecord c;
        for (bool more = customers.top(); more && !stop; more = customers.skip(1)) {
            ++read;
            walk.set(read, total);
            s = loadCustomer(customers, c);
            if (!s)
                break;
            if (groups.contains(c.NGroup))
                stop = !sink(c);
        }
        if (s)
            s = customers.takeError();
        break;
    }
    case LabelKind::Batch: {
        customers.selectTag(QStringLiteral("CCNO"));
        QFile file(selection.batchFile);
        if (!file.open(QIODevice::ReadOnly))
            return db::Status::ioError(QStringLiteral("Unable to save to: ") +
                                       QLatin1String(kBatchLabelFile));
        while (!file.atEnd() && !stop) {
            QByteArray line = file.readLine();
            while (line.endsWith('\n') || line.endsWith('\r'))
                line.chop(1);
            // Each line is a customer number key as stored: right-aligned in six characters.
            if (customers.seek(line) != db::SeekResult::Found)
                continue;
            CustomerRecord c;
            s = loadCustomer(customers, c);
            if (!s)
                break;
            stop = !sink(c);
        }
        break;
    }
    }
    if (!status.isEmpty()) {
        walk.set(1, 1);
        if (progress.end)
            progress.end();
    }
    return s;
}

} // namespace tallyra
