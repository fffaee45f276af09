#pragma once

#include "LabelSheet.h"
#include "Records.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QPrinter;
class QPushButton;
class QSpinBox;

namespace db {
class Engine;
}

namespace tallyra {

// "Print Labels": the label stock, the starting column and row on the first sheet, and whether
// to outline the labels. "Preview" shows the first page as it will print.
class TLabPrint : public QDialog
{
    Q_OBJECT

public:
    TLabPrint(db::Engine &engine, const QString &dataDir, QWidget *parent = nullptr);

    // Lists the stocks (LABELS must be open) with `lastUsed` preselected and shows the dialog
    // modally. True when "Print" was pressed on a stock: stock() and options() then hold the
    // choice.
    bool ask(db::Table &labels, const QString &lastUsed);
    const LabelRecord &stock() const { return m_stock; }
    LabelSheet::Options options() const;

private Q_SLOTS:
    void ComboStockChange(int index);
    void BtnPrintClick();
    void BtnPreviewClick();

private:
    void drawPreview(QPrinter *printer);

    db::Engine &m_engine;
    QString m_dataDir;
    QList<LabelRecord> m_stocks;
    LabelRecord m_stock;
    QComboBox *m_stockBox;
    QSpinBox *m_column;
    QSpinBox *m_row;
    QCheckBox *m_outline;
    QPushButton *m_preview;
    QPushButton *m_print;
    QPushButton *m_cancel;
};

} // namespace tallyra
