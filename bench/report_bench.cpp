// The report engine at size: building a 100,000-row report in the buffer (with its page checks
// and headers) and exporting it as padded text, then painting one screen of the viewer at
// positions throughout that report, as scrolling does.
//
//   bench_report [rows]      default 100000; goals: build + export < 1 s, one screen < 16 ms

#include "CurrentPrinter.h"
#include "ReportBuffer.h"
#include "ReportText.h"
#include "ReportU.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// The product listing's shape: four columns, a second line for one product in five.
void buildListing(tallyra::ReportBuffer &b, int rows)
{
    b.reportStart(64, 5);
    b.titles() << QStringLiteral("Product Listing");
    const QStringList codes = {"L00", "L12", "R51", "R64"};
    const QStringList headings = {"Product", "Description", "Unit Price", "Reorder"};
    b.setHeadingRowCount(2);
    for (int c = 0; c < 4; ++c) {
        b.setColCode(c, codes[c]);
        b.setHeading(c, 1, codes[c] + headings[c]);
    }
    b.setHeading(4, 0, QStringLiteral("U"));
    b.setHeading(4, 1, QStringLiteral("U"));
    for (int i = 0; b.rowCount() < rows; ++i) {
        const bool second = i % 5 == 0;
        b.pageCheck(b.pageLines() + (second ? 2 : 1), true);
        b.newRow();
        b.put(0, QStringLiteral("P%1").arg(i, 8, 10, QLatin1Char('0')));
        b.put(1, QStringLiteral("Catalogue item number %1").arg(i));
        b.put(2, QString::asprintf("%12.2f", i * 0.37));
        b.put(3, QString::asprintf("%12.2f", double(i % 50)));
        if (second) {
            b.newRow();
            b.put(1, QStringLiteral("second description line"));
        }
    }
    b.setFlags(b.curRow(), QStringLiteral("U"));
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
    tallyra::CurrentPrinter::useFilePrinter();
    QTemporaryDir dir;

    // Build and export, five runs.
    tallyra::ReportBuffer buffer([] { return tallyra::CurrentPrinter::linesPerPage(); });
    std::vector<double> build, exportMs, both;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer t;
        t.start();
        buildListing(buffer, rows);
        const double built = t.nsecsElapsed() / 1e6;
        if (!tallyra::saveReportText(buffer, tallyra::TextLayout::Padded,
                                     dir.filePath(QStringLiteral("r.txt")))) {
            std::fprintf(stderr, "export failed\n");
            return 1;
        }
        const double total = t.nsecsElapsed() / 1e6;
        build.push_back(built);
        exportMs.push_back(total - built);
        both.push_back(total);
    }
    std::printf("report of %d rows (%d pages)\n", buffer.rowCount(), buffer.pageNo());
    std::printf("  build                 median %8.1f ms\n", median(build));
    std::printf("  padded text export    median %8.1f ms\n", median(exportMs));
    std::printf("  build + export        median %8.1f ms   worst %8.1f ms   goal < 1000 ms: %s\n",
                median(both), *std::max_element(both.begin(), both.end()),
                *std::max_element(both.begin(), both.end()) < 1000 ? "met" : "MISSED");

    // One screen of the viewer, at 200 positions spread over the report.
    tallyra::TReportF viewer(buffer);
    viewer.resize(1920, 1080);
    viewer.show();
    QApplication::processEvents();
    QWidget *canvas = viewer.findChild<QWidget *>(QStringLiteral("reportCanvasWidget"));
    QImage image(canvas->size(), QImage::Format_RGB32);
    canvas->render(&image); // the first showing loads the fonts; scrolling comes after it
    std::vector<double> paint;
    const int positions = 200;
    for (int i = 0; i < positions; ++i) {
        viewer.scrollToRow(int(qint64(buffer.rowCount() - viewer.rowsPerScreen()) * i / positions));
        QElapsedTimer t;
        t.start();
        canvas->render(&image);
        paint.push_back(t.nsecsElapsed() / 1e6);
    }
    std::printf("viewer screen %dx%d, %d rows of %d pt\n", canvas->width(), canvas->height(),
                viewer.rowsPerScreen(), viewer.screenFont().pointSize());
    std::sort(paint.begin(), paint.end());
    const double p95 = paint[paint.size() * 95 / 100];
    std::printf(
        "  paint one screen      median %8.2f ms   95%% %8.2f ms   worst %8.2f ms   goal < 16 ms: %s\n",
        median(paint), p95, paint.back(), p95 < 16 ? "met" : "MISSED");
    return 0;
}
