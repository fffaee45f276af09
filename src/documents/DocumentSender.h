#pragma once

// The hand-over between the document runs and the mail subsystem. A run in e-mail mode builds one
// document at a time and gives it to a DocumentSender; the mail subsystem provides the sender that
// talks to the mail server (or hands a "mailto:" link to the desktop), tests provide one that
// records what it is given.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

namespace tallyra {

struct OutgoingDocument
{
    QStringList recipients; // the customer's trimmed e-mail address (one, for documents)
    QString recipientName;  // the customer's name as the address block shows it, may be empty
    QString subject;        // the document word: "Invoice", "Bill", "Statement", "Account Statement"
    QString text;           // the document's e-mail text (the buffer's e-mail rendering)
    QString attachmentName; // the name the viewer's PDF export proposes: "Invoice 1001.pdf"
    // Prints the document to PDF when the sender attaches it; the run keeps the document's buffer
    // alive until send() returns.
    std::function<QByteArray()> renderPdf;
};

class DocumentSender
{
public:
    virtual ~DocumentSender() = default;

    // Sends one document. False stops the run at this document: *error (never null) is then the
    // message the caller shows. The run's status line counts the documents sent.
    virtual bool send(const OutgoingDocument &document, QString *error) = 0;
};

} // namespace tallyra
