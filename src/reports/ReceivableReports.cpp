#include "ReceivableReports.h"

#include "Clock.h"
#include "Conversions.h"
#include "DateSpanU.h"
#include "Maintenance.h"
#include "ReportBuffer.h"
#include "Tables.h"

namespace tallyra {

namespace {} // namespace

SalesReportResult buildReceivables(ReportBuffer &b, db::Table &invoices, db::Table &customers,
                                   const QDate &today, const ProgressDisplay &display)
{
    InvoiceFields f;
    if (const db::Status s = f.resolve(invoices); !s.isOk())
        return SalesReportResult::readFailed(s);
    CustomerNames names(customers);
    if (!names.status().isOk())
        return SalesReportResult::readFailed(names.status());
    if (invoices.recordCount() == 0)
        return SalesReportResult::nothing(QString::fromLatin1(kNoInvoicesMessage));
    if (!invoices.selectTag(QStringLiteral("Inv")))
        return SalesReportResult::readFailed(invoices.takeError());

    startReportLayout(b, 71, {QStringLiteral("RECEIVABLES")},
                      {"V00", "R07", "V08", "L10", "V50", "R55", "V57", "R69", "V71"},
                      {"Inv. No", "Customer", "Days", "Amount"});
    ProgressSteps progress(display, QStringLiteral("Processing Receivables"), invoices.recordCount());
    double total = 0;
    QString name;
    // The customer and age cells of each customer number and stored date, made once and shared
    // by the rows that print them.
    QHash<qint64, QString> nameCells;
    QHash<QByteArray, QString> ages;
    for (bool more = invoices.top(); more; more = invoices.skip(1)) {
        progress.step();
        if (invoices.isDeleted())
            continue;
        const double due = invoices.number(f.due);
        if (due == 0)
            continue;
        const qint64 customer = invoices.integer(f.cuNo);
        auto nameCell = nameCells.find(customer);
        if (nameCell == nameCells.end()) {
            names.find(customer, &name);
            nameCell = nameCells.insert(customer, b.colCode(3) + name);
        }
        const QByteArrayView stored = invoices.rawView(f.iDate);
        auto age = ages.find(QByteArray::fromRawData(stored.data(), stored.size()));
        if (age == ages.end()) {
            // An invoice without a date has no age.
            const QDate date = storedToDate(QString::fromLatin1(stored));
            age = ages.insert(stored.toByteArray(),
                              b.colCode(5) +
                                  (date.isValid() ? QString::number(date.daysTo(today)) : QString()));
        }
        b.pageCheck(b.pageLines() + 1, true);
        b.newRow();
        putRules(b, {0, 2, 4, 6, 8});
        b.setCell(1, numberCell(b.colCode(1), invoices.integer(f.ivNo)));
        b.setCell(3, nameCell.value());
        b.setCell(5, age.value());
        putAmount(b, 7, due, 10);
        total += due;
    }
    if (db::Status s = invoices.takeError(); !s.isOk())
        return SalesReportResult::readFailed(s);
    if (db::Status s = customers.takeError(); !s.isOk())
        return SalesReportResult::readFailed(s);
    progress.end();
    if (b.curRow() >= 0) {
        b.setFlags(b.curRow(), QStringLiteral("U"));
        b.pageCheck(b.pageLines() + 1, true);
        b.newRow();
        putRules(b, {0, 6, 8});
        b.setCell(1, QStringLiteral("L01Total Receivables"));
        putAmount(b, 7, total, 10);
        b.setFlags(b.curRow(), QStringLiteral("U"));
    }
    return {};
}

SalesReportResult makeReceivables(db::Engine &engine, ReportBuffer &buffer, const QDate &today,
                                  const ProgressDisplay &progress)
{
    SalesReportResult result;
    const OpenResult inv = openInvoices(engine);
    const OpenResult cust = inv ? openCustomers(engine) : OpenResult();
    if (!inv || !cust)
        result = SalesReportResult::openFailed(!inv ? inv.message() : cust.message());
    else
        result = buildReceivables(buffer, *inv.table, *cust.table, today, progress);
    closeAllTables(engine);
    return result;
}

bool runReceivables(QWidget *parent, db::Engine &engine, const ProgressDisplay &progress,
                    QString *openFailure)
{
    ReportBuffer &buffer = reportBuffer();
    return finishReportRun(parent, makeReceivables(engine, buffer, tallyra::today(), progress), buffer,
                           openFailure);
}

SalesReportResult buildDailyIncome(ReportBuffer &b, db::Table &payments, db::Table &invoices,
                                   const QDate &start, const QDate &end, const ProgressDisplay &display)
{
    db::Status status;
    const int ivNo = requireField(payments, "IvNo", &status);
    const int pDate = requireField(payments, "PDate", &status);
    const int pAmt = requireField(payments, "PAmt", &status);
    const int iMemo = requireField(invoices, "IMemo", &status);
    if (!status.isOk())
        return SalesReportResult::readFailed(status);
    if (!invoices.selectTag(QStringLiteral("Inv")))
        return SalesReportResult::readFailed(invoices.takeError());
    std::vector<quint32> recNos;
    if (db::Status s = recordsInSpan(payments, QStringLiteral("PmtD"), pDate, start, end, &recNos); !s.isOk())
        return SalesReportResult::readFailed(s);
    if (recNos.empty())
        return SalesReportResult::nothing(QString::fromLatin1(kNoPaymentsMessage));

    startReportLayout(b, 72, {QStringLiteral("Daily Income from ") + spanText(start, end)},
                      {"V00", "L01", "V10", "R16", "V17", "L18", "V48", "R58", "V59", "R71", "V72"},
                      {"Pmt Date", "Inv No.", "Check - Credit Card No.", "Amount", "Daily Total"});
    ProgressSteps progress(display, QStringLiteral("Processing Payments"), qint64(recNos.size()));
    DateTexts dates;
    double grandTotal = 0;
    double dayTotal = 0;
    QByteArray day;
    for (std::size_t i = 0; i < recNos.size(); ++i) {
        if (!payments.go(recNos[i]))
            break;
        const QByteArray date = payments.raw(pDate);
        if (i == 0 || date != day) {
            day = date;
            dayTotal = 0;
        }
        const qint64 invoice = payments.integer(ivNo);
        const double paid = payments.number(pAmt);
        b.pageCheck(b.pageLines() + 2, true);
        b.newRow();
        putRules(b, {0, 2, 4, 6, 8, 10});
        // The date heads the day's rows until the day's total is no longer 0.
        if (dayTotal == 0)
            b.put(1, dates.text(date));
        b.put(3, QString::number(invoice));
        if (invoices.seek(numberKey(invoice, 6)) == db::SeekResult::Found)
            b.put(5, invoices.text(iMemo));
        putAmount(b, 7, paid, 10);
        dayTotal += paid;
        progress.step();

        // The day's last payment carries the day total and closes the group.
        const bool last = i + 1 == recNos.size() || !payments.go(recNos[i + 1]) || payments.raw(pDate) != day;
        if (last) {
            putAmount(b, 9, dayTotal, 12);
            b.setFlags(b.curRow(), QStringLiteral("U"));
            grandTotal += dayTotal;
        }
    }
    if (db::Status s = payments.takeError(); !s.isOk())
        return SalesReportResult::readFailed(s);
    if (db::Status s = invoices.takeError(); !s.isOk())
        return SalesReportResult::readFailed(s);
    progress.end();
    b.newRow();
    putRules(b, {0, 8, 10});
    b.setCell(1, QStringLiteral("L01Total Payments"));
    putAmount(b, 9, grandTotal, 12);
    b.setFlags(b.curRow(), QStringLiteral("U"));
    return {};
}

SalesReportResult makeDailyIncome(db::Engine &engine, ReportBuffer &buffer, const QDate &start,
                                  const QDate &end, const ProgressDisplay &progress)
{
    SalesReportResult result;
    const OpenResult inv = openInvoices(engine);
    const OpenResult pmt = inv ? openPayments(engine) : OpenResult();
    if (!inv || !pmt)
        result = SalesReportResult::openFailed(!inv ? inv.message() : pmt.message());
    else
        result = buildDailyIncome(buffer, *pmt.table, *inv.table, start, end, progress);
    closeAllTables(engine);
    return result;
}

bool runDailyIncome(QWidget *parent, db::Engine &engine, const ProgressDisplay &progress,
                    QString *openFailure)
{
    presetCurrentMonth();
    if (!TDateSpan::ask())
        return true;
    const DateSpanValues span = dateSpan();
    ReportBuffer &buffer = reportBuffer();
    return finishReportRun(parent, makeDailyIncome(engine, buffer, span.start, span.end, progress), buffer,
                           openFailure);
}

} // namespace tallyra
