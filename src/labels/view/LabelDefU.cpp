#include "LabelDefU.h"

#include "EnterMovesFocus.h"
#include "LabelStock.h"
#include "Prompt.h"
#include "RecordTables.h"
#include "Schema.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

namespace tallyra {

namespace {

const char *const kDimensionNames[] = {"Top Margin", "Left Margin", "Bottom Margin",  "Right Margin",
                                       "Width",      "Height",      "Horizontal Gap", "Vertical Gap"};
const char *const kDimensionObjects[] = {"topMarginEdit",   "leftMarginEdit", "bottomMarginEdit",
                                         "rightMarginEdit", "widthEdit",      "heightEdit",
                                         "hGapEdit",        "vGapEdit"};

double *dimension(LabelRecord &r, int i)
{
    double *fields[] = {&r.TopM, &r.LeftM, &r.BottomM, &r.RightM, &r.Width, &r.Height, &r.HGap, &r.VGap};
    return fields[i];
}

} // namespace

TLabelDef::TLabelDef(db::Engine &engine, QWidget *parent)
    : QDialog(parent)
    , m_engine(engine)
{
    setObjectName(QStringLiteral("labelDefDialog"));
    setWindowTitle(QStringLiteral("Label Definition"));
    setModal(true);

    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("labelNameEdit"));
    m_name->setMaxLength(40);
    m_name->setMinimumWidth(m_name->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 28);

    // Up to four digits and a sign before the separator, three after: what the field holds.
    const QString separator = QRegularExpression::escape(QLocale().decimalPoint());
    const QRegularExpression pattern(QStringLiteral("^ *-? *\\d{0,4} *(%1\\d{0,3})? *$").arg(separator));
    auto *grid = new QGridLayout;
    for (int i = 0; i < 8; ++i) {
        auto *box = new QLineEdit(this);
        box->setObjectName(QString::fromLatin1(kDimensionObjects[i]));
        box->setValidator(new QRegularExpressionValidator(pattern, box));
        box->setAlignment(Qt::AlignRight);
        box->setFixedWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("-0000.000")) + 16);
        box->installEventFilter(this);
        auto *label = new QLabel(QString::fromLatin1(kDimensionNames[i]) + QLatin1Char(':'), this);
        label->setBuddy(box);
        grid->addWidget(label, i % 4, (i / 4) * 2);
        grid->addWidget(box, i % 4, (i / 4) * 2 + 1);
        m_dimensions << box;
    }
    m_across = new QSpinBox(this);
    m_across->setObjectName(QStringLiteral("acrossSpin"));
    m_across->setRange(0, 9);
    m_continuous = new QCheckBox(QStringLiteral("Continuous Pin Feed"), this);
    m_continuous->setObjectName(QStringLiteral("continuousCheck"));

    m_save = new QPushButton(QStringLiteral("Save"), this);
    m_save->setObjectName(QStringLiteral("saveButton"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    for (QPushButton *b : {m_save, m_cancel})
        b->setAutoDefault(true);

    auto *top = new QFormLayout;
    top->addRow(QStringLiteral("Label Name:"), m_name);
    auto *note = new QLabel(
        QStringLiteral(
            "Label Dimensions are defined in printer points where each printer point is 1/72 of an inch."),
        this);
    note->setWordWrap(true);
    auto *across = new QFormLayout;
    across->addRow(QStringLiteral("No. Labels Across:"), m_across);
    across->addRow(QString(), m_continuous);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_save);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(note);
    layout->addLayout(grid);
    layout->addLayout(across);
    layout->addLayout(buttons);

    // Tab and Enter go down each column of dimensions, then on to the rest.
    QWidget *previous = m_name;
    for (QWidget *w : QList<QWidget *>(m_dimensions.begin(), m_dimensions.end()) +
                          QList<QWidget *>{m_across, m_continuous, m_save, m_cancel}) {
        setTabOrder(previous, w);
        previous = w;
    }
    EnterMovesFocus::install(this);
    connect(m_save, &QPushButton::clicked, this, &TLabelDef::BtnSaveClick);
    connect(m_cancel, &QPushButton::clicked, this, &TLabelDef::reject);
}

