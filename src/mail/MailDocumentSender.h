#pragma once

// The sender the document runs use in e-mail mode: each document goes to its customer through
// the send routine of the e-mail window (without showing it), with its PDF attached when the
// mail settings ask for it.

#include "DocumentSender.h"
#include "EMailU.h"

#include <memory>

namespace tallyra {

class MailDocumentSender : public DocumentSender
{
public:
    // interactive false: a command-line run (see TEMailF::setInteractive).
    MailDocumentSender(db::Engine &engine, QWidget *parent, bool interactive = true);
    ~MailDocumentSender() override;

    bool send(const OutgoingDocument &document, QString *error) override;

    TEMailF &window() { return *m_window; }

private:
    db::Engine &m_engine;
    std::unique_ptr<TEMailF> m_window;
    int m_attachPdf = -1; // read from the mail settings at the first document
};

} // namespace tallyra
