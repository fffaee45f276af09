// The mail windows and runs as a user meets them, on a real business directory: the "mailto:"
// hand-over without a server, "EMail Setup" storing its values (TLR2 keeping its layout, the
// password owner-only) and its test message through STARTTLS and a login, bulk mail in batches
// of 20, e-mailed documents with their PDF, and "Cancel" on the status display.

#include "BulkMail.h"
#include "EMailSetupU.h"
#include "EMailU.h"
#include "MailDocumentSender.h"
#include "ModalDriver.h"
#include "NewBusiness.h"
#include "Prompt.h"
#include "Records.h"
#include "SendStatusU.h"
#include "SmtpPeer.h"
#include "Tables.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QJsonArray>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSslCertificate>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <sys/stat.h>

using namespace tallyra;
using testsupport::ModalDriver;

namespace {

// The text as the receiver reads it, with plain line feeds.
QString textOf(const QJsonObject &message)
{
    return message.value("text").toString().replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

void click(QWidget *window, const char *name)
{
    auto *button = window->findChild<QPushButton *>(QLatin1String(name));
    QVERIFY2(button, name);
    QTest::mouseClick(button, Qt::LeftButton);
}

} // namespace

class TestMailWindows : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void mailtoWithoutServer();
    void setupStoresValues();
    void setupTestMessage();
    void bulkMailInBatches();
    void documentsWithPdf();
    void cancelOnStatusDisplay();

private:
    void useServer(quint16 port, MailSecurity security = MailSecurity::None, const QString &user = {});

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<db::Engine> m_engine;
};

void TestMailWindows::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(createBusiness(m_dir->path(), false).ok());
    m_engine = std::make_unique<db::Engine>(m_dir->path());
    QVERIFY(loadSettings(*m_engine).ok());
    sessionPassword().clear();
    Prompt::clearAnswers();
    Prompt::takeShown();
}

void TestMailWindows::cleanup()
{
    TEMailF::setMailtoOpener({});
    Prompt::clearAnswers();
    m_engine.reset();
    m_dir.reset();
}

void TestMailWindows::useServer(quint16 port, MailSecurity security, const QString &user)
{
    settings().MailHost =
        security == MailSecurity::None ? QStringLiteral("127.0.0.1") : QStringLiteral("localhost");
    settings().MailAddr = QStringLiteral("shop@example.com");
    settings().MailName = QStringLiteral("Tallyra Shop");
    settings().MailID = QStringLiteral("tallyra.test");
    MailServerSettings server;
    server.port = port;
    server.security = security;
    server.loginUser = user;
    QString error;
    QVERIFY2(saveMailServerSettings(*m_engine, server, &error), qPrintable(error));
}

void TestMailWindows::mailtoWithoutServer()
{
    settings().MailHost.clear();
    settings().MailAddr = QStringLiteral("shop@example.com");
    QStringList links;
    TEMailF::setMailtoOpener([&](const QString &link) { links << link; });
    TEMailF window(*m_engine);
    window.setRecipients({QStringLiteral("ann@example.com"), QStringLiteral(" bob@example.com ")});
    window.setText(QStringLiteral("first\r\nsecond"));
    ModalDriver driver;
    driver.then("emailDialog", [&](QWidget *) {
        QCOMPARE(window.findChild<QComboBox *>("toComboBox")->currentText(),
                 QStringLiteral("ann@example.com"));
        // The keyboard alone: Enter moves on to the text, Tab types a tab, Ctrl+Tab leaves the
        // text for "Send", Enter presses it.
        auto *subject = window.findChild<QLineEdit *>("subjectEdit");
        QTest::keyClicks(subject, QStringLiteral("A&B=C?"));
        QTest::keyClick(subject, Qt::Key_Return);
        auto *text = window.findChild<QPlainTextEdit *>("messageEdit");
        QTRY_COMPARE(QApplication::focusWidget(), text);
        QTest::keyClick(text, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(text, Qt::Key_Tab);
        QTest::keyClick(text, Qt::Key_Tab, Qt::ControlModifier);
        QTRY_COMPARE(QApplication::focusWidget(), window.findChild<QPushButton *>("sendButton"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    });
    driver.start();
    // The hand-over is not a completed send: a bulk run would end here.
    QVERIFY(!window.run());
    QVERIFY2(driver.done(), qPrintable(driver.failure()));
    QVERIFY(!window.isVisible());
    QCOMPARE(links, QStringList({"mailto:ann@example.com?subject=A_B_C_&body=first%0Asecond\t",
                                 "mailto:bob@example.com?subject=A_B_C_&body=first%0Asecond\t"}));
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("mail.log"))));
}

