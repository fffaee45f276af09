#pragma once

// Which customers a label run labels, and the text of each label. No widgets: the windows ask
// for the span, the groups or the customers and hand them here; the command line does the same
// from its options.

#include "Records.h"
#include "engine/Engine.h"

#include <QDate>
#include <QList>
#include <QStringList>
#include <functional>

namespace tallyra {

inline constexpr int kLabelLineCount = 5;

struct ProgressDisplay;

enum class LabelKind
{
    SelectedCustomers = 1, // customers picked one by one (given as numbers on the command line)
    InvoicesDated = 2,     // one label per invoice of the span, in date order
    PastDue = 3,           // one label per invoice of the span with an amount due
    BalanceDue = 4,        // one label per customer with an invoice of the span with an amount due
    Groups = 5,            // every customer of the chosen groups, in postal-code order
    Batch = 6,             // one label per line of the batch file, in file order
};

// The file of customer numbers "Print Batch Labels" reads from the data directory.
inline constexpr const char *kBatchLabelFile = "BatchLab.dat";

struct LabelSelection
{
    QDate from, to;          // kinds 2, 3, 4
    QList<qint64> groups;    // kind 5
    QList<qint64> customers; // kind 1 from the command line, in the order given
    QString batchFile;       // kind 6: the path of the batch file
};

// Called for each customer to label, in the run's order; false stops the run.
using LabelSink = std::function<bool(const CustomerRecord &customer)>;

// The status text of a kind's run ("Processing Invoice Labels" ...); empty for kinds 1 and 6.
QString labelRunStatus(LabelKind kind);

// Walks the customers of a run of `kind` (not kind 1 picked in a window: give the numbers in
// selection.customers instead) and hands each to `sink`. Opens the tables it needs (CUST5, INV6)
// and closes none: the caller closes all tables. Progress, when given, starts with the kind's
// status text and ends at 100. A customer that cannot be found is skipped. Returns the engine's
// failure when a table cannot be opened or read.
db::Status selectLabelCustomers(db::Engine &engine, LabelKind kind, const LabelSelection &selection,
                                const ProgressDisplay &progress, const LabelSink &sink);

// The five lines of a customer's label: the address block, with the customer's bulk-mail zone
// behind the first line ("(Z2)" from the 34th character, or right after a longer line).
QStringList labelLines(db::Engine &engine, const CustomerRecord &customer);

} // namespace tallyra
