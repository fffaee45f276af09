#include "Settings.h"

#include "RecordBinding.h"
#include "Schema.h"

namespace tallyra {

namespace {

// The mail fields are held trimmed; the writer does not flush (closing TLR2 writes the record).
const RecordBinding<SettingsRecord> &settingsBinding()
{
    using R = SettingsRecord;
    using B = Bind<R>;
    static const RecordBinding<R> b(
        {
            B::text("FontName", &R::FontName),
            B::integer("FontSize", &R::FontSize),
            B::text("LabID", &R::LabID),
            B::text("Company", &R::Company),
            B::text("Addr1", &R::Addr1),
            B::text("Addr2", &R::Addr2),
            B::text("Addr3", &R::Addr3),
            B::text("Addr4", &R::Addr4),
            B::text("CloLine", &R::CloLine),
            B::text("SigLine", &R::SigLine),
            B::text("LogoFile", &R::LogoFile, kPathTextLimit),
            B::number("LogoHeight", &R::LogoHeight),
            B::number("LogoWidth", &R::LogoWidth),
            B::text("ShipLine", &R::ShipLine),
            B::text("TaxLine", &R::TaxLine),
            B::integer("ShipTax", &R::ShipTax),
            B::rounding("TaxRound", &R::TaxRound),
            B::integer("LHJustify", &R::LHJustify),
            B::number("TaxRate1", &R::TaxRate1),
            B::number("TaxRate2", &R::TaxRate2),
            B::number("TopMargin", &R::TopMargin),
            B::logical("ByCust", &R::ByCust),
            B::logical("fifo", &R::fifo),
            B::text("MailHost", &R::MailHost, kMailTextLimit, true),
            B::text("MailID", &R::MailID, kMailTextLimit, true),
            B::text("MailAddr", &R::MailAddr, kMailTextLimit, true),
            B::text("MailName", &R::MailName, kMailTextLimit, true),
            B::text("MailReply", &R::MailReply, kMailTextLimit, true),
        },
        Flush::Later);
    return b;
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
    SettingsRecord r;
    const db::Status s = settingsBinding().read(t, r);
    if (s.isOk())
        into = r;
    return s;
}

db::Status writeSettingsRecord(db::Table &t, const SettingsRecord &from)
{
    return settingsBinding().write(t, from);
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
