#pragma once

#include "Records.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace db {
class Engine;
}

namespace tallyra {

// "Label Definition": the name, eight dimensions in printer points, labels across and the
// pin-feed flag of one label stock.
class TLabelDef : public QDialog
{
    Q_OBJECT

public:
    explicit TLabelDef(db::Engine &engine, QWidget *parent = nullptr);

    // Shows the form modally on LABELS record `selection` (0: a new stock). Returns the record
    // saved (or shown) last; 0 or less when a new stock was left without saving.
    qint64 run(qint64 selection);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void reject() override;

private Q_SLOTS:
    void BtnSaveClick();

private:
    void show(const LabelRecord &stock);
    bool changed() const;

    db::Engine &m_engine;
    qint64 m_selection = 0;
    LabelRecord m_shown;
    QLineEdit *m_name;
    QList<QLineEdit *> m_dimensions; // top, left, bottom, right, width, height, hgap, vgap
    QSpinBox *m_across;
    QCheckBox *m_continuous;
    QPushButton *m_save;
    QPushButton *m_cancel;
};

} // namespace tallyra
