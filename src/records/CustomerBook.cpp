#include "CustomerBook.h"

#include "Conversions.h"
#include "Database.h"
#include "InvoiceStore.h"
#include "Tables.h"
#include "TagScope.h"

namespace tallyra {

namespace {

QString failure(const QString &what, const db::Status &status)
{
    return what + QLatin1Char('\n') + status.toString();
}

// Undoes a blank record appended for a save that then failed, so no empty record is left behind.
void dropAppended(db::Table &table)
{
    table.markDeleted();
    table.flush();
    table.takeError();
    setPackNeeded(true);
}

db::Status markDeleted(db::Table &table, quint32 recNo)
{
    if (!table.go(recNo)) {
        const db::Status e = table.takeError();
        return e.isOk()
                   ? db::Status::notFound(QStringLiteral("%1: no record %2").arg(table.fileName()).arg(recNo))
                   : e;
    }
    db::Status s = table.markDeleted();
    if (s.isOk())
        s = table.flush();
    if (s.isOk())
        setPackNeeded(true);
    return s;
}

// Recalls the current record when it is marked deleted.
db::Status recallIfDeleted(db::Table &table)
{
    if (!table.isDeleted())
        return db::Status::ok();
    db::Status s = table.recall();
    return s.isOk() ? table.flush() : s;
}

} // namespace

// ----- customers -----

CustomerBook::CustomerBook(db::Table &customers, db::Table &groups)
    : m_customers(customers)
    , m_groups(groups)
{}

bool CustomerBook::load(quint32 recNo, CustomerRecord *customer, bool *deleted)
{
    if (recNo == 0 || !m_customers.go(recNo) || !loadCustomer(m_customers, *customer).isOk()) {
        m_customers.takeError();
        return false;
    }
    for (QString *text : {&customer->Title, &customer->First, &customer->Last, &customer->Addr1,
                          &customer->Addr2, &customer->Addr3, &customer->Addr4, &customer->Zip,
                          &customer->Note, &customer->Phone, &customer->Fax, &customer->EMail})
        *text = text->trimmed();
    customer->Comments = memoText(customer->Comments);
    if (deleted)
        *deleted = m_customers.isDeleted();
    return true;
}

bool CustomerBook::groupName(qint64 number, QString *name)
{
    const bool found = number > 0 && findGroupByNumber(m_groups, number);
    *name = found ? groupBuffer().cGroup.trimmed() : QString();
    m_groups.takeError();
    return found;
}

RecordSave CustomerBook::save(CustomerRecord &customer, quint32 recNo)
{
    if (customer.NGroup == 0)
        return RecordSave::refused(QString::fromLatin1(kSelectGroupMessage));

    bool appended = false;
    if (recNo != 0) {
        if (!m_customers.go(recNo))
            return RecordSave::refused(
                failure(QStringLiteral("The customer's record could not be read."), m_customers.takeError()));
        if (customer.CuNo == 0) {
            customer.CuNo = nextCustomerNumber(m_customers);
            m_customers.go(recNo);
        }
    } else {
        const qint64 number = nextCustomerNumber(m_customers);
        if (number > kHighestCustomerNumber)
            return RecordSave::refused(
                QStringLiteral("Every customer number up to %1 is in use.").arg(kHighestCustomerNumber));
        if (!m_customers.appendBlank().isOk()) {
            m_customers.takeError();
            customer.CuNo = 0;
            return RecordSave::refused(QString::fromLatin1(kCustomerAppendFailedMessage));
        }
        customer.CuNo = number;
        appended = true;
    }
    const quint32 written = m_customers.recNo();
    db::Status s = writeCustomer(m_customers, customer);
    if (s.isOk())
        s = recallIfDeleted(m_customers);
    if (!s.isOk()) {
        if (appended) {
            dropAppended(m_customers);
            customer.CuNo = 0;
        }
        m_customers.takeError();
        return RecordSave::refused(failure(QStringLiteral("The customer could not be saved."), s));
    }
    return RecordSave::saved(written);
}

db::Status CustomerBook::remove(quint32 recNo)
{
    return markDeleted(m_customers, recNo);
}

QStringList CustomerBook::addressBlock(const CustomerRecord &c)
{
    return tallyra::addressBlock(c.Title, c.First, c.Last, {c.Addr1, c.Addr2, c.Addr3, c.Addr4}, c.Zip);
}

// ----- groups -----

GroupBook::GroupBook(db::Table &groups, db::Table *customers)
    : m_groups(groups)
    , m_customers(customers)
{}

bool GroupBook::load(quint32 recNo, GroupRecord *group, bool *deleted)
{
    if (recNo == 0 || !m_groups.go(recNo) || !loadGroup(m_groups, *group).isOk()) {
        m_groups.takeError();
        return false;
    }
    if (deleted)
        *deleted = m_groups.isDeleted();
    return true;
}

qint64 GroupBook::nextGroupNumber()
{
    qint64 run = 0;
    {
        const TagScope order(m_groups, QStringLiteral("NGroup"));
        const int field = m_groups.fieldIndex("nGroup");
        for (bool more = order.ok() && field >= 0 && m_groups.top(); more; more = m_groups.skip(1)) {
            const qint64 n = m_groups.integer(field);
            if (n <= run)
                continue; // a number used twice does not end the run
            if (n != run + 1)
                break;
            run = n;
        }
    }
    m_groups.top();
    m_groups.takeError();
    return run + 1;
}

RecordSave GroupBook::save(GroupRecord &group, quint32 recNo)
{
    if (group.cGroup.trimmed().isEmpty())
        return RecordSave::refused(QString::fromLatin1(kBlankGroupNameMessage));

    bool appended = false;
    if (recNo != 0) {
        if (!m_groups.go(recNo))
            return RecordSave::refused(
                failure(QStringLiteral("The group's record could not be read."), m_groups.takeError()));
    } else {
        const qint64 number = nextGroupNumber();
        if (number > kHighestGroupNumber)
            return RecordSave::refused(
                QStringLiteral("Every group number up to %1 is in use.").arg(kHighestGroupNumber));
        if (!m_groups.appendBlank().isOk()) {
            m_groups.takeError();
            return RecordSave::refused(QString::fromLatin1(kGroupAppendFailedMessage));
        }
        group.nGroup = number;
        appended = true;
    }
    const quint32 written = m_groups.recNo();
    db::Status s = writeGroup(m_groups, group);
    if (s.isOk())
        s = recallIfDeleted(m_groups);
    if (!s.isOk()) {
        if (appended) {
            dropAppended(m_groups);
            group.nGroup = 0;
        }
        m_groups.takeError();
        return RecordSave::refused(failure(QStringLiteral("The group could not be saved."), s));
    }
    return RecordSave::saved(written);
}

db::Status GroupBook::moveCustomers(qint64 from, qint64 to, int *moved)
{
    int count = 0;
    db::Status s;
    if (m_customers) {
        // Record order: the walk is unaffected by the changes whatever tags the table has.
        const TagScope order(*m_customers, QString());
        const int field = m_customers->fieldIndex("NGroup");
        if (field < 0)
            s = db::Status::invalid(QStringLiteral("%1: no field NGroup").arg(m_customers->fileName()));
        for (bool more = s.isOk() && m_customers->top(); more; more = m_customers->skip(1)) {
            if (m_customers->integer(field) != from)
                continue;
            s = m_customers->setInteger(field, to);
            if (s.isOk())
                s = m_customers->flush();
            if (!s.isOk())
                break;
            ++count;
        }
        if (s.isOk())
            s = m_customers->takeError();
        else
            m_customers->takeError();
    }
    if (moved)
        *moved = count;
    return s;
}

db::Status GroupBook::remove(quint32 recNo)
{
    return markDeleted(m_groups, recNo);
}

} // namespace tallyra
