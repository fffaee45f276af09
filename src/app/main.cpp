// tallyra: the desktop program. It takes no arguments and works on the data files of the
// directory it is started from.

#include "MainU.h"
#include "ProgramCommands.h"

#include <QApplication>
#include <QStyleFactory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallyra"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    tallyra::TMain window;
    tallyra::registerProgramCommands(window);
    if (!window.start())
        return 1;
    return app.exec();
}
