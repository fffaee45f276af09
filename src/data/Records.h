#pragma once

// One record type per table. load*() copies the table's current record into a record; write*()
// assigns every field from a record to the table's current record. Both walk the record type's
// one binding table (Records.cpp, see RecordBinding.h), so reader and writer agree field by field:
//   - texts from at most 59 characters (e-mail addresses 60, import directories 126), then cut to
//     the field's width at a character boundary by the engine;
//   - memos with trailing blanks, tabs and line ends removed;
//   - dates as "yyyymmdd" after the two-digit-year window, or blank for a null date;
//   - logicals as "T" or "F";
//   - ITM5.lBuild false and ITM5.BackOrder 0, Prod5.lBuild false.
// CUST5, GROUPS, Prod5, Pur5, ITM5, PMT, LABELS, ZZone and Impdirs records are flushed at once by
// their writer; INV6 and ImportF records reach the file when the table moves to another record or
// closes.
// Both return a failed status naming the table (and field) when the table lacks a field or the
// engine fails; on failure the record may be partly assigned but nothing past the failure is.
// A missing field fails before anything is read or assigned.

#include "engine/Status.h"
#include "engine/Table.h"

#include <QDate>
#include <QString>
#include <array>

namespace tallyra {

struct CustomerRecord // CUST5
{
    qint64 CuNo = 0;
    QString Title;
    QString First;
    QString Last;
    QString Addr1; // company name
    QString Addr2;
    QString Addr3;
    QString Addr4; // town line
    QString Zip;
    QString Comments; // memo
    qint64 NGroup = 0;
    QString Note;
    QString Phone;
    QString Fax;
    QString EMail;
    bool operator==(const CustomerRecord &) const = default;
};

struct GroupRecord // GROUPS
{
    qint64 nGroup = 0;
    QString cGroup;
    bool operator==(const GroupRecord &) const = default;
};

struct ProductRecord // Prod5
{
    QString PrID;
    QString RCode;
    QString PDesc;
    QString IComm;
    double UPrice = 0;
    bool LTax1 = false;
    bool LTax2 = false;
    bool lInven = false;
    double REORDER = 0;
    double ONHAND = 0;
    QString PMemo; // memo
    bool operator==(const ProductRecord &) const = default;
};

struct PurchaseRecord // Pur5
{
    QString PURProd;
    QDate PURDate;
    double PURQty = 0;
    double PURCost = 0;
    qint64 PURNo = 0;
    bool operator==(const PurchaseRecord &) const = default;
};

struct InvoiceRecord // INV6
{
    qint64 IvNo = 0;
    qint64 CuNo = 0;
    QString Dept;
    QDate IDate;
    QString IMemo;
    double Discount = 0;
    double Ship = 0;
    double Tax = 0;
    double Due = 0;
    QString REM; // memo
    bool operator==(const InvoiceRecord &) const = default;
};

struct ItemRecord // ITM5
{
    qint64 IvNo = 0;
    QString PrID;
    double Qty = 0;
    double UPR = 0;
    bool LTax1 = false;
    bool LTax2 = false;
    QString PDesc;
    QString IComm;
    bool operator==(const ItemRecord &) const = default;
};

struct PaymentRecord // PMT
{
    qint64 IvNo = 0;
    QDate PDate;
    double PAmt = 0;
    bool operator==(const PaymentRecord &) const = default;
};

struct LabelRecord // LABELS; dimensions in printer points (1/72 inch)
{
    QString Name;
    double TopM = 0;
    double LeftM = 0;
    double BottomM = 0;
    double RightM = 0;
    double Width = 0;
    double Height = 0;
    double HGap = 0;
    double VGap = 0;
    qint64 NAcross = 1;
    bool Continuous = false;
    bool operator==(const LabelRecord &) const = default;
};

struct ZoneRecord // ZZone (read by the program, written only by tools and tests)
{
    QString SZip;
    QString EZip;
    qint64 Zone = 0;
    bool operator==(const ZoneRecord &) const = default;
};

struct ImportFormatRecord // ImportF
{
    QString FmtName;
    qint64 FmtType = 0;           // 1 customers, 2 products
    std::array<qint64, 14> Fld{}; // Fld[0] is Fld1
    qint64 DELIM = 44;
    qint64 nFields = 0;
    bool operator==(const ImportFormatRecord &) const = default;
};

struct ImportDirsRecord // Impdirs
{
    QString InfoDir;
    QString OrderDir;
    bool operator==(const ImportDirsRecord &) const = default;
};

// The group the last findGroupByNumber() found (Tables.h): the one record buffer still shared.
GroupRecord &groupBuffer();

// REQUIRES: t is the named table, open. Loading from a table past its end gives blank values.
db::Status loadCustomer(const db::Table &t, CustomerRecord &r);
db::Status writeCustomer(db::Table &t, const CustomerRecord &r);
db::Status loadGroup(const db::Table &t, GroupRecord &r);
db::Status writeGroup(db::Table &t, const GroupRecord &r);
db::Status loadProduct(const db::Table &t, ProductRecord &r);
db::Status writeProduct(db::Table &t, const ProductRecord &r);
db::Status loadPurchase(const db::Table &t, PurchaseRecord &r);
db::Status writePurchase(db::Table &t, const PurchaseRecord &r);
db::Status loadInvoice(const db::Table &t, InvoiceRecord &r);
db::Status writeInvoice(db::Table &t, const InvoiceRecord &r); // not flushed
db::Status loadItem(const db::Table &t, ItemRecord &r);
db::Status writeItem(db::Table &t, const ItemRecord &r);
db::Status loadPayment(const db::Table &t, PaymentRecord &r);
db::Status writePayment(db::Table &t, const PaymentRecord &r);
db::Status loadLabel(const db::Table &t, LabelRecord &r);
db::Status writeLabel(db::Table &t, const LabelRecord &r);
db::Status loadZone(const db::Table &t, ZoneRecord &r);
db::Status writeZone(db::Table &t, const ZoneRecord &r);
db::Status loadImportFormat(const db::Table &t, ImportFormatRecord &r);
db::Status writeImportFormat(db::Table &t, const ImportFormatRecord &r); // not flushed
db::Status loadImportDirs(const db::Table &t, ImportDirsRecord &r);
// Flushed at once; the directories are held trimmed and written from at most 126 characters.
db::Status writeImportDirs(db::Table &t, const ImportDirsRecord &r);

} // namespace tallyra
