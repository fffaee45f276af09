// The message as it leaves the program: header lines and their order, the body with its dot
// transparency and character set, attachments in both encodings, recipient addresses, and the
// "mailto:" link used when no server is set up.

#include "AttachEncoder.h"
#include "HeaderList.h"
#include "MailSend.h"
#include "PostMessage.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace tallyra;

Q_DECLARE_METATYPE(tallyra::TPostMessage)

class TestMailMessage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void headers_data();
    void headers();
    void body_data();
    void body();
    void encoding_data();
    void encoding();
    void multipart();
    void recipientAddresses_data();
    void recipientAddresses();
    void headerList();
    void mailto_data();
    void mailto();
};

namespace {

const QDateTime kNow(QDate(2026, 12, 8), QTime(13, 45, 2), Qt::UTC);

TPostMessage basicMessage()
{
    TPostMessage m;
    m.FromAddress = QStringLiteral("shop@example.com");
    m.FromName = QStringLiteral("Tallyra Shop");
    m.ToAddress = {QStringLiteral("ann@example.com")};
    m.Body = {QStringLiteral("Hello")};
    return m;
}

QStringList names(const THeaderList &h)
{
    QStringList n;
    for (const QString &line : h.lines())
        n << line.section(QLatin1Char(':'), 0, 0);
    return n;
}

// Base64 by Qt's own encoder, cut into lines of 60 characters: an oracle independent of ours.
QByteArray mimeOracle(const QByteArray &data)
{
    QByteArray out;
    for (qsizetype at = 0; at < data.size(); at += 45)
        out += data.mid(at, 45).toBase64() + "\r\n";
    return out;
}

// Quoted-printable decoded by the rules of RFC 2045: "=" and a line break vanish, "=XX" is a byte.
QByteArray decodeQuotedPrintable(const QByteArray &in)
{
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in.at(i) != '=') {
            out += in.at(i);
        } else if (in.mid(i + 1, 2) == "\r\n") {
            i += 2;
        } else {
            out += char(in.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
        }
    }
    return out;
}

QByteArray bytesOf(int size)
{
    QByteArray b;
    for (int i = 0; i < size; ++i)
        b += char((i * 37 + 11) & 0xff);
    return b;
}

} // namespace

void TestMailMessage::headers_data()
{
    QTest::addColumn<TPostMessage>("message");
    QTest::addColumn<QStringList>("expected"); // whole lines; "Date" and "Message-ID" by name only

    const QString plain = QStringLiteral("Content-Type: text/plain;") + QString(24, QLatin1Char(' ')) +
                          QStringLiteral("charset=us-ascii");
    const QStringList sender{"From: Tallyra Shop<shop@example.com>"};
    const QStringList toAnn{"To: ann@example.com"};
    const QStringList stamped{"Date", "Message-ID", "Mime-Version: 1.0"};
    TPostMessage full = basicMessage();
    full.ToAddress = {QStringLiteral("ann@example.com"), QStringLiteral("Bob Jones <bob@example.com>")};
    full.ToCarbonCopy = {QStringLiteral("cc@example.com"), QStringLiteral("dd@example.com")};
    full.ToBlindCarbonCopy = {QStringLiteral("hidden@example.com")};
    full.Subject = QStringLiteral("Invoice");
    full.LocalProgram = QStringLiteral("QVL Tallyra");
    full.ReplyTo = QStringLiteral("reply@example.com");
    QTest::newRow("every header") << full
                                  << sender +
                                         QStringList{"To: ann@example.com,Bob Jones <bob@example.com>",
                                                     "CC: cc@example.com,dd@example.com", "Subject: Invoice",
                                                     "X-Mailer: QVL Tallyra", "Reply-To: reply@example.com"} +
                                         stamped + QStringList{plain};
    QTest::newRow("no subject, no program, no reply-to")
        << basicMessage() << sender + toAnn + stamped + QStringList{plain};
    TPostMessage given = basicMessage();
    given.Date = QStringLiteral("Mon, 07 Dec 2026 08:00:00 +0100");
    QTest::newRow("a date given is kept")
        << given
        << sender + toAnn +
               QStringList{"Date: Mon, 07 Dec 2026 08:00:00 +0100", "Message-ID", "Mime-Version: 1.0", plain};
    TPostMessage names = basicMessage();
    names.FromName = QStringLiteral("Müller, Söhne");
    names.ToAddress = {QStringLiteral("Zoë Ångström <zoe@example.com>")};
    names.Subject = QStringLiteral("Grüße");
    names.Body = {QStringLiteral("Grüße")};
    QTest::newRow("names and subject beyond ASCII")
        << names
        << QStringList{"From: =?UTF-8?B?TcO8bGxlciwgU8O2aG5l?=<shop@example.com>",
                       "To: =?UTF-8?B?Wm/DqyDDhW5nc3Ryw7Zt?= <zoe@example.com>",
                       "Subject: =?UTF-8?B?R3LDvMOfZQ==?="} +
               stamped +
               QStringList{QStringLiteral("Content-Type: text/plain;") + QString(24, QLatin1Char(' ')) +
                               QStringLiteral("charset=utf-8"),
                           "Content-Transfer-Encoding: quoted-printable"};
    TPostMessage quoted = basicMessage();
    quoted.FromName = QStringLiteral("Smith, Jones & Co");
    QTest::newRow("a name with a comma is quoted")
        << quoted
        << QStringList{"From: \"Smith, Jones & Co\"<shop@example.com>"} + toAnn + stamped +
               QStringList{plain};
}

