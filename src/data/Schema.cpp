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

// A table whose files are named after it: "<name>.DBF", "<name>.DBT" when it has a memo field,
// "<name>.cgp" when it has tags. It opens on its first tag; an open failure names its data file,
// a tag that cannot be selected tagFailFile.
TableDef table(TableId id, const char *name, const QList<FieldDef> &fields, const QList<TagDef> &tags = {},
               const char *tagFailFile = nullptr)
{
    TableDef d;
    d.id = id;
    d.name = QString::fromLatin1(name);
    d.fileName = d.openFailFile = d.name + QStringLiteral(".DBF");
    for (const FieldDef &f : fields) {
        if (f.type == FieldType::Memo)
            d.memoFileName = d.name + QStringLiteral(".DBT");
    }
    d.fields = fields;
    d.tags = tags;
    if (!tags.isEmpty()) {
        d.groupFileName = d.name + QStringLiteral(".cgp");
        d.openTag = tags.first().name;
    }
    if (tagFailFile)
        d.tagFailFile = QString::fromLatin1(tagFailFile);
    return d;
}

// Money: up to 99,999,999.99 and its negative. Quantities take the same width.
constexpr int kMoney = 12;
// Texts the forms leave unbounded are kept to what the writers keep: 59 characters.
constexpr int kFree = 2 * kTextLimit;

QList<TableDef> makeTables()
{
    QList<TableDef> t;

    t.append(table(TableId::Settings, "TLR2",
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
                    chr("MailReply", 2 * kMailTextLimit)}));

    t.append(table(TableId::Customers, "CUST5",
                   {num("CuNo", 6), chr("Title", 6), chr("First", 26), chr("Last", 40), chr("Addr1", 68),
                    chr("Addr2", 68), chr("Addr3", 68), chr("Addr4", 38), chr("Zip", 20), memo("Comments"),
                    num("NGroup", 2), chr("Note", 68), chr("Phone", 40), chr("Fax", 40),
                    chr("EMail", 2 * kEmailTextLimit)},
                   {tag("CName", "Upper(Last + First)", "cName.ntx"), tag("CCNO", "Str(CuNo, 6)", "ccno.ntx"),
                    tag("CZip", "Zip", "czip.ntx"), tag("cComp", "Addr1", "ccomp.ntx"),
                    tag("cEMail", "Upper(EMail)", "cEmail.ntx")},
                   "AccTag.Ntx"));

    t.append(
        table(TableId::Groups, "GROUPS", {num("nGroup", 2), chr("cGroup", kFree)},
              {tag("NGroup", "Str(nGroup, 2)", "nGroup.ntx"), tag("CGroup", "Upper(cGroup)", "cGroup.ntx")},
              "AccTag.Ntx"));

    t.append(table(TableId::Products, "Prod5",
                   {chr("PrID", 20), chr("RCode", 20), chr("PDesc", 54), chr("IComm", 54),
                    num("UPrice", kMoney, 2), logical("LTax1"), logical("LTax2"), logical("lInven"),
                    num("REORDER", kMoney, 2), num("ONHAND", kMoney, 2), memo("PMemo"), logical("lBuild")},
                   {tag("Prod", "Upper(PrID)", "Prod.ntx")}, "Prod.Ntx"));

    t.append(table(TableId::Purchases, "Pur5",
                   {chr("PURProd", 20), date("PURDate"), num("PURQty", kMoney, 2), num("PURCost", 14, 2),
                    num("PURNo", 10)},
                   {tag("Pur", "Upper(PurProd) + DTOS(PURDATE)", "Pur.ntx")}, "Pur.Ntx"));

    t.append(table(TableId::Invoices, "INV6",
                   {num("IvNo", 6), num("CuNo", 6), chr("Dept", kFree), date("IDate"), chr("IMemo", 60),
                    num("Discount", 6, 2), num("Ship", kMoney, 2), num("Tax", kMoney, 2),
                    num("Due", kMoney, 2), memo("REM")},
                   {tag("Inv", "Str(IvNo,6,0)", "inv.ntx"), tag("InvC", "Str(CuNo,6,0)", "invc.ntx"),
                    tag("InvD", "DTOS(IDate)", "invd.ntx")},
                   "Inv.Ntx"));

    t.append(table(TableId::Items, "ITM5",
                   {num("IvNo", 6), chr("PrID", 20), num("Qty", kMoney, 2), num("UPR", kMoney, 2),
                    logical("LTax1"), logical("LTax2"), chr("PDesc", 54), chr("IComm", 54), logical("lBuild"),
                    num("BackOrder", 6)},
                   {tag("Itm", "Str(IvNo,6,0)", "itm.ntx"), tag("ItmP", "PrID + Str(IvNo,6,0)", "itmP.ntx")},
                   "Itm.Ntx"));

    t.append(table(TableId::Payments, "PMT", {num("IvNo", 6), date("PDate"), num("PAmt", kMoney, 2)},
                   {tag("Pmt", "Str(IvNo,6,0)", "Pmt.ntx"), tag("PmtD", "DTOS(PDate)", "PmtD.ntx")},
                   "Pmt.Ntx"));

    t.append(table(TableId::Labels, "LABELS",
                   {chr("Name", 80), num("TopM", 9, 3), num("LeftM", 9, 3), num("BottomM", 9, 3),
                    num("RightM", 9, 3), num("Width", 9, 3), num("Height", 9, 3), num("HGap", 9, 3),
                    num("VGap", 9, 3), num("NAcross", 1), logical("Continuous")},
                   {tag("Labels", "Name", "Labels.ntx")}, "Labels.Ntx"));

    // Three-character postal-code prefixes; kept twice as wide as the other character fields.
    t.append(table(TableId::Zones, "ZZone", {chr("SZip", 6), chr("EZip", 6), num("Zone", 6)},
                   {tag("ZZone", "SZip", "ZZone.ntx")}, "ZZone.Ntx"));

    QList<FieldDef> formats{chr("FmtName", 60), num("FmtType", 2)};
    for (int i = 1; i <= 14; ++i)
        formats.append(num(QByteArray("Fld" + QByteArray::number(i)).constData(), 3));
    formats.append({num("DELIM", 3), num("nFields", 3)});
    t.append(table(TableId::ImportFormats, "ImportF", formats));

    // Opened as Impdirs, created as ImpDirs.DBF.
    TableDef dirs = table(TableId::ImportDirs, "Impdirs",
                          {chr("InfoDir", 2 * kPathTextLimit), chr("OrderDir", 2 * kPathTextLimit)});
    dirs.fileName = dirs.openFailFile = QStringLiteral("ImpDirs.DBF");
    t.append(dirs);

    // Mail settings beyond TLR2's, so TLR2 keeps the layout other tools know. One record,
    // created with the table when missing. CertDigest: the SHA-256 digest (hex) of a certificate
    // the user accepted for CertHost.
    t.append(table(TableId::MailServer, "MailSet",
                   {num("Port", 5), num("Security", 1), chr("LoginUser", 2 * kMailTextLimit),
                    logical("RememberPw"), logical("AttachPdf"), chr("CertHost", 2 * kMailTextLimit),
                    chr("CertDigest", 64)}));
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
