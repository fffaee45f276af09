#pragma once

#include <QString>
#include <memory>

class QFont;
class QPrinter;
class QWidget;

namespace tallyra {

// The program's one printer, which reports paginate by and print on. It is the system's default
// printer (or the first one installed); on a machine without printers it is a PDF file printer,
// and "Print" then asks for a file name. "Printer Setup" changes it in place; nothing is stored.
class CurrentPrinter
{
public:
    // The printer, created on first use. Never null.
    static QPrinter *printer();
    // True when the printer writes PDF files rather than to a printer.
    static bool isFilePrinter();
    // Text for the preferences box: the printer's name (or "PDF file") followed by "-Landscape"
    // or "-Portrait".
    static QString description();
    // The printer setup dialog on the current printer; true when accepted.
    static bool setup(QWidget *parent);
    // Replaces the printer by a PDF file printer (portrait, Letter where the locale measures in
    // inches, A4 elsewhere); for tests that must not depend on the installed printers.
    static void useFilePrinter();

    // The report buffer's page length: rows of the report font that fit on the current printer.
    static int linesPerPage();
    // Rows of `font` on one page of `printer`: the page height over the font's line height, less
    // six (three lines of top margin, three left free at the foot). Without a printer (null or
    // not valid) the message "Default Printer Not Found. Printing 60 Lines per page" is shown and
    // the result is 60; any other failure to measure gives 60 silently.
    static int measureLinesPerPage(const QPrinter *printer, const QFont &font);
};

} // namespace tallyra