void TestMailMessage::headers()
{
    QFETCH(TPostMessage, message);
    QFETCH(QStringList, expected);
    BuiltMessage built;
    QString error;
    QVERIFY(buildMessage(message, EncodeType::uuMime, kNow, &built, &error));
    const QStringList lines = built.header.lines();
    QCOMPARE(names(built.header), names([&] {
                 THeaderList h;
                 for (const QString &e : expected)
                     h.append(e.contains(QLatin1Char(':')) ? e : e + QStringLiteral(": x"));
                 return h;
             }()));
    for (int i = 0; i < expected.size(); ++i) {
        if (expected.at(i).contains(QLatin1Char(':')))
            QCOMPARE(lines.at(i), expected.at(i));
    }
    if (message.Date.isEmpty())
        QCOMPARE(built.header.value(QStringLiteral("Date")),
                 QStringLiteral("Tue, 08 Dec 2026 13:45:02 +0000"));
    QVERIFY(built.header.value(QStringLiteral("Message-ID")).endsWith(QStringLiteral("@example.com>")));
    // Blind copies never reach a header.
    QVERIFY(!built.header.toBytes().contains("hidden@"));
}

void TestMailMessage::body_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("a line of one period") << QStringList{"."} << QByteArray("..\r\n");
    QTest::newRow("a period before text")
        << QStringList{".hidden", "a.b", ""} << QByteArray("..hidden\r\na.b\r\n\r\n");
    QTest::newRow("breaks inside an entry")
        << QStringList{"one\r\ntwo\nthree"} << QByteArray("one\r\ntwo\r\nthree\r\n");
    QTest::newRow("tabs stay") << QStringList{"Qty\tPrice"} << QByteArray("Qty\tPrice\r\n");
    QTest::newRow("UTF-8 as quoted-printable")
        << QStringList{"Grüße = 5 €", "end "} << QByteArray("Gr=C3=BC=C3=9Fe =3D 5 =E2=82=AC\r\nend=20\r\n");
    // Checked by decoding: the soft breaks may fall anywhere between encoded octets.
    QTest::newRow("a long line is broken softly")
        << QStringList{QString(80, QChar(0xE9)) + QStringLiteral("x = y")} << QByteArray();
}

void TestMailMessage::body()
{
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, expected);
    TPostMessage m = basicMessage();
    m.Body = lines;
    BuiltMessage built;
    QString error;
    QVERIFY(buildMessage(m, EncodeType::uuMime, kNow, &built, &error));
    if (!expected.isEmpty())
        QCOMPARE(built.body, expected);
    else
        QCOMPARE(QString::fromUtf8(decodeQuotedPrintable(built.body)),
                 lines.join(QStringLiteral("\r\n")) + "\r\n");
    for (const QByteArray &line : built.body.split('\n'))
        QVERIFY2(line.size() <= 77, line.constData()); // 76 characters and the carriage return
}

void TestMailMessage::encoding_data()
{
    QTest::addColumn<int>("method");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("expected");
    for (int size : {0, 1, 2, 3, 44, 45, 46, 47, 90, 1000})
        QTest::addRow("base64 of %d bytes", size)
            << int(EncodeType::uuMime) << bytesOf(size) << mimeOracle(bytesOf(size));
    QTest::newRow("uucode of nothing") << int(EncodeType::uuCode) << QByteArray() << QByteArray("`\r\n");
    QTest::newRow("uucode Cat") << int(EncodeType::uuCode) << QByteArray("Cat")
                                << QByteArray("#0V%T\r\n`\r\n");
    QTest::newRow("uucode a zero byte and padding without pad characters")
        << int(EncodeType::uuCode) << QByteArray("\0\0\0ab", 5) << QByteArray("%````86(\r\n`\r\n");
    QTest::newRow("uucode a full line") << int(EncodeType::uuCode) << QByteArray(45, 'A')
                                        << QByteArray("M" + QByteArray("04%!").repeated(15) + "\r\n`\r\n");
}

void TestMailMessage::encoding()
{
    QFETCH(int, method);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, expected);
    QCOMPARE(TAttachEncoder(EncodeType(method)).encode(data), expected);
}

