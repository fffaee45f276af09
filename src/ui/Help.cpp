#include "Help.h"

#include "Prompt.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

namespace tallyra {

namespace {

std::function<bool(const QUrl &)> g_opener;

} // namespace

QString Help::directory()
{
    const QString installed =
        QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/tallyra/help"));
    if (QFileInfo::exists(installed + QLatin1Char('/') + contentsPage()))
        return installed;
#ifdef TALLYRA_HELP_SOURCE_DIR
    return QStringLiteral(TALLYRA_HELP_SOURCE_DIR);
#else
    return installed;
#endif
}

QString Help::pageFor(int context)
{
    switch (context) {
    case kMainWindow:
        return QStringLiteral("main-window.html");
    case kInvoices:
        return QStringLiteral("invoices.html");
    case kCustomersAndProducts:
        return QStringLiteral("customers-and-products.html");
    case kReportGeneration:
        return QStringLiteral("report-generation.html");
    case kPreferences:
        return QStringLiteral("preferences.html");
    case kFileMaintenance:
        return QStringLiteral("file-maintenance.html");
    case kEMail:
        return QStringLiteral("email.html");
    case kImportCustomers:
    case kImportProducts:
        return QStringLiteral("importing.html");
    default:
        return contentsPage();
    }
}

bool Help::showContents(QWidget *parent)
{
    return open(parent, contentsPage());
}

bool Help::showContext(QWidget *parent, int context)
{
    return open(parent, pageFor(context));
}

void Help::setOpener(std::function<bool(const QUrl &)> opener)
{
    g_opener = std::move(opener);
}

bool Help::open(QWidget *parent, const QString &page)
{
    const QString path = directory() + QLatin1Char('/') + page;
    if (!QFileInfo::exists(path)) {
        Prompt::info(parent,
                     QStringLiteral("The help page was not found:\n") + QDir::toNativeSeparators(path));
        return false;
    }
    const QUrl url = QUrl::fromLocalFile(path);
    const bool opened = g_opener ? g_opener(url) : QDesktopServices::openUrl(url);
    if (!opened)
        Prompt::info(parent, QStringLiteral("No web browser could be started to show the help page:\n") +
                                 QDir::toNativeSeparators(path));
    return opened;
}

} // namespace tallyra
