#pragma once

#include <QString>
#include <QUrl>
#include <functional>

class QWidget;

namespace tallyra {

// The program's help: HTML pages installed with it (share/tallyra/help beside the bin folder),
// opened in the desktop's browser. Each page of the main window has a help context; the window
// itself has 10.
class Help
{
public:
    static constexpr int kMainWindow = 10;
    static constexpr int kInvoices = 300;
    static constexpr int kCustomersAndProducts = 400;
    static constexpr int kReportGeneration = 500;
    static constexpr int kPreferences = 600;
    static constexpr int kFileMaintenance = 700;
    static constexpr int kEMail = 610; // "EMail Setup", the e-mail window and bulk mail
    static constexpr int kImportCustomers = 425;
    static constexpr int kImportProducts = 445;

    // The folder holding the pages: the installed one when it exists, else the source tree's.
    static QString directory();
    // The page of a help context ("invoices.html"), or the contents page ("index.html") for an
    // unknown context.
    static QString pageFor(int context);
    static QString contentsPage() { return QStringLiteral("index.html"); }

    // Opens the contents / the page of a context. When the page is missing the user is told where
    // it was looked for, and the result is false.
    static bool showContents(QWidget *parent);
    static bool showContext(QWidget *parent, int context);

    // Tests replace the browser; an empty function restores it.
    static void setOpener(std::function<bool(const QUrl &)> opener);

private:
    static bool open(QWidget *parent, const QString &page);
};

} // namespace tallyra
