#pragma once

// The label commands of the main window: "Label Forms" (the stock pick list and form in the
// browse-and-edit loop) and the label runs, printed on the current printer.

#include "LabelRuns.h"

class QWidget;

namespace db {
class Engine;
}

namespace tallyra {

struct ProgressDisplay;

// Registers TPickLab and TLabelDef as the record windows of label stocks.
void registerLabelWindows();

// One label run of `kind`: the "Print Labels" dialog, the kind's selection (customer pick list,
// date span or groups), the labels printed on the current printer (a PDF file asked for when it
// is the PDF file printer). Every message is shown here; all tables are closed at the end.
// False only when a table could not be opened: *openFailure then holds the fatal message.
bool runLabelRun(QWidget *parent, db::Engine &engine, LabelKind kind, const ProgressDisplay &progress,
                 QString *openFailure);

} // namespace tallyra
