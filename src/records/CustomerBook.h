#pragma once

// The rules of customers and customer groups, on the open CUST5 and GROUPS tables: reading a
// record for its form, numbering, saving (with the recall of a record marked deleted), deleting,
// and moving a group's customers to another group. No widgets: the forms show the messages these
// return.

#include "Records.h"
#include "engine/Status.h"
#include "engine/Table.h"

#include <QString>
#include <QStringList>

namespace tallyra {

inline const char kSelectGroupMessage[] = "Please Select Customer Group";
inline const char kCustomerAppendFailedMessage[] = "Unable to Append record . . Please try again.";
inline const char kBlankGroupNameMessage[] = "Can't Save Blank Name";
inline const char kGroupAppendFailedMessage[] = "Unable to add record at this time. Please try later.";

inline constexpr qint64 kHighestCustomerNumber = 999999; // CuNo holds six digits
inline constexpr qint64 kHighestGroupNumber = 99;        // nGroup holds two

// The outcome of saving a record from its form.
struct RecordSave
{
    bool ok = false;
    QString message;   // for the user when not saved
    quint32 recNo = 0; // the record written

    static RecordSave saved(quint32 recNo) { return {true, {}, recNo}; }
    static RecordSave refused(const QString &message) { return {false, message, 0}; }
};

class CustomerBook
{
public:
    // REQUIRES: customers is CUST5 and groups is GROUPS, both open.
    CustomerBook(db::Table &customers, db::Table &groups);

    // Reads CUST5 record recNo into *customer with every text trimmed (the comments at their
    // end only). False when there is no such record.
    bool load(quint32 recNo, CustomerRecord *customer, bool *deleted = nullptr);

    // The name of group `number` (trimmed); false, and an empty name, when no such group exists.
    bool groupName(qint64 number, QString *name);

    // Saves the customer as CUST5 record recNo, or as a new record numbered here (highest number
    // + 1) when recNo is 0; customer.CuNo receives the number. A record marked deleted is
    // recalled. Refused without a group ("Please Select Customer Group") and when the record
    // cannot be appended (the number is then reset to 0). An existing record that has no number
    // yet gets one.
    RecordSave save(CustomerRecord &customer, quint32 recNo);

    // Marks record recNo deleted (without looking at the customer's invoices) and sets the
    // pack-needed flag.
    db::Status remove(quint32 recNo);

    // The customer's address block: the name line, the four address lines (empty ones kept in
    // place) and the postal code after the last non-empty line, or indented by 20 blanks on the
    // line below when that line is longer than 22 characters.
    static QStringList addressBlock(const CustomerRecord &customer);

private:
    db::Table &m_customers;
    db::Table &m_groups;
};

class GroupBook
{
public:
    // REQUIRES: groups is GROUPS, open; customers is CUST5, open, or nullptr (then no customers
    // can be moved).
    GroupBook(db::Table &groups, db::Table *customers);

    bool load(quint32 recNo, GroupRecord *group, bool *deleted = nullptr);

    // The lowest group number not in use, counted from 1 in nGroup order: groups 1, 2, 4 give 3;
    // 2, 3 give 1; none gives 1. Groups marked deleted but not yet packed keep their numbers.
    qint64 nextGroupNumber();

    // Saves the group as GROUPS record recNo, or as a new record numbered here when recNo is 0;
    // group.nGroup receives the number. The name is kept as typed; a blank one is refused.
    RecordSave save(GroupRecord &group, quint32 recNo);

    // Gives every customer of group `from` the group `to`; *moved counts them. Stops at the first
    // failure (the customers moved so far keep their new group).
    db::Status moveCustomers(qint64 from, qint64 to, int *moved = nullptr);

    // Marks record recNo deleted and sets the pack-needed flag.
    db::Status remove(quint32 recNo);

private:
    db::Table &m_groups;
    db::Table *m_customers;
};

} // namespace tallyra
