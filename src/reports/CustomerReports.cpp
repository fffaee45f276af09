#include "CustomerReports.h"

#include "Conversions.h"
#include "DateSpanU.h"
#include "InvoiceStore.h"
#include "Maintenance.h"
#include "MultGroupU.h"
#include "PickCustU.h"
#include "PickProdU.h"
#include "ReportBuffer.h"
#include "Tables.h"

#include <QSet>
#include <optional>

namespace tallyra {

namespace {

// CUST5, GROUPS, INV6, ITM5, PMT and Prod5, opened for one of the customer reports.
struct OpenCustomerTables
{
    std::optional<CustomerTables> tables;
    QString failure;
};

OpenCustomerTables openCustomerTables(db::Engine &engine)
{
    OpenCustomerTables result;
    db::Table *t[6] = {};
    int i = 0;
    for (auto open : {openCustomers, openGroups, openInvoices, openItems, openPayments, openProducts}) {
        const OpenResult r = open(engine);
        if (!r) {
            result.failure = r.message();
            return result;
        }
        t[i++] = r.table;
    }
    result.tables.emplace(CustomerTables{*t[0], *t[1], *t[2], *t[3], *t[5]});
    return result;
}

// The Prod5 record of a product by its exact identifier, on tag Prod; 0 when there is none.
quint32 findProduct(db::Table &products, const QString &productId)
{
    const int idField = products.fieldIndex("PrID");
    if (idField < 0 || !products.selectTag(QStringLiteral("Prod")))
        return 0;
    if (products.seek(keyUpper(productId)) != db::SeekResult::Found)
        return 0;
    for (; !products.eof() && keyUpper(products.text(idField)) == keyUpper(productId); products.skip(1)) {
        if (!products.isDeleted() && products.text(idField) == productId)
            return products.recNo();
    }
    return 0;
}

} // namespace

SalesReportResult buildProductBuyers(ReportBuffer &b, const CustomerTables &t, const QString &productId,
                                     const QDate &start, const QDate &end, const ProgressDisplay &display)
{
    InvoiceFields f;
    if (const db::Status s = f.resolve(t.invoices); !s.isOk())
        return SalesReportResult::readFailed(s);
    InvoiceItems items(t.items);
    if (!items.status().isOk())
        return SalesReportResult::readFailed(items.status());
    CustomerNames names(t.customers);
    if (!names.status().isOk())
        return SalesReportResult::readFailed(names.status());
    GroupNames groups(t.groups);

    QString description;
    if (const quint32 rec = findProduct(t.products, productId); rec != 0) {
        const int descField = t.products.fieldIndex("PDesc");
        description = descField >= 0 ? t.products.text(descField).trimmed() : QString();
    }
    std::vector<quint32> recNos;
    if (db::Status s = recordsInSpan(t.invoices, QStringLiteral("InvD"), f.iDate, start, end, &recNos);
        !s.isOk())
        return SalesReportResult::readFailed(s);
    if (recNos.empty())
        return SalesReportResult::nothing(QString::fromLatin1(kNoInvoicesMessage));

    startReportLayout(b, 77,
                      {QStringLiteral("Buyers of ") + productId.trimmed() + QLatin1Char('-') + description,
                       QStringLiteral("from ") + spanText(start, end)},
                      {"V00", "L01", "V36", "L37", "V57", "R66", "V67", "R76", "V77"},
                      {"Customer", "Mail Group", "Date", "Unit Price"});
    ProgressSteps progress(display, QStringLiteral("Processing Buyers"), qint64(recNos.size()));
    DateTexts dates;
    QString name, groupName;
    for (quint32 recNo : recNos) {
        if (!t.invoices.go(recNo))
            break;
        const double percent = t.invoices.number(f.discount);
        for (bool more = items.first(t.invoices.integer(f.ivNo)); more; more = items.next()) {
            if (items.productId() != productId)
                continue;
            qint64 group = 0;
            if (!names.find(t.invoices.integer(f.cuNo), &name, &group) || !groups.find(group, &groupName))
                groupName = QStringLiteral("UNKNOWN");
            const double price = items.unitPrice();
            b.pageCheck(b.pageLines() + 1, true);
            b.newRow();
            putRules(b, {0, 2, 4, 6, 8});
            b.put(1, name);
            b.put(3, groupName);
            b.put(5, dates.text(t.invoices, f.iDate));
            putAmount(b, 7, price - roundCents(price * percent / 100), 8);
        }
        progress.step();
    }
    for (db::Table *table : {&t.invoices, &t.items, &t.customers, &t.groups}) {
        if (db::Status s = table->takeError(); !s.isOk())
            return SalesReportResult::readFailed(s);
    }
    progress.end();
    if (b.curRow() >= 0)
        b.setFlags(b.curRow(), QStringLiteral("U"));
    return {};
}

struct CustomerProfiles::Private
{
    Private(ReportBuffer &b, const CustomerTables &t)
        : buffer(b)
        , tables(t)
        , items(t.items)
        , groups(t.groups)
    {
        status = invoiceFields.resolve(t.invoices);
        if (status.isOk())
            status = items.status();
        const char *names[] = {"CuNo",  "Title", "First", "Last", "Addr1",
                               "Addr2", "Addr3", "Addr4", "Zip",  "NGroup"};
        for (int i = 0; i < 10; ++i)
            cust[i] = requireField(t.customers, names[i], &status);
    }

