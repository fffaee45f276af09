// tallyra-report: runs a report or document of a business without a display. See ReportCli.h.

#include "ReportCli.h"
#include "ReportCommands.h"

#include <QApplication>
#include <cstdio>

namespace {

void print(FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    if (!text.endsWith(QLatin1Char('\n')))
        std::fputc('\n', stream);
}

} // namespace

int main(int argc, char **argv)
{
    // Reports measure and draw with the report font, which needs a GUI application, but never a
    // screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::vector<tallyra::ReportCommand> commands = tallyra::reportCommands();

    tallyra::ReportOptions options;
    QString error;
    bool wantsList = false;
    bool wantsHelp = false;
    if (!tallyra::parseReportOptions(app.arguments().mid(1), &options, &error, &wantsList, &wantsHelp)) {
        print(stderr, QStringLiteral("tallyra-report: ") + error);
        print(stderr, tallyra::reportUsage(commands));
        return tallyra::kExitUsage;
    }
    if (wantsHelp) {
        print(stdout, tallyra::reportUsage(commands));
        return tallyra::kExitDone;
    }
    if (wantsList) {
        for (const tallyra::ReportCommand &c : commands)
            print(stdout, c.name);
        return tallyra::kExitDone;
    }
    const int status = tallyra::runReportCommand(options, commands, &error);
    if (!error.isEmpty())
        print(stderr, status == tallyra::kExitUsage ? QStringLiteral("tallyra-report: ") + error : error);
    if (status == tallyra::kExitUsage)
        print(stderr, tallyra::reportUsage(commands));
    return status;
}
