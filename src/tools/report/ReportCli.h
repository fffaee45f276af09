#pragma once

// tallyra-report: any report or document of the program, run on a data directory without a
// display, through the same building code as the windows. Each subsystem contributes named
// commands (ReportCommands.h); the program opens the business, runs the command into the
// program's report buffer and writes the buffer as the viewer's exports would.

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace db {
class Engine;
}

namespace tallyra {

class ReportBuffer;
struct ProgressDisplay;

// Exit statuses shared by the command-line programs.
inline constexpr int kExitDone = 0;
inline constexpr int kExitNothing = 1; // nothing to report: the program's own message on stderr
inline constexpr int kExitUsage = 2;
inline constexpr int kExitFailed = 3; // the data files or the output cannot be used

enum class OutputFormat
{
    Text, // the "Ascii Text" export
    Tsv,  // the "Tab Delimited" export
    Pdf   // the printed pages
};

// The selection a report's dialogs would ask for. A null date or an empty list means "not
// given": each command applies its dialog's preset.
struct ReportOptions
{
    QString dir;  // the data directory
    QDate today;  // null: the system clock
    QString name; // the command
    QDate from, to;
    QDate date;
    QList<qint64> invoices;
    QList<qint64> customers;
    QList<qint64> groups;
    QString product;
    bool balanceDue = false;
    QString costing; // "", "fifo" or "lifo"
    bool email = false;
    // Label runs.
    QString stock;
    int kind = 0;
    int startColumn = 1;
    int startRow = 1;

    OutputFormat format = OutputFormat::Text;
    QString output; // empty: standard output (text and tsv only)
};

// What a command did. A command that filled the buffer leaves it for the program to write; one
// that wrote its own output (a label run's PDF, e-mailed documents) says so.
struct ReportOutcome
{
    int exitCode = kExitDone;
    QString message;        // on standard error for kExitNothing and kExitFailed
    bool ownOutput = false; // the buffer is not written

    static ReportOutcome done() { return {}; }
    static ReportOutcome wroteOutput() { return {kExitDone, {}, true}; }
    static ReportOutcome nothing(const QString &message) { return {kExitNothing, message, false}; }
    static ReportOutcome failed(const QString &message) { return {kExitFailed, message, false}; }
};

// Everything a command works with. The engine has the business open in shared access with every
// index present; no table is open when the command starts, and the program closes all tables
// after it. The buffer is the program's report buffer, paginated by the PDF page the program
// prints on.
struct ReportContext
{
    db::Engine &engine;
    ReportBuffer &buffer;
    const ProgressDisplay &progress; // every member empty
};

struct ReportCommand
{
    QString name;    // "statements"
    QString summary; // one line for --list: "Account statements (--from/--to, --customers, --balance-due)"
    std::function<ReportOutcome(const ReportOptions &, ReportContext &)> run;
};

// Parses the arguments after the program name. False with *error for a usage error.
bool parseReportOptions(const QStringList &args, ReportOptions *options, QString *error, bool *wantsList,
                        bool *wantsHelp);

// A date given as YYYY-MM-DD; null when the text is not one.
QDate parseIsoDate(const QString &text);
// "12,15,1003" -> {12, 15, 1003}; false when a part is not a whole number above 0.
bool parseNumberList(const QString &text, QList<qint64> *numbers);

// The usage text of --help and of a usage error.
QString reportUsage(const std::vector<ReportCommand> &commands);

// Runs one command on the business of options.dir and writes its output. Returns the exit status;
// messages go to *errorText.
int runReportCommand(const ReportOptions &options, const std::vector<ReportCommand> &commands,
                     QString *errorText);

} // namespace tallyra
