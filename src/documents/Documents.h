#pragma once

// The business documents built into the report buffer: the invoice (and the bill, titled
// "Statement" when nothing is due), the account statement and the packing list. Each builder adds
// one document at the end of the buffer, after an "EJECT" row when the buffer already holds one,
// so a run keeps several in one buffer; each begins with the letterhead and its own page count.
// No widgets and no tables: the runs (DocumentRun.h) load what these print.

#include "InvoiceModel.h"
#include "Letterhead.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

namespace tallyra {

class ReportBuffer;

enum class DocumentType
{
    Invoice,
    Bill,
    Statement, // the account statement of a customer
    PackingList,
};

// What every document prints besides its own data.
struct DocumentContext
{
    Letterhead letterhead;
    DocumentMeasure measure;
    QString shipLine = QStringLiteral("Shipping"); // captions of the two charge lines
    QString taxLine = QStringLiteral("Sales Tax");

    // The letterhead and captions of the settings record, measured by `measure`.
    static DocumentContext from(const SettingsRecord &settings, const DocumentMeasure &measure);
};

// The customer a document is addressed to. A customer that no longer exists is `found` false with
// an address block of one empty line.
struct DocumentCustomer
{
    bool found = false;
    qint64 number = 0;
    QString last; // the last name, for file names
    QStringList address{QString()};
    QString phone;
    QString email;
};

// Starts `buffer` with the layout of a document type: line width, cells, column codes, heading
// block and (for statements and packing lists) the title.
void startDocumentLayout(ReportBuffer &buffer, DocumentType type);

// "Invoice" for invoices; for bills "Bill" when `due` is above 0, otherwise "Statement".
QString documentWord(DocumentType type, double due);

// One invoice or bill document (type Invoice or Bill). In e-mail mode the customer's note is left
// off. The totals are worked as the invoice window works them; "Balance Due:" prints the amount
// due as held. Invoices end with the products' texts and the invoice memo, wrapped to the line.
// REQUIRES: the buffer started with the Invoice layout.
void buildInvoiceDocument(ReportBuffer &buffer, const DocumentContext &context, DocumentType type,
                          const CurrentInvoice &invoice, const DocumentCustomer &customer, bool emailMode);

// One entry of an account statement, as its row prints it.
struct StatementLine
{
    QString number; // IvNo right-aligned in six characters
    QString date;   // IDate in the short date format
    double charges = 0;
    double payments = 0;
    double due = 0; // Due as stored
};

// The statement entry of an invoice: charges are the items' quantity × price summed unrounded,
// less the rounded discount, plus both charge lines; payments the sum of its payments.
StatementLine statementLine(const CurrentInvoice &invoice);

// One account statement. REQUIRES: the buffer started with the Statement layout.
void buildStatementDocument(ReportBuffer &buffer, const DocumentContext &context,
                            const DocumentCustomer &customer, const QList<StatementLine> &lines);

// One packing list: ship-to address, invoice number and the items with their quantities, never
// prices. REQUIRES: the buffer started with the PackingList layout.
void buildPackingListDocument(ReportBuffer &buffer, const DocumentContext &context,
                              const CurrentInvoice &invoice, const DocumentCustomer &customer);

// The file name the PDF export proposes for one document: "Invoice 1001.pdf", "Bill 1001.pdf",
// "Statement 42 Holloway.pdf", "Packing List 1001.pdf". Characters a file name cannot hold are
// replaced by "_".
QString documentFileName(DocumentType type, qint64 number, const QString &word = {},
                         const QString &last = {});

} // namespace tallyra