void TestMailWindows::setupStoresValues()
{
    const QStringList tlr2Fields = [&] {
        QStringList f;
        for (const db::FieldDef &d : tableDef(TableId::Settings).fields)
            f << QString::fromLatin1(d.name);
        return f;
    }();
    TEMailSetup window(*m_engine);
    ModalDriver driver;
    driver.then("emailSetupDialog", [&](QWidget *) {
        auto *port = window.findChild<QSpinBox *>("portSpinBox");
        QCOMPARE(port->value(), 25);
        QTest::keyClicks(window.findChild<QLineEdit *>("mailHostEdit"), QStringLiteral("smtp.example.com"));
        QTest::keyClicks(window.findChild<QLineEdit *>("mailAddrEdit"), QStringLiteral(" shop@example.com "));
        window.findChild<QLineEdit *>("mailNameEdit")->setText(QStringLiteral("Müller & Söhne"));
        QTest::keyClicks(window.findChild<QLineEdit *>("loginUserEdit"), QStringLiteral("shop"));
        QCOMPARE(port->value(), 587); // proposed once a user name is typed
        window.findChild<QComboBox *>("securityComboBox")->setCurrentIndex(1);
        QTest::keyClicks(window.findChild<QLineEdit *>("passwordEdit"), QStringLiteral("pa ss"));
        window.findChild<QCheckBox *>("rememberPasswordCheckBox")->setChecked(true);
        window.findChild<QCheckBox *>("attachPdfCheckBox")->setChecked(false);
        // Escape with changes asks first; "No" keeps the window.
        Prompt::setNextAnswers({QVariant::fromValue(Prompt::Answer::No)});
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(window.isVisible());
        QCOMPARE(Prompt::takeShown(), QStringList{"Discard the changes?"});
        click(&window, "saveButton");
    });
    driver.start();
    QVERIFY(window.run());
    QVERIFY2(driver.done(), qPrintable(driver.failure()));

    SettingsRecord stored;
    QVERIFY(loadSettings(*m_engine, stored).ok());
    QCOMPARE(stored.MailHost, QStringLiteral("smtp.example.com"));
    QCOMPARE(stored.MailAddr, QStringLiteral("shop@example.com"));
    QCOMPARE(stored.MailName, QStringLiteral("Müller & Söhne"));
    QCOMPARE(settings().MailHost, stored.MailHost);
    MailServerSettings server;
    QString error;
    QVERIFY(loadMailServerSettings(*m_engine, &server, &error));
    QCOMPARE(server.port, 587);
    QCOMPARE(server.security, MailSecurity::StartTls);
    QCOMPARE(server.loginUser, QStringLiteral("shop"));
    QVERIFY(server.rememberPassword);
    QVERIFY(!server.attachPdf);
    // TLR2 keeps the fields other tools know.
    db::Status s;
    db::Table *t = m_engine->open(QStringLiteral("TLR2"), &s);
    QVERIFY(t);
    QCOMPARE(t->fieldCount(), tlr2Fields.size());
    m_engine->closeAll();
    // The password is readable by its owner only.
    const QString pw = m_dir->filePath(QLatin1String(kPasswordFileName));
    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(pw).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 0777), 0600);
    QCOMPARE(rememberedPassword(m_dir->path()), QStringLiteral("pa ss"));

    // Without "Remember password" the file goes; the password stays for this run only.
    TEMailSetup again(*m_engine);
    ModalDriver second;
    second.then("emailSetupDialog", [&](QWidget *) {
        QCOMPARE(again.findChild<QSpinBox *>("portSpinBox")->value(), 587);
        QCOMPARE(again.findChild<QLineEdit *>("passwordEdit")->text(), QStringLiteral("pa ss"));
        again.findChild<QCheckBox *>("rememberPasswordCheckBox")->setChecked(false);
        click(&again, "saveButton");
    });
    second.start();
    QVERIFY(again.run());
    QVERIFY2(second.done(), qPrintable(second.failure()));
    QVERIFY(!QFile::exists(pw));
    QCOMPARE(sessionPassword(), QStringLiteral("pa ss"));
}

