#pragma once

// What the sales, receivables and customer reports share: the outcome of a run, the report's
// layout, progress in whole percentages, the invoices of a date span, the line items of one
// invoice after another, and cached look-ups of dates, customer names and group names.
// No widgets here except finishReportRun(), which shows what a run came to.

#include "engine/Status.h"
#include "engine/Table.h"

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QString>
#include <QStringList>
#include <initializer_list>
#include <vector>

class QWidget;

namespace tallyra {

class ReportBuffer;
struct ProgressDisplay;

inline const char kNoInvoicesMessage[] = "No Invoices within selected dates.";
inline const char kNoPaymentsMessage[] = "No Payments within selected dates.";

// What building one report came to.
struct SalesReportResult
{
    enum class Outcome
    {
        Built,      // the buffer holds the report (it may still be empty: nothing matched)
        Nothing,    // nothing to report: message is the notice for the user
        OpenFailed, // a table could not be opened: message is the fatal open message
        ReadFailed, // a table failed while it was read: message names the file and the fault
    };
    Outcome outcome = Outcome::Built;
    QString message;

    bool built() const { return outcome == Outcome::Built; }
    static SalesReportResult nothing(const QString &message) { return {Outcome::Nothing, message}; }
    static SalesReportResult openFailed(const QString &message) { return {Outcome::OpenFailed, message}; }
    static SalesReportResult readFailed(const db::Status &status)
    {
        return {Outcome::ReadFailed, status.toString()};
    }
};

// roundToCents(value), the same result to the bit, found without roundToCents' decimal conversion
// when the value lies clearly away from a half cent (that conversion costs a microsecond, and a
// year's product summary rounds four million values).
double roundCents(double value);

// The text "%<width>.2f" makes of value (the same to the character: the exact binary value rounded
// to cents, halves away from zero, "-" before a negative value that rounds to 0.00), put after
// `code` in one allocation.
QString amountCell(const QString &code, double value, int width);
// `code` followed by the whole number right-aligned in `width` characters (at least its digits),
// as QString::arg(value, width) writes it, in one allocation.
QString numberCell(const QString &code, qint64 value, int width = 0);
// Cell `cell` of the current row: its column code followed by the amount.
void putAmount(ReportBuffer &buffer, int cell, double value, int width);
// The current row's rule cells: each holds its column code alone ("V08"), shared, not copied.
void putRules(ReportBuffer &buffer, std::initializer_list<int> cells);

// The message the user sees after a read failure part way through a report.
QString reportReadFailure(const QString &detail);

// Starts `buffer` for a report of `width` characters whose cells are `codes` and the flags cell,
// with its titles. With headings the block is boxed: an empty row with the flags cell "U", then
// a row holding every code, the heading texts after the text codes ("L", "R", "C") in order, and
// the flags cell "U". Without headings the block stays as reportStart() leaves it.
void startReportLayout(ReportBuffer &buffer, int width, const QStringList &titles, const QStringList &codes,
                       const QStringList &headings);

// Title dates: "<start> through <end>" in the locale's short date format.
QString spanText(const QDate &start, const QDate &end);

// The progress display driven in whole percentages of a known count: step() after each record
// sets (done × 100 + 100) / count, the truncated percentage counting the record just done, and
// repaints only when the percentage changes. end() hides the message (also on destruction).
class ProgressSteps
{
public:
    ProgressSteps(const ProgressDisplay &display, const QString &message, qint64 count);
    ~ProgressSteps();
    ProgressSteps(const ProgressSteps &) = delete;
    ProgressSteps &operator=(const ProgressSteps &) = delete;

