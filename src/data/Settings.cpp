#include "Settings.h"

#include "Conversions.h"
#include "Schema.h"

#include <initializer_list>
#include <vector>

namespace tallyra {

namespace {

const char *const kFieldNames[] = {"FontName",  "FontSize", "LabID",     "Company",  "Addr1",    "Addr2",
                                   "Addr3",     "Addr4",    "CloLine",   "SigLine",  "LogoFile", "LogoHeight",
                                   "LogoWidth", "ShipLine", "TaxLine",   "ShipTax",  "TaxRound", "LHJustify",
                                   "TaxRate1",  "TaxRate2", "TopMargin", "ByCust",   "fifo",     "MailHost",
                                   "MailID",    "MailAddr", "MailName",  "MailReply"};
enum
{
    sFontName,
    sFontSize,
    sLabID,
    sCompany,
    sAddr1,
    sAddr2,
    sAddr3,
    sAddr4,
    sCloLine,
    sSigLine,
    sLogoFile,
    sLogoHeight,
    sLogoWidth,
    sShipLine,
    sTaxLine,
    sShipTax,
    sTaxRound,
    sLHJustify,
    sTaxRate1,
    sTaxRate2,
    sTopMargin,
    sByCust,
    sFifo,
    sMailHost,
    sMailID,
    sMailAddr,
    sMailName,
    sMailReply,
    sCount
};

db::Status fieldIndexes(const db::Table &t, std::vector<int> *out)
{
    out->clear();
    for (const char *name : kFieldNames) {
        const int i = t.fieldIndex(name);
        if (i < 0)
            return db::Status::invalid(
                QStringLiteral("%1: field %2 is missing").arg(t.fileName(), QLatin1String(name)));
        out->push_back(i);
    }
    return db::Status::ok();
}

// Opens TLR2 on its one record; nullptr (and the reason) when it cannot be opened or is empty.
db::Table *openRecord(db::Engine &engine, SettingsResult *result)
{
    const OpenResult open = openSettingsTable(engine);
    if (!open) {
        result->status = open.status;
        result->openFailed = true;
        return nullptr;
    }
    if (open.table->recNo() == 0) {
        result->status = db::Status::notFound(
            QStringLiteral("%1: the settings record is missing").arg(open.table->fileName()));
        result->openFailed = true;
        engine.close(tableDef(TableId::Settings).name);
        return nullptr;
    }
    return open.table;
}

} // namespace

SettingsRecord &settings()
{
    static SettingsRecord s = defaultSettings();
    return s;
}

SettingsRecord defaultSettings()
{
    SettingsRecord s;
    s.FontName = QStringLiteral("DejaVu Sans Mono");
    s.FontSize = 10;
    s.ShipLine = QStringLiteral("Shipping");
    s.TaxLine = QStringLiteral("Sales Tax");
    s.ShipTax = 1;
    s.TaxRound = ChargeRounding::Normal;
    s.LHJustify = 1;
    s.ByCust = true;
    s.fifo = true;
    return s;
}

QString SettingsResult::message() const
{
    if (ok())
        return {};
    if (openFailed)
        return openFailureMessage(tableDef(TableId::Settings).openFailFile);
    return QStringLiteral("The settings could not be saved.\n") + status.toString();
}

db::Status readSettingsRecord(const db::Table &t, SettingsRecord &into)
{
    std::vector<int> f;
    db::Status s = fieldIndexes(t, &f);
    if (!s.isOk())
        return s;
    SettingsRecord r;
    r.FontName = t.text(f[sFontName]);
    r.FontSize = t.integer(f[sFontSize]);
    r.LabID = t.text(f[sLabID]);
    r.Company = t.text(f[sCompany]);
    r.Addr1 = t.text(f[sAddr1]);
    r.Addr2 = t.text(f[sAddr2]);
    r.Addr3 = t.text(f[sAddr3]);
    r.Addr4 = t.text(f[sAddr4]);
    r.CloLine = t.text(f[sCloLine]);
    r.SigLine = t.text(f[sSigLine]);
    r.LogoFile = t.text(f[sLogoFile]);
    r.LogoHeight = t.number(f[sLogoHeight]);
    r.LogoWidth = t.number(f[sLogoWidth]);
    r.ShipLine = t.text(f[sShipLine]);
    r.TaxLine = t.text(f[sTaxLine]);
    r.ShipTax = t.integer(f[sShipTax]);
    r.TaxRound = chargeRoundingFromStored(t.integer(f[sTaxRound]));
    r.LHJustify = t.integer(f[sLHJustify]);
    r.TaxRate1 = t.number(f[sTaxRate1]);
    r.TaxRate2 = t.number(f[sTaxRate2]);
    r.TopMargin = t.number(f[sTopMargin]);
    r.ByCust = t.logical(f[sByCust]);
    r.fifo = t.logical(f[sFifo]);
    r.MailHost = t.text(f[sMailHost]).trimmed();
    r.MailID = t.text(f[sMailID]).trimmed();
    r.MailAddr = t.text(f[sMailAddr]).trimmed();
    r.MailName = t.text(f[sMailName]).trimmed();
    r.MailReply = t.text(f[sMailReply]).trimmed();
    s = t.error();
    if (s.isOk())
        into = r;
    return s;
}

db::Status writeSettingsRecord(db::Table &t, const SettingsRecord &from)
{
    std::vector<int> f;
    db::Status s = fieldIndexes(t, &f);
    auto text = [&](int field, const QString &value, int limit = kTextLimit) {
        if (s.isOk())
            s = t.setText(f[field], cutText(value, limit));
    };
    auto number = [&](int field, double value) {
        if (s.isOk())
            s = t.setNumber(f[field], value);
    };
    auto integer = [&](int field, qint64 value) {
        if (s.isOk())
            s = t.setInteger(f[field], value);
    };
    auto logical = [&](int field, bool value) {
        if (s.isOk())
            s = t.setLogical(f[field], value);
    };
    text(sFontName, from.FontName);
    integer(sFontSize, from.FontSize);
    text(sLabID, from.LabID);
    text(sCompany, from.Company);
    text(sAddr1, from.Addr1);
    text(sAddr2, from.Addr2);
    text(sAddr3, from.Addr3);
    text(sAddr4, from.Addr4);
    text(sCloLine, from.CloLine);
    text(sSigLine, from.SigLine);
    text(sLogoFile, from.LogoFile, kPathTextLimit);
    number(sLogoHeight, from.LogoHeight);
    number(sLogoWidth, from.LogoWidth);
    text(sShipLine, from.ShipLine);
    text(sTaxLine, from.TaxLine);
    integer(sShipTax, from.ShipTax);
    integer(sTaxRound, qint64(from.TaxRound));
    integer(sLHJustify, from.LHJustify);
    number(sTaxRate1, from.TaxRate1);
    number(sTaxRate2, from.TaxRate2);
    number(sTopMargin, from.TopMargin);
    logical(sByCust, from.ByCust);
    logical(sFifo, from.fifo);
    text(sMailHost, from.MailHost, kMailTextLimit);
    text(sMailID, from.MailID, kMailTextLimit);
    text(sMailAddr, from.MailAddr, kMailTextLimit);
    text(sMailName, from.MailName, kMailTextLimit);
    text(sMailReply, from.MailReply, kMailTextLimit);
    return s;
}

SettingsResult loadSettings(db::Engine &engine, SettingsRecord &into)
{
    SettingsResult result;
    db::Table *t = openRecord(engine, &result);
    if (!t)
        return result;
    result.status = readSettingsRecord(*t, into);
    // A record that cannot be read (a field missing, a damaged table) leaves the program without
    // its settings, as a table that cannot be opened does: the same fatal message.
    result.openFailed = !result.status.isOk();
    const db::Status closed = engine.closeAll();
    if (result.status.isOk())
        result.status = closed;
    return result;
}

SettingsResult saveSettings(db::Engine &engine, const SettingsRecord &from)
{
    SettingsResult result;
    db::Table *t = openRecord(engine, &result);
    if (!t)
        return result;
    result.status = writeSettingsRecord(*t, from);
    // Closing writes the record and syncs the file.
    const db::Status closed = engine.close(tableDef(TableId::Settings).name);
    if (result.status.isOk())
        result.status = closed;
    return result;
}

} // namespace tallyra
