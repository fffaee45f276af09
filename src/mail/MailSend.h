#pragma once

// The send routine's rules without windows: the account a message goes out through, the
// "mailto:" link used when no server is set up, the dialogue with the server (connect, send,
// disconnect, clear) and the mail log.

#include "MailSettings.h"
#include "PostMessage.h"
#include "Settings.h"
#include "SmtpClient.h"

#include <QString>
#include <QStringList>

namespace tallyra {

// The X-Mailer header of every message.
inline constexpr const char *kLocalProgram = "QVL Tallyra";

struct MailAccount
{
    QString host;        // MailHost
    QString userId;      // MailID, the argument of HELO
    QString fromAddress; // MailAddr
    QString fromName;    // MailName
    QString replyTo;     // MailReply
    MailServerSettings server;
    QString password;
    QString dataDir; // where mail.log is written; empty: no log

    // Both the host and the sender's address are needed to send through a server.
    bool usesServer() const { return !host.isEmpty() && !fromAddress.isEmpty(); }
};

MailAccount mailAccount(const SettingsRecord &settings, const MailServerSettings &server,
                        const QString &password, const QString &dataDir);

struct OutgoingMail
{
    QStringList recipients; // every entry is a recipient
    QString subject;
    QString text; // lines separated by line feeds (carriage returns are dropped)
    QList<MemoryAttachment> attachments;
};

// "&", "?", "=" and "%" become "_", each line feed "%0A"; everything else stays.
QString mailtoEscape(const QString &text);
// "mailto:" + the entry trimmed + "?subject=" + the escaped subject + "&body=" + the escaped text.
QString mailtoLink(const QString &recipient, const QString &subject, const QString &text);

// Fills the client from the account and the mail (host, port, security, login, sender,
// recipients in list order, reply-to, body line by line, trimmed subject, X-Mailer).
void prepareClient(TSmtpClient &client, const MailAccount &account, const OutgoingMail &mail);

// Connect, SendPost, Disconnect, ClearRecipients. False with *error the message that ends the
// operation. Every message sent or refused is appended to mail.log in account.dataDir.
bool sendThroughServer(TSmtpClient &client, const MailAccount &account, const OutgoingMail &mail,
                       QString *error);

// One line of mail.log: the time, the recipients, the subject, the outcome and the server's last
// reply, separated by tabs.
void appendMailLog(const QString &dataDir, const QStringList &recipients, const QString &subject, bool sent,
                   const QString &reply);

} // namespace tallyra
