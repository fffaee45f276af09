// The SMTP client against a real server on loopback (aiosmtpd): what arrives, read by Python's
// email package, must be what was sent: header order, body byte for byte, attachments decoding
// to the files' bytes; STARTTLS with a certificate made here, logins PLAIN and LOGIN, a refused
// login.

#include "SmtpClient.h"
#include "SmtpPeer.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QTemporaryDir>
#include <QtTest>

using namespace tallyra;

namespace {

QByteArray bytesOf(int size, int seed)
{
    QByteArray b;
    for (int i = 0; i < size; ++i)
        b += char((i * 131 + seed * 7 + (i >> 3)) & 0xff);
    return b;
}

void prepare(TSmtpClient &client, const SmtpPeer &peer)
{
    client.Host = QStringLiteral("127.0.0.1");
    client.Port = peer.port();
    client.UserID = QStringLiteral("tallyra.test");
    client.PostMessage.FromAddress = QStringLiteral("shop@example.com");
    client.PostMessage.FromName = QStringLiteral("Tallyra Shop");
    client.PostMessage.ToAddress = {QStringLiteral("ann@example.com")};
    client.PostMessage.Subject = QStringLiteral("Invoice");
    client.PostMessage.LocalProgram = QStringLiteral("QVL Tallyra");
    client.PostMessage.Body = {QStringLiteral("Hello")};
}

bool sendOne(TSmtpClient &client, QString *error)
{
    const bool ok = client.Connect() && client.SendPost() && client.Disconnect();
    if (!ok)
        *error = client.errorString();
    return ok;
}

} // namespace

class TestSmtpServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void messages_data();
    void messages();
    void startTls();
    void login_data();
    void login();
};

void TestSmtpServer::messages_data()
{
    QTest::addColumn<QStringList>("body");
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QList<int>>("attachmentSizes");
    QTest::addColumn<QString>("charset");

    QTest::newRow("plain") << QStringList{"Dear customer,", "", "\tQty 2 at 12.50", ".", "..", ".end", "Bye"}
                           << "Invoice" << QList<int>{} << "us-ascii";
    QTest::newRow("two attachments") << QStringList{"Your files.", "."} << "Files" << QList<int>{46, 1000}
                                     << "us-ascii";
    QTest::newRow("UTF-8 names and text") << QStringList{"Grüße an Zoë Ångström", "Summe: 12,50 €", "."}
                                          << "Rechnung für Müller" << QList<int>{45} << "utf-8";
}

void TestSmtpServer::messages()
{
    QFETCH(QStringList, body);
    QFETCH(QString, subject);
    QFETCH(QList<int>, attachmentSizes);
    QFETCH(QString, charset);

    SmtpPeer peer({});
    QVERIFY2(peer.started(), qPrintable(peer.failure()));
    QTemporaryDir files;
    QList<QByteArray> contents;
    TSmtpClient client;
    prepare(client, peer);
    client.PostMessage.ToAddress = {QStringLiteral("ann@example.com"),
                                    QStringLiteral("Bob Jones <bob@example.com>")};
    client.PostMessage.ToBlindCarbonCopy = {QStringLiteral("boss@example.com")};
    client.PostMessage.ReplyTo = QStringLiteral("office@example.com");
    client.PostMessage.Subject = subject;
    client.PostMessage.Body = body;
    for (int i = 0; i < attachmentSizes.size(); ++i) {
        const QString path = files.filePath(QStringLiteral("file%1.bin").arg(i + 1));
        contents << bytesOf(attachmentSizes.at(i), i);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(contents.last()) == contents.last().size());
        client.PostMessage.Attachments << path;
    }
    QString error;
    QVERIFY2(sendOne(client, &error), qPrintable(error));
    QVERIFY(client.PostMessage.ToAddress.isEmpty()); // ClearParams empties the recipients

    const QList<QJsonObject> received = peer.messages();
    QCOMPARE(received.size(), 1);
    const QJsonObject m = received.first();
    QCOMPARE(m.value("mail_from").toString(), QStringLiteral("shop@example.com"));
    QCOMPARE(jsonStrings(m.value("rcpt_tos")),
             QStringList({"ann@example.com", "bob@example.com", "boss@example.com"}));
    QStringList expectedNames{"From", "To",         "Subject",      "X-Mailer",    "Reply-To",
                              "Date", "Message-ID", "Mime-Version", "Content-Type"};
    if (charset == QStringLiteral("utf-8") && attachmentSizes.isEmpty())
        expectedNames << "Content-Transfer-Encoding";
    QCOMPARE(jsonStrings(m.value("header_names")), expectedNames);
    QVERIFY2(m.value("defects").toArray().isEmpty(), qPrintable(jsonStrings(m.value("defects")).join(',')));
    QMap<QString, QString> headers;
    for (const QJsonValue &h : m.value("headers").toArray())
        headers.insert(h.toArray().at(0).toString(), h.toArray().at(1).toString());
    QCOMPARE(headers.value("Subject"), subject);
    QCOMPARE(headers.value("From"), QStringLiteral("Tallyra Shop <shop@example.com>"));
    QCOMPARE(headers.value("To"), QStringLiteral("ann@example.com, Bob Jones <bob@example.com>"));
    for (const QString &name : headers.keys()) // the blind copy is never in a header
        QVERIFY(!headers.value(name).contains(QStringLiteral("boss@")));

    // The text arrives as written, a line of one period as one period.
    // (In a multipart body the line break before a boundary belongs to the boundary.)
    const QString text = m.value("text").toString().replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QCOMPARE(text, body.join('\n') + (attachmentSizes.isEmpty() ? QStringLiteral("\n") : QString()));
    QCOMPARE(m.value("text_charset").toString(), charset);
    if (attachmentSizes.isEmpty() && charset == QStringLiteral("us-ascii")) {
        const QByteArray raw = QByteArray::fromBase64(m.value("raw_body_b64").toString().toLatin1());
        QCOMPARE(raw, (body.join("\r\n") + "\r\n").toLatin1());
    }
    const QJsonArray attachments = m.value("attachments").toArray();
    QCOMPARE(attachments.size(), attachmentSizes.size());
    for (int i = 0; i < attachments.size(); ++i) {
        const QJsonObject a = attachments.at(i).toObject();
        QCOMPARE(a.value("filename").toString(), QStringLiteral("file%1.bin").arg(i + 1));
        QCOMPARE(QByteArray::fromBase64(a.value("data_b64").toString().toLatin1()), contents.at(i));
        const QStringList lines = a.value("encoded").toString().split("\n", Qt::SkipEmptyParts);
        if (attachmentSizes.at(i) == 46) {
            QCOMPARE(lines.size(), 2);
            QCOMPARE(lines.at(0).trimmed().size(), 60);
            QVERIFY(lines.at(1).trimmed().endsWith(QStringLiteral("==")));
            QCOMPARE(lines.at(1).trimmed().size(), 4);
        }
    }
}

