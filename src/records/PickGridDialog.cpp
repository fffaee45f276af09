#include "PickGridDialog.h"

#include "Conversions.h"
#include "FormRules.h"
#include "Prompt.h"
#include "RecordTables.h"
#include "Schema.h"
#include "Tables.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tallyra {

namespace {

// The width of the widest date the locale's short format writes, in `metrics`: every month, the
// days with the widest digits and years of this century and the next.
int widestDate(const QFontMetrics &metrics)
{
    int widest = 0;
    for (int year : {1988, 2088, 2188}) {
        for (int month = 1; month <= 12; ++month) {
            for (int day = 20; day <= 28; ++day)
                widest = qMax(widest, metrics.horizontalAdvance(formatShortDate(QDate(year, month, day))));
        }
    }
    return widest;
}

} // namespace

PickGridDialog::PickGridDialog(db::Engine &engine, const PickListDef &def, QWidget *parent)
    : TPickForm(def.objectName, def.caption, parent)
    , m_engine(engine)
    , m_def(def)
    , m_grid(def.grid)
{
    buildWindow();
    applyColumns();
}

void PickGridDialog::buildWindow()
{
    m_searchLabel = new QLabel(this);
    m_searchLabel->setObjectName(QStringLiteral("searchLabel"));
    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("searchEdit"));
    m_searchLabel->setBuddy(m_search);

    m_table = new QTableWidget(this);
    m_table->setObjectName(QStringLiteral("pickGrid"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->horizontalHeader()->setHighlightSections(false);
    m_table->setWordWrap(false);
    m_table->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_table->installEventFilter(this);
    m_table->viewport()->installEventFilter(this);

    m_scroll = new QScrollBar(Qt::Vertical, this);
    m_scroll->setObjectName(QStringLiteral("pickScrollBar"));
    m_scroll->setRange(0, PickGrid::kScrollRange);
    m_scroll->setSingleStep(1);
    m_scroll->setPageStep(PickGrid::kRows);
    m_scroll->setTracking(false);

    m_infoArea = new QWidget(this);
    auto *infoLayout = new QHBoxLayout(m_infoArea);
    infoLayout->setContentsMargins(0, 0, 0, 0);

    auto *searchRow = new QHBoxLayout;
    searchRow->addWidget(m_searchLabel);
    searchRow->addWidget(m_search, 1);

    auto *gridRow = new QHBoxLayout;
    gridRow->setSpacing(0);
    gridRow->addWidget(m_table, 1);
    gridRow->addWidget(m_scroll);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(searchRow);
    layout->addLayout(gridRow, 1);
    layout->addWidget(m_infoArea);
    layout->addLayout(pickButtons());
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    m_infoArea->hide();

    // Installed after the Enter filter, so it sees the search box's keys first.
    m_search->installEventFilter(this);

    connect(m_search, &QLineEdit::textChanged, this, &PickGridDialog::EditSearchChange);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, &PickGridDialog::StringGrid1DblClick);
    connect(m_table, &QTableWidget::currentCellChanged, this, &PickGridDialog::StringGrid1SelectCell);
    connect(m_scroll, &QScrollBar::actionTriggered, this, &PickGridDialog::ScrollBar1Scroll);
    connect(m_scroll, &QScrollBar::sliderReleased, this, &PickGridDialog::ScrollBar1Released);
}

void PickGridDialog::setDefinition(const PickListDef &def)
{
    m_def = def;
    m_grid.setLayout(def.grid);
    applyColumns();
}

