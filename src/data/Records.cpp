#include "Records.h"

#include "RecordBinding.h"
#include "Schema.h"

namespace tallyra {

GroupRecord &groupBuffer()
{
    static GroupRecord r;
    return r;
}

namespace {

// One binding table per record type, in the order of the table's fields.

const RecordBinding<CustomerRecord> &customerBinding()
{
    using R = CustomerRecord;
    using B = Bind<R>;
    static const RecordBinding<R> b(
        {
            B::integer("CuNo", &R::CuNo),
            B::text("Title", &R::Title),
            B::text("First", &R::First),
            B::text("Last", &R::Last),
            B::text("Addr1", &R::Addr1),
            B::text("Addr2", &R::Addr2),
            B::text("Addr3", &R::Addr3),
            B::text("Addr4", &R::Addr4),
            B::text("Zip", &R::Zip),
            B::memo("Comments", &R::Comments),
            B::integer("NGroup", &R::NGroup),
            B::text("Note", &R::Note),
            B::text("Phone", &R::Phone),
            B::text("Fax", &R::Fax),
            B::text("EMail", &R::EMail, kEmailTextLimit),
        },
        Flush::AtOnce);
    return b;
}

const RecordBinding<GroupRecord> &groupBinding()
{
    using R = GroupRecord;
    using B = Bind<R>;
    static const RecordBinding<R> b(
        {
            B::integer("nGroup", &R::nGroup),
            B::text("cGroup", &R::cGroup),
        },
        Flush::AtOnce);
    return b;
}

// lBuild is always written false.
const RecordBinding<ProductRecord> &productBinding()
{
    using R = ProductRecord;
    using B = Bind<R>;
    static const RecordBinding<R> b(
        {
            B::text("PrID", &R::PrID),
            B::text("RCode", &R::RCode),
            B::text("PDesc", &R::PDesc),
            B::text("IComm", &R::IComm),
            B::number("UPrice", &R::UPrice),
            B::logical("LTax1", &R::LTax1),
            B::logical("LTax2", &R::LTax2),
            B::logical("lInven", &R::lInven),
            B::number("REORDER", &R::REORDER),
            B::number("ONHAND", &R::ONHAND),
            B::memo("PMemo", &R::PMemo),
            B::constantLogical("lBuild", false),
        },
        Flush::AtOnce);
    return b;
}

const RecordBinding<PurchaseRecord> &purchaseBinding()
{
    using R = PurchaseRecord;
    using B = Bind<R>;
    static const RecordBinding<R> b(
        {
            B::text("PURProd", &R::PURProd),
            B::date("PURDate", &R::PURDate),
            B::number("PURQty", &R::PURQty),
            B::number("PURCost", &R::PURCost),
            B::integer("PURNo", &R::PURNo),
        },
        Flush::AtOnce);
    return b;
}

const RecordBinding<InvoiceRecord> &invoiceBinding()
{
    using R = InvoiceRecord;
    using B = Bind<R>;
    static const RecordBinding<R> b(
        {
            B::integer("IvNo", &R::IvNo),
            B::integer("CuNo", &R::CuNo),
            B::text("Dept", &R::Dept),
            B::date("IDate", &R::IDate),
            B::text("IMemo", &R::IMemo),
            B::number("Discount", &R::Discount),
            B::number("Ship", &R::Ship),
            B::number("Tax", &R::Tax),
            B::number("Due", &R::Due),
            B::memo("REM", &R::REM),
        },
        Flush::Later);
    return b;
}

// lBuild is always written false and BackOrder 0.
const RecordBinding<ItemRecord> &itemBinding()
{
    using R = ItemRecord;
    using B = Bind<R>;
    static const RecordBinding<R> b(
        {
            B::integer("IvNo", &R::IvNo),
            B::text("PrID", &R::PrID),
            B::number("Qty", &R::Qty),
            B::number("UPR", &R::UPR),
            B::logical("LTax1", &R::LTax1),
            B::logical("LTax2", &R::LTax2),
            B::text("PDesc", &R::PDesc),
            B::text("IComm", &R::IComm),
            B::constantLogical("lBuild", false),
            B::constantInteger("BackOrder", 0),
        },
        Flush::AtOnce);
    return b;
}

const RecordBinding<PaymentRecord> &paymentBinding()
{
    using R = PaymentRecord;
    using B = Bind<R>;
    static const RecordBinding<R> b(
        {
            B::integer("IvNo", &R::IvNo),
            B::date("PDate", &R::PDate),
            B::number("PAmt", &R::PAmt),
        },
        Flush::AtOnce);
    return b;
}

const RecordBinding<LabelRecord> &labelBinding()
{
    using R = LabelRecord;
    using B = Bind<R>;
    static const RecordBinding<R> b(
        {
            B::text("Name", &R::Name),
            B::number("TopM", &R::TopM),
            B::number("LeftM", &R::LeftM),
            B::number("BottomM", &R::BottomM),
            B::number("RightM", &R::RightM),
            B::number("Width", &R::Width),
            B::number("Height", &R::Height),
            B::number("HGap", &R::HGap),
            B::number("VGap", &R::VGap),
            B::integer("NAcross", &R::NAcross),
            B::logical("Continuous", &R::Continuous),
        },
        Flush::AtOnce);
    return b;
}

const RecordBinding<ZoneRecord> &zoneBinding()
{
    using R = ZoneRecord;
    using B = Bind<R>;
    static const RecordBinding<R> b(
        {
            B::text("SZip", &R::SZip),
            B::text("EZip", &R::EZip),
            B::integer("Zone", &R::Zone),
        },
        Flush::AtOnce);
    return b;
}

const RecordBinding<ImportFormatRecord> &importFormatBinding()
{
    using R = ImportFormatRecord;
    using B = Bind<R>;
    static const RecordBinding<R> b = [] {
        std::vector<FieldBinding<R>> f{B::text("FmtName", &R::FmtName), B::integer("FmtType", &R::FmtType)};
        for (std::size_t i = 0; i < std::tuple_size_v<decltype(R::Fld)>; ++i)
            f.push_back(B::integer("Fld" + QByteArray::number(i + 1), &R::Fld, i));
        f.push_back(B::integer("DELIM", &R::DELIM));
        f.push_back(B::integer("nFields", &R::nFields));
        return RecordBinding<R>(std::move(f), Flush::Later);
    }();
    return b;
}

// The directories are held trimmed and written from at most 126 characters.
const RecordBinding<ImportDirsRecord> &importDirsBinding()
{
    using R = ImportDirsRecord;
    using B = Bind<R>;
    static const RecordBinding<R> b(
        {
            B::text("InfoDir", &R::InfoDir, kPathTextLimit, true),
            B::text("OrderDir", &R::OrderDir, kPathTextLimit, true),
        },
        Flush::AtOnce);
    return b;
}

} // namespace

db::Status loadCustomer(const db::Table &t, CustomerRecord &r)
{
    return customerBinding().read(t, r);
}
db::Status writeCustomer(db::Table &t, const CustomerRecord &r)
{
    return customerBinding().write(t, r);
}
db::Status loadGroup(const db::Table &t, GroupRecord &r)
{
    return groupBinding().read(t, r);
}
db::Status writeGroup(db::Table &t, const GroupRecord &r)
{
    return groupBinding().write(t, r);
}
db::Status loadProduct(const db::Table &t, ProductRecord &r)
{
    return productBinding().read(t, r);
}
db::Status writeProduct(db::Table &t, const ProductRecord &r)
{
    return productBinding().write(t, r);
}
db::Status loadPurchase(const db::Table &t, PurchaseRecord &r)
{
    return purchaseBinding().read(t, r);
}
db::Status writePurchase(db::Table &t, const PurchaseRecord &r)
{
    return purchaseBinding().write(t, r);
}
db::Status loadInvoice(const db::Table &t, InvoiceRecord &r)
{
    return invoiceBinding().read(t, r);
}
db::Status writeInvoice(db::Table &t, const InvoiceRecord &r)
{
    return invoiceBinding().write(t, r);
}
db::Status loadItem(const db::Table &t, ItemRecord &r)
{
    return itemBinding().read(t, r);
}
db::Status writeItem(db::Table &t, const ItemRecord &r)
{
    return itemBinding().write(t, r);
}
db::Status loadPayment(const db::Table &t, PaymentRecord &r)
{
    return paymentBinding().read(t, r);
}
db::Status writePayment(db::Table &t, const PaymentRecord &r)
{
    return paymentBinding().write(t, r);
}
db::Status loadLabel(const db::Table &t, LabelRecord &r)
{
    return labelBinding().read(t, r);
}
db::Status writeLabel(db::Table &t, const LabelRecord &r)
{
    return labelBinding().write(t, r);
}
db::Status loadZone(const db::Table &t, ZoneRecord &r)
{
    return zoneBinding().read(t, r);
}
db::Status writeZone(db::Table &t, const ZoneRecord &r)
{
    return zoneBinding().write(t, r);
}
db::Status loadImportFormat(const db::Table &t, ImportFormatRecord &r)
{
    return importFormatBinding().read(t, r);
}
db::Status writeImportFormat(db::Table &t, const ImportFormatRecord &r)
{
    return importFormatBinding().write(t, r);
}
db::Status loadImportDirs(const db::Table &t, ImportDirsRecord &r)
{
    return importDirsBinding().read(t, r);
}
db::Status writeImportDirs(db::Table &t, const ImportDirsRecord &r)
{
    return importDirsBinding().write(t, r);
}

} // namespace tallyra
