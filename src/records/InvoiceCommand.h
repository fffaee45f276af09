#pragma once

// How the invoice window joins the program: the windows it reaches (the customer and product
// pick lists with "New", the customer form) and its registration as the edit window of the
// main window's "Invoices" loop, with the invoice pick list.

#include "InvoiceU.h"

class QWidget;

namespace tallyra {

// The invoice window's collaborators in the program, over the engine's open tables: customer and
// product picks through the registered record windows of those kinds (their pick lists with
// "New", which opens their forms), or the bare pick lists while no form is registered; the
// customer form on "Edit"; the document hooks as invoiceDocumentHooks() holds them.
InvoiceCollaborators programInvoiceCollaborators(db::Engine &engine);

// The document hooks of the invoice window (printInvoice, emailInvoice, printPackingList). The
// documents live in a library above this one; the program fills these when it registers its
// commands, and an empty hook leaves its button disabled.
InvoiceCollaborators &invoiceDocumentHooks();

// The invoice window on `selection` (0: a new invoice) with the program's collaborators and the
// charge lines of the settings record. Returns the selection it leaves (see TInvoice::run).
qint64 editInvoice(QWidget *parent, db::Engine &engine, qint64 selection);

// Registers "Select Invoice" and the invoice window as the record windows of invoices, on the
// program's engine (database()).
void registerInvoiceWindows();

} // namespace tallyra