// Column widths are multiples of the width of the list's letter in the window's font; the grid
// shows the visible columns exactly, and its height is at least eleven rows (the header and ten)
// plus 11 pixels.
void PickGridDialog::applyColumns()
{
    setObjectName(m_def.objectName);
    setWindowTitle(m_def.caption);
    m_searchLabel->setText(m_def.searchLabel);
    m_select->setText(m_def.selectCaption);
    m_new->setText(m_def.newCaption);
    m_cancel->setText(m_def.cancelCaption);
    if (m_def.grid.search == PickGrid::SearchKind::InvoiceNumber)
        m_search->setInputMask(QStringLiteral("000000;_"));
    else
        m_search->setInputMask(QString());

    const QFontMetrics fm(font());
    const int letter = fm.horizontalAdvance(m_def.letter);
    QStringList headers;
    for (const PickColumn &c : m_def.columns)
        headers << c.header;
    headers << QString::fromLatin1(kRecNoHeader);
    m_table->clear();
    m_table->setColumnCount(static_cast<int>(headers.size()));
    m_table->setHorizontalHeaderLabels(headers);
    // Each column is as wide as its letters of the list's letter, and never narrower than its
    // widest value (its field's characters, the deleted marker, its header) in the font in use.
    constexpr int kCellMargins = 14;
    int columnsWidth = 0;
    for (int i = 0; i < m_def.columns.size(); ++i) {
        const PickColumn &c = m_def.columns[i];
        int width = qMax(c.letters * letter,
                         widthFor(m_table, c.letters, c.alignRight ? TextKind::Figures : TextKind::Text));
        width = qMax(width, fm.horizontalAdvance(c.header) + kCellMargins);
        if (i == m_def.grid.markerColumn)
            width = qMax(width, fm.horizontalAdvance(m_def.grid.marker) + kCellMargins);
        if (c.date)
            width = qMax(width, widestDate(m_table->fontMetrics()) + kCellMargins);
        m_table->setColumnWidth(i, width);
        columnsWidth += width;
    }
    const int recNoColumn = static_cast<int>(m_def.columns.size());
    m_table->setColumnWidth(recNoColumn, kRecNoLetters * letter);
    m_table->setColumnHidden(recNoColumn, true);
    m_table->horizontalHeader()->setStretchLastSection(true);

    const int rowHeight = fm.height() + 6;
    m_table->verticalHeader()->setDefaultSectionSize(rowHeight);
    m_table->horizontalHeader()->setFixedHeight(rowHeight);
    const int frame = 2 * m_table->frameWidth();
    // Ten rows at least; wider and taller, with more rows, when the window is enlarged.
    m_table->setMinimumWidth(qMax(m_def.gridLetters * letter, columnsWidth) + frame);
    m_table->setMinimumHeight((PickGrid::kRows + 1) * rowHeight + 11);
    fitRows();

    if (QLayout *l = layout()) {
        QMargins m = l->contentsMargins();
        m.setRight(m_def.windowMargin);
        l->setContentsMargins(m);
    }
}

QLineEdit *PickGridDialog::addInfoBox(const QString &label, const QString &objectName)
{
    auto *caption = new QLabel(label, m_infoArea);
    auto *box = new QLineEdit(m_infoArea);
    box->setObjectName(objectName);
    box->setReadOnly(true);
    box->setFocusPolicy(Qt::NoFocus);
    caption->setBuddy(box);
    m_infoArea->layout()->addWidget(caption);
    m_infoArea->layout()->addWidget(box);
    m_infoArea->show();
    return box;
}

db::Table *PickGridDialog::listTable()
{
    return commandTable(m_engine, m_def.table, this);
}

qint64 PickGridDialog::pick(qint64 selection, bool allowNew)
{
    m_selection = -1;
    aboutToShow();
    db::Table *table = listTable();
    if (!table)
        return -1;
    if (!m_def.tag.isEmpty() && table->selectedTag().compare(m_def.tag, Qt::CaseInsensitive) != 0 &&
        !table->selectTag(m_def.tag)) {
        Prompt::info(this, openFailureMessage(tableDef(m_def.table).tagFailFile));
        table->takeError();
        return -1;
    }

    QApplication::setOverrideCursor(Qt::WaitCursor);
    {
        const QSignalBlocker block(m_search);
        m_search->clear();
    }
    m_grid.open(table, selection);
    QApplication::restoreOverrideCursor();

    const bool any = !m_grid.isEmpty();
    m_new->setEnabled(allowNew);
    m_select->setEnabled(any);
    m_table->setEnabled(any);
    refresh();
    reportError();
    if (any)
        m_search->setFocus();
    else if (allowNew)
        m_new->setFocus();
    else
        m_cancel->setFocus();
    exec();
    return m_selection;
}

