#include "SalesReportSupport.h"

#include "Conversions.h"
#include "Maintenance.h"
#include "Prompt.h"
#include "ReportBuffer.h"
#include "ReportU.h"

#include <cmath>

namespace tallyra {

namespace {

// `code`, blanks up to `width`, then the n characters of `reversed` read backwards: written
// straight into the one allocation of the cell.
QString paddedCell(const QString &code, const char *reversed, int n, int width)
{
    const int pad = qMax(0, width - n);
    QString cell(code.size() + pad + n, Qt::Uninitialized);
    QChar *out = cell.data();
    for (QChar c : code)
        *out++ = c;
    for (int i = 0; i < pad; ++i)
        *out++ = QLatin1Char(' ');
    while (n > 0)
        *out++ = QLatin1Char(reversed[--n]);
    return cell;
}

// Writes the digits of magnitude right to left from digits[n] on, then the sign; returns the new
// count of characters.
int appendReversed(unsigned long long magnitude, bool negative, char *digits, int n)
{
    do {
        digits[n++] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative)
        digits[n++] = '-';
    return n;
}

// The digits of value right to left, then its sign; returns how many characters.
int reversedDigits(qint64 value, char (&digits)[24])
{
    const bool negative = value < 0;
    return appendReversed(negative ? 0 - quint64(value) : quint64(value), negative, digits, 0);
}

} // namespace

double roundCents(double value)
{
    const double r = std::fabs(value) * 100;
    if (!(r < 1e15))
        return roundToCents(value);
    const double whole = std::floor(r);
    const double fraction = r - whole;
    // roundToCents looks at the value to 15 significant digits; within that distance of a half
    // cent, or on it, it decides.
    if (std::fabs(fraction - 0.5) <= r * 1e-14 + 1e-12)
        return roundToCents(value);
    const double cents = fraction > 0.5 ? whole + 1 : whole;
    if (cents == 0)
        return 0;
    return value < 0 ? -(cents / 100) : cents / 100;
}

QString amountCell(const QString &code, double value, int width)
{
    const long double scaled = static_cast<long double>(value) * 100.0L; // exact: 53 + 7 bits fit in 64
    if (!std::isfinite(value) || std::fabs(value) >= 1e15 || code.size() > 8 || width > 40)
        return code + QString::asprintf("%*.2f", width, value);
    const bool negative = value < 0;
    const long double magnitude = negative ? -scaled : scaled;
    const long double whole = std::floor(magnitude);
    const unsigned long long cents =
        static_cast<unsigned long long>(whole) + (magnitude - whole >= 0.5L ? 1u : 0u);
    // The digits right to left: two decimals, the point, the whole part, the sign.
    char digits[32];
    digits[0] = char('0' + cents % 10);
    digits[1] = char('0' + cents / 10 % 10);
    digits[2] = '.';
    const int n = appendReversed(cents / 100, negative, digits, 3);
    return paddedCell(code, digits, n, width);
}

QString numberCell(const QString &code, qint64 value, int width)
{
    char digits[24];
    const int n = reversedDigits(value, digits);
    return paddedCell(code, digits, n, width);
}

void putAmount(ReportBuffer &buffer, int cell, double value, int width)
{
    buffer.setCell(cell, amountCell(buffer.colCode(cell), value, width));
}

void putRules(ReportBuffer &buffer, std::initializer_list<int> cells)
{
    for (int c : cells)
        buffer.setCell(c, buffer.colCode(c));
}

QString reportReadFailure(const QString &detail)
{
    return QStringLiteral("Unable to read the data files:\n") + detail;
}

void startReportLayout(ReportBuffer &buffer, int width, const QStringList &titles, const QStringList &codes,
                       const QStringList &headings)
{
    buffer.reportStart(width, int(codes.size()) + 1);
    buffer.titles() = titles;
    for (int c = 0; c < codes.size(); ++c)
        buffer.setColCode(c, codes[c]);
    if (headings.isEmpty())
        return;
    buffer.setHeadingRowCount(2);
    int next = 0;
    for (int c = 0; c < codes.size(); ++c) {
        const QChar kind = codes[c].at(0);
        const bool text = kind == QLatin1Char('L') || kind == QLatin1Char('R') || kind == QLatin1Char('C');
        buffer.setHeading(c, 1, text ? codes[c] + headings.value(next++) : codes[c]);
    }
    buffer.setHeading(buffer.flagsCell(), 0, QStringLiteral("U"));
    buffer.setHeading(buffer.flagsCell(), 1, QStringLiteral("U"));
}

QString spanText(const QDate &start, const QDate &end)
{
    return formatShortDate(start) + QStringLiteral(" through ") + formatShortDate(end);
}

ProgressSteps::ProgressSteps(const ProgressDisplay &display, const QString &message, qint64 count)
    : m_display(display)
    , m_count(qMax<qint64>(1, count))
{
    if (m_display.start)
        m_display.start(message);
}

ProgressSteps::~ProgressSteps()
{
    end();
}

void ProgressSteps::step()
{
    const int percent = int(qMin<qint64>(100, (m_done * 100 + 100) / m_count));
    ++m_done;
    if (percent != m_shown && m_display.set) {
        m_shown = percent;
        m_display.set(percent);
    }
}

void ProgressSteps::end()
{
    if (m_ended)
        return;
    m_ended = true;
    if (m_display.end)
        m_display.end();
}

int requireField(const db::Table &table, const char *name, db::Status *status)
{
    const int index = table.fieldIndex(name);
    if (index < 0 && status->isOk())
        *status = db::Status::corruption(
            QStringLiteral("%1: the field %2 is missing").arg(table.fileName(), QLatin1String(name)));
    return index;
}

// requireField for each (position, name) in turn; the first missing field is the result.
db::Status requireFields(const db::Table &table, std::initializer_list<std::pair<int *, const char *>> fields)
{
    db::Status s;
    for (const auto &[index, name] : fields)
        *index = requireField(table, name, &s);
    return s;
}

db::Status recordsInSpan(db::Table &table, const QString &tag, int dateField, const QDate &start,
                         const QDate &end, std::vector<quint32> *recNos)
{
    recNos->clear();
    if (!table.selectTag(tag))
        return table.takeError();
    const QByteArray last = dateKey(end);
    const db::SeekResult r = table.seek(dateKey(start));
    if (r == db::SeekResult::Error)
        return table.takeError();
    if (r == db::SeekResult::Eof)
        return table.takeError();
    for (bool more = true; more; more = table.skip(1)) {
        // Stored dates are "yyyymmdd" or blank, so their bytes compare as the dates do.
        if (table.raw(dateField).trimmed() > last)
            break;
        if (!table.isDeleted())
            recNos->push_back(table.recNo());
    }
    return table.takeError();
}

db::Status InvoiceFields::resolve(const db::Table &t)
{
    return requireFields(t, {{&ivNo, "IvNo"},
                             {&cuNo, "CuNo"},
                             {&dept, "Dept"},
                             {&iDate, "IDate"},
                             {&iMemo, "IMemo"},
                             {&discount, "Discount"},
                             {&ship, "Ship"},
                             {&tax, "Tax"},
                             {&due, "Due"}});
}

QByteArrayView numberKeyInto(qint64 number, int width, char (&out)[24])
{
    // The digits right to left, then blanks up to the width, as numberKey() makes them.
    char digits[24];
    int n = reversedDigits(number, digits);
    int used = 0;
    for (int pad = qMin(width, 23) - n; pad > 0; --pad)
        out[used++] = ' ';
    while (n > 0)
        out[used++] = digits[--n];
    return QByteArrayView(out, used);
}

InvoiceItems::InvoiceItems(db::Table &items)
    : m_items(items)
{
    m_status = requireFields(items, {{&m_ivNo, "IvNo"},
                                     {&m_prId, "PrID"},
                                     {&m_qty, "Qty"},
                                     {&m_price, "UPR"},
                                     {&m_ltax1, "LTax1"},
                                     {&m_ltax2, "LTax2"}});
    if (m_status.isOk() && !items.selectTag(QStringLiteral("Itm")))
        m_status = items.takeError();
}

bool InvoiceItems::onInvoice() const
{
    // IvNo holds the number as Str(IvNo, 6) writes it, so bytes compare as numbers do.
    return !m_items.eof() && (m_items.rawView(m_ivNo) == m_key || m_items.integer(m_ivNo) == m_invoice);
}

QByteArrayView InvoiceItems::productIdBytes() const
{
    const QByteArrayView id = m_items.rawView(m_prId);
    qsizetype n = id.size();
    while (n > 0 && id.at(n - 1) == ' ')
        --n;
    return id.first(n);
}

bool InvoiceItems::skipDeleted()
{
    while (!m_items.eof() && m_items.isDeleted()) {
        if (!m_items.skip(1))
            return false;
    }
    return !m_items.eof();
}

bool InvoiceItems::first(qint64 invoice)
{
    m_invoice = invoice;
    m_key = numberKeyInto(invoice, 6, m_keyBytes);
    // In place when the table sits on the first item past a lower invoice's and that item's
    // number is not below this one: no item of this invoice can lie before it.
    const bool inPlace =
        m_passed >= 0 && m_passed < invoice && !m_items.eof() && m_items.integer(m_ivNo) >= invoice;
    if (!inPlace) {
        const db::SeekResult r = m_items.seek(m_key);
        if (r == db::SeekResult::Eof || r == db::SeekResult::Error) {
            m_passed = -1;
            return false;
        }
    }
    // The table is on the first item numbered `invoice` or higher (deleted ones included).
    if (!skipDeleted()) {
        m_passed = -1;
        return false;
    }
    if (onInvoice()) {
        m_passed = -1;
        return true;
    }
    m_passed = invoice; // on a later invoice's first item: this one has none
    return false;
}

bool InvoiceItems::next()
{
    if (!m_items.skip(1) || !skipDeleted())
        return false;
    if (onInvoice())
        return true;
    m_passed = m_invoice;
    return false;
}

const QString &DateTexts::text(const QByteArray &stored)
{
    auto it = m_texts.find(stored);
    if (it == m_texts.end())
        it = m_texts.insert(stored, formatShortDate(storedToDate(QString::fromLatin1(stored))));
    return it.value();
}

const QString &DateTexts::cell(const QString &code, QByteArrayView stored)
{
    if (m_cell.isEmpty() || stored != m_cellStored || code != m_cellCode) {
        m_cellStored = stored.toByteArray();
        m_cellCode = code;
        m_cell = code + text(m_cellStored);
    }
    return m_cell;
}

QString customerName(const QString &title, const QString &first, const QString &last)
{
    return (title + QLatin1Char(' ') + first.trimmed() + QLatin1Char(' ') + last).trimmed();
}

CustomerNames::CustomerNames(db::Table &customers)
    : m_customers(customers)
{
    m_status = requireFields(customers, {{&m_cuNo, "CuNo"},
                                         {&m_title, "Title"},
                                         {&m_first, "First"},
                                         {&m_last, "Last"},
                                         {&m_group, "NGroup"}});
    if (m_status.isOk() && !customers.selectTag(QStringLiteral("CCNO")))
        m_status = customers.takeError();
}

bool CustomerNames::find(qint64 number, QString *name, qint64 *group)
{
    auto it = m_cache.find(number);
    if (it == m_cache.end()) {
        Entry e;
        if (m_status.isOk() && m_customers.seek(customerNumberKey(number)) == db::SeekResult::Found &&
            !m_customers.isDeleted()) {
            e.found = true;
            e.name =
                customerName(m_customers.text(m_title), m_customers.text(m_first), m_customers.text(m_last));
            e.group = m_customers.integer(m_group);
        }
        it = m_cache.insert(number, e);
    }
    *name = it->found ? it->name : QStringLiteral("UNKNOWN");
    if (group)
        *group = it->group;
    return it->found;
}

GroupNames::GroupNames(db::Table &groups)
    : m_groups(groups)
{
    m_groups.selectTag(QStringLiteral("NGroup"));
}

bool GroupNames::find(qint64 number, QString *name)
{
    auto it = m_cache.find(number);
    if (it == m_cache.end()) {
        std::pair<bool, QString> e{false, QString()};
        const int nameField = m_groups.fieldIndex("cGroup");
        if (nameField >= 0 && m_groups.seek(groupNumberKey(number)) == db::SeekResult::Found &&
            !m_groups.isDeleted())
            e = {true, m_groups.text(nameField).trimmed()};
        it = m_cache.insert(number, e);
    }
    *name = it->second;
    return it->first;
}

bool finishReportRun(QWidget *parent, const SalesReportResult &result, ReportBuffer &buffer,
                     QString *openFailure)
{
    bool ok = true;
    switch (result.outcome) {
    case SalesReportResult::Outcome::OpenFailed:
        if (openFailure)
            *openFailure = result.message;
        ok = false;
        break;
    case SalesReportResult::Outcome::Nothing:
        if (!result.message.isEmpty())
            Prompt::info(parent, result.message);
        break;
    case SalesReportResult::Outcome::ReadFailed:
        Prompt::info(parent, reportReadFailure(result.message));
        break;
    case SalesReportResult::Outcome::Built:
        TReportF::showReport(parent, buffer);
        break;
    }
    buffer.reportClear();
    return ok;
}

} // namespace tallyra
