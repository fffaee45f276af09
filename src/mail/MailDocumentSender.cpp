#include "MailDocumentSender.h"

namespace tallyra {

MailDocumentSender::MailDocumentSender(db::Engine &engine, QWidget *parent, bool interactive)
    : m_engine(engine)
    , m_window(std::make_unique<TEMailF>(engine, parent))
{
    m_window->setInteractive(interactive);
}

MailDocumentSender::~MailDocumentSender() = default;

bool MailDocumentSender::send(const OutgoingDocument &document, QString *error)
{
    if (document.recipients.isEmpty())
        return true;
    if (m_attachPdf < 0) {
        MailServerSettings server;
        if (!loadMailServerSettings(m_engine, &server, error))
            return false;
        m_attachPdf = server.attachPdf ? 1 : 0;
    }
    TEMailF &w = *m_window;
    w.clearMessage();
    w.setRecipients(document.recipients);
    w.setSubject(document.subject.trimmed());
    w.setText(document.text);
    if (m_attachPdf == 1 && document.renderPdf) {
        const QByteArray pdf = document.renderPdf();
        if (!pdf.isEmpty())
            w.setAttachments({MemoryAttachment{document.attachmentName, pdf}});
    }
    return w.send(error);
}

} // namespace tallyra
