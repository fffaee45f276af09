#include "ReportCli.h"

#include "Clock.h"
#include "CurrentPrinter.h"
#include "Database.h"
#include "Maintenance.h"
#include "ReportBuffer.h"
#include "ReportFont.h"
#include "ReportRender.h"
#include "ReportText.h"
#include "Settings.h"
#include "Tables.h"

#include <QDir>
#include <QFileInfo>
#include <QPrinter>
#include <QRegularExpression>
#include <cstdio>

namespace tallyra {

QDate parseIsoDate(const QString &text)
{
    static const QRegularExpression iso(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    if (!iso.match(text).hasMatch())
        return {};
    return QDate::fromString(text, Qt::ISODate);
}

bool parseNumberList(const QString &text, QList<qint64> *numbers)
{
    numbers->clear();
    for (const QString &part : text.split(QLatin1Char(','))) {
        bool ok = false;
        const qint64 n = part.trimmed().toLongLong(&ok);
        if (!ok || n <= 0)
            return false;
        numbers->append(n);
    }
    return !numbers->isEmpty();
}

namespace {

bool takeValue(const QStringList &args, int &i, QString *value, QString *error)
{
    if (i + 1 >= args.size()) {
        *error = args[i] + QStringLiteral(" needs a value");
        return false;
    }
    *value = args[++i];
    return true;
}

bool takeDate(const QStringList &args, int &i, QDate *date, QString *error)
{
    QString value;
    if (!takeValue(args, i, &value, error))
        return false;
    *date = parseIsoDate(value);
    if (!date->isValid()) {
        *error = args[i - 1] + QStringLiteral(": not a date (YYYY-MM-DD): ") + value;
        return false;
    }
    return true;
}

bool takeNumbers(const QStringList &args, int &i, QList<qint64> *numbers, QString *error)
{
    QString value;
    if (!takeValue(args, i, &value, error))
        return false;
    if (!parseNumberList(value, numbers)) {
        *error = args[i - 1] + QStringLiteral(": not a list of numbers: ") + value;
        return false;
    }
    return true;
}

bool takeWhole(const QStringList &args, int &i, int *number, QString *error)
{
    QString value;
    if (!takeValue(args, i, &value, error))
        return false;
    bool ok = false;
    *number = value.toInt(&ok);
    if (!ok || *number <= 0) {
        *error = args[i - 1] + QStringLiteral(": not a whole number above 0: ") + value;
        return false;
    }
    return true;
}

void writeTo(FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

bool parseReportOptions(const QStringList &args, ReportOptions *o, QString *error, bool *wantsList,
                        bool *wantsHelp)
{
    *wantsList = false;
    *wantsHelp = false;
    o->dir = QDir::currentPath();
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        QString value;
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            *wantsHelp = true;
        } else if (a == QLatin1String("--list")) {
            *wantsList = true;
        } else if (a == QLatin1String("--dir")) {
            if (!takeValue(args, i, &o->dir, error))
                return false;
        } else if (a == QLatin1String("--today")) {
            if (!takeDate(args, i, &o->today, error))
                return false;
        } else if (a == QLatin1String("--from")) {
            if (!takeDate(args, i, &o->from, error))
                return false;
        } else if (a == QLatin1String("--to")) {
            if (!takeDate(args, i, &o->to, error))
                return false;
        } else if (a == QLatin1String("--date")) {
            if (!takeDate(args, i, &o->date, error))
                return false;
        } else if (a == QLatin1String("--invoices")) {
            if (!takeNumbers(args, i, &o->invoices, error))
                return false;
        } else if (a == QLatin1String("--customers")) {
            if (!takeNumbers(args, i, &o->customers, error))
                return false;
        } else if (a == QLatin1String("--groups")) {
            if (!takeNumbers(args, i, &o->groups, error))
                return false;
        } else if (a == QLatin1String("--product")) {
            if (!takeValue(args, i, &o->product, error))
                return false;
        } else if (a == QLatin1String("--balance-due")) {
            o->balanceDue = true;
        } else if (a == QLatin1String("--email")) {
            o->email = true;
        } else if (a == QLatin1String("--costing")) {
            if (!takeValue(args, i, &o->costing, error))
                return false;
            o->costing = o->costing.toLower();
            if (o->costing != QLatin1String("fifo") && o->costing != QLatin1String("lifo")) {
                *error = QStringLiteral("--costing: fifo or lifo");
                return false;
            }
        } else if (a == QLatin1String("--stock")) {
            if (!takeValue(args, i, &o->stock, error))
                return false;
        } else if (a == QLatin1String("--kind")) {
            if (!takeWhole(args, i, &o->kind, error))
                return false;
        } else if (a == QLatin1String("--start-column")) {
            if (!takeWhole(args, i, &o->startColumn, error))
                return false;
        } else if (a == QLatin1String("--start-row")) {
            if (!takeWhole(args, i, &o->startRow, error))
                return false;
        } else if (a == QLatin1String("--format")) {
            if (!takeValue(args, i, &value, error))
                return false;
            if (value == QLatin1String("text"))
                o->format = OutputFormat::Text;
            else if (value == QLatin1String("tsv"))
                o->format = OutputFormat::Tsv;
            else if (value == QLatin1String("pdf"))
                o->format = OutputFormat::Pdf;
            else {
                *error = QStringLiteral("--format: text, tsv or pdf");
                return false;
            }
        } else if (a == QLatin1String("--output") || a == QLatin1String("-o")) {
            if (!takeValue(args, i, &o->output, error))
                return false;
        } else if (a.startsWith(QLatin1Char('-'))) {
            *error = QStringLiteral("unknown option ") + a;
            return false;
        } else if (o->name.isEmpty()) {
            o->name = a;
        } else {
            *error = QStringLiteral("one report at a time: ") + o->name + QStringLiteral(" and ") + a;
            return false;
        }
    }
    if (*wantsHelp || *wantsList)
        return true;
    if (o->name.isEmpty()) {
        *error = QStringLiteral("no report named");
        return false;
    }
    if (o->from.isValid() != o->to.isValid()) {
        *error = QStringLiteral("--from and --to go together");
        return false;
    }
    if (o->from.isValid() && o->from > o->to) {
        *error = QStringLiteral("--from is after --to");
        return false;
    }
    if (o->format == OutputFormat::Pdf && o->output.isEmpty()) {
        *error = QStringLiteral("--format pdf needs --output FILE");
        return false;
    }
    return true;
}

QString reportUsage(const std::vector<ReportCommand> &commands)
{
    QString text = QStringLiteral(
        "usage: tallyra-report [--dir DIR] [--today YYYY-MM-DD] NAME [selection]\n"
        "                      [--format text|tsv|pdf] [--output FILE]\n"
        "       tallyra-report --list\n"
        "\n"
        "Runs a report or document of the business in DIR (default: the current directory) and\n"
        "writes it as the viewer's exports would: text (\"Ascii Text\", the default), tsv (\"Tab\n"
        "Delimited\") or pdf (the printed pages; needs --output). Text and tsv go to standard\n"
        "output without --output.\n"
        "\n"
        "Selection (each where the report's dialogs ask for it; dates as YYYY-MM-DD):\n"
        "  --from D --to D       date span (default: as the dialog proposes)\n"
        "  --date D              single date\n"
        "  --invoices N,...      invoice numbers\n"
        "  --customers N,...     customer numbers\n"
        "  --groups N,...        customer group numbers\n"
        "  --product ID          product identifier\n"
        "  --balance-due         the \"with Balance Due\" runs\n"
        "  --costing fifo|lifo   inventory costing (default: the preference)\n"
        "  --email               e-mail the documents instead of writing them\n"
        "  --stock NAME --kind 1..6 [--start-column C --start-row R]   label runs\n"
        "\n"
        "Exit status: 0 written, 1 nothing to report (the message on standard error), 2 usage,\n"
        "3 the data files or the output cannot be used.\n"
        "\n"
        "Reports:\n");
    for (const ReportCommand &c : commands)
        text += QStringLiteral("  %1  %2\n").arg(c.name, -18).arg(c.summary);
    return text;
}

int runReportCommand(const ReportOptions &options, const std::vector<ReportCommand> &commands,
                     QString *errorText)
{
    const ReportCommand *command = nullptr;
    for (const ReportCommand &c : commands) {
        if (c.name == options.name)
            command = &c;
    }
    if (!command) {
        *errorText = QStringLiteral("unknown report: ") + options.name + QStringLiteral(" (see --list)");
        return kExitUsage;
    }
    if (!QFileInfo(options.dir).isDir()) {
        *errorText = QStringLiteral("Not a directory: ") + options.dir;
        return kExitFailed;
    }
    QString missing;
    if (!dataFilesPresent(options.dir, &missing)) {
        *errorText = QStringLiteral("Unable to find data file ") + missing + QStringLiteral(" in ") +
                     QDir::toNativeSeparators(QDir(options.dir).absolutePath());
        return kExitFailed;
    }
    if (options.today.isValid())
        setFixedToday(options.today);

    openDatabase(options.dir);
    db::Engine &engine = database();
    const SettingsResult loaded = loadSettings(engine);
    if (!loaded) {
        *errorText = loaded.message();
        closeDatabase();
        return kExitFailed;
    }
    const MaintenanceResult indexes = rebuildIndexes(engine, ReindexMode::MissingOnly);
    if (!indexes.status) {
        *errorText = indexes.status.toString();
        closeDatabase();
        return kExitFailed;
    }
    ReportFont::apply(settings().FontName.trimmed(), int(settings().FontSize));

    // Pages as the program prints them on a machine without a printer, so the text exports
    // paginate exactly as the viewer's do.
    CurrentPrinter::useFilePrinter();
    ReportBuffer &buffer = reportBuffer();
    const ProgressDisplay progress;
    ReportContext context{engine, buffer, progress};
    const ReportOutcome outcome = command->run(options, context);
    closeAllTables(engine);
    closeDatabase();

    int exitCode = outcome.exitCode;
    if (exitCode != kExitDone) {
        *errorText = outcome.message;
    } else if (!outcome.ownOutput) {
        bool written = true;
        if (options.format == OutputFormat::Pdf) {
            QPrinter *printer = CurrentPrinter::printer();
            written = saveReportPdf(buffer, options.output, printer->pageLayout(), printer->resolution(),
                                    ReportFont::font(), buffer.titles().value(0));
        } else {
            const TextLayout layout =
                options.format == OutputFormat::Tsv ? TextLayout::TabDelimited : TextLayout::Padded;
            if (options.output.isEmpty())
                writeTo(stdout, reportExportText(buffer, layout));
            else
                written = saveReportText(buffer, layout, options.output);
        }
        if (!written) {
            *errorText = QStringLiteral("Unable to write ") + options.output;
            exitCode = kExitFailed;
        }
    }
    buffer.reportClear();
    return exitCode;
}

} // namespace tallyra
