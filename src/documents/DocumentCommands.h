#pragma once

// The document commands of the program: they ask for the selection (date span, pick lists), run
// the documents into the program's report buffer and show the viewer, or in e-mail mode hand each
// document to a sender. Each command opens the tables of the invoice command and closes all tables
// at its end, except the invoice window's, which works on the tables its command holds open.

#include "Documents.h"
#include "Maintenance.h"
#include "engine/Engine.h"

#include <QString>

class QWidget;

namespace tallyra {

class DocumentSender;

// The letterhead and captions of the settings record, measured on the current printer in the
// report font.
DocumentContext programDocumentContext();

// "Print Selected Dates", "Print with Balance Due", the main window's "Print Invoices" and
// "Packing List" (and the e-mail commands when `sender` is given): the date span is asked, preset
// to today (invoices, packing lists) or to the current month (bills, statements); "Cancel" ends
// the command. False only when a table cannot be opened: *openFailure gets the fatal message the
// shell shows.
bool runDocumentsByDate(QWidget *parent, db::Engine &engine, DocumentType type,
                        const ProgressDisplay &progress, DocumentSender *sender = nullptr,
                        QString *openFailure = nullptr);

// "Print Selected Invoices", the bills' and statements' "Print Selected" (and their e-mail
// commands): the invoice pick list (customer pick list for statements) opens again after every
// pick until it is closed without one; each pick is built at once (and sent). Without invoices:
// "No invoices to select.". False only when a table cannot be opened.
bool runDocumentsPicked(QWidget *parent, db::Engine &engine, DocumentType type,
                        const ProgressDisplay &progress, DocumentSender *sender = nullptr,
                        QString *openFailure = nullptr);

// The invoice window's "Print", "Packing List" and "EMail": the invoice as the window holds it,
// as an Invoice or PackingList document, on the tables the invoice command holds open.
void runCurrentInvoice(QWidget *parent, db::Engine &engine, const CurrentInvoice &invoice, DocumentType type,
                       DocumentSender *sender = nullptr);

// "Stationery": the stationery window over the settings record, stored in TLR2 on "Save".
void runStationery(QWidget *parent, db::Engine &engine);

} // namespace tallyra
