#pragma once

// Which tables the main window's commands open, how a record command orders its table, and what
// each packs when it ends; the repair of a damaged index met on the way. No windows: the main
// window asks the questions and shows the messages these return.
//
// Every function works on the engine it is given (the program passes tallyra::database()) and
// on the process-wide pack-needed flag.

#include "Maintenance.h"
#include "Schema.h"
#include "engine/Engine.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace tallyra {

// A record command: the browse-and-edit loop over one table.
struct RecordCommandPolicy
{
    TableId main = TableId::Customers; // the table the loop browses
    QList<TableId> tables;             // opened in this order; main among them
    QString order;                     // tag selected on main; empty: the one its open selects
    bool preselectLast = false;        // the loop starts on the last record in that order, else the first
    bool clearFlagBefore = false;      // the pack-needed flag is cleared before the tables open
    QList<TableId> packWhenFlagged;    // packed one by one, without memo compaction, when flagged
    bool packAllWhenFlagged = false;   // every data file packed when flagged
    bool clearFlagAfter = false;       // the flag is cleared at the end, whatever was packed
};

// The command over `main`: Invoices, Customers, Products, Purchases, Groups or Labels (any other
// table gets a policy that opens only that table and packs nothing). `customersByName` is the
// ByCust preference: customers in name order, else by company.
RecordCommandPolicy recordCommandPolicy(TableId main, bool customersByName);

// Asked whether a damaged index is to be rebuilt from its table; true rebuilds it.
using RebuildQuestion = std::function<bool(const QString &question)>;

struct CommandTables
{
    QString fatal;        // empty when every table opened; else the message that ends the program
    QStringList rebuilt;  // tables whose damaged index group was rebuilt on the way
    QStringList warnings; // the engine's account of each failed open, for the log

    bool ok() const { return fatal.isEmpty(); }
    explicit operator bool() const { return ok(); }
};

// Opens a command's tables in order. An index that failed its structural checks is offered to
// `ask` once per table ("The index of CUST5.DBF is damaged:\n<reason>\n\nRebuild it from the table
// now?"); when rebuilt, every table is opened again from the first. An index merely in use by
// another program is never offered (rebuilding it would destroy that program's work). Any other
// failure, or a refused or failed rebuild, is fatal ("Unable to open file ...").
CommandTables openCommandTables(db::Engine &engine, const QList<TableId> &ids, const RebuildQuestion &ask);

// Closes every table at the end of a command. Empty, or "The data files could not be
// written:\n<reason>".
QString closeCommandTables(db::Engine &engine);

// "The data files could not be packed:\n<reason>", or empty when `packed` is ok.
QString packFailureMessage(const MaintenanceResult &packed);

// Packs every data file when the pack-needed flag is set, as closing the program does. Empty, or
// packFailureMessage().
QString packWhenFlagged(db::Engine &engine, const ProgressDisplay &progress = {});

// One record command from its start to its end, without the loop itself:
//   RecordCommandRun run(engine, policy);
//   if (!run.begin(ask)) -> end the program with run.fatal()
//   ... the browse-and-edit loop on *run.mainTable() ...
//   for (message : run.finish(progress)) -> show it
class RecordCommandRun
{
public:
    RecordCommandRun(db::Engine &engine, RecordCommandPolicy policy);

    // Clears the flag when the policy says so, opens the tables (offering a damaged index to
    // `ask`) and orders the main table. False when the program must end with fatal().
    bool begin(const RebuildQuestion &ask);
    // REQUIRES: begin() returned true.
    db::Table *mainTable() const { return m_main; }
    QString fatal() const { return m_fatal; }
    const QStringList &rebuilt() const { return m_rebuilt; }
    const QStringList &warnings() const { return m_warnings; }

    // Closes every table, then packs what the policy packs when the flag is set, and clears the
    // flag when the policy says so. Returns the messages to show, in order (none on success).
    QStringList finish(const ProgressDisplay &progress = {});

private:
    db::Engine &m_engine;
    RecordCommandPolicy m_policy;
    db::Table *m_main = nullptr;
    QString m_fatal;
    QStringList m_rebuilt;
    QStringList m_warnings;
};

} // namespace tallyra