void TLabelDef::show(const LabelRecord &stock)
{
    m_name->setText(stock.Name.trimmed());
    LabelRecord copy = stock;
    for (int i = 0; i < 8; ++i)
        m_dimensions[i]->setText(formatDimension(*dimension(copy, i)));
    m_across->setValue(int(std::clamp<qint64>(stock.NAcross, 0, 9)));
    m_continuous->setChecked(stock.Continuous);
    m_shown = stock;
    m_shown.Name = stock.Name.trimmed();
}

qint64 TLabelDef::run(qint64 selection)
{
    m_selection = selection;
    LabelRecord stock;
    if (selection > 0) {
        db::Table *labels = commandTable(m_engine, TableId::Labels, this);
        if (!labels || !labels->go(quint32(selection)) || !loadLabel(*labels, stock).isOk()) {
            if (labels)
                labels->takeError();
            Prompt::info(this, QStringLiteral("Label stock record %1 could not be read.").arg(selection));
            return selection;
        }
    }
    show(stock);
    m_name->setFocus();
    exec();
    return m_selection;
}

bool TLabelDef::eventFilter(QObject *watched, QEvent *event)
{
    auto *box = qobject_cast<QLineEdit *>(watched);
    if (box && m_dimensions.contains(box)) {
        if (event->type() == QEvent::FocusOut) {
            box->setText(reformatDimension(box->text()));
        } else if (event->type() == QEvent::KeyPress) {
            // The separator right-aligns what was typed before it, with three decimals; the
            // separator then lands on the one already shown.
            const auto *key = static_cast<QKeyEvent *>(event);
            if (key->text() == QLocale().decimalPoint()) {
                const QString shown = reformatDimension(box->text());
                box->setText(shown);
                const int dot = shown.indexOf(QLatin1Char('.'));
                box->setSelection(dot + 1, shown.size() - dot - 1);
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool TLabelDef::changed() const
{
    if (m_name->text().trimmed() != m_shown.Name || m_across->value() != m_shown.NAcross ||
        m_continuous->isChecked() != m_shown.Continuous)
        return true;
    LabelRecord shown = m_shown;
    for (int i = 0; i < 8; ++i) {
        double value = 0;
        if (!readDimension(m_dimensions[i]->text(), &value) || value != *dimension(shown, i))
            return true;
    }
    return false;
}

void TLabelDef::reject()
{
    if (changed() && !Prompt::yesNo(this, QStringLiteral("Discard the changes?")))
        return;
    QDialog::reject();
}

void TLabelDef::BtnSaveClick()
{
    LabelRecord stock;
    stock.Name = m_name->text().trimmed();
    if (stock.Name.isEmpty()) {
        Prompt::info(this, QStringLiteral("Please fill in label name."));
        m_name->setFocus();
        return;
    }
    for (int i = 0; i < 8; ++i) {
        if (!readDimension(m_dimensions[i]->text(), dimension(stock, i))) {
            Prompt::info(this, QString::fromLatin1(kDimensionNames[i]) + QStringLiteral(": not a number"));
            m_dimensions[i]->setFocus();
            return;
        }
    }
    stock.NAcross = m_across->value();
    stock.Continuous = m_continuous->isChecked();
    // A stock no label could be printed on is refused here rather than at the first run.
    if (const QString problem = labelStockProblem(stock); !problem.isEmpty()) {
        Prompt::info(this, problem);
        return;
    }
    db::Table *labels = commandTable(m_engine, TableId::Labels, this);
    if (!labels)
        return;
    if (m_selection <= 0) {
        if (!labels->appendBlank().isOk()) {
            labels->takeError();
            Prompt::info(this, QStringLiteral("Unable to Append record . . Please try again."));
            return;
        }
        m_selection = labels->recNo();
    } else if (!labels->go(quint32(m_selection))) {
        Prompt::info(this, labels->takeError().toString());
        return;
    }
    if (const db::Status s = writeLabel(*labels, stock); !s) {
        Prompt::info(this, QStringLiteral("Unable to save the label stock:\n") + s.toString());
        return;
    }
    m_shown = stock;
    accept();
}

} // namespace tallyra
