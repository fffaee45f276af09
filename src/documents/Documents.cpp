#include "Documents.h"

#include "Conversions.h"
#include "DocumentText.h"
#include "ReportBuffer.h"
#include "Settings.h"

#include <QLocale>
#include <cstdio>

namespace tallyra {

namespace {

struct Layout
{
    int width;
    QStringList codes;    // column codes, the flags cell excluded
    QStringList headings; // heading text per column ("" for none)
    QString title;        // fixed title; empty for the document word
};

const Layout &layoutOf(DocumentType type)
{
    static const Layout invoice{73,
                                {"V00", "L01", "V12", "L13", "V41", "R49", "V50", "R59", "V60", "R72", "V73"},
                                {"", "Item Code", "", "Description", "", "Price", "", "Qty", "", "Total", ""},
                                {}};
    static const Layout statement{
        59,
        {"V00", "R07", "V09", "R18", "V20", "R31", "V33", "R44", "V46", "R57", "V59"},
        {"", "Invoice", "", "Date", "", "Charges", "", "Payments", "", "Amount Due", ""},
        QStringLiteral("Account Statement")};
    static const Layout packing{50,
                                {"V00", "L01", "V12", "L13", "V41", "R49", "V50"},
                                {"", "Item Code", "", "Description", "", "Qty", ""},
                                QStringLiteral("Packing List")};
    switch (type) {
    case DocumentType::Statement:
        return statement;
    case DocumentType::PackingList:
        return packing;
    default:
        return invoice;
    }
}

// Each column code into the current row, cells `from` to `to`.
void putCodes(ReportBuffer &b, int from, int to)
{
    for (int c = from; c <= to; ++c)
        b.setCell(c, b.colCode(c));
}

// An empty row, then a copy of the heading block.
void addHeadings(ReportBuffer &b)
{
    b.newRow();
    for (int h = 0; h < b.headingRowCount(); ++h) {
        b.newRow();
        for (int c = 0; c < b.cellCount(); ++c)
            b.setCell(c, b.heading(c, h));
    }
}

// The common start of every document: a page break after an earlier one, the letterhead, the
// title in bold and two empty rows.
void beginDocument(ReportBuffer &b, const DocumentContext &context, const QString &title)
{
    if (!b.isEmpty()) {
        b.newRow();
        b.setCell(0, QStringLiteral("EJECT"));
        b.setPageLines(0);
    }
    if (b.titles().isEmpty())
        b.titles() << title;
    else
        b.titles()[0] = title;
    addLetterhead(b, context.letterhead, context.measure);
    b.newRow();
    b.setCell(0, QStringLiteral("C") + ReportBuffer::column(b.reportWidth() / 2) + title);
    b.setFlags(b.curRow(), QStringLiteral("B"));
    b.newRow();
    b.newRow();
}

// "%<width>.2f" with the locale's decimal separator, as formatAmount() gives it, without building
// a locale and a format string for every one of the thousands of figures of a run.
QString money(double value, int width = 12)
{
    static QLocale locale;
    static QChar point = QLatin1Char('.');
    if (!(locale == QLocale())) {
        locale = QLocale();
        point = locale.decimalPoint().at(0);
    }
    char text[64];
    const int n = std::snprintf(text, sizeof text, "%*.2f", width, value);
    QString result = QString::fromLatin1(text, n > 0 ? qMin(n, int(sizeof text) - 1) : 0);
    if (point != QLatin1Char('.'))
        result.replace(QLatin1Char('.'), point);
    return result;
}

// A totals row: label and amount in the totals box.
void totalsRow(ReportBuffer &b, const QString &label, double amount)
{
    b.newRow();
    b.setCell(7, QStringLiteral("R59") + label);
    b.setCell(8, QStringLiteral("V60"));
    b.setCell(9, QStringLiteral("R72") + money(amount));
    b.setCell(10, QStringLiteral("V73"));
}

// An item row's second line: the rules of the box and one text under the description.
void itemTextRow(ReportBuffer &b, const QString &text)
{
    b.newRow();
    b.setCell(0, QStringLiteral("V00"));
    b.setCell(2, QStringLiteral("V12"));
    b.setCell(3, QStringLiteral("L13") + text);
    b.setCell(4, QStringLiteral("V41"));
    if (b.cellCount() > 8) {
        b.setCell(6, QStringLiteral("V50"));
        b.setCell(8, QStringLiteral("V60"));
        b.setCell(10, QStringLiteral("V73"));
    } else {
        b.setCell(6, QStringLiteral("V50"));
    }
}

void wrappedRows(ReportBuffer &b, const DocumentContext &context, const QString &text)
{
    const int width = b.reportWidth();
    const QStringList lines =
        wrapText(text, context.measure.availableWidth(width),
                 [&context, width](const QString &line) { return context.measure.textWidth(line, width); });
    if (lines.isEmpty())
        return;
    b.newRow();
    for (const QString &line : lines) {
        b.pageCheck(b.pageLines() + 1, false);
        b.newRow();
        b.setCell(0, QStringLiteral("L00") + line);
    }
}

QString addressLine(const DocumentCustomer &customer, int index)
{
    return customer.address.value(index);
}

QString safeFileName(QString name)
{
    static const QString forbidden = QStringLiteral("/\\:*?\"<>|");
    for (QChar &c : name)
        if (forbidden.contains(c) || c.unicode() < 32)
            c = QLatin1Char('_');
    return name.simplified();
}

} // namespace

DocumentContext DocumentContext::from(const SettingsRecord &settings, const DocumentMeasure &measure)
{
    DocumentContext c;
    c.letterhead = Letterhead::from(settings);
    c.measure = measure;
    c.shipLine = settings.ShipLine;
    c.taxLine = settings.TaxLine;
    return c;
}

void startDocumentLayout(ReportBuffer &b, DocumentType type)
{
    const Layout &layout = layoutOf(type);
    b.reportStart(layout.width, int(layout.codes.size()) + 1);
    if (!layout.title.isEmpty())
        b.titles() << layout.title;
    b.setHeadingRowCount(2);
    for (int c = 0; c < layout.codes.size(); ++c) {
        b.setColCode(c, layout.codes[c]);
        b.setHeading(c, 1, layout.codes[c] + layout.headings[c]);
    }
    b.setHeading(b.flagsCell(), 0, QStringLiteral("U"));
    b.setHeading(b.flagsCell(), 1, QStringLiteral("U"));
}

QString documentWord(DocumentType type, double due)
{
    switch (type) {
    case DocumentType::Invoice:
        return QStringLiteral("Invoice");
    case DocumentType::Bill:
        return due > 0 ? QStringLiteral("Bill") : QStringLiteral("Statement");
    case DocumentType::Statement:
        return QStringLiteral("Account Statement");
    case DocumentType::PackingList:
        return QStringLiteral("Packing List");
    }
    return {};
}

void buildInvoiceDocument(ReportBuffer &b, const DocumentContext &context, DocumentType type,
                          const CurrentInvoice &invoice, const DocumentCustomer &customer, bool emailMode)
{
    beginDocument(b, context, documentWord(type, invoice.amountDue));

    b.newRow();
    b.setCell(0, QStringLiteral("L00To:"));
    b.setCell(1, QStringLiteral("L10") + addressLine(customer, 0));
    b.setCell(2, QStringLiteral("R60Invoice No:"));
    b.setCell(3, QStringLiteral("L62") + QString::number(invoice.number));
    b.newRow();
    b.setCell(1, QStringLiteral("L10") + addressLine(customer, 1));
    b.setCell(2, QStringLiteral("R60Invoice Date:"));
    b.setCell(3, QStringLiteral("L62") + formatShortDate(invoice.date));
    for (int i = 2; i < customer.address.size(); ++i) {
        b.newRow();
        b.setCell(1, QStringLiteral("L10") + customer.address.at(i));
    }
    if (customer.found && !customer.phone.trimmed().isEmpty()) {
        b.newRow();
        b.newRow();
        b.setCell(0, QStringLiteral("L00Phone:"));
        b.setCell(1, QStringLiteral("L10") + customer.phone);
    }
    addHeadings(b);

    double sum = 0;
    for (const InvoiceItem &item : invoice.items) {
        b.pageCheck(b.pageLines() + 3, true);
        b.newRow();
        putCodes(b, 0, 10);
        const double total = item.lineTotal();
        QString quantity = money(item.quantity, 9);
        if (item.quantity > 1)
            quantity += QLatin1Char('*');
        b.setCell(1, QStringLiteral("L01") + item.productId);
        b.setCell(3, QStringLiteral("L13") + item.description1);
        b.setCell(5, QStringLiteral("R49") + money(item.unitPrice, 8));
        b.setCell(7, QStringLiteral("R59") + quantity);
        b.setCell(9, QStringLiteral("R72") + money(total));
        if (!item.description2.trimmed().isEmpty())
            itemTextRow(b, item.description2);
        if (!item.licenceCode.trimmed().isEmpty())
            itemTextRow(b, QStringLiteral("License No. ") + item.licenceCode +
                               QString::number(invoice.customerNumber));
        sum += total;
    }
    b.setFlags(b.curRow(), QStringLiteral("U"));
    b.pageCheck(b.pageLines() + 7, true);

    const QString note = maskedNote(invoice.note);
    bool discountRow = false;
    if (invoice.discountPercent > 0) {
        const double discount = roundToCents(invoice.discountPercent * sum / 100);
        totalsRow(b, money(invoice.discountPercent, 5) + QStringLiteral("% Discount:"), -discount);
        if (!emailMode)
            b.setCell(0, QStringLiteral("L01") + note);
        sum -= discount;
        discountRow = true;
    }
    totalsRow(b, QStringLiteral("SubTotal:"), sum);
    if (!emailMode && !discountRow)
        b.setCell(0, QStringLiteral("L01") + note);
    const bool charges = invoice.shipAmount != 0 || invoice.taxAmount != 0;
    if (invoice.shipAmount != 0)
        totalsRow(b, context.shipLine.trimmed() + QLatin1Char(':'), invoice.shipAmount);
    if (invoice.taxAmount != 0)
        totalsRow(b, context.taxLine.trimmed() + QLatin1Char(':'), invoice.taxAmount);
    if (charges)
        b.newRow();
    b.setCell(7, QStringLiteral("R59Total:"));
    b.setCell(8, QStringLiteral("V60"));
    b.setCell(9, QStringLiteral("R72") + money(sum + invoice.shipAmount + invoice.taxAmount));
    b.setCell(10, QStringLiteral("V73"));
    double paid = 0;
    for (const InvoicePayment &payment : invoice.payments)
        paid += payment.amount;
    totalsRow(b, QStringLiteral("Amount Paid:"), paid);
    totalsRow(b, QStringLiteral("Balance Due:"), invoice.amountDue);
    b.newRow();
    b.setCell(10, QStringLiteral("H6073"));

    if (type == DocumentType::Invoice) {
        for (const InvoiceItem &item : invoice.items)
            wrappedRows(b, context, item.productText);
        wrappedRows(b, context, invoice.memo);
    }
}

StatementLine statementLine(const CurrentInvoice &invoice)
{
    StatementLine line;
    line.number = QString::number(invoice.number).rightJustified(6, QLatin1Char(' '));
    line.date = formatShortDate(invoice.date);
    double sum = 0;
    for (const InvoiceItem &item : invoice.items)
        sum += item.quantity * item.unitPrice;
    if (invoice.discountPercent > 0)
        sum -= roundToCents(sum * invoice.discountPercent / 100);
    line.charges = sum + invoice.shipAmount + invoice.taxAmount;
    for (const InvoicePayment &payment : invoice.payments)
        line.payments += payment.amount;
    line.due = invoice.amountDue;
    return line;
}

void buildStatementDocument(ReportBuffer &b, const DocumentContext &context, const DocumentCustomer &customer,
                            const QList<StatementLine> &lines)
{
    beginDocument(b, context, documentWord(DocumentType::Statement, 0));
    b.newRow();
    b.setCell(0, QStringLiteral("L00To:"));
    b.setCell(1, QStringLiteral("L10") + addressLine(customer, 0));
    for (int i = 1; i < customer.address.size(); ++i) {
        b.newRow();
        b.setCell(1, QStringLiteral("L10") + customer.address.at(i));
    }
    addHeadings(b);

    double charges = 0;
    double payments = 0;
    double due = 0;
    auto amountRow = [&b](double c, double p, double d) {
        b.setCell(4, QStringLiteral("V20"));
        b.setCell(5, QStringLiteral("R31") + money(c, 11));
        b.setCell(6, QStringLiteral("V33"));
        b.setCell(7, QStringLiteral("R44") + money(p, 11));
        b.setCell(8, QStringLiteral("V46"));
        b.setCell(9, QStringLiteral("R57") + money(d, 11));
        b.setCell(10, QStringLiteral("V59"));
    };
    for (const StatementLine &line : lines) {
        b.pageCheck(b.pageLines() + 1, true);
        b.newRow();
        b.setCell(0, QStringLiteral("V00"));
        b.setCell(1, QStringLiteral("R07") + line.number);
        b.setCell(2, QStringLiteral("V09"));
        b.setCell(3, QStringLiteral("R18") + line.date);
        amountRow(line.charges, line.payments, line.due);
        charges += line.charges;
        payments += line.payments;
        due += line.due;
    }
    b.setFlags(b.curRow(), QStringLiteral("U"));
    b.pageCheck(b.pageLines() + 1, true);
    b.newRow();
    b.setCell(1, QStringLiteral("R18Totals"));
    amountRow(charges, payments, due);
    b.newRow();
    b.setCell(10, QStringLiteral("H2059"));
}

void buildPackingListDocument(ReportBuffer &b, const DocumentContext &context, const CurrentInvoice &invoice,
                              const DocumentCustomer &customer)
{
    beginDocument(b, context, documentWord(DocumentType::PackingList, 0));
    b.newRow();
    b.setCell(0, QStringLiteral("L00Ship To:"));
    b.setCell(1, QStringLiteral("L10") + addressLine(customer, 0));
    for (int i = 1; i < customer.address.size(); ++i) {
        b.newRow();
        b.setCell(1, QStringLiteral("L10") + customer.address.at(i));
    }
    b.newRow();
    b.newRow();
    b.setCell(2, QStringLiteral("L00Invoice No:  ") + QString::number(invoice.number));
    b.newRow();
    addHeadings(b);
    for (const InvoiceItem &item : invoice.items) {
        b.pageCheck(b.pageLines() + 3, true);
        b.newRow();
        putCodes(b, 0, 6);
        b.setCell(1, QStringLiteral("L01") + item.productId);
        b.setCell(3, QStringLiteral("L13") + item.description1);
        b.setCell(5, QStringLiteral("R49") + money(item.quantity, 9));
        if (!item.description2.trimmed().isEmpty())
            itemTextRow(b, item.description2);
    }
    b.setFlags(b.curRow(), QStringLiteral("U"));
}

QString documentFileName(DocumentType type, qint64 number, const QString &word, const QString &last)
{
    QString name;
    switch (type) {
    case DocumentType::Invoice:
    case DocumentType::Bill:
        name = (word.isEmpty() ? documentWord(type, 1) : word) + QLatin1Char(' ') + QString::number(number);
        break;
    case DocumentType::Statement:
        name = QStringLiteral("Statement ") + QString::number(number);
        if (!last.trimmed().isEmpty())
            name += QLatin1Char(' ') + last.trimmed();
        break;
    case DocumentType::PackingList:
        name = QStringLiteral("Packing List ") + QString::number(number);
        break;
    }
    return safeFileName(name) + QStringLiteral(".pdf");
}

} // namespace tallyra
