// tallyra-report's e-mail mode from a shell: every invoice of the sample business goes to its
// customer through a real SMTP server on loopback, with its PDF; a server that cannot be reached
// ends the run with exit status 3 and the message, and nothing is asked.

#include "MailSettings.h"
#include "Settings.h"
#include "SmtpPeer.h"

#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace tallyra;

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(TALLYRA_BIN_DIR "/") + program, args);
    Run r;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("did not finish");
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

// Points the business at a server on this machine.
bool setUpMail(const QString &dir, quint16 port)
{
    db::Engine engine(dir);
    SettingsRecord s;
    if (!loadSettings(engine, s).ok())
        return false;
    s.MailHost = QStringLiteral("127.0.0.1");
    s.MailID = QStringLiteral("shop.example");
    s.MailAddr = QStringLiteral("shop@example.com");
    s.MailName = QStringLiteral("Sample Shop");
    if (!saveSettings(engine, s).ok())
        return false;
    MailServerSettings server;
    server.port = port;
    QString error;
    return saveMailServerSettings(engine, server, &error);
}

} // namespace

class TestMailCli : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void invoicesByMail();
};

void TestMailCli::invoicesByMail()
{
    QTemporaryDir dir;
    const Run init = run(QStringLiteral("tallyra-init"), {dir.filePath("shop"), "--demo"});
    QVERIFY2(init.exitCode == 0, qPrintable(init.err));
    const QString shop = dir.filePath("shop");
    const QStringList args{"--dir",      shop,   "invoices",   "--from",
                           "1900-01-01", "--to", "2199-12-31", "--email"};

    SmtpPeer peer({});
    QVERIFY2(peer.started(), qPrintable(peer.failure()));
    QVERIFY(setUpMail(shop, peer.port()));
    const Run sent = run(QStringLiteral("tallyra-report"), args);
    QVERIFY2(sent.exitCode == 0, qPrintable(sent.err));
    QVERIFY(sent.out.isEmpty());
    const QList<QJsonObject> received = peer.messages();
    QVERIFY(!received.isEmpty());
    for (const QJsonObject &m : received) {
        QCOMPARE(m.value("rcpt_tos").toArray().size(), 1);
        QVERIFY(m.value("text").toString().contains(QStringLiteral("INVOICE"), Qt::CaseInsensitive));
        const QJsonArray attachments = m.value("attachments").toArray();
        QCOMPARE(attachments.size(), 1);
        const QString name = attachments.at(0).toObject().value("filename").toString();
        QVERIFY2(name.startsWith(QStringLiteral("Invoice ")) && name.endsWith(QStringLiteral(".pdf")),
                 qPrintable(name));
        QVERIFY(QByteArray::fromBase64(attachments.at(0).toObject().value("data_b64").toString().toLatin1())
                    .startsWith("%PDF"));
    }
    QFile log(QDir(shop).filePath("mail.log"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll().count('\n'), received.size());

    // Nothing listens on the port any more: the run stops with the message and status 3.
    const quint16 closedPort = closedLoopbackPort();
    QVERIFY(closedPort > 0);
    QVERIFY(setUpMail(shop, closedPort));
    const Run failed = run(QStringLiteral("tallyra-report"), args);
    QCOMPARE(failed.exitCode, 3);
    QVERIFY2(failed.err.contains(QStringLiteral("Connection Failed")), qPrintable(failed.err));
}

QTEST_GUILESS_MAIN(TestMailCli)
#include "tst_mail_cli.moc"