    void step();
    void end();

private:
    const ProgressDisplay &m_display;
    qint64 m_count;
    qint64 m_done = 0;
    int m_shown = -1;
    bool m_ended = false;
};

// The position of a named field, or -1 with *status set to a failure naming table and field.
int requireField(const db::Table &table, const char *name, db::Status *status);

// The records of a date span in date order: `table` is ordered on `tag` (a DTOS() tag over
// `dateField`), the start date's "yyyymmdd" key is sought, and the records from there on are
// taken while their date is not later than `end`. Records marked deleted are passed over.
// The table is left on that tag.
db::Status recordsInSpan(db::Table &table, const QString &tag, int dateField, const QDate &start,
                         const QDate &end, std::vector<quint32> *recNos);

// numberKey(number, width) written into `out` (width at most 23), without a heap allocation.
QByteArrayView numberKeyInto(qint64 number, int width, char (&out)[24]);

// The fields of INV6 the reports read, found once per run.
struct InvoiceFields
{
    int ivNo = -1, cuNo = -1, dept = -1, iDate = -1, iMemo = -1, discount = -1, ship = -1, tax = -1, due = -1;
    db::Status resolve(const db::Table &invoices);
};

// The line items of one invoice after another, on ITM5's tag Itm (invoice number order, then
// record order): first() finds an invoice's first item, next() its following ones. When the
// invoices are asked for in rising number order the table is already on the next invoice's first
// item and no seek is made. Records marked deleted are passed over.
class InvoiceItems
{
public:
    // Selects tag Itm; status() tells whether the table has the fields and the tag.
    explicit InvoiceItems(db::Table &items);

    const db::Status &status() const { return m_status; }
    // To the first item of `invoice`; false when it has none (or on a failure, see error()).
    bool first(qint64 invoice);
    // To the next item of the same invoice; false after its last.
    bool next();
    // The table's pending failure, if any.
    db::Status error() const { return m_items.error(); }

    // Fields of the current item.
    double quantity() const { return m_items.number(m_qty); }
    double unitPrice() const { return m_items.number(m_price); }
    QString productId() const { return m_items.text(m_prId); }
    // The identifier's bytes as stored, without the trailing blanks; valid until the next move.
    QByteArrayView productIdBytes() const;
    bool shipFlag() const { return m_items.logical(m_ltax1); }
    bool taxFlag() const { return m_items.logical(m_ltax2); }

private:
    bool skipDeleted();
    bool onInvoice() const;

    db::Table &m_items;
    db::Status m_status;
    int m_ivNo = -1, m_prId = -1, m_qty = -1, m_price = -1, m_ltax1 = -1, m_ltax2 = -1;
    qint64 m_invoice = -1;
    // The invoice's number as stored in IvNo (right-aligned, 6 characters), made without a heap
    // allocation: it is made once per invoice.
    char m_keyBytes[24] = {};
    QByteArrayView m_key;
    // The invoice whose items were read through to the first item past them: the table then sits
    // on the first item with a higher number.
    qint64 m_passed = -1;
};

// Dates as "yyyymmdd" field bytes shown in the locale's short date format, each text made once.
class DateTexts
{
public:
    const QString &text(const QByteArray &stored);
    const QString &text(const db::Table &table, int field) { return text(table.raw(field)); }
    // `code` followed by the date's text; a run of rows with one date shares one cell.
    const QString &cell(const QString &code, QByteArrayView stored);

private:
    QHash<QByteArray, QString> m_texts;
    QByteArray m_cellStored;
    QString m_cellCode;
    QString m_cell;
};

// A customer's name as the reports print it: title, a blank, the trimmed first name, a blank and
// the last name, the whole trimmed.
QString customerName(const QString &title, const QString &first, const QString &last);

// Customers found by number on CUST5's tag CCNO, and groups by number on GROUPS' tag NGroup,
// each looked up once. Both select their tag when made.
class CustomerNames
{
public:
    explicit CustomerNames(db::Table &customers);
    const db::Status &status() const { return m_status; }
    // False when no such customer: *name is then "UNKNOWN" and *group 0.
    bool find(qint64 number, QString *name, qint64 *group = nullptr);

private:
    struct Entry
    {
        bool found = false;
        QString name;
        qint64 group = 0;
    };
    db::Table &m_customers;
    db::Status m_status;
    int m_cuNo = -1, m_title = -1, m_first = -1, m_last = -1, m_group = -1;
    QHash<qint64, Entry> m_cache;
};

class GroupNames
{
public:
    explicit GroupNames(db::Table &groups);
    // The trimmed name; false, and an empty name, when no such group exists.
    bool find(qint64 number, QString *name);

private:
    db::Table &m_groups;
    QHash<qint64, std::pair<bool, QString>> m_cache;
};

// Ends a report command in the window: an open failure goes to *openFailure (false is returned,
// the shell ends the program); a notice or a read failure is shown in an information box; a
// built report with rows is shown in the viewer. The buffer is cleared in every case.
bool finishReportRun(QWidget *parent, const SalesReportResult &result, ReportBuffer &buffer,
                     QString *openFailure);

} // namespace tallyra
