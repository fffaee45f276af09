#include "Schema.h"

namespace tallyra {

namespace {

using db::FieldDef;
using db::FieldType;
using db::TagDef;

FieldDef chr(const char *name, int bytes)
{
    return {name, FieldType::Character, bytes, 0};
}

FieldDef num(const char *name, int length, int decimals = 0)
{
    return {name, FieldType::Numeric, length, decimals};
}

FieldDef date(const char *name)
{
    return {name, FieldType::Date, 8, 0};
}

FieldDef logical(const char *name)
{
    return {name, FieldType::Logical, 1, 0};
}

FieldDef memo(const char *name)
{
    return {name, FieldType::Memo, 10, 0};
}

TagDef tag(const char *name, const char *expression, const char *fileName)
{
    TagDef t;
    t.name = QString::fromLatin1(name);
    t.expression = QString::fromLatin1(expression);
    t.fileName = QString::fromLatin1(fileName);
    return t;
}

// Money: up to 99,999,999.99 and its negative. Quantities take the same width.
constexpr int kMoney = 12;
// Texts the forms leave unbounded are kept to what the writers keep: 59 characters.
constexpr int kFree = 2 * kTextLimit;

QList<TableDef> makeTables()
{
    QList<TableDef> t;

    t.append({TableId::Settings,
              "TLR2",
              "TLR2.DBF",
              {},
              {},
              {chr("FontName", kFree),
               num("FontSize", 3),
               chr("LabID", 80),
               chr("Company", 70),
               chr("Addr1", 70),
               chr("Addr2", 70),
               chr("Addr3", 70),
               chr("Addr4", 50),
               chr("CloLine", 50),
               chr("SigLine", kFree),
               chr("LogoFile", 2 * kPathTextLimit),
               num("LogoHeight", 6, 2),
               num("LogoWidth", 6, 2),
               chr("ShipLine", kFree),
               chr("TaxLine", kFree),
               num("ShipTax", 1),
               num("TaxRound", 1),
               num("LHJustify", 1),
               num("TaxRate1", 6, 2),
               num("TaxRate2", 6, 2),
               num("TopMargin", 6, 2),
               logical("ByCust"),
               logical("fifo"),
               chr("MailHost", 2 * kMailTextLimit),
               chr("MailID", 2 * kMailTextLimit),
               chr("MailAddr", 2 * kMailTextLimit),
               chr("MailName", 2 * kMailTextLimit),
               chr("MailReply", 2 * kMailTextLimit)},
              {},
              {},
              "TLR2.DBF",
              {}});

    t.append({TableId::Customers,
              "CUST5",
              "CUST5.DBF",
              "CUST5.DBT",
              "CUST5.cgp",
              {num("CuNo", 6), chr("Title", 6), chr("First", 26), chr("Last", 40), chr("Addr1", 68),
               chr("Addr2", 68), chr("Addr3", 68), chr("Addr4", 38), chr("Zip", 20), memo("Comments"),
               num("NGroup", 2), chr("Note", 68), chr("Phone", 40), chr("Fax", 40),
               chr("EMail", 2 * kEmailTextLimit)},
              {tag("CName", "Upper(Last + First)", "cName.ntx"), tag("CCNO", "Str(CuNo, 6)", "ccno.ntx"),
               tag("CZip", "Zip", "czip.ntx"), tag("cComp", "Addr1", "ccomp.ntx"),
               tag("cEMail", "Upper(EMail)", "cEmail.ntx")},
              "CName",
              "CUST5.DBF",
              "AccTag.Ntx"});

    t.append({TableId::Groups,
              "GROUPS",
              "GROUPS.DBF",
              {},
              "GROUPS.cgp",
              {num("nGroup", 2), chr("cGroup", kFree)},
              {tag("NGroup", "Str(nGroup, 2)", "nGroup.ntx"), tag("CGroup", "Upper(cGroup)", "cGroup.ntx")},
              "NGroup",
              "GROUPS.DBF",
              "AccTag.Ntx"});

    t.append({TableId::Products,
              "Prod5",
              "Prod5.DBF",
              "Prod5.DBT",
              "Prod5.cgp",
              {chr("PrID", 20), chr("RCode", 20), chr("PDesc", 54), chr("IComm", 54),
               num("UPrice", kMoney, 2), logical("LTax1"), logical("LTax2"), logical("lInven"),
               num("REORDER", kMoney, 2), num("ONHAND", kMoney, 2), memo("PMemo"), logical("lBuild")},
              {tag("Prod", "Upper(PrID)", "Prod.ntx")},
              "Prod",
              "Prod5.DBF",
              "Prod.Ntx"});

    t.append({TableId::Purchases,
              "Pur5",
              "Pur5.DBF",
              {},
              "Pur5.cgp",
              {chr("PURProd", 20), date("PURDate"), num("PURQty", kMoney, 2), num("PURCost", 14, 2),
               num("PURNo", 10)},
              {tag("Pur", "Upper(PurProd) + DTOS(PURDATE)", "Pur.ntx")},
              "Pur",
              "Pur5.DBF",
              "Pur.Ntx"});

    t.append({TableId::Invoices,
              "INV6",
              "INV6.DBF",
              "INV6.DBT",
              "INV6.cgp",
              {num("IvNo", 6), num("CuNo", 6), chr("Dept", kFree), date("IDate"), chr("IMemo", 60),
               num("Discount", 6, 2), num("Ship", kMoney, 2), num("Tax", kMoney, 2), num("Due", kMoney, 2),
               memo("REM")},
              {tag("Inv", "Str(IvNo,6,0)", "inv.ntx"), tag("InvC", "Str(CuNo,6,0)", "invc.ntx"),
               tag("InvD", "DTOS(IDate)", "invd.ntx")},
              "Inv",
              "INV6.DBF",
              "Inv.Ntx"});

    t.append(
        {TableId::Items,
         "ITM5",
         "ITM5.DBF",
         {},
         "ITM5.cgp",
         {num("IvNo", 6), chr("PrID", 20), num("Qty", kMoney, 2), num("UPR", kMoney, 2), logical("LTax1"),
          logical("LTax2"), chr("PDesc", 54), chr("IComm", 54), logical("lBuild"), num("BackOrder", 6)},
         {tag("Itm", "Str(IvNo,6,0)", "itm.ntx"), tag("ItmP", "PrID + Str(IvNo,6,0)", "itmP.ntx")},
         "Itm",
         "ITM5.DBF",
         "Itm.Ntx"});

    t.append({TableId::Payments,
              "PMT",
              "PMT.DBF",
              {},
              "PMT.cgp",
              {num("IvNo", 6), date("PDate"), num("PAmt", kMoney, 2)},
              {tag("Pmt", "Str(IvNo,6,0)", "Pmt.ntx"), tag("PmtD", "DTOS(PDate)", "PmtD.ntx")},
              "Pmt",
              "PMT.DBF",
              "Pmt.Ntx"});

    t.append({TableId::Labels,
              "LABELS",
              "LABELS.DBF",
              {},
              "LABELS.cgp",
              {chr("Name", 80), num("TopM", 9, 3), num("LeftM", 9, 3), num("BottomM", 9, 3),
               num("RightM", 9, 3), num("Width", 9, 3), num("Height", 9, 3), num("HGap", 9, 3),
               num("VGap", 9, 3), num("NAcross", 1), logical("Continuous")},
              {tag("Labels", "Name", "Labels.ntx")},
              "Labels",
              "LABELS.DBF",
              "Labels.Ntx"});

    // Three-character postal-code prefixes; kept twice as wide as the other character fields.
    t.append({TableId::Zones,
              "ZZone",
              "ZZone.DBF",
              {},
              "ZZone.cgp",
              {chr("SZip", 6), chr("EZip", 6), num("Zone", 6)},
              {tag("ZZone", "SZip", "ZZone.ntx")},
              "ZZone",
              "ZZone.DBF",
              "ZZone.Ntx"});

    QList<FieldDef> formats{chr("FmtName", 60), num("FmtType", 2)};
    for (int i = 1; i <= 14; ++i)
        formats.append(num(QByteArray("Fld" + QByteArray::number(i)).constData(), 3));
    formats.append({num("DELIM", 3), num("nFields", 3)});
    t.append({TableId::ImportFormats, "ImportF", "ImportF.DBF", {}, {}, formats, {}, {}, "ImportF.DBF", {}});

    t.append({TableId::ImportDirs,
              "Impdirs",
              "ImpDirs.DBF",
              {},
              {},
              {chr("InfoDir", 2 * kPathTextLimit), chr("OrderDir", 2 * kPathTextLimit)},
              {},
              {},
              "ImpDirs.DBF",
              {}});

    // Mail settings beyond TLR2's, so TLR2 keeps the layout other tools know. One record,
    // created with the table when missing. CertDigest: the SHA-256 digest (hex) of a certificate
    // the user accepted for CertHost.
    t.append(
        {TableId::MailServer,
         "MailSet",
         "MailSet.DBF",
         {},
         {},
         {num("Port", 5), num("Security", 1), chr("LoginUser", 2 * kMailTextLimit), logical("RememberPw"),
          logical("AttachPdf"), chr("CertHost", 2 * kMailTextLimit), chr("CertDigest", 64)},
         {},
         {},
         "MailSet.DBF",
         {}});
    return t;
}

} // namespace

QStringList TableDef::indexFiles() const
{
    QStringList files;
    for (const db::TagDef &t : tags)
        files << t.fileName;
    if (!groupFileName.isEmpty())
        files << groupFileName;
    return files;
}

const QList<TableDef> &schemaTables()
{
    static const QList<TableDef> tables = makeTables();
    return tables;
}

const TableDef &tableDef(TableId id)
{
    return schemaTables().at(static_cast<int>(id));
}

const TableDef *findTableDef(const QString &name)
{
    for (const TableDef &t : schemaTables()) {
        if (t.name.compare(name, Qt::CaseInsensitive) == 0)
            return &t;
    }
    return nullptr;
}

} // namespace tallyra
