#pragma once

// The e-mail window "Email" and its send routine. Callers fill the recipients, the subject and
// the text, then either show the window (the user edits and presses "Send") or call send()
// directly. With a mail server set up the message goes through the SMTP client; otherwise each
// recipient's "mailto:" link is handed to the desktop's mail program.

#include "MailSend.h"
#include "engine/Engine.h"

#include <QDialog>
#include <functional>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tallyra {

class TSendStatus;

class TEMailF : public QDialog
{
    Q_OBJECT
public:
    explicit TEMailF(db::Engine &engine, QWidget *parent = nullptr);
    ~TEMailF() override;

    void setRecipients(const QStringList &recipients);
    QStringList recipients() const;
    void setSubject(const QString &subject);
    QString subject() const;
    void setText(const QString &text);
    QString text() const;
    void setAttachments(const QList<MemoryAttachment> &attachments) { m_attachments = attachments; }
    // Empties the recipients, subject, text and attachments.
    void clearMessage();

    // Shows the window modally. True when "Send" sent the message through the server to its end
    // (false for "Cancel", a failure, or the "mailto:" hand-over).
    bool run();
    // The send routine. False when the operation asking for the mail must end: *error is then
    // its message (the window's own event message, if any, has been shown already).
    bool send(QString *error);
    bool mailSent() const { return m_mailSent; }
    // The failure of the last "Send" pressed in the window, empty after a success.
    QString lastError() const { return m_lastError; }

    TSmtpClient &client() { return *m_client; }

    // Without a user (a command-line run) nothing is asked or shown: no event messages, no
    // status display, no password question (only a remembered one is used), no certificate
    // question (an untrusted certificate fails). On by default.
    void setInteractive(bool interactive) { m_interactive = interactive; }
    bool interactive() const { return m_interactive; }

    // Sends through the server with the status display (whose "Cancel" aborts the transfer)
    // shown; a certificate the system does not trust is offered for acceptance, remembered for
    // the host in the mail settings, and the message sent once more.
    static bool sendWithStatus(QWidget *parent, db::Engine &engine, TSmtpClient &client, MailAccount &account,
                               const OutgoingMail &mail, QString *error, bool interactive = true);
    // Fills account.password for a login: this run's password, else the remembered one, else one
    // asked for. False when none is given.
    static bool passwordFor(QWidget *parent, MailAccount &account, QString *error, bool interactive = true);

    // Replaces the desktop's "open" action for "mailto:" links (tests); an empty function
    // restores it.
    static void setMailtoOpener(std::function<void(const QString &link)> opener);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BtnSendClick();
    void BtnCancelClick();
    void tell(const QString &message);

    db::Engine &m_engine;
    QComboBox *m_to;
    QLineEdit *m_subject;
    QPlainTextEdit *m_text;
    QPushButton *m_send;
    QPushButton *m_cancel;
    TSmtpClient *m_client;
    QList<MemoryAttachment> m_attachments;
    bool m_mailSent = false;
    bool m_interactive = true;
    QString m_lastError;
};

} // namespace tallyra
