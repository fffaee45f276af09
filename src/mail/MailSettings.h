#pragma once

// The mail settings beyond the five of the settings record: the server's port, the security of
// the connection, the login, whether documents carry their PDF, and a certificate the user
// accepted for one host. Kept as the one record of MailSet.DBF, which is made when missing. The
// password is kept only when the user asks for it, in a file of the data directory that only
// its owner may read.

#include "SockClient.h"
#include "engine/Engine.h"

#include <QByteArray>
#include <QString>

namespace tallyra {

struct MailServerSettings
{
    int port = 25;
    MailSecurity security = MailSecurity::None;
    QString loginUser; // empty: no login, the client greets with HELO
    bool rememberPassword = false;
    bool attachPdf = true;        // e-mailed documents carry their PDF
    QString certificateHost;      // the host whose certificate the user accepted
    QByteArray certificateDigest; // its SHA-256 digest

    // The digest accepted for `host`, empty when none.
    QByteArray acceptedFor(const QString &host) const
    {
        return host.compare(certificateHost, Qt::CaseInsensitive) == 0 ? certificateDigest : QByteArray();
    }
    bool operator==(const MailServerSettings &) const = default;
};

// The file beside the tables that holds a remembered password.
inline constexpr const char *kPasswordFileName = "MailPass.dat";

// Reads the record, making the table (and its one record, with the values above) when missing.
// False with *error set when the table cannot be made, opened or read; `into` is then unchanged.
// Leaves no table open.
bool loadMailServerSettings(db::Engine &engine, MailServerSettings *into, QString *error);
// Writes the record (making the table when missing). Leaves no table open.
bool saveMailServerSettings(db::Engine &engine, const MailServerSettings &from, QString *error);

// The remembered password, empty when none is kept.
QString rememberedPassword(const QString &dataDir);
// Writes the password to its file with owner-only access (made so before the first byte is
// written, then renamed into place); an empty password removes the file.
bool rememberPassword(const QString &dataDir, const QString &password, QString *error);

// The password of this run when it is not remembered: set by "EMail Setup" or asked for at the
// first send, forgotten when the program ends.
QString &sessionPassword();

} // namespace tallyra
