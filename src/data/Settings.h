#pragma once

// The settings record: the one record of TLR2, loaded once at start-up and written back whole
// each time a preference changes.

#include "Conversions.h"
#include "Tables.h"
#include "engine/Engine.h"

#include <QString>

namespace tallyra {

struct SettingsRecord
{
    QString FontName;    // report font; empty: the main window's font
    qint64 FontSize = 0; // points; 0 or less: unchanged
    QString LabID;       // Name of the label stock used last (LABELS.Name is as wide)
    QString Company;
    QString Addr1;
    QString Addr2;
    QString Addr3;
    QString Addr4;
    QString CloLine;
    QString SigLine;
    QString LogoFile;
    double LogoHeight = 0;                            // inches
    double LogoWidth = 0;                             // inches
    QString ShipLine;                                 // caption of the first charge line
    QString TaxLine;                                  // caption of the second charge line
    qint64 ShipTax = 1;                               // 1 "No", 2 "Yes", 3 "When Tax on Items"
    ChargeRounding TaxRound = ChargeRounding::Normal; // stored 1 "Normal", 2 "Up", 3 "Down"
    qint64 LHJustify = 1;                             // 1 "Left", 2 "Center", 3 "Right"
    double TaxRate1 = 0;                              // percent
    double TaxRate2 = 0;                              // percent
    double TopMargin = 0;                             // inches
    bool ByCust = true;                               // pick lists by name (true) or by e-mail address
    bool fifo = true;                                 // first in, first out (true) or last in, first out
    QString MailHost;                                 // the five mail fields are held trimmed
    QString MailID;
    QString MailAddr;
    QString MailName;
    QString MailReply;

    // E-mail counts as set up when both the host and the sender's address are given.
    bool mailSetUp() const { return !MailHost.isEmpty() && !MailAddr.isEmpty(); }
    bool operator==(const SettingsRecord &) const = default;
};

// The process-wide settings record.
SettingsRecord &settings();

// The outcome of loading or saving. When TLR2 cannot be opened (or holds no record, which the
// program never adds, or its record cannot be read at start-up) openFailed is set and the shell shows
// message(), the open failure for "TLR2.DBF", and ends the program. A write that fails after the open (a full
// disk) leaves openFailed clear; message() then says the settings were not saved and why.
struct SettingsResult
{
    db::Status status;
    bool openFailed = false;

    bool ok() const { return status.isOk(); }
    explicit operator bool() const { return ok(); }
    QString message() const;
};

// Opens TLR2 without index, reads its first record into `into`, closes all tables. Texts are held
// as stored with trailing blanks removed; the mail fields are trimmed on both sides. On failure
// `into` is unchanged.
SettingsResult loadSettings(db::Engine &engine, SettingsRecord &into = settings());
// Opens TLR2 without index, assigns every field of `from` to its first record and closes TLR2,
// which writes and syncs the record. Texts are written from at most 59 characters, the mail
// fields (trimmed first) from 69 and the logo path from 126; logicals as "T" or "F".
SettingsResult saveSettings(db::Engine &engine, const SettingsRecord &from = settings());

// The field-level reader and writer under load and save, for a TLR2 table already open on its
// record (tallyra-init appends the first record with them). The writer does not flush.
db::Status readSettingsRecord(const db::Table &tlr2, SettingsRecord &into);
db::Status writeSettingsRecord(db::Table &tlr2, const SettingsRecord &from);

// The values of a new business: "Shipping" and "Sales Tax", rates 0, "No" and "Normal",
// left-justified letterhead, customers by name, first in first out, report font
// "DejaVu Sans Mono" at 10 points.
SettingsRecord defaultSettings();

} // namespace tallyra