void TestMailMessage::multipart()
{
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("forty-six.bin"));
    const QString b = dir.filePath(QStringLiteral("empty.txt"));
    QFile fa(a), fb(b);
    QVERIFY(fa.open(QIODevice::WriteOnly) && fa.write(bytesOf(46)) == 46);
    fa.close();
    QVERIFY(fb.open(QIODevice::WriteOnly));
    fb.close();
    TPostMessage m = basicMessage();
    m.Body = {QStringLiteral("See the files."), QStringLiteral(".")};
    m.Attachments = {a, b};
    BuiltMessage built;
    QString error;
    QStringList events;
    BuildEvents ev;
    ev.encodeStart = [&](const QString &p) { events << "start " + QFileInfo(p).fileName(); };
    ev.encodeEnd = [&](const QString &p) { events << "end " + QFileInfo(p).fileName(); };
    QVERIFY(buildMessage(m, EncodeType::uuMime, kNow, &built, &error, ev));
    QCOMPARE(events,
             QStringList({"start forty-six.bin", "end forty-six.bin", "start empty.txt", "end empty.txt"}));
    QVERIFY(built.boundary.startsWith(QStringLiteral("====================54535")));
    QVERIFY(built.boundary.endsWith(QStringLiteral("====")));
    QCOMPARE(built.header.lines().last(), QStringLiteral("Content-Type: multipart/mixed;") +
                                              QString(19, QLatin1Char(' ')) + QStringLiteral("boundary=\"") +
                                              built.boundary + QLatin1Char('"'));
    const QByteArray d = "--" + built.boundary.toLatin1();
    const QByteArray type = "Content-Type: application/octet-stream;" + QByteArray(10, ' ');
    const QByteArray disposition = "Content-Disposition: attachment;" + QByteArray(17, ' ');
    const QByteArray b46 = bytesOf(46).toBase64();
    const QByteArray expected = d + "\r\nContent-Type: text/plain;" + QByteArray(24, ' ') +
                                "charset=us-ascii\r\n\r\n" + "See the files.\r\n..\r\n" + d + "\r\n" + type +
                                "name=\"forty-six.bin\"\r\n" + "Content-Transfer-Encoding: base64\r\n" +
                                disposition + "filename=\"forty-six.bin\"\r\n\r\n" + b46.left(60) + "\r\n" +
                                b46.mid(60) + "\r\n" + d + "\r\n" + type + "name=\"empty.txt\"\r\n" +
                                "Content-Transfer-Encoding: base64\r\n" + disposition +
                                "filename=\"empty.txt\"\r\n\r\n" + d + "--\r\n";
    QCOMPARE(built.body, expected);
    QVERIFY(b46.mid(60).endsWith("=="));

    // A file that cannot be read stops the message and names the file.
    m.Attachments = {dir.filePath(QStringLiteral("missing.pdf"))};
    QString missing;
    ev.attachmentNotFound = [&](const QString &p) { missing = p; };
    QVERIFY(!buildMessage(m, EncodeType::uuMime, kNow, &built, &error, ev));
    QCOMPARE(missing, m.Attachments.first());
    QVERIFY(error.contains(QStringLiteral("missing.pdf")));
}

void TestMailMessage::recipientAddresses_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("address");
    QTest::newRow("bare") << " ann@example.com "
                          << "ann@example.com";
    QTest::newRow("name and brackets") << "Bob Jones <bob@example.com>"
                                       << "bob@example.com";
    QTest::newRow("bracket not closed") << "Bob <bob@example.com"
                                        << "bob@example.com";
    QTest::newRow("prefix and colon") << "SMTP:cy@example.com"
                                      << "cy@example.com";
    QTest::newRow("between two colons") << "x:dee@example.com:y"
                                        << "dee@example.com";
    QTest::newRow("brackets win over colons") << "a:b <e@example.com>"
                                              << "e@example.com";
    QTest::newRow("empty brackets are skipped") << "Nobody <>"
                                                << "";
}

void TestMailMessage::recipientAddresses()
{
    QFETCH(QString, entry);
    QFETCH(QString, address);
    QCOMPARE(recipientAddress(entry), address);
}

void TestMailMessage::headerList()
{
    THeaderList h;
    h.setValue(QStringLiteral("Subject"), QStringLiteral("One"));
    h.setValue(QStringLiteral("X-Mailer"), QStringLiteral("P"));
    h.setValue(QStringLiteral("subject"), QStringLiteral("Two"));
    QCOMPARE(h.lines(), QStringList({"subject: Two", "X-Mailer: P"}));
    QCOMPARE(h.value(QStringLiteral("SUBJECT")), QStringLiteral("Two"));
    h.setValue(QStringLiteral("Subject"), QString());
    QCOMPARE(h.lines(), QStringList({"X-Mailer: P"}));
    QCOMPARE(h.indexOfName(QStringLiteral("Subject")), -1);
    QCOMPARE(h.toBytes(), QByteArray("X-Mailer: P\r\n"));
}

void TestMailMessage::mailto_data()
{
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("link");
    QTest::newRow("reserved characters") << "A&B=C?"
                                         << "100% sure"
                                         << "mailto:ann@example.com?subject=A_B_C_&body=100_ sure";
    QTest::newRow("two lines") << "Invoice"
                               << "first\r\nsecond"
                               << "mailto:ann@example.com?subject=Invoice&body=first\r%0Asecond";
}

void TestMailMessage::mailto()
{
    QFETCH(QString, subject);
    QFETCH(QString, text);
    QFETCH(QString, link);
    QCOMPARE(mailtoLink(QStringLiteral("  ann@example.com "), subject, text), link);
}

QTEST_GUILESS_MAIN(TestMailMessage)
#include "tst_mail_message.moc"
