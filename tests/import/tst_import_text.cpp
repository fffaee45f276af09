// Reading import files: the splitting rules, line ends, encodings, and files that are no text.

#include "ImportText.h"
#include "TestSupport.h"

#include <QRandomGenerator>
#include <QTest>

using namespace tallyra;
using testsupport::TempDataDir;
using testsupport::writeFile;

namespace {

struct Read
{
    QList<qint64> numbers;
    QStringList texts;
    QList<bool> tooLong;
};

Read readLines(const QString &path, TextEncoding encoding)
{
    Read r;
    LineReader reader(path, encoding);
    QString message;
    if (!reader.open(&message))
        return r;
    TextLine line;
    while (reader.next(&line)) {
        r.numbers << line.number;
        r.texts << line.text;
        r.tooLong << line.tooLong;
    }
    return r;
}

} // namespace

class TestImportText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void splitting_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("delimiter");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("plain") << "a,b,c" << 44 << QStringList{"a", "b", "c"};
        QTest::newRow("quoted middle field holding a comma")
            << "Smith,\"12 Main St, Apt 4\",Boston" << 44
            << QStringList{"Smith", "12 Main St, Apt 4", "Boston"};
        QTest::newRow("delimiter at the end makes no empty field") << "a,b," << 44 << QStringList{"a", "b"};
        QTest::newRow("two delimiters at the end") << "a,b,," << 44 << QStringList{"a", "b", ""};
        QTest::newRow("empty fields between") << "a,,c" << 44 << QStringList{"a", "", "c"};
        QTest::newRow("leading delimiter") << ",b" << 44 << QStringList{"", "b"};
        QTest::newRow("tab delimited keeps commas")
            << "Smith, Jr.\tJohn\t02134" << 9 << QStringList{"Smith, Jr.", "John", "02134"};
        QTest::newRow("doubled quote closes and reopens")
            << "\"say \"\"hi\"\"\",x" << 44 << QStringList{"say hi", "x"};
        QTest::newRow("lone quote dropped") << "O\"Brien,Pat" << 44 << QStringList{"OBrien", "Pat"};
        QTest::newRow("quote inside a field") << "ab\"c,d\"e,f" << 44 << QStringList{"abc,de", "f"};
        QTest::newRow("quoted empty field") << "\"\",x" << 44 << QStringList{"", "x"};
        QTest::newRow("blanks kept") << "  a , b " << 44 << QStringList{"  a ", " b "};
        QTest::newRow("semicolon") << "1;2;3" << 59 << QStringList{"1", "2", "3"};
        QTest::newRow("unit separator") << "1\x1f"
                                           "2"
                                        << 31 << QStringList{"1", "2"};
        QTest::newRow("only a delimiter") << "," << 44 << QStringList{""};
    }
    void splitting()
    {
        QFETCH(QString, line);
        QFETCH(int, delimiter);
        QFETCH(QStringList, fields);
        QCOMPARE(splitLine(line, QChar(char16_t(delimiter))), fields);
    }

    // Every kind of line end gives the same lines, numbered as an editor numbers them; UTF-8
    // with or without mark is read as UTF-8, anything else as Windows-1252.
    void lines_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("encoding");
        QTest::addColumn<QList<qint64>>("numbers");
        QTest::addColumn<QStringList>("texts");
        const QStringList three{"one", "two", "three"};
        const QList<qint64> oneTwoThree{1, 2, 3};
        const int utf8 = int(TextEncoding::Utf8);
        const int cp1252 = int(TextEncoding::Windows1252);
        QTest::newRow("LF") << QByteArray("one\ntwo\nthree\n") << utf8 << oneTwoThree << three;
        QTest::newRow("CR LF") << QByteArray("one\r\ntwo\r\nthree\r\n") << utf8 << oneTwoThree << three;
        QTest::newRow("CR") << QByteArray("one\rtwo\rthree") << utf8 << oneTwoThree << three;
        QTest::newRow("no end on the last line")
            << QByteArray("one\r\ntwo\nthree") << utf8 << oneTwoThree << three;
        QTest::newRow("empty lines passed over")
            << QByteArray("\r\none\n\n\ntwo\r\r\nthree\n\n") << utf8 << QList<qint64>{2, 5, 7} << three;
        QTest::newRow("Ctrl-Z at the end")
            << QByteArray("one\r\ntwo\r\nthree\r\n\x1a") << utf8 << oneTwoThree << three;
        QTest::newRow("nothing") << QByteArray("\r\n\r\n") << utf8 << QList<qint64>{} << QStringList{};

        const QString accented = QStringLiteral("Müller,Zoë,Ærø,€5");
        const auto row = [](const char *name, const QByteArray &bytes, int encoding, const QString &text) {
            QTest::newRow(name) << bytes + "\r\n" << encoding << QList<qint64>{1} << QStringList{text};
        };
        row("UTF-8", accented.toUtf8(), utf8, accented);
        row("UTF-8 with mark", "\xEF\xBB\xBF" + accented.toUtf8(), int(TextEncoding::Utf8Bom), accented);
        row("Windows-1252",
            "M\xFCller,Zo\xEB,\xC6r\xF8,\x80"
            "5",
            cp1252, accented);
        row("cut UTF-8 sequence", "caf\xC3", cp1252, QStringLiteral("caf\u00C3"));
        row("overlong UTF-8 form", "a\xC0\xAF", cp1252, QStringLiteral("a\u00C0\u00AF"));
        row("quotes of 1252", "\x93quoted\x94", cp1252, QStringLiteral("\u201Cquoted\u201D"));
    }
    void lines()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, encoding);
        QFETCH(QList<qint64>, numbers);
        QFETCH(QStringList, texts);
        TempDataDir dir;
        const QString path = dir.file("lines.txt");
        QVERIFY(writeFile(path, bytes));
        const TextFileCheck check = checkTextFile(path, 44);
        QVERIFY2(check.ok, qPrintable(check.message));
        QCOMPARE(int(check.encoding), encoding);
        const Read r = readLines(path, check.encoding);
        QCOMPARE(r.numbers, numbers);
        QCOMPARE(r.texts, texts);
    }

    // A binary file is refused with the byte that gave it away; the delimiter itself is allowed.
    void binaryRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // null: no file at all
        QTest::addColumn<int>("delimiter");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("says");
        QByteArray random(64 * 1024, Qt::Uninitialized);
        QRandomGenerator gen(16);
        for (char &c : random)
            c = char(gen.bounded(256));
        QTest::newRow("random bytes") << random << 44 << false << "is not a text file";
        QTest::newRow("a NUL byte beside the delimiter 0x01")
            << QByteArray("a\001b\ngood\0line\n", 14) << 1 << false << "0x00 at byte 8";
        QTest::newRow("0x01 as the delimiter") << QByteArray("a\001b\n") << 1 << true << "";
        QTest::newRow("0x01 with the comma as delimiter")
            << QByteArray("a\001b\n") << 44 << false << "is not a text file";
        QTest::newRow("missing file") << QByteArray() << 44 << false << "cannot be read";
    }
    void binaryRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, delimiter);
        QFETCH(bool, ok);
        QFETCH(QString, says);
        TempDataDir dir;
        const QString path = dir.file("in.txt");
        if (!bytes.isNull())
            QVERIFY(writeFile(path, bytes));
        const TextFileCheck check = checkTextFile(path, delimiter);
        QCOMPARE(check.ok, ok);
        QVERIFY2(check.message.contains(says), qPrintable(check.message));
    }

    // A 10 MB line is reported as too long without being held, and the lines around it are read.
    void longLine()
    {
        TempDataDir dir;
        const QString path = dir.file("long.txt");
        QByteArray bytes = "first,line\r\n" + QByteArray(10 * 1024 * 1024, 'x') + "\r\nlast,line\r\n";
        bytes[100000] = ',';
        QVERIFY(writeFile(path, bytes));
        const TextFileCheck check = checkTextFile(path, 44);
        QVERIFY(check.ok);
        QCOMPARE(check.lines, 3);
        const Read r = readLines(path, check.encoding);
        QCOMPARE(r.numbers, (QList<qint64>{1, 2, 3}));
        QCOMPARE(r.tooLong, (QList<bool>{false, true, false}));
        QCOMPARE(r.texts, (QStringList{"first,line", "", "last,line"}));
    }
};

QTEST_GUILESS_MAIN(TestImportText)
#include "tst_import_text.moc"
