// The SMTP client against a scripted server that answers each command with the next reply of
// its script: multi-line replies, refusals, silence, endless lines, a connection cut in the
// middle of a reply, a cancel. Each ends with a clear message, never a hang.

#include "SmtpClient.h"
#include "SmtpPeer.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using namespace tallyra;

namespace {

// Answers the greeting and every line it receives with the next reply of its script. The reply
// "<silent>" stops all answers; a reply ending in "<close>" is written without that mark and the
// connection is then closed.
class ScriptedServer : public QObject
{
public:
    explicit ScriptedServer(QList<QByteArray> replies)
        : m_replies(std::move(replies))
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            m_peer = m_server.nextPendingConnection();
            connect(m_peer, &QTcpSocket::readyRead, this, &ScriptedServer::read);
            answer();
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    QStringList received() const { return m_received; }
    QByteArray message() const { return m_message; }

private:
    void answer()
    {
        if (m_silent || m_next >= m_replies.size())
            return;
        QByteArray r = m_replies.at(m_next++);
        if (r == "<silent>") {
            m_silent = true;
            return;
        }
        const bool close = r.endsWith("<close>");
        if (close)
            r.chop(7);
        m_peer->write(r);
        if (!m_received.isEmpty() && m_received.last() == QStringLiteral("DATA") && r.startsWith("354"))
            m_inData = true;
        if (close)
            m_peer->disconnectFromHost();
    }
    void read()
    {
        m_in += m_peer->readAll();
        for (;;) {
            if (m_inData) {
                const qsizetype end = m_in.indexOf("\r\n.\r\n");
                if (end < 0)
                    return;
                m_message = m_in.left(end + 2);
                m_in.remove(0, end + 5);
                m_inData = false;
                m_received << QStringLiteral(".");
            } else {
                const qsizetype end = m_in.indexOf("\r\n");
                if (end < 0)
                    return;
                m_received << QString::fromUtf8(m_in.left(end));
                m_in.remove(0, end + 2);
            }
            answer();
        }
    }

    QTcpServer m_server;
    QTcpSocket *m_peer = nullptr;
    QList<QByteArray> m_replies;
    int m_next = 0;
    bool m_silent = false;
    bool m_inData = false;
    QByteArray m_in;
    QByteArray m_message;
    QStringList m_received;
};

void prepare(TSmtpClient &client, quint16 port)
{
    client.Host = QStringLiteral("127.0.0.1");
    client.Port = port;
    client.UserID = QStringLiteral("tallyra.test");
    client.ReplyTimeOut = 1000;
    client.PostMessage.FromAddress = QStringLiteral("shop@example.com");
    client.PostMessage.ToAddress = {QStringLiteral("a@example.com"), QStringLiteral("Bea <b@example.com>"),
                                    QStringLiteral("c@example.com")};
    client.PostMessage.Subject = QStringLiteral("Invoice");
    client.PostMessage.Body = {QStringLiteral("Total 12.50")};
}

const QByteArray k250 = "250 ok\r\n";

} // namespace

class TestSmtpHostile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dialogue_data();
    void dialogue();
    void unreachable_data();
    void unreachable();
    void cancelWhileWaiting();
};

