// tallyra: the desktop program. `tallyra [DIR]` works on the data files of DIR; without DIR, on
// those of the directory it is started from, or else on the business opened last.

#include "MainU.h"
#include "ProgramCommands.h"
#include "Startup.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QIcon>
#include <QStyleFactory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallyra"));
    QApplication::setApplicationVersion(tallyra::versionText());
    QApplication::setDesktopFileName(QStringLiteral("tallyra"));
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("tallyra"), QIcon(QStringLiteral(":/tallyra.png"))));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Invoicing, reports and mailing for the small business."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("DIR"),
                                 QStringLiteral("The directory holding the business's data files."),
                                 QStringLiteral("[DIR]"));
    parser.process(app);
    const QStringList args = parser.positionalArguments();
    if (args.size() > 1) {
        fputs(qPrintable(parser.helpText()), stderr);
        return 2;
    }

    tallyra::TMain window;
    if (!args.isEmpty())
        window.setDataDirectory(QDir(args.first()).absolutePath(), true);
    tallyra::registerProgramCommands(window);
    if (!window.start())
        return 1;
    return app.exec();
}
