// The documents built from a shop on disk: whole documents against reviewed golden files, the
// worked examples checked cell by cell, the letterhead's placement and measured rows, wrapping and
// masking, page breaks, and the e-mail hand-over with a sender that records what it is given.

#include "DocumentRun.h"
#include "DocumentSender.h"
#include "DocumentTestSupport.h"
#include "DocumentText.h"
#include "InvoiceStore.h"
#include "ReportBuffer.h"
#include "ReportFont.h"
#include "ReportText.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QTest>
#include <cmath>

using namespace tallyra;

namespace {

class RecordingSender : public DocumentSender
{
public:
    bool send(const OutgoingDocument &document, QString *error) override
    {
        documents << document;
        if (!pdfs.isEmpty() || renderPdfs)
            pdfs << (document.renderPdf ? document.renderPdf() : QByteArray());
        if (failAt > 0 && documents.size() == failAt) {
            *error = QStringLiteral("550 Mailbox unavailable");
            return false;
        }
        return true;
    }
    QList<OutgoingDocument> documents;
    QList<QByteArray> pdfs;
    bool renderPdfs = false;
    int failAt = 0;
};

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing " + path.toUtf8() + ">");
}

// The rows of the buffer as padded lines, for searching.
QStringList lines(const ReportBuffer &b)
{
    QStringList out;
    for (int row = 0; row < b.rowCount(); ++row)
        out << reportLine(b, row, TextLayout::Padded);
    return out;
}

int rowWith(const ReportBuffer &b, const QString &text, int from = 0)
{
    for (int row = from; row < b.rowCount(); ++row)
        for (int c = 0; c < b.cellCount(); ++c)
            if (b.cell(c, row).contains(text))
                return row;
    return -1;
}

DocumentContext shopContext(const DocumentMeasure &measure = {})
{
    return DocumentContext::from(doctest::shopSettings(), measure);
}

// A measure of the report font on a Letter page at 300 dpi, as a printer would give.
DocumentMeasure letterMeasure()
{
    const QPageLayout layout(QPageSize(QPageSize::Letter), QPageLayout::Portrait,
                             QMarginsF(0.25, 0.25, 0.25, 0.25), QPageLayout::Inch);
    return DocumentMeasure::forPage(ReportFont::font(), layout, 300);
}

} // namespace

class TestDocuments : public QObject
{
    Q_OBJECT

private:
    testsupport::TempDataDir m_dir;
    std::unique_ptr<testsupport::FixedClock> m_clock;

    // Opens the shop's tables on a fresh engine.
    std::unique_ptr<db::Engine> openShop()
    {
        auto engine = std::make_unique<db::Engine>(m_dir.path());
        if (!InvoiceStore::openTables(*engine))
            return nullptr;
        return engine;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        ReportFont::reset();
        m_clock = std::make_unique<testsupport::FixedClock>(QDate(2024, 3, 15));
        QVERIFY(doctest::makeShop(m_dir.path()));
    }