void TestMailWindows::setupTestMessage()
{
    SmtpPeer peer({true, QStringLiteral("shop@example.com:open sesame"), {}});
    QVERIFY2(peer.started(), qPrintable(peer.failure()));
    useServer(peer.port(), MailSecurity::StartTls, QStringLiteral("shop@example.com"));
    sessionPassword() = QStringLiteral("open sesame");
    TEMailSetup window(*m_engine);
    // The certificate question is answered "Yes", then the outcome is shown.
    Prompt::setNextAnswers(
        {QVariant::fromValue(Prompt::Answer::Yes), QVariant::fromValue(Prompt::Answer::Ok)});
    ModalDriver driver;
    driver.then("emailSetupDialog", [](QWidget *w) {
        click(w, "testButton");
        click(w, "cancelButton");
    });
    driver.start();
    window.run();
    QVERIFY2(driver.done(), qPrintable(driver.failure()));
    const QStringList shown = Prompt::takeShown();
    QCOMPARE(shown.size(), 2);
    QVERIFY2(shown.at(0).contains(QStringLiteral("localhost")) &&
                 shown.at(0).contains(QStringLiteral("Accept")),
             qPrintable(shown.at(0)));
    QCOMPARE(shown.at(1), QStringLiteral("The test message was sent to shop@example.com.\n"
                                         "The server answered: 250 2.0.0 Message accepted as 1"));
    const QList<QJsonObject> received = peer.messages();
    QCOMPARE(received.size(), 1);
    QCOMPARE(jsonStrings(received.first().value("rcpt_tos")), QStringList{"shop@example.com"});
    QCOMPARE(received.first().value("auth").toString(), QStringLiteral("PLAIN"));
    // The accepted certificate is remembered for the host.
    MailServerSettings server;
    QString error;
    QVERIFY(loadMailServerSettings(*m_engine, &server, &error));
    QCOMPARE(server.certificateHost, QStringLiteral("localhost"));
    QCOMPARE(server.certificateDigest,
             QSslCertificate::fromPath(peer.certificatePath()).first().digest(QCryptographicHash::Sha256));
    // The mail log names the message.
    QFile log(m_dir->filePath(QStringLiteral("mail.log")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = log.readAll().split('\n');
    QCOMPARE(lines.size(), 3); // the refused try, the sent one, the end
    QVERIFY(lines.at(0).contains("\tnot sent\t"));
    QVERIFY(lines.at(1).contains("\tshop@example.com\tTest Message\tsent\t250 2.0.0 Message accepted as 1"));
}

void TestMailWindows::bulkMailInBatches()
{
    SmtpPeer peer({});
    QVERIFY2(peer.started(), qPrintable(peer.failure()));
    useServer(peer.port());
    {
        const OpenResult customers = openCustomers(*m_engine);
        QVERIFY(customers.ok());
        auto add = [&](int n, qint64 group, const QString &email) {
            CustomerRecord c;
            c.CuNo = n;
            c.Last = QStringLiteral("Customer %1").arg(n);
            c.Zip = QStringLiteral("%1").arg(99999 - n, 5, 10, QLatin1Char('0'));
            c.NGroup = group;
            c.EMail = email;
            QVERIFY(customers.table->appendBlank().isOk());
            QVERIFY(writeCustomer(*customers.table, c).isOk());
            QVERIFY(customers.table->flush().isOk());
        };
        for (int n = 1; n <= 45; ++n)
            add(n, n % 2 ? 1 : 3, QStringLiteral(" c%1@example.com ").arg(n));
        add(46, 2, QStringLiteral("other@example.com")); // a group not chosen
        add(47, 1, QStringLiteral("@example.com"));      // no name before the "@"
        add(48, 1, QString());
        QVERIFY(closeAllTables(*m_engine).isOk());
    }
    const OpenResult customers = openCustomers(*m_engine);
    QVERIFY(customers.ok());
    QVERIFY(customers.table->selectTag(QStringLiteral("CZip")));

    TEMailF window(*m_engine);
    int shown = 0;
    BulkMailSteps steps;
    steps.compose = [&](const QStringList &batch) {
        ++shown;
        window.setRecipients(batch);
        return window.run();
    };
    steps.send = [&](const QStringList &batch, QString *error) {
        window.setRecipients(batch);
        return window.send(error);
    };
    ModalDriver driver;
    driver.then("emailDialog", [&](QWidget *) {
        QTest::keyClicks(window.findChild<QLineEdit *>("subjectEdit"), QStringLiteral("Spring sale"));
        window.setText(QStringLiteral("Everything 10% off.\n.\nThe shop"));
        click(&window, "sendButton");
    });
    driver.start();
    const BulkMailResult result = runBulkMail(*customers.table, {1, 3}, steps);
    closeAllTables(*m_engine);
    QVERIFY2(driver.done(), qPrintable(driver.failure()));
    QVERIFY2(!result.stopped, qPrintable(result.error));
    QCOMPARE(shown, 1);
    QCOMPARE(result.batches, 3);
    QCOMPARE(result.recipients, 45);
    const QList<QJsonObject> received = peer.messages();
    QCOMPARE(received.size(), 3);
    QStringList expected; // postal-code order: the highest customer number first
    for (int n = 45; n >= 1; --n)
        expected << QStringLiteral("c%1@example.com").arg(n);
    QStringList all;
    const int sizes[] = {20, 20, 5};
    for (int i = 0; i < 3; ++i) {
        const QStringList rcpt = jsonStrings(received.at(i).value("rcpt_tos"));
        QCOMPARE(rcpt.size(), sizes[i]);
        all += rcpt;
        for (const QJsonValue &h : received.at(i).value("headers").toArray()) {
            if (h.toArray().at(0).toString() == QStringLiteral("Subject"))
                QCOMPARE(h.toArray().at(1).toString(), QStringLiteral("Spring sale"));
        }
        QCOMPARE(textOf(received.at(i)), QStringLiteral("Everything 10% off.\n.\nThe shop\n"));
    }
    QCOMPARE(all, expected);

    // A window left with "Cancel" ends the run before anything is sent.
    const OpenResult again = openCustomers(*m_engine);
    QVERIFY(again.ok());
    steps.compose = [&](const QStringList &) { return false; };
    const BulkMailResult cancelled = runBulkMail(*again.table, {1}, steps);
    closeAllTables(*m_engine);
    QVERIFY(cancelled.stopped);
    QCOMPARE(cancelled.batches, 0);
    QCOMPARE(peer.messages().size(), 3);
    QVERIFY(isBulkAddress(QStringLiteral("a@b")) && !isBulkAddress(QStringLiteral("@b")) &&
            !isBulkAddress(QStringLiteral("ab")));
}

void TestMailWindows::documentsWithPdf()
{
    SmtpPeer peer({});
    QVERIFY2(peer.started(), qPrintable(peer.failure()));
    useServer(peer.port());
    const QByteArray pdf = "%PDF-1.4\n" + QByteArray(3000, 'p') + "\n%%EOF\n";
    OutgoingDocument doc;
    doc.recipients = {QStringLiteral("ann@example.com")};
    doc.subject = QStringLiteral(" Invoice ");
    doc.text = QStringLiteral("INVOICE 1001\n\nTotal        12.50\n");
    doc.attachmentName = QStringLiteral("Invoice 1001.pdf");
    int rendered = 0;
    doc.renderPdf = [&] {
        ++rendered;
        return pdf;
    };
    QString error;
    {
        MailDocumentSender sender(*m_engine, nullptr);
        QVERIFY2(sender.send(doc, &error), qPrintable(error));
    }
    MailServerSettings server;
    QVERIFY(loadMailServerSettings(*m_engine, &server, &error));
    server.attachPdf = false;
    QVERIFY(saveMailServerSettings(*m_engine, server, &error));
    {
        MailDocumentSender sender(*m_engine, nullptr);
        QVERIFY2(sender.send(doc, &error), qPrintable(error));
    }
    QCOMPARE(rendered, 1);
    const QList<QJsonObject> received = peer.messages();
    QCOMPARE(received.size(), 2);
    QCOMPARE(textOf(received.at(0)), doc.text.chopped(1)); // the boundary takes the last line break
    const QJsonArray attachments = received.at(0).value("attachments").toArray();
    QCOMPARE(attachments.size(), 1);
    QCOMPARE(attachments.at(0).toObject().value("filename").toString(), QStringLiteral("Invoice 1001.pdf"));
    QCOMPARE(QByteArray::fromBase64(attachments.at(0).toObject().value("data_b64").toString().toLatin1()),
             pdf);
    QVERIFY(received.at(1).value("attachments").toArray().isEmpty());
    QCOMPARE(textOf(received.at(1)), doc.text);

    // A command-line run asks nothing: without a server set up it fails with a message.
    settings().MailHost.clear();
    Prompt::takeShown();
    MailDocumentSender script(*m_engine, nullptr, false);
    QVERIFY(!script.send(doc, &error));
    QVERIFY2(error.startsWith(QStringLiteral("EMail is not set up")), qPrintable(error));
    QVERIFY(Prompt::takeShown().isEmpty());
}

void TestMailWindows::cancelOnStatusDisplay()
{
    // A server that greets and then says nothing more.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    connect(&silent, &QTcpServer::newConnection, &silent,
            [&] { silent.nextPendingConnection()->write("220 hello\r\n"); });
    useServer(silent.serverPort());
    TEMailF window(*m_engine);
    window.setRecipients({QStringLiteral("ann@example.com")});
    window.setSubject(QStringLiteral("Invoice"));
    // Press "Cancel" on the status display as soon as it shows the server's greeting, from the
    // event loop that waits for the next reply.
    ModalDriver driver;
    driver.then<TSendStatus>([&](TSendStatus *status) {
        auto cancelOnGreeting = [status] {
            if (status->text().startsWith(QStringLiteral("220")))
                click(status, "cancelButton");
        };
        connect(&window.client(), &TSockClient::status, status, cancelOnGreeting, Qt::QueuedConnection);
        cancelOnGreeting();
    });
    driver.start();
    QString error;
    QVERIFY(!window.send(&error));
    QVERIFY2(driver.done(), qPrintable(driver.failure()));
    QCOMPARE(error, QStringLiteral("Socket readln aborted"));
    QVERIFY(!window.mailSent());
    QVERIFY(!window.client().isConnected());
    QFile log(m_dir->filePath(QStringLiteral("mail.log")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(log.readAll().contains("\tann@example.com\tInvoice\tnot sent\tSocket readln aborted\n"));
}

QTEST_MAIN(TestMailWindows)
#include "tst_mail_windows.moc"
