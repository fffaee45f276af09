#pragma once

// A run of documents over the tables: which invoices or customers a selection takes, loading each
// with its customer, building it into the buffer, and in e-mail mode handing each document to the
// sender on its own. No widgets: the windows (DocumentCommands.h) and the command-line program
// ask for the selection and show or write the buffer afterwards.

#include "Documents.h"
#include "Maintenance.h"
#include "engine/Engine.h"

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QString>
#include <functional>

class QPageLayout;

namespace tallyra {

class DocumentSender;
class ReportBuffer;

class DocumentRun
{
public:
    // The tables of the invoice command must be open (InvoiceStore::openTables); the run never
    // closes them. The buffer is started with the layout of `type`. With a sender the run is in
    // e-mail mode: every document is sent as soon as it is built (to customers with an address
    // longer than three characters) and the buffer emptied for the next; the customer's note is
    // left off.
    DocumentRun(db::Engine &engine, ReportBuffer &buffer, const DocumentContext &context, DocumentType type,
                DocumentSender *sender = nullptr);
    ~DocumentRun();
    DocumentRun(const DocumentRun &) = delete;
    DocumentRun &operator=(const DocumentRun &) = delete;

    // The processing message and percentage of date-span runs, and the status text of e-mail mode
    // ("Sending EMail 3" while a document is sent, cleared by end()).
    void setProgress(const ProgressDisplay &progress) { m_progress = progress; }
    // Prints a document to PDF for the sender to attach; without one no attachment is offered.
    void setPdfRenderer(std::function<QByteArray(const ReportBuffer &)> render) { m_pdf = std::move(render); }

    // Every document of a date span. Invoices, bills and packing lists: the invoices dated from
    // `from` to `to` in date order (bills only those with an amount due above 0). Statements: every
    // customer in postal-code order, each with the invoices of the span whose amount due is not 0.
    // False when the run stopped (see failure()).
    bool runDateSpan(const QDate &from, const QDate &to);
    // One document chosen by hand: the invoice of INV6 record recNo (a bill whatever is due), or
    // for statements the customer of CUST5 record recNo with all its invoices. A customer without
    // invoices gets no statement. False when the run stopped.
    bool addRecord(quint32 recNo);
    // The invoice as the invoice window holds it (types Invoice, Bill, PackingList).
    bool addInvoice(const CurrentInvoice &invoice);

    // The INV6 record of an invoice number / the CUST5 record of a customer number; 0 for none.
    quint32 invoiceRecord(qint64 number) const;
    quint32 customerRecord(qint64 number) const;

    int documents() const { return m_documents; } // built
    int sent() const { return m_sent; }
    bool failed() const { return !m_failure.isEmpty(); }
    // Why the run stopped: the sender's message, or a table that could not be read.
    QString failure() const { return m_failure; }
    // The name the PDF export proposes for what the run built: the document's own name for one
    // ("Invoice 1001.pdf"), the word and the range of invoice numbers for several ("Invoices
    // 1001-1005.pdf", "Packing Lists 7-9.pdf"), "Statements.pdf" for several statements.
    QString fileName() const;

private:
    DocumentCustomer customerAt(quint32 recNo) const;
    DocumentCustomer customerByNumber(qint64 number) const;
    bool invoiceDocument(const CurrentInvoice &invoice, bool requireDue);
    bool statementOf(quint32 customerRecNo, const QDate &from, const QDate &to, bool dueOnly);
    bool finishDocument(const DocumentCustomer &customer, const QString &word, qint64 number);
    bool readFailure(const db::Status &status);

    db::Engine &m_engine;
    ReportBuffer &m_buffer;
    DocumentContext m_context;
    DocumentType m_type;
    DocumentSender *m_sender;
    class InvoiceReader;
    std::unique_ptr<InvoiceReader> m_reader;
    ProgressDisplay m_progress;
    std::function<QByteArray(const ReportBuffer &)> m_pdf;
    int m_documents = 0;
    int m_sent = 0;
    int m_counter = 0;
    QString m_failure;
    // Customers already read in this run; nothing is written while it runs.
    mutable QHash<qint64, DocumentCustomer> m_customers;
    QString m_firstName;
    qint64 m_firstNumber = 0;
    qint64 m_lastNumber = 0;
};

// The buffer printed to PDF with a page layout and resolution, as bytes (for attachments).
QByteArray documentPdf(const ReportBuffer &buffer, const QPageLayout &layout, int resolution,
                       const QFont &font);

} // namespace tallyra