    void documentsMatchTheGoldenFiles_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<QList<qint64>>("picked"); // invoice numbers, or customer numbers for statements
        QTest::addColumn<QString>("golden");
        QTest::newRow("invoices of a span") << int(DocumentType::Invoice) << QDate(2024, 3, 1)
                                            << QDate(2024, 3, 10) << QList<qint64>{} << "invoices.txt";
        QTest::newRow("bills due, then one picked")
            << int(DocumentType::Bill) << QDate(2024, 3, 1) << QDate(2024, 3, 31) << QList<qint64>{1003}
            << "bills.txt";
        QTest::newRow("statements due") << int(DocumentType::Statement) << QDate(2024, 3, 1)
                                        << QDate(2024, 3, 31) << QList<qint64>{} << "statements.txt";
        QTest::newRow("statement picked") << int(DocumentType::Statement) << QDate() << QDate()
                                          << QList<qint64>{42} << "statement_picked.txt";
        QTest::newRow("packing lists") << int(DocumentType::PackingList) << QDate(2024, 3, 1)
                                       << QDate(2024, 3, 5) << QList<qint64>{} << "packing_lists.txt";
        QTest::newRow("customer gone")
            << int(DocumentType::Invoice) << QDate() << QDate() << QList<qint64>{1006} << "customer_gone.txt";
    }

    void documentsMatchTheGoldenFiles()
    {
        QFETCH(int, type);
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(QList<qint64>, picked);
        QFETCH(QString, golden);
        auto engine = openShop();
        QVERIFY(engine);
        ReportBuffer buffer([] { return 60; });
        DocumentRun run(*engine, buffer, shopContext(), DocumentType(type));
        if (from.isValid())
            QVERIFY(run.runDateSpan(from, to));
        for (qint64 number : picked) {
            const quint32 rec = DocumentType(type) == DocumentType::Statement ? run.customerRecord(number)
                                                                              : run.invoiceRecord(number);
            QVERIFY(rec != 0);
            QVERIFY(run.addRecord(rec));
        }
        QVERIFY(!run.failed());
        closeAllTables(*engine);

        const QByteArray text = reportExportText(buffer, TextLayout::Padded);
        const QByteArray expected = readAll(testsupport::fixturePath(QStringLiteral("documents/") + golden));
        if (text != expected) {
            QFile actual(QDir::temp().filePath(golden));
            if (actual.open(QIODevice::WriteOnly))
                actual.write(text);
            QFAIL(
                qPrintable(golden + " differs from the golden file; actual output in " + actual.fileName()));
        }
    }

    // The worked examples, cell by cell, so the golden files cannot drift from them unseen.
    void workedExamples()
    {
        auto engine = openShop();
        QVERIFY(engine);
        ReportBuffer b([] { return 60; });
        DocumentRun run(*engine, b, shopContext(), DocumentType::Invoice);
        QVERIFY(run.runDateSpan(QDate(2024, 3, 1), QDate(2024, 3, 5)));
        QCOMPARE(run.documents(), 2);
        QCOMPARE(run.fileName(), QStringLiteral("Invoices 1001-1002.pdf"));
        const int second = rowWith(b, QStringLiteral("EJECT"));
        QVERIFY(second > 0);

        // 1001: no discount and no charges: one "Total:" line where "SubTotal:" would be.
        QCOMPARE(rowWith(b, QStringLiteral("SubTotal:")) > second, true);
        const int total = rowWith(b, QStringLiteral("R59Total:"));
        QVERIFY(total > 0 && total < second);
        QCOMPARE(b.cell(9, total).trimmed(), QStringLiteral("R72       27.00"));
        QCOMPARE(b.cell(0, total), QStringLiteral("L01Net 30"));
        QCOMPARE(b.cell(9, total + 1), QStringLiteral("R72       10.00")); // Amount Paid:
        QCOMPARE(b.cell(7, total + 2), QStringLiteral("R59Balance Due:"));
        QCOMPARE(b.cell(9, total + 2), QStringLiteral("R72       17.00"));
        QCOMPARE(b.cell(10, total + 3), QStringLiteral("H6073"));
        // Quantities above 1 carry an asterisk, 1 and 0.5 do not.
        QVERIFY(rowWith(b, QStringLiteral("R59     2.00*")) > 0);
        QVERIFY(rowWith(b, QStringLiteral("R59     1.00")) > 0);
        QCOMPARE(rowWith(b, QStringLiteral("1.00*")), -1);
        QCOMPARE(rowWith(b, QStringLiteral("0.50*")), -1);

        // 1002: 10 % off 100.00, the masked card number on the discount line, both charges.
        const int discount = rowWith(b, QStringLiteral("% Discount:"), second);
        QCOMPARE(b.cell(7, discount), QStringLiteral("R5910.00% Discount:"));
        QCOMPARE(b.cell(9, discount), QStringLiteral("R72      -10.00"));
        QCOMPARE(b.cell(0, discount), QStringLiteral("L01xxxxxxxxxxxx1111 12/05"));
        QCOMPARE(b.cell(7, discount + 1), QStringLiteral("R59SubTotal:"));
        QCOMPARE(b.cell(9, discount + 1), QStringLiteral("R72       90.00"));
        QCOMPARE(b.cell(0, discount + 1), QString());
        QCOMPARE(b.cell(7, discount + 2), QStringLiteral("R59Shipping:"));
        QCOMPARE(b.cell(7, discount + 3), QStringLiteral("R59Sales Tax:"));
        QCOMPARE(b.cell(7, discount + 4), QStringLiteral("R59Total:"));
        QCOMPARE(b.cell(9, discount + 4), QStringLiteral("R72      102.65"));
        QVERIFY(rowWith(b, QStringLiteral("L13License No. SW-42")) > second);
        // No digit run of the card survives anywhere.
        QVERIFY(!lines(b).join('\n').contains(QStringLiteral("4111")));
        closeAllTables(*engine);
    }

    void statementsAndPackingLists()
    {
        auto engine = openShop();
        QVERIFY(engine);
        ReportBuffer b([] { return 60; });
        {
            DocumentRun run(*engine, b, shopContext(), DocumentType::Statement);
            QVERIFY(run.runDateSpan(QDate(2024, 3, 1), QDate(2024, 3, 31)));
            // Cole (credit, TN1) before Holloway (TN24); Brook owes nothing.
            QCOMPARE(run.documents(), 2);
        }
        const QString text = lines(b).join('\n');
        QVERIFY(text.contains(QStringLiteral("-15.00")));
        QVERIFY(!text.contains(QStringLiteral("1005"))); // a day after the span
        QVERIFY(!text.contains(QStringLiteral("Brook")));
        QVERIFY(text.indexOf(QStringLiteral("Cole")) < text.indexOf(QStringLiteral("Holloway")));
        // Cole's one-invoice statement ends with totals equal to its line, then the closing rule.
        const int eject = rowWith(b, QStringLiteral("EJECT"));
        const int line = rowWith(b, QStringLiteral("R07  1004"));
        QVERIFY(line > 0 && line < eject);
        QCOMPARE(b.flags(line), QStringLiteral("U"));
        QCOMPARE(b.cell(1, line + 1), QStringLiteral("R18Totals"));
        for (int c = 4; c <= 10; ++c)
            QCOMPARE(b.cell(c, line + 1), b.cell(c, line));
        QCOMPARE(b.cell(10, line + 2), QStringLiteral("H2059"));
        QCOMPARE(line + 3, eject);

        // Packing lists never show prices, totals, product texts or the memo.
        {
            DocumentRun run(*engine, b, shopContext(), DocumentType::PackingList);
            QVERIFY(run.runDateSpan(QDate(2024, 3, 1), QDate(2024, 3, 5)));
            QCOMPARE(run.documents(), 2);
        }
        const QString packing = lines(b).join('\n');
        for (const char *absent : {"12.50", "25.00", "Total", "Keep dry", "Thank you", "Balance"})
            QVERIFY2(!packing.contains(QLatin1String(absent)), absent);
        QCOMPARE(packing.count(QStringLiteral("Invoice No:  100")), 2);
        QCOMPARE(rowWith(b, QStringLiteral("L00Page")), -1); // each list fits its first page
        closeAllTables(*engine);
    }

    void letterheadPlacement_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("justify");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("invoice left") << int(DocumentType::Invoice) << 1 << "L00";
        QTest::newRow("invoice center") << int(DocumentType::Invoice) << 2 << "C36";
        QTest::newRow("invoice right") << int(DocumentType::Invoice) << 3 << "R73";
        QTest::newRow("statement center") << int(DocumentType::Statement) << 2 << "C29";
        QTest::newRow("statement right") << int(DocumentType::Statement) << 3 << "R59";
        QTest::newRow("packing list center") << int(DocumentType::PackingList) << 2 << "C25";
        QTest::newRow("packing list right") << int(DocumentType::PackingList) << 3 << "R50";
    }

    void letterheadPlacement()
    {
        QFETCH(int, type);
        QFETCH(int, justify);
        QFETCH(QString, prefix);
        SettingsRecord s = doctest::shopSettings();
        s.LHJustify = justify;
        s.LogoFile = QStringLiteral("logo.png");
        s.LogoHeight = 0.5;
        s.LogoWidth = 2;
        DocumentContext context = DocumentContext::from(s, {}); // six lines to the inch
        ReportBuffer b;
        startDocumentLayout(b, DocumentType(type));
        CurrentInvoice invoice;
        invoice.number = 7;
        DocumentCustomer customer;
        if (DocumentType(type) == DocumentType::Statement)
            buildStatementDocument(b, context, customer, {StatementLine{"     7", "3/1/24", 1, 0, 1}});
        else if (DocumentType(type) == DocumentType::PackingList)
            buildPackingListDocument(b, context, invoice, customer);
        else
            buildInvoiceDocument(b, context, DocumentType(type), invoice, customer, false);

        QCOMPARE(b.cell(0, 0), QStringLiteral("I") + prefix + QStringLiteral("logo.png"));
        QCOMPARE(b.flags(0), QStringLiteral("S 0.50 2.00"));
        for (int row = 1; row <= 3; ++row) // half an inch of six-to-the-inch lines
            QCOMPARE(b.cell(0, row), QString());
        QCOMPARE(b.cell(0, 4), prefix + QStringLiteral("Harbour Supplies"));
        QCOMPARE(b.flags(4), QStringLiteral("B"));
        QCOMPARE(b.cell(0, 6), prefix + QStringLiteral("Dover"));
        QCOMPARE(b.flags(6), QStringLiteral("BU"));
        QCOMPARE(b.cell(0, 7),
                 QStringLiteral("R") + QString::number(b.reportWidth()) + QStringLiteral("3/15/24"));
        QCOMPARE(b.cell(0, 9), QStringLiteral("C") + QString::number(b.reportWidth() / 2) +
                                   documentWord(DocumentType(type), 0));
        QCOMPARE(b.pageNo(), 1);
    }

    void topMarginAndLogoCoverTheirInches()
    {
        const DocumentMeasure measure = letterMeasure();
        QVERIFY(measure.dpiY() >= 299 && measure.dpiY() <= 301);
        QVERIFY(measure.lineHeight() > 10);
        for (const double inches : {0.0, 1.0, 0.55}) {
            SettingsRecord s = doctest::shopSettings();
            s.TopMargin = inches;
            s.Company.clear();
            s.Addr1.clear();
            s.Addr2.clear();
            s.LogoFile = QStringLiteral("logo.bmp");
            s.LogoHeight = 1.5;
            ReportBuffer b;
            startDocumentLayout(b, DocumentType::Invoice);
            addLetterhead(b, DocumentContext::from(s, measure).letterhead, measure);
            const int margin = rowWith(b, QStringLiteral("IL00logo.bmp"));
            if (inches == 0)
                QCOMPARE(margin, 0);
            else {
                QVERIFY2(margin * measure.lineHeight() >= measure.dpiY() * inches,
                         qPrintable(QString::number(margin)));
                QVERIFY((margin - 1) * measure.lineHeight() < measure.dpiY() * inches);
            }
            // The logo's rows cover its height; without any text a rule closes the last of them.
            const int n = int(std::trunc(measure.dpiY() * 1.5 / measure.lineHeight()));
            QCOMPARE(b.flags(margin + n), QStringLiteral("U"));
            QCOMPARE(b.cell(0, margin + n + 1), QStringLiteral("R733/15/24"));
        }
    }

    void masking_data()
    {
        QTest::addColumn<QString>("note");
        QTest::addColumn<QString>("printed");
        QTest::newRow("card and expiry") << "4111111111111111 12/05"
                                         << "xxxxxxxxxxxx1111 12/05";
        QTest::newRow("one-digit month") << "5500 0000 0000 0004 1/27"
                                         << "xxxxxxxxxxxx0004 1/27";
        QTest::newRow("plain note") << "Net 30, deliver to back door"
                                    << "Net 30, deliver to back door";
        QTest::newRow("card without expiry, dashes") << "Visa 4111-1111-1111-1111 paid"
                                                     << "Visa xxxxxxxxxxxx1111 paid";
        QTest::newRow("card without expiry, blanks") << "Amex 3782 822463 10005"
                                                     << "Amex xxxxxxxxxxx0005";
        QTest::newRow("long number failing the check") << "Order 4111111111111112"
                                                       << "Order 4111111111111112";
        QTest::newRow("phone number kept") << "Call 01233 555 010"
                                           << "Call 01233 555 010";
    }

    void masking()
    {
        QFETCH(QString, note);
        QFETCH(QString, printed);
        QCOMPARE(maskedNote(note), printed);
    }

    void wrapping_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("words kept whole")
            << "the quick brown fox" << 10 << QStringList{"the quick ", "brown fox"};
        QTest::newRow("line feed starts a line, return dropped")
            << "  one\r\ntwo three  " << 20 << QStringList{"one", "two three"};
        QTest::newRow("word wider than the line is cut at the width")
            << "abcdefghijklmnop qr" << 6 << QStringList{"abcdef", "ghijkl", "mnop ", "qr"};
        QTest::newRow("empty text") << "   \n " << 10 << QStringList{};
        QTest::newRow("blank that overflows ends the line") << "abcde fg" << 5 << QStringList{"abcde ", "fg"};
    }

    void wrapping()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(QStringList, expected);
        QCOMPARE(wrapText(text, width, [](const QString &s) { return int(s.size()); }), expected);
    }

    void longRunWithoutBlankLosesNothing()
    {
        // 250 characters without a blank, on the real printer measure: every character printed
        // once, in order, each line within the width.
        QString text;
        for (int i = 0; i < 250; ++i)
            text += QChar('a' + i % 26);
        const DocumentMeasure measure = letterMeasure();
        const QStringList wrapped = wrapText(text, measure.availableWidth(73),
                                             [&](const QString &s) { return measure.textWidth(s, 73); });
        QCOMPARE(wrapped.join(QString()), text);
        QVERIFY(wrapped.size() >= 3);
        for (const QString &line : wrapped)
            QVERIFY(measure.textWidth(line, 73) <= measure.availableWidth(73));
    }

    void longInvoiceBreaksPagesBetweenBlocks()
    {
        // 30 items with second lines on 40-line pages: the item blocks and the totals never split,
        // every page after the first repeats header and headings, and each invoice counts its own
        // pages from 1.
        testsupport::TempDataDir dir;
        QList<ItemRecord> items;
        for (int i = 0; i < 30; ++i)
            items << doctest::item(QStringLiteral("P%1").arg(i), 1, i + 1, QStringLiteral("Part %1").arg(i),
                                   QStringLiteral("second line %1").arg(i));
        QVERIFY(doctest::makeShop(dir.path(), {doctest::invoice(1, 42, QDate(2024, 3, 1), items, {}),
                                               doctest::invoice(2, 42, QDate(2024, 3, 2), items, {})}));
        db::Engine engine(dir.path());
        QVERIFY(InvoiceStore::openTables(engine));
        ReportBuffer b([] { return 40; });
        DocumentRun run(engine, b, shopContext(), DocumentType::Bill);
        QVERIFY(run.runDateSpan(QDate(2024, 3, 1), QDate(2024, 3, 2)));
        QCOMPARE(run.documents(), 2);
        closeAllTables(engine);

        QStringList pageStarts;
        int linesOnPage = 0;
        for (int row = 0; row < b.rowCount(); ++row) {
            const QString first = b.cell(0, row);
            if (first == QStringLiteral("EJECT")) {
                QVERIFY2(linesOnPage <= 40, qPrintable(QString::number(linesOnPage)));
                linesOnPage = 0;
                pageStarts << b.cell(0, row + 1);
                continue;
            }
            ++linesOnPage;
            // A second line always directly follows its item on the same page.
            if (b.cell(3, row).startsWith(QStringLiteral("L13second line"))) {
                QVERIFY(b.cell(3, row - 1).startsWith(QStringLiteral("L13Part")));
            }
        }
        // Invoice 1 runs to page 3; invoice 2 starts on its letterhead (no page line) and counts again.
        QCOMPARE(pageStarts,
                 (QStringList{"L00Page 2", "L00Page 3", "L00Harbour Supplies", "L00Page 2", "L00Page 3"}));
        const int page2 = rowWith(b, QStringLiteral("L00Page 2"));
        QCOMPARE(b.flags(page2 - 2), QStringLiteral("U")); // the box closed at the foot of page 1
        QCOMPARE(b.cell(0, page2 + 2), QStringLiteral("C36Bill"));
        QCOMPARE(b.cell(1, page2 + 7), QStringLiteral("L01Item Code"));
        QCOMPARE(b.flags(page2 + 6), QStringLiteral("U"));
        // The totals block sits on one page: from its "Total:" row to the closing rule, no page break.
        const int sub = rowWith(b, QStringLiteral("R59Total:"));
        const int rule = rowWith(b, QStringLiteral("H6073"));
        QVERIFY(sub > 0 && rule > sub);
        for (int row = sub; row <= rule; ++row)
            QVERIFY(b.cell(0, row) != QStringLiteral("EJECT"));
    }

    void emailModeSendsEachDocumentAlone()
    {
        auto engine = openShop();
        QVERIFY(engine);
        ReportBuffer b([] { return 60; });
        RecordingSender sender;
        sender.renderPdfs = true;
        QStringList status;
        DocumentRun run(*engine, b, shopContext(), DocumentType::Invoice, &sender);
        run.setProgress({[&](const QString &m) { status << m; }, {}, [&] { status << QString(); }});
        run.setPdfRenderer([](const ReportBuffer &buffer) {
            const QPageLayout layout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF());
            return documentPdf(buffer, layout, 300, ReportFont::font());
        });
        QVERIFY(run.runDateSpan(QDate(2024, 3, 1), QDate(2024, 4, 30)));
        // 1001..1006 built; Brook's "a@b" is too short and 1006's customer is gone: not sent.
        QCOMPARE(run.documents(), 6);
        QCOMPARE(run.sent(), 4);
        QCOMPARE(sender.documents.size(), 4);
        QCOMPARE(status, (QStringList{"Sending EMail 1", "", "Sending EMail 2", "", "Sending EMail 3", "",
                                      "Sending EMail 4", ""}));
        const QStringList numbers = {"1001", "1002", "1004", "1005"};
        for (int i = 0; i < 4; ++i) {
            const OutgoingDocument &d = sender.documents.at(i);
            QCOMPARE(d.subject, QStringLiteral("Invoice"));
            QCOMPARE(d.attachmentName, QStringLiteral("Invoice ") + numbers[i] + QStringLiteral(".pdf"));
            QCOMPARE(d.recipients, QStringList{i == 2 ? QStringLiteral("jc@cole.example")
                                                      : QStringLiteral("tom@holloway.example")});
            // One document per message, without the note.
            QCOMPARE(d.text.count(QStringLiteral("Invoice No:")), 1);
            QVERIFY(d.text.contains(QStringLiteral("Invoice No:  ") + numbers[i]));
            QVERIFY(!d.text.contains(QStringLiteral("Net 30")));
            QVERIFY(!d.text.contains(QStringLiteral("12/05")));
            // A rule after every row flagged "U" is a line of 74 dashes.
            QVERIFY(d.text.contains(QLatin1Char('\n') + QString(74, QLatin1Char('-')) + QLatin1Char('\n')));
            QVERIFY(sender.pdfs.at(i).startsWith("%PDF"));
        }
        QVERIFY(b.isEmpty());

        // A send that fails stops the run at that document.
        RecordingSender failing;
        failing.failAt = 2;
        DocumentRun stopped(*engine, b, shopContext(), DocumentType::Statement, &failing);
        QVERIFY(!stopped.runDateSpan(QDate(2024, 1, 1), QDate(2024, 12, 31)));
        QCOMPARE(failing.documents.size(), 2);
        QCOMPARE(stopped.failure(), QStringLiteral("550 Mailbox unavailable"));
        QCOMPARE(failing.documents.at(0).subject, QStringLiteral("Account Statement"));
        QCOMPARE(failing.documents.at(0).attachmentName, QStringLiteral("Statement 44 Cole.pdf"));
        QCOMPARE(failing.documents.at(1).attachmentName, QStringLiteral("Statement 42 Holloway.pdf"));
        QCOMPARE(stopped.documents(), 2); // Brook's statement after the failure was never built
        closeAllTables(*engine);
    }
};

QTEST_MAIN(TestDocuments)
#include "tst_documents.moc"