void TestSmtpHostile::dialogue_data()
{
    QTest::addColumn<QList<QByteArray>>("replies");
    QTest::addColumn<QString>("failsAt"); // "connect", "send", "disconnect" or "" for none
    QTest::addColumn<QString>("error");   // the start of the error message
    QTest::addColumn<int>("refused");
    QTest::addColumn<QStringList>("commands"); // what the server must have received

    const QByteArray greeting = "220 mail.example.com ready\r\n";
    const QStringList all{"HELO tallyra.test",
                          "RSET",
                          "MAIL FROM:<shop@example.com>",
                          "RCPT TO:<a@example.com>",
                          "RCPT TO:<b@example.com>",
                          "RCPT TO:<c@example.com>",
                          "DATA",
                          ".",
                          "QUIT"};
    // The replies of a dialogue that goes well, some replaced (by their place in the dialogue).
    const auto replies = [&](const QMap<int, QByteArray> &replaced) {
        QList<QByteArray> r{greeting,         k250,         k250, k250, k250, k250, k250, "354 go\r\n",
                            "250 queued\r\n", "221 bye\r\n"};
        for (auto it = replaced.begin(); it != replaced.end(); ++it)
            r[it.key()] = it.value();
        return r;
    };
    QTest::newRow("multi-line greeting and HELO reply")
        << replies({{0, "220-mail.example.com ESMTP\r\n220-second line\r\n220 ready\r\n"},
                    {1, "250-mail.example.com\r\n250 SIZE 10000\r\n"},
                    {7, "354 go ahead\r\n"},
                    {8, "250 queued as 7\r\n"}})
        << ""
        << "" << 0 << all;
    QTest::newRow("421 greeting") << QList<QByteArray>{"421 4.3.2 Service not available\r\n<close>"}
                                  << "connect"
                                  << "421 4.3.2 Service not available" << 0 << QStringList{};
    QTest::newRow("a refused recipient among three")
        << replies({{5, "550 5.1.1 <b@example.com> unknown\r\n"}, {7, "354 go ahead\r\n"}}) << ""
        << "" << 1 << all;
    const QByteArray no = "550 no\r\n";
    QTest::newRow("every recipient refused")
        << QList<QByteArray>{greeting,     k250, k250, k250,
                             no,           no,   no,   "503 5.5.1 Error: need RCPT command\r\n",
                             "221 bye\r\n"}
        << "send"
        << "503 5.5.1 Error: need RCPT command" << 3 << all.mid(0, 7) + QStringList{"QUIT"};
    QTest::newRow("HELO refused") << QList<QByteArray>{greeting, "501 bad name\r\n", "221 bye\r\n"}
                                  << "connect"
                                  << "Authentication failed" << 0 << QStringList{"HELO tallyra.test", "QUIT"};
    QTest::newRow("the end of the text refused") << replies({{8, "554 5.7.1 rejected as spam\r\n"}}) << "send"
                                                 << "554 5.7.1 rejected as spam" << 0 << all;
    QTest::newRow("QUIT refused") << replies({{9, "500 what?\r\n"}}) << "disconnect"
                                  << "500 what?" << 0 << all;
    QTest::newRow("a server that stops answering")
        << QList<QByteArray>{greeting, "<silent>"} << "connect"
        << "The server 127.0.0.1 did not answer within 1 seconds." << 0 << QStringList{"HELO tallyra.test"};
    QTest::newRow("a reply line of 100 KB")
        << QList<QByteArray>{"220 " + QByteArray(100 * 1024, 'x') + "\r\n"} << "connect"
        << "The server 127.0.0.1 sent a reply line longer than 16384 characters." << 0 << QStringList{};
    QTest::newRow("closed in the middle of a reply")
        << QList<QByteArray>{"220-first line\r\n220 half a li<close>"} << "connect"
        << "The server 127.0.0.1 closed the connection in the middle of a reply." << 0 << QStringList{};
    QTest::newRow("closed after a command")
        << QList<QByteArray>{greeting, "<close>"} << "connect"
        << "The server 127.0.0.1 closed the connection." << 0 << QStringList{"HELO tallyra.test"};
    QTest::newRow("a reply without a code")
        << QList<QByteArray>{"hello there\r\n"} << "connect"
        << "The reply of the server 127.0.0.1 is not understood: hello there" << 0 << QStringList{};
}

