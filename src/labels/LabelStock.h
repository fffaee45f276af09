#pragma once

// Label stocks as the forms and the label runs use them: the checks that make a stock printable,
// and the text of the dimension boxes.

#include "Records.h"

#include <QString>

namespace tallyra {

// Why a stock cannot be printed on, naming the value that is wrong; empty when it can. A stock
// with no labels across, a label without width or height, or label rows that take no room would
// leave a run with nothing to fill or no rows per page.
QString labelStockProblem(const LabelRecord &stock);

// A dimension as its box shows it: "%8.3f" ("   1.500").
QString formatDimension(double points);

// The text of a dimension box after leaving it (or before the decimal separator is typed in it):
// blanks removed, the rest read as a number and shown with "%8.3f"; a text that began with "-"
// but reads as zero keeps its sign ("  -0.000"), padded on the left to the length the text had.
// A text that is not a number (an emptied box) is left as it is.
QString reformatDimension(const QString &text);

// The number a dimension box holds, read with the C locale after removing blanks. False when the
// text is not a number.
bool readDimension(const QString &text, double *points);

} // namespace tallyra
