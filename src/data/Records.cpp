#include "Records.h"

#include "Conversions.h"
#include "Schema.h"

#include <initializer_list>
#include <vector>

namespace tallyra {

namespace {

// The field numbers of one record type, looked up by name in the open table.
class Fields
{
public:
    Fields(const db::Table &t, std::initializer_list<const char *> names)
    {
        m_index.reserve(names.size());
        for (const char *n : names) {
            const int i = t.fieldIndex(n);
            if (i < 0 && m_missing.isEmpty())
                m_missing = QString::fromLatin1(n);
            m_index.push_back(i);
        }
        if (!m_missing.isEmpty())
            m_status =
                db::Status::invalid(QStringLiteral("%1: field %2 is missing").arg(t.fileName(), m_missing));
    }
    int operator[](std::size_t i) const { return m_index[i]; }
    const db::Status &status() const { return m_status; }

private:
    std::vector<int> m_index;
    QString m_missing;
    db::Status m_status;
};

// Keeps the first failure of a run of assignments and skips the rest once one failed.
class Writer
{
public:
    Writer(db::Table &t, const Fields &f)
        : m_t(t)
        , m_f(f)
        , m_status(f.status())
    {}

    void text(std::size_t field, const QString &value, int limit = kTextLimit)
    {
        if (m_status.isOk())
            m_status = m_t.setText(m_f[field], cutText(value, limit));
    }
    void memo(std::size_t field, const QString &value)
    {
        if (m_status.isOk())
            m_status = m_t.setMemo(m_f[field], memoText(value));
    }
    void number(std::size_t field, double value)
    {
        if (m_status.isOk())
            m_status = m_t.setNumber(m_f[field], value);
    }
    void integer(std::size_t field, qint64 value)
    {
        if (m_status.isOk())
            m_status = m_t.setInteger(m_f[field], value);
    }
    void logical(std::size_t field, bool value)
    {
        if (m_status.isOk())
            m_status = m_t.setLogical(m_f[field], value);
    }
    void date(std::size_t field, const QDate &value)
    {
        if (m_status.isOk())
            m_status = m_t.setRaw(m_f[field], dateToStored(value).toLatin1());
    }
    db::Status finish(bool flush)
    {
        if (m_status.isOk() && flush)
            m_status = m_t.flush();
        return m_status;
    }

private:
    db::Table &m_t;
    const Fields &m_f;
    db::Status m_status;
};

QDate readDate(const db::Table &t, int field)
{
    return storedToDate(QString::fromLatin1(t.raw(field)));
}

// A read past a damaged memo block leaves its failure pending on the table.
db::Status readStatus(const db::Table &t)
{
    return t.error();
}

} // namespace

CustomerRecord &customerBuffer()
{
    static CustomerRecord r;
    return r;
}
GroupRecord &groupBuffer()
{
    static GroupRecord r;
    return r;
}
ProductRecord &productBuffer()
{
    static ProductRecord r;
    return r;
}
PurchaseRecord &purchaseBuffer()
{
    static PurchaseRecord r;
    return r;
}
InvoiceRecord &invoiceBuffer()
{
    static InvoiceRecord r;
    return r;
}
ItemRecord &itemBuffer()
{
    static ItemRecord r;
    return r;
}
PaymentRecord &paymentBuffer()
{
    static PaymentRecord r;
    return r;
}
LabelRecord &labelBuffer()
{
    static LabelRecord r;
    return r;
}
ZoneRecord &zoneBuffer()
{
    static ZoneRecord r;
    return r;
}
ImportFormatRecord &importFormatBuffer()
{
    static ImportFormatRecord r;
    return r;
}
ImportDirsRecord &importDirsBuffer()
{
    static ImportDirsRecord r;
    return r;
}

// --- CUST5 -------------------------------------------------------------------------------------

namespace {
enum
{
    cCuNo,
    cTitle,
    cFirst,
    cLast,
    cAddr1,
    cAddr2,
    cAddr3,
    cAddr4,
    cZip,
    cComments,
    cNGroup,
    cNote,
    cPhone,
    cFax,
    cEMail
};
Fields customerFields(const db::Table &t)
{
    return Fields(t, {"CuNo", "Title", "First", "Last", "Addr1", "Addr2", "Addr3", "Addr4", "Zip", "Comments",
                      "NGroup", "Note", "Phone", "Fax", "EMail"});
}
} // namespace

db::Status loadCustomer(const db::Table &t, CustomerRecord &r)
{
    const Fields f = customerFields(t);
    if (!f.status().isOk())
        return f.status();
    CustomerRecord n;
    n.CuNo = t.integer(f[cCuNo]);
    n.Title = t.text(f[cTitle]);
    n.First = t.text(f[cFirst]);
    n.Last = t.text(f[cLast]);
    n.Addr1 = t.text(f[cAddr1]);
    n.Addr2 = t.text(f[cAddr2]);
    n.Addr3 = t.text(f[cAddr3]);
    n.Addr4 = t.text(f[cAddr4]);
    n.Zip = t.text(f[cZip]);
    n.Comments = t.memo(f[cComments]);
    n.NGroup = t.integer(f[cNGroup]);
    n.Note = t.text(f[cNote]);
    n.Phone = t.text(f[cPhone]);
    n.Fax = t.text(f[cFax]);
    n.EMail = t.text(f[cEMail]);
    r = n;
    return readStatus(t);
}

db::Status writeCustomer(db::Table &t, const CustomerRecord &r)
{
    const Fields f = customerFields(t);
    Writer w(t, f);
    w.integer(cCuNo, r.CuNo);
    w.text(cTitle, r.Title);
    w.text(cFirst, r.First);
    w.text(cLast, r.Last);
    w.text(cAddr1, r.Addr1);
    w.text(cAddr2, r.Addr2);
    w.text(cAddr3, r.Addr3);
    w.text(cAddr4, r.Addr4);
    w.text(cZip, r.Zip);
    w.memo(cComments, r.Comments);
    w.integer(cNGroup, r.NGroup);
    w.text(cNote, r.Note);
    w.text(cPhone, r.Phone);
    w.text(cFax, r.Fax);
    w.text(cEMail, r.EMail, kEmailTextLimit);
    return w.finish(true);
}

// --- GROUPS ------------------------------------------------------------------------------------

db::Status loadGroup(const db::Table &t, GroupRecord &r)
{
    const Fields f(t, {"nGroup", "cGroup"});
    if (!f.status().isOk())
        return f.status();
    r.nGroup = t.integer(f[0]);
    r.cGroup = t.text(f[1]);
    return readStatus(t);
}

db::Status writeGroup(db::Table &t, const GroupRecord &r)
{
    const Fields f(t, {"nGroup", "cGroup"});
    Writer w(t, f);
    w.integer(0, r.nGroup);
    w.text(1, r.cGroup);
    return w.finish(true);
}

// --- Prod5 -------------------------------------------------------------------------------------

namespace {
enum
{
    pPrID,
    pRCode,
    pPDesc,
    pIComm,
    pUPrice,
    pLTax1,
    pLTax2,
    pLInven,
    pREORDER,
    pONHAND,
    pPMemo,
    pLBuild
};
Fields productFields(const db::Table &t)
{
    return Fields(t, {"PrID", "RCode", "PDesc", "IComm", "UPrice", "LTax1", "LTax2", "lInven", "REORDER",
                      "ONHAND", "PMemo", "lBuild"});
}
} // namespace

db::Status loadProduct(const db::Table &t, ProductRecord &r)
{
    const Fields f = productFields(t);
    if (!f.status().isOk())
        return f.status();
    ProductRecord n;
    n.PrID = t.text(f[pPrID]);
    n.RCode = t.text(f[pRCode]);
    n.PDesc = t.text(f[pPDesc]);
    n.IComm = t.text(f[pIComm]);
    n.UPrice = t.number(f[pUPrice]);
    n.LTax1 = t.logical(f[pLTax1]);
    n.LTax2 = t.logical(f[pLTax2]);
    n.lInven = t.logical(f[pLInven]);
    n.REORDER = t.number(f[pREORDER]);
    n.ONHAND = t.number(f[pONHAND]);
    n.PMemo = t.memo(f[pPMemo]);
    r = n;
    return readStatus(t);
}

db::Status writeProduct(db::Table &t, const ProductRecord &r)
{
    const Fields f = productFields(t);
    Writer w(t, f);
    w.text(pPrID, r.PrID);
    w.text(pRCode, r.RCode);
    w.text(pPDesc, r.PDesc);
    w.text(pIComm, r.IComm);
    w.number(pUPrice, r.UPrice);
    w.logical(pLTax1, r.LTax1);
    w.logical(pLTax2, r.LTax2);
    w.logical(pLInven, r.lInven);
    w.number(pREORDER, r.REORDER);
    w.number(pONHAND, r.ONHAND);
    w.memo(pPMemo, r.PMemo);
    w.logical(pLBuild, false);
    return w.finish(true);
}

// --- Pur5 --------------------------------------------------------------------------------------

db::Status loadPurchase(const db::Table &t, PurchaseRecord &r)
{
    const Fields f(t, {"PURProd", "PURDate", "PURQty", "PURCost", "PURNo"});
    if (!f.status().isOk())
        return f.status();
    r.PURProd = t.text(f[0]);
    r.PURDate = readDate(t, f[1]);
    r.PURQty = t.number(f[2]);
    r.PURCost = t.number(f[3]);
    r.PURNo = t.integer(f[4]);
    return readStatus(t);
}

db::Status writePurchase(db::Table &t, const PurchaseRecord &r)
{
    const Fields f(t, {"PURProd", "PURDate", "PURQty", "PURCost", "PURNo"});
    Writer w(t, f);
    w.text(0, r.PURProd);
    w.date(1, r.PURDate);
    w.number(2, r.PURQty);
    w.number(3, r.PURCost);
    w.integer(4, r.PURNo);
    return w.finish(true);
}

// --- INV6 --------------------------------------------------------------------------------------

namespace {
enum
{
    hIvNo,
    hCuNo,
    hDept,
    hIDate,
    hIMemo,
    hDiscount,
    hShip,
    hTax,
    hDue,
    hREM
};
Fields invoiceFields(const db::Table &t)
{
    return Fields(t, {"IvNo", "CuNo", "Dept", "IDate", "IMemo", "Discount", "Ship", "Tax", "Due", "REM"});
}
} // namespace

db::Status loadInvoice(const db::Table &t, InvoiceRecord &r)
{
    const Fields f = invoiceFields(t);
    if (!f.status().isOk())
        return f.status();
    InvoiceRecord n;
    n.IvNo = t.integer(f[hIvNo]);
    n.CuNo = t.integer(f[hCuNo]);
    n.Dept = t.text(f[hDept]);
    n.IDate = readDate(t, f[hIDate]);
    n.IMemo = t.text(f[hIMemo]);
    n.Discount = t.number(f[hDiscount]);
    n.Ship = t.number(f[hShip]);
    n.Tax = t.number(f[hTax]);
    n.Due = t.number(f[hDue]);
    n.REM = t.memo(f[hREM]);
    r = n;
    return readStatus(t);
}

db::Status writeInvoice(db::Table &t, const InvoiceRecord &r)
{
    const Fields f = invoiceFields(t);
    Writer w(t, f);
    w.integer(hIvNo, r.IvNo);
    w.integer(hCuNo, r.CuNo);
    w.text(hDept, r.Dept);
    w.date(hIDate, r.IDate);
    w.text(hIMemo, r.IMemo);
    w.number(hDiscount, r.Discount);
    w.number(hShip, r.Ship);
    w.number(hTax, r.Tax);
    w.number(hDue, r.Due);
    w.memo(hREM, r.REM);
    return w.finish(false);
}

// --- ITM5 --------------------------------------------------------------------------------------

namespace {
enum
{
    iIvNo,
    iPrID,
    iQty,
    iUPR,
    iLTax1,
    iLTax2,
    iPDesc,
    iIComm,
    iLBuild,
    iBackOrder
};
Fields itemFields(const db::Table &t)
{
    return Fields(t,
                  {"IvNo", "PrID", "Qty", "UPR", "LTax1", "LTax2", "PDesc", "IComm", "lBuild", "BackOrder"});
}
} // namespace

db::Status loadItem(const db::Table &t, ItemRecord &r)
{
    const Fields f = itemFields(t);
    if (!f.status().isOk())
        return f.status();
    r.IvNo = t.integer(f[iIvNo]);
    r.PrID = t.text(f[iPrID]);
    r.Qty = t.number(f[iQty]);
    r.UPR = t.number(f[iUPR]);
    r.LTax1 = t.logical(f[iLTax1]);
    r.LTax2 = t.logical(f[iLTax2]);
    r.PDesc = t.text(f[iPDesc]);
    r.IComm = t.text(f[iIComm]);
    return readStatus(t);
}

db::Status writeItem(db::Table &t, const ItemRecord &r)
{
    const Fields f = itemFields(t);
    Writer w(t, f);
    w.integer(iIvNo, r.IvNo);
    w.text(iPrID, r.PrID);
    w.number(iQty, r.Qty);
    w.number(iUPR, r.UPR);
    w.logical(iLTax1, r.LTax1);
    w.logical(iLTax2, r.LTax2);
    w.text(iPDesc, r.PDesc);
    w.text(iIComm, r.IComm);
    w.logical(iLBuild, false);
    w.integer(iBackOrder, 0);
    return w.finish(true);
}

// --- PMT ---------------------------------------------------------------------------------------

db::Status loadPayment(const db::Table &t, PaymentRecord &r)
{
    const Fields f(t, {"IvNo", "PDate", "PAmt"});
    if (!f.status().isOk())
        return f.status();
    r.IvNo = t.integer(f[0]);
    r.PDate = readDate(t, f[1]);
    r.PAmt = t.number(f[2]);
    return readStatus(t);
}

db::Status writePayment(db::Table &t, const PaymentRecord &r)
{
    const Fields f(t, {"IvNo", "PDate", "PAmt"});
    Writer w(t, f);
    w.integer(0, r.IvNo);
    w.date(1, r.PDate);
    w.number(2, r.PAmt);
    return w.finish(true);
}

// --- LABELS ------------------------------------------------------------------------------------

namespace {
Fields labelFields(const db::Table &t)
{
    return Fields(t, {"Name", "TopM", "LeftM", "BottomM", "RightM", "Width", "Height", "HGap", "VGap",
                      "NAcross", "Continuous"});
}
} // namespace

db::Status loadLabel(const db::Table &t, LabelRecord &r)
{
    const Fields f = labelFields(t);
    if (!f.status().isOk())
        return f.status();
    r.Name = t.text(f[0]);
    double *dims[] = {&r.TopM, &r.LeftM, &r.BottomM, &r.RightM, &r.Width, &r.Height, &r.HGap, &r.VGap};
    for (std::size_t i = 0; i < 8; ++i)
        *dims[i] = t.number(f[1 + i]);
    r.NAcross = t.integer(f[9]);
    r.Continuous = t.logical(f[10]);
    return readStatus(t);
}

db::Status writeLabel(db::Table &t, const LabelRecord &r)
{
    const Fields f = labelFields(t);
    Writer w(t, f);
    w.text(0, r.Name);
    const double dims[] = {r.TopM, r.LeftM, r.BottomM, r.RightM, r.Width, r.Height, r.HGap, r.VGap};
    for (std::size_t i = 0; i < 8; ++i)
        w.number(1 + i, dims[i]);
    w.integer(9, r.NAcross);
    w.logical(10, r.Continuous);
    return w.finish(true);
}

// --- ZZone -------------------------------------------------------------------------------------

db::Status loadZone(const db::Table &t, ZoneRecord &r)
{
    const Fields f(t, {"SZip", "EZip", "Zone"});
    if (!f.status().isOk())
        return f.status();
    r.SZip = t.text(f[0]);
    r.EZip = t.text(f[1]);
    r.Zone = t.integer(f[2]);
    return readStatus(t);
}

db::Status writeZone(db::Table &t, const ZoneRecord &r)
{
    const Fields f(t, {"SZip", "EZip", "Zone"});
    Writer w(t, f);
    w.text(0, r.SZip);
    w.text(1, r.EZip);
    w.integer(2, r.Zone);
    return w.finish(true);
}

// --- ImportF -----------------------------------------------------------------------------------

namespace {
Fields importFormatFields(const db::Table &t)
{
    return Fields(t, {"FmtName", "FmtType", "Fld1", "Fld2", "Fld3", "Fld4", "Fld5", "Fld6", "Fld7", "Fld8",
                      "Fld9", "Fld10", "Fld11", "Fld12", "Fld13", "Fld14", "DELIM", "nFields"});
}
} // namespace

db::Status loadImportFormat(const db::Table &t, ImportFormatRecord &r)
{
    const Fields f = importFormatFields(t);
    if (!f.status().isOk())
        return f.status();
    r.FmtName = t.text(f[0]);
    r.FmtType = t.integer(f[1]);
    for (std::size_t i = 0; i < 14; ++i)
        r.Fld[i] = t.integer(f[2 + i]);
    r.DELIM = t.integer(f[16]);
    r.nFields = t.integer(f[17]);
    return readStatus(t);
}

db::Status writeImportFormat(db::Table &t, const ImportFormatRecord &r)
{
    const Fields f = importFormatFields(t);
    Writer w(t, f);
    w.text(0, r.FmtName);
    w.integer(1, r.FmtType);
    for (std::size_t i = 0; i < 14; ++i)
        w.integer(2 + i, r.Fld[i]);
    w.integer(16, r.DELIM);
    w.integer(17, r.nFields);
    return w.finish(false);
}

// --- Impdirs -----------------------------------------------------------------------------------

db::Status loadImportDirs(const db::Table &t, ImportDirsRecord &r)
{
    const Fields f(t, {"InfoDir", "OrderDir"});
    if (!f.status().isOk())
        return f.status();
    r.InfoDir = t.text(f[0]).trimmed();
    r.OrderDir = t.text(f[1]).trimmed();
    return readStatus(t);
}

db::Status writeImportDirs(db::Table &t, const ImportDirsRecord &r)
{
    const Fields f(t, {"InfoDir", "OrderDir"});
    Writer w(t, f);
    w.text(0, r.InfoDir.trimmed(), kPathTextLimit);
    w.text(1, r.OrderDir.trimmed(), kPathTextLimit);
    return w.finish(true);
}

} // namespace tallyra