void TestSmtpHostile::dialogue()
{
    QFETCH(QList<QByteArray>, replies);
    QFETCH(QString, failsAt);
    QFETCH(QString, error);
    QFETCH(int, refused);
    QFETCH(QStringList, commands);

    ScriptedServer server(replies);
    QVERIFY(server.port() > 0);
    TSmtpClient client;
    prepare(client, server.port());
    QSignalSpy notFound(&client, &TSmtpClient::recipientNotFound);
    QSignalSpy failure(&client, &TSmtpClient::failure);
    QSignalSpy authFailed(&client, &TSmtpClient::authenticationFailed);

    QString stoppedAt;
    if (!client.Connect())
        stoppedAt = QStringLiteral("connect");
    else if (!client.SendPost())
        stoppedAt = QStringLiteral("send");
    if (stoppedAt.isEmpty() || stoppedAt == QStringLiteral("send")) {
        const QString sendError = client.errorString();
        if (!client.Disconnect() && stoppedAt.isEmpty())
            stoppedAt = QStringLiteral("disconnect");
        else if (!stoppedAt.isEmpty())
            QCOMPARE(client.errorString(), sendError); // a clean QUIT keeps the send's error
    }
    QCOMPARE(stoppedAt, failsAt);
    if (!failsAt.isEmpty())
        QCOMPARE(client.errorString(), error);
    QVERIFY(!client.isConnected());
    QCOMPARE(notFound.count(), refused);
    if (refused == 1)
        QCOMPARE(notFound.first().first().toString(), QStringLiteral("Bea <b@example.com>"));
    QCOMPARE(failure.count(), error.startsWith(QStringLiteral("554")) ? 1 : 0);
    QCOMPARE(authFailed.count(), error == QStringLiteral("Authentication failed") ? 1 : 0);
    QTRY_COMPARE(server.received(), commands);
    if (commands.contains(QStringLiteral("."))) {
        QVERIFY(server.message().contains("\r\n\r\nTotal 12.50\r\n"));
        QVERIFY(
            server.message().startsWith("From: <shop@example.com>\r\nTo: a@example.com,Bea <b@example.com>,"
                                        "c@example.com\r\nSubject: Invoice\r\n"));
    }
}

void TestSmtpHostile::unreachable_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("error"); // the whole message, or its start when it ends in "..."
    QTest::addColumn<int>("connectionFailed");
    QTest::addColumn<int>("invalidHost");
    QTest::newRow("nothing listens on the port") << "127.0.0.1"
                                                 << "Connection Failed..." << 1 << 0;
    QTest::newRow("unknown host") << "no-such-host.invalid"
                                  << "Null Remote Address" << 0 << 1;
    QTest::newRow("no host") << ""
                             << "Null Remote Address" << 0 << 1;
}

void TestSmtpHostile::unreachable()
{
    QFETCH(QString, host);
    QFETCH(QString, error);
    QFETCH(int, connectionFailed);
    QFETCH(int, invalidHost);
    TSmtpClient client;
    prepare(client, closedLoopbackPort());
    QVERIFY(client.Port > 0);
    client.Host = host;
    QSignalSpy failed(&client, &TSmtpClient::connectionFailed);
    QSignalSpy invalid(&client, &TSmtpClient::invalidHost);
    QVERIFY(!client.Connect());
    if (error.endsWith(QStringLiteral("...")))
        QVERIFY2(client.errorString().startsWith(error.chopped(3)), qPrintable(client.errorString()));
    else
        QCOMPARE(client.errorString(), error);
    QCOMPARE(failed.count(), connectionFailed);
    QCOMPARE(invalid.count(), invalidHost);
    // Sending without a connection is refused with its own message.
    QVERIFY(!client.SendPost());
    QCOMPARE(client.errorString(), QStringLiteral("Not Connected"));
}

void TestSmtpHostile::cancelWhileWaiting()
{
    ScriptedServer server({"220 ready\r\n", "<silent>"});
    TSmtpClient client;
    prepare(client, server.port());
    client.ReplyTimeOut = 0; // no limit: only the cancel can end the wait
    // Cancel once the greeting is in, while the client waits for the HELO reply.
    connect(&client, &TSockClient::status, &client, [&](const QString &text) {
        if (text.startsWith(QStringLiteral("220")))
            QMetaObject::invokeMethod(
                &client, [&] { client.Abort(); }, Qt::QueuedConnection);
    });
    QVERIFY(!client.Connect());
    QCOMPARE(client.errorString(), QStringLiteral("Socket readln aborted"));
    QVERIFY(!client.isConnected());
}

QTEST_GUILESS_MAIN(TestSmtpHostile)
#include "tst_smtp_hostile.moc"