void PickGridDialog::refresh()
{
    m_refreshing = true;
    const QList<PickRow> &rows = m_grid.rows();
    const int visible = static_cast<int>(m_def.columns.size());
    m_table->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        const PickRow &row = rows[r];
        for (int c = 0; c < visible; ++c) {
            auto *item = new QTableWidgetItem(c < row.cells.size() ? row.cells[c] : QString());
            item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
            if (m_def.columns[c].alignRight)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_table->setItem(r, c, item);
        }
        auto *recNo = new QTableWidgetItem(QString::number(row.recNo));
        recNo->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        m_table->setItem(r, visible, recNo);
    }
    if (m_grid.currentRow() >= 0)
        m_table->setCurrentCell(m_grid.currentRow(), 0);
    else
        m_table->setCurrentCell(-1, -1);
    m_scroll->setVisible(m_grid.scrollable());
    m_scroll->setValue(m_grid.scrollPosition());
    m_refreshing = false;
    currentRowChanged();
}

void PickGridDialog::reportError()
{
    const db::Status e = m_grid.takeError();
    if (!e.isOk())
        Prompt::info(this, QStringLiteral("The list could not be read completely.\n%1").arg(e.toString()));
}

void PickGridDialog::fitRows()
{
    const int rowHeight = m_table->verticalHeader()->defaultSectionSize();
    if (rowHeight <= 0)
        return;
    const int rows = qMax(PickGrid::kRows, m_table->viewport()->height() / rowHeight);
    if (rows == m_grid.rowCount())
        return;
    m_grid.setRowCount(rows);
    m_scroll->setPageStep(rows);
    if (!m_grid.isEmpty()) {
        refresh();
        reportError();
    }
}

bool PickGridDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_table->viewport() && event->type() == QEvent::Resize) {
        fitRows();
        return QDialog::eventFilter(watched, event);
    }
    if (watched == m_search && event->type() == QEvent::KeyPress && m_table->isEnabled()) {
        switch (static_cast<QKeyEvent *>(event)->key()) {
        case Qt::Key_Down:
            m_table->setFocus(Qt::TabFocusReason);
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (m_grid.currentRecNo() != 0) {
                BtnSelectClick();
                return true;
            }
            break;
        default:
            break;
        }
        return QDialog::eventFilter(watched, event);
    }
    if (watched == m_table && event->type() == QEvent::KeyPress && m_table->isEnabled()) {
        auto *key = static_cast<QKeyEvent *>(event);
        switch (key->key()) {
        case Qt::Key_PageDown:
            m_grid.pageDown();
            break;
        case Qt::Key_PageUp:
            m_grid.pageUp();
            break;
        case Qt::Key_End:
            m_grid.end();
            break;
        case Qt::Key_Home:
            m_grid.home();
            break;
        case Qt::Key_Down:
            m_grid.keyDown();
            break;
        case Qt::Key_Up:
            m_grid.keyUp();
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            BtnSelectClick();
            return true;
        default:
            return QDialog::eventFilter(watched, event);
        }
        refresh();
        reportError();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void PickGridDialog::BtnSelectClick()
{
    // An empty list has no row to choose (and "Select" is disabled).
    if (const quint32 recNo = m_grid.currentRecNo())
        choose(recNo);
}

void PickGridDialog::EditSearchChange(const QString &text)
{
    if (m_grid.search(text)) {
        refresh();
        reportError();
    }
}

void PickGridDialog::StringGrid1DblClick(int row, int)
{
    if (row < 0)
        return;
    m_grid.setCurrentRow(row);
    BtnSelectClick();
}

void PickGridDialog::StringGrid1SelectCell(int row, int, int, int)
{
    if (m_refreshing || row < 0)
        return;
    m_grid.setCurrentRow(row);
    currentRowChanged();
}

void PickGridDialog::ScrollBar1Scroll(int action)
{
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
        m_grid.lineDown();
        break;
    case QAbstractSlider::SliderSingleStepSub:
        m_grid.lineUp();
        break;
    case QAbstractSlider::SliderPageStepAdd:
        m_grid.pageDown();
        break;
    case QAbstractSlider::SliderPageStepSub:
        m_grid.pageUp();
        break;
    case QAbstractSlider::SliderToMinimum:
        m_grid.home();
        break;
    case QAbstractSlider::SliderToMaximum:
        m_grid.end();
        break;
    default:
        return; // dragging the thumb moves nothing until it is released
    }
    refresh();
    m_scroll->setSliderPosition(m_grid.scrollPosition());
    reportError();
}

void PickGridDialog::ScrollBar1Released()
{
    m_grid.thumbReleased(m_scroll->sliderPosition());
    refresh();
    reportError();
}

} // namespace tallyra
