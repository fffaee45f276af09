// A label run of 30,000 labels on a 3-across, 10-row Letter stock printed to a PDF file through the
// same sheet code as the program (goal: under 10 s). Prints the median of three runs.

#include "LabelSheet.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

using namespace tallyra;

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int labels = argc > 1 ? std::atoi(argv[1]) : 30000;
    LabelRecord stock;
    stock.Name = QStringLiteral("Letter 3 x 10");
    stock.TopM = 36;
    stock.LeftM = 13.5;
    stock.BottomM = 36;
    stock.RightM = 13.5;
    stock.Width = 189;
    stock.Height = 72;
    stock.HGap = 9;
    stock.NAcross = 3;
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPointSize(10);

    QTemporaryDir dir;
    std::vector<double> times;
    qint64 bytes = 0;
    int pages = 0;
    for (int run = 0; run < 3; ++run) {
        const QString path = dir.filePath(QStringLiteral("labels.pdf"));
        QElapsedTimer clock;
        clock.start();
        {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(path);
            printer.setPageLayout(
                QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait, QMarginsF()));
            LabelSheet sheet(stock, &printer, font, {1, 1, false});
            for (int i = 0; i < labels; ++i) {
                const QStringList lines{
                    QStringLiteral("Customer Number %1").arg(i), QStringLiteral("Holloway & Finch"),
                    QStringLiteral("%1 Harbor Lane").arg(i % 997), QStringLiteral("Suite %1").arg(i % 53),
                    QStringLiteral("Manchester, NH 03101")};
                if (!sheet.addLabel(lines)) {
                    std::fprintf(stderr, "printing failed\n");
                    return 1;
                }
            }
            sheet.finish();
            pages = sheet.pagesPrinted();
        }
        times.push_back(double(clock.nsecsElapsed()) / 1e9);
        bytes = QFileInfo(path).size();
    }
    std::sort(times.begin(), times.end());
    std::printf(
        "labels: %d labels, %d pages, %.1f MB PDF: median %.2f s (best %.2f, worst %.2f); goal < 10 s\n",
        labels, pages, double(bytes) / 1e6, times[1], times[0], times[2]);
    return 0;
}