void TestSmtpServer::startTls()
{
    SmtpPeer peer({true, {}, {}});
    QVERIFY2(peer.started(), qPrintable(peer.failure()));
    const QList<QSslCertificate> certs = QSslCertificate::fromPath(peer.certificatePath());
    QCOMPARE(certs.size(), 1);
    const QByteArray digest = certs.first().digest(QCryptographicHash::Sha256);

    TSmtpClient client;
    prepare(client, peer);
    client.Host = QStringLiteral("localhost");
    client.Security = MailSecurity::StartTls;
    // The system does not trust a certificate made a moment ago: refused, naming the host.
    QVERIFY(!client.Connect());
    QVERIFY2(client.errorString().contains(QStringLiteral("localhost")), qPrintable(client.errorString()));
    QVERIFY(client.errorString().contains(QStringLiteral("does not trust")));
    QCOMPARE(client.untrustedCertificate(), digest);
    QVERIFY(!client.isConnected());
    QVERIFY(peer.messages().isEmpty());

    // Accepted for this host, it carries the message.
    client.AcceptedCertificate = digest;
    QString error;
    QVERIFY2(sendOne(client, &error), qPrintable(error));
    const QList<QJsonObject> received = peer.messages();
    QCOMPARE(received.size(), 1);
    QVERIFY(received.first().value("tls").toBool());
    QCOMPARE(received.first().value("text").toString(), QStringLiteral("Hello\r\n"));

    // Another certificate is not the one accepted.
    client.AcceptedCertificate = QByteArray(32, 'x');
    client.PostMessage.ToAddress = {QStringLiteral("ann@example.com")};
    QVERIFY(!client.Connect());
    QCOMPARE(client.untrustedCertificate(), digest);
}

void TestSmtpServer::login_data()
{
    QTest::addColumn<QStringList>("excluded");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("mechanism"); // empty: the login is refused
    QTest::newRow("PLAIN when offered") << QStringList{} << "s3cret pass"
                                        << "PLAIN";
    QTest::newRow("LOGIN when PLAIN is not offered") << QStringList{"PLAIN"} << "s3cret pass"
                                                     << "LOGIN";
    QTest::newRow("a wrong password") << QStringList{} << "guess"
                                      << "";
    QTest::newRow("a wrong password by LOGIN") << QStringList{"PLAIN"} << "guess"
                                               << "";
}

void TestSmtpServer::login()
{
    QFETCH(QStringList, excluded);
    QFETCH(QString, password);
    QFETCH(QString, mechanism);
    SmtpPeer peer({true, QStringLiteral("shop@example.com:s3cret pass"), excluded});
    QVERIFY2(peer.started(), qPrintable(peer.failure()));
    TSmtpClient client;
    prepare(client, peer);
    client.Host = QStringLiteral("localhost");
    client.Security = MailSecurity::StartTls;
    client.AcceptedCertificate =
        QSslCertificate::fromPath(peer.certificatePath()).first().digest(QCryptographicHash::Sha256);
    client.LoginUser = QStringLiteral("shop@example.com");
    client.LoginPassword = password;
    QSignalSpy refused(&client, &TSmtpClient::authenticationFailed);
    QString error;
    const bool sent = sendOne(client, &error);
    if (mechanism.isEmpty()) {
        QVERIFY(!sent);
        QCOMPARE(error, QStringLiteral("Authentication failed"));
        QCOMPARE(refused.count(), 1);
        QVERIFY(peer.messages().isEmpty());
        QVERIFY(!client.isConnected());
        return;
    }
    QVERIFY2(sent, qPrintable(error));
    QCOMPARE(refused.count(), 0);
    const QList<QJsonObject> received = peer.messages();
    QCOMPARE(received.size(), 1);
    QCOMPARE(received.first().value("auth").toString(), mechanism);
    QCOMPARE(received.first().value("login").toString(), QStringLiteral("shop@example.com"));
}

QTEST_GUILESS_MAIN(TestSmtpServer)
#include "tst_smtp_server.moc"