    bool profile();

    ReportBuffer &buffer;
    CustomerTables tables;
    InvoiceFields invoiceFields;
    InvoiceItems items;
    GroupNames groups;
    DateTexts dates;
    db::Status status;
    int cust[10] = {};
    int count = 0;
};

// Profiles the customer CUST5 is on.
bool CustomerProfiles::Private::profile()
{
    db::Table &c = tables.customers;
    enum
    {
        CuNo,
        Title,
        First,
        Last,
        Addr1,
        Addr2,
        Addr3,
        Addr4,
        Zip,
        NGroup
    };
    const qint64 number = c.integer(cust[CuNo]);
    QString groupName;
    groups.find(c.integer(cust[NGroup]), &groupName);
    const QStringList left = leftColumn(
        addressBlock(c.text(cust[Title]), c.text(cust[First]), c.text(cust[Last]),
                     {c.text(cust[Addr1]), c.text(cust[Addr2]), c.text(cust[Addr3]), c.text(cust[Addr4])},
                     c.text(cust[Zip])),
        number, groupName);

    // The history: each invoice of the customer (tag InvC), each of its items (tag Itm).
    struct Line
    {
        QString date; // shared with every line of the same day
        QString product;
        double quantity, price;
    };
    std::vector<Line> history;
    db::Table &inv = tables.invoices;
    if (!inv.selectTag(QStringLiteral("InvC"))) {
        status = inv.takeError();
        return false;
    }
    const QByteArray key = customerNumberKey(number);
    if (inv.seek(key) == db::SeekResult::Found) {
        for (; !inv.eof() && inv.integer(invoiceFields.cuNo) == number; inv.skip(1)) {
            if (inv.isDeleted())
                continue;
            const QString &date = dates.text(inv, invoiceFields.iDate);
            for (bool more = items.first(inv.integer(invoiceFields.ivNo)); more; more = items.next())
                history.push_back({date, items.productId(), items.quantity(), items.unitPrice()});
        }
    }
    for (db::Table *t : {&inv, &tables.items, &tables.groups}) {
        if (db::Status s = t->takeError(); !s.isOk()) {
            status = s;
            return false;
        }
    }

    ReportBuffer &b = buffer;
    b.pageCheck(b.pageLines() + 4, true);
    const std::size_t rows = std::max<std::size_t>(std::size_t(left.size()), history.size());
    for (std::size_t r = 0; r < rows; ++r) {
        b.pageCheck(b.pageLines() + 1, true);
        b.newRow();
        putRules(b, {0, 2, 4, 6, 8, 10});
        if (r < std::size_t(left.size()))
            b.put(1, left[qsizetype(r)]);
        if (r < history.size()) {
            const Line &h = history[r];
            b.put(3, h.date);
            b.put(5, h.product);
            putAmount(b, 7, h.quantity, 8);
            putAmount(b, 9, h.price, 8);
        }
    }
    b.setFlags(b.curRow(), QStringLiteral("U"));
    ++count;
    return true;
}

CustomerProfiles::CustomerProfiles(ReportBuffer &buffer, const CustomerTables &tables)
    : d(std::make_unique<Private>(buffer, tables))
{}

CustomerProfiles::~CustomerProfiles() = default;

const db::Status &CustomerProfiles::status() const
{
    return d->status;
}

int CustomerProfiles::profiled() const
{
    return d->count;
}

void CustomerProfiles::start()
{
    startReportLayout(d->buffer, 75, {QStringLiteral("Customer Profile")},
                      {"V00", "L01", "V35", "R43", "V45", "L46", "V57", "R65", "V66", "R74", "V75"},
                      {"Customer", "Date", "Product", "Qty", "U-Price"});
    d->count = 0;
}

bool CustomerProfiles::addCustomer(quint32 recNo)
{
    if (!d->status.isOk())
        return false;
    if (!d->tables.customers.go(recNo)) {
        d->status = d->tables.customers.takeError();
        if (d->status.isOk())
            d->status = db::Status::notFound(QStringLiteral("CUST5: no record %1").arg(recNo));
        return false;
    }
    return d->profile();
}

bool CustomerProfiles::addCustomerNumber(qint64 number, bool *found)
{
    if (found)
        *found = false;
    if (!d->status.isOk())
        return false;
    db::Table &c = d->tables.customers;
    if (!c.selectTag(QStringLiteral("CCNO"))) {
        d->status = c.takeError();
        return false;
    }
    if (c.seek(customerNumberKey(number)) != db::SeekResult::Found || c.isDeleted()) {
        d->status = c.takeError();
        return d->status.isOk();
    }
    if (found)
        *found = true;
    return d->profile();
}

bool CustomerProfiles::addGroups(const QList<qint64> &groups)
{
    if (!d->status.isOk())
        return false;
    const QSet<qint64> chosen(groups.cbegin(), groups.cend());
    db::Table &c = d->tables.customers;
    if (!c.selectTag(QStringLiteral("CName"))) {
        d->status = c.takeError();
        return false;
    }
    const int groupField = d->cust[9];
    for (bool more = c.top(); more; more = c.skip(1)) {
        if (c.isDeleted() || !chosen.contains(c.integer(groupField)))
            continue;
        if (!d->profile())
            return false;
    }
    d->status = c.takeError();
    return d->status.isOk();
}

QStringList CustomerProfiles::leftColumn(const QStringList &addressBlock, qint64 number, const QString &group)
{
    QStringList lines = addressBlock;
    while (lines.size() < 5)
        lines.append(QString());
    if (lines.size() == 5 && lines[3].isEmpty() && lines[4].isEmpty())
        lines.resize(4);
    if (!lines.last().isEmpty())
        lines.append(QString());
    lines.last() = QStringLiteral("Cust#: ") + QString::number(number) + QStringLiteral("  Group: ") + group;
    return lines;
}

SalesReportResult makeProductBuyers(db::Engine &engine, ReportBuffer &buffer, const QString &productId,
                                    const QDate &start, const QDate &end, const ProgressDisplay &progress)
{
    SalesReportResult result;
    OpenCustomerTables open = openCustomerTables(engine);
    if (!open.tables)
        result = SalesReportResult::openFailed(open.failure);
    else if (findProduct(open.tables->products, productId) == 0)
        result = SalesReportResult::nothing(QStringLiteral("No product %1.").arg(productId));
    else
        result = buildProductBuyers(buffer, *open.tables, productId, start, end, progress);
    closeAllTables(engine);
    return result;
}

SalesReportResult makeCustomerProfiles(db::Engine &engine, ReportBuffer &buffer,
                                       const QList<qint64> &customers, const QList<qint64> &groups,
                                       QList<qint64> *unknown)
{
    SalesReportResult result;
    OpenCustomerTables open = openCustomerTables(engine);
    if (!open.tables) {
        result = SalesReportResult::openFailed(open.failure);
    } else {
        CustomerProfiles profiles(buffer, *open.tables);
        profiles.start();
        if (customers.isEmpty()) {
            profiles.addGroups(groups);
        } else {
            for (qint64 number : customers) {
                bool found = false;
                if (!profiles.addCustomerNumber(number, &found))
                    break;
                if (!found && unknown)
                    unknown->append(number);
            }
        }
        if (!profiles.status().isOk())
            result = SalesReportResult::readFailed(profiles.status());
    }
    closeAllTables(engine);
    return result;
}

bool runProductBuyers(QWidget *parent, db::Engine &engine, const ProgressDisplay &progress,
                      QString *openFailure)
{
    ReportBuffer &buffer = reportBuffer();
    OpenCustomerTables open = openCustomerTables(engine);
    if (!open.tables) {
        closeAllTables(engine);
        return finishReportRun(parent, SalesReportResult::openFailed(open.failure), buffer, openFailure);
    }
    SalesReportResult result = SalesReportResult::nothing(QString());
    TPickProd pick(engine, parent);
    const qint64 recNo = pick.pick(0, false);
    const int idField = open.tables->products.fieldIndex("PrID");
    if (recNo > 0 && idField >= 0 && open.tables->products.go(quint32(recNo))) {
        const QString productId = open.tables->products.text(idField);
        presetCurrentMonth();
        if (TDateSpan::ask()) {
            const DateSpanValues span = dateSpan();
            result = buildProductBuyers(buffer, *open.tables, productId, span.start, span.end, progress);
        }
    }
    closeAllTables(engine);
    return finishReportRun(parent, result, buffer, openFailure);
}

bool runProfileSelectedCustomers(QWidget *parent, db::Engine &engine, QString *openFailure)
{
    ReportBuffer &buffer = reportBuffer();
    OpenCustomerTables open = openCustomerTables(engine);
    SalesReportResult result;
    if (!open.tables) {
        result = SalesReportResult::openFailed(open.failure);
    } else {
        CustomerProfiles profiles(buffer, *open.tables);
        profiles.start();
        TPickCust pick(engine, parent);
        for (qint64 recNo = pick.pick(0, false); recNo > 0; recNo = pick.pick(recNo, false)) {
            if (!profiles.addCustomer(quint32(recNo)))
                break;
        }
        if (!profiles.status().isOk())
            result = SalesReportResult::readFailed(profiles.status());
    }
    closeAllTables(engine);
    return finishReportRun(parent, result, buffer, openFailure);
}

bool runProfileSelectedGroups(QWidget *parent, db::Engine &engine, QString *openFailure)
{
    ReportBuffer &buffer = reportBuffer();
    OpenCustomerTables open = openCustomerTables(engine);
    SalesReportResult result = SalesReportResult::nothing(QString());
    if (!open.tables) {
        result = SalesReportResult::openFailed(open.failure);
    } else {
        CustomerProfiles profiles(buffer, *open.tables);
        profiles.start();
        if (TMultGroup::ask(open.tables->groups)) {
            result = {};
            if (!profiles.addGroups(selectedGroups()))
                result = SalesReportResult::readFailed(profiles.status());
        }
    }
    closeAllTables(engine);
    return finishReportRun(parent, result, buffer, openFailure);
}

} // namespace tallyra
