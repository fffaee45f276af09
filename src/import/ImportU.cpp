#include "ImportU.h"

#include "BrowseEdit.h"
#include "EnterMovesFocus.h"
#include "FmtDefU.h"
#include "Help.h"
#include "ImportBackup.h"
#include "Prompt.h"
#include "Records.h"
#include "Tables.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace tallyra {

namespace {

const QString kNoFormat = QStringLiteral("Click Add to create a format");

} // namespace

TImport::TImport(db::Engine &engine, ImportKind kind, QWidget *parent)
    : QDialog(parent)
    , m_engine(engine)
    , m_kind(kind)
{
    setObjectName(QStringLiteral("importDialog"));
    setWindowTitle(QStringLiteral("Import"));
    setModal(true);
    const QFontMetrics fm = fontMetrics();
    const int em = fm.horizontalAdvance(QLatin1Char('M'));

    m_formatCombo = new QComboBox(this);
    m_formatCombo->setObjectName(QStringLiteral("formatCombo"));
    m_formatCombo->setMinimumWidth(em * 22);
    m_add = new QPushButton(QStringLiteral("Add"), this);
    m_add->setObjectName(QStringLiteral("addButton"));
    m_edit = new QPushButton(QStringLiteral("Edit"), this);
    m_edit->setObjectName(QStringLiteral("editButton"));
    m_file = new QLineEdit(this);
    m_file->setObjectName(QStringLiteral("fileEdit"));
    m_file->setMaxLength(127);
    m_file->setMinimumWidth(em * 30);
    m_browse = new QPushButton(QStringLiteral("Browse"), this);
    m_browse->setObjectName(QStringLiteral("browseButton"));
    m_encoding = new QLabel(this);
    m_encoding->setObjectName(QStringLiteral("encodingLabel"));

    m_preview = new QTableWidget(this);
    m_preview->setObjectName(QStringLiteral("previewTable"));
    m_preview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_preview->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_preview->setTabKeyNavigation(false);
    m_preview->verticalHeader()->setVisible(false);
    m_preview->verticalHeader()->setDefaultSectionSize(fm.height() + 6);
    m_preview->setWordWrap(false);
    m_preview->setMinimumHeight((fm.height() + 6) * 12);
    m_skipped = new QPlainTextEdit(this);
    m_skipped->setObjectName(QStringLiteral("skippedText"));
    m_skipped->setReadOnly(true);
    m_skipped->setTabChangesFocus(true);
    m_skipped->setMaximumHeight((fm.height() + 2) * 6);
    m_skipped->hide();

    m_import = new QPushButton(QStringLiteral("Import"), this);
    m_import->setObjectName(QStringLiteral("importButton"));
    m_undo = new QPushButton(QStringLiteral("Undo Last Import"), this);
    m_undo->setObjectName(QStringLiteral("undoButton"));
    m_exit = new QPushButton(QStringLiteral("Exit"), this);
    m_exit->setObjectName(QStringLiteral("exitButton"));
    m_help = new QPushButton(QStringLiteral("Help"), this);
    m_help->setObjectName(QStringLiteral("helpButton"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("statusLabel"));
    m_status->setMinimumWidth(em * 24);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progressBar"));
    m_progress->setRange(0, 100);
    m_progress->setFixedWidth(em * 12);
    m_progress->setVisible(false);
    m_cancelImport = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancelImport->setObjectName(QStringLiteral("cancelImportButton"));
    m_cancelImport->setVisible(false);
    for (QPushButton *b : {m_add, m_edit, m_browse, m_import, m_undo, m_exit, m_help, m_cancelImport})
        b->setAutoDefault(true); // Enter on a focused button presses it

    auto *top = new QGridLayout;
    auto *formatLabel = new QLabel(QStringLiteral("Import Format"), this);
    formatLabel->setBuddy(m_formatCombo);
    top->addWidget(formatLabel, 0, 0);
    top->addWidget(m_formatCombo, 0, 1);
    auto *formatButtons = new QHBoxLayout;
    formatButtons->addWidget(m_add);
    formatButtons->addWidget(m_edit);
    formatButtons->addStretch(1);
    top->addLayout(formatButtons, 0, 2);
    auto *fileLabel = new QLabel(QStringLiteral("Import from File"), this);
    fileLabel->setBuddy(m_file);
    top->addWidget(fileLabel, 1, 0);
    top->addWidget(m_file, 1, 1);
    top->addWidget(m_browse, 1, 2, Qt::AlignLeft);
    top->addWidget(m_encoding, 2, 1, 1, 2);
    top->setColumnStretch(1, 1);

    auto *previewLabel =
        new QLabel(QStringLiteral("What the first %1 lines will do").arg(kPreviewLines), this);
    previewLabel->setBuddy(m_preview);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_import);
    buttons->addWidget(m_undo);
    buttons->addStretch(1);
    buttons->addWidget(m_exit);
    buttons->addWidget(m_help);

    auto *statusRow = new QHBoxLayout;
    statusRow->addWidget(m_progress);
    statusRow->addWidget(m_status, 1);
    statusRow->addWidget(m_cancelImport);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(previewLabel);
    layout->addWidget(m_preview, 1);
    layout->addWidget(m_skipped);
    layout->addLayout(buttons);
    layout->addLayout(statusRow);
    resize(em * 76, (fm.height() + 6) * 28);

    setTabOrder(m_formatCombo, m_add);
    setTabOrder(m_add, m_edit);
    setTabOrder(m_edit, m_file);
    setTabOrder(m_file, m_browse);
    setTabOrder(m_browse, m_preview);
    setTabOrder(m_preview, m_skipped);
    setTabOrder(m_skipped, m_import);
    setTabOrder(m_import, m_undo);
    setTabOrder(m_undo, m_exit);
    setTabOrder(m_exit, m_help);

    EnterMovesFocus::install(this);
    connect(m_formatCombo, &QComboBox::activated, this, &TImport::CmbFormatChange);
    connect(m_add, &QPushButton::clicked, this, &TImport::BtnAddClick);
    connect(m_edit, &QPushButton::clicked, this, &TImport::BtnEditClick);
    connect(m_browse, &QPushButton::clicked, this, &TImport::BtnBrowseClick);
    connect(m_file, &QLineEdit::editingFinished, this, &TImport::EditFileExit);
    // A name typed or pasted is previewed once the typing pauses, without waiting for the box to
    // be left.
    m_fileTimer = new QTimer(this);
    m_fileTimer->setSingleShot(true);
    m_fileTimer->setInterval(400);
    connect(m_fileTimer, &QTimer::timeout, this, &TImport::EditFileExit);
    connect(m_file, &QLineEdit::textEdited, m_fileTimer, qOverload<>(&QTimer::start));
    connect(m_import, &QPushButton::clicked, this, &TImport::BtnImportClick);
    connect(m_undo, &QPushButton::clicked, this, &TImport::BtnUndoClick);
    connect(m_exit, &QPushButton::clicked, this, &TImport::reject);
    connect(m_cancelImport, &QPushButton::clicked, this, &TImport::BtnCancelImportClick);
    connect(m_help, &QPushButton::clicked, this, [this] {
        Help::showContext(this,
                          m_kind == ImportKind::Customers ? Help::kImportCustomers : Help::kImportProducts);
    });
}

QString TImport::what() const
{
    return m_kind == ImportKind::Customers ? QStringLiteral("Customer") : QStringLiteral("Product");
}

db::Table *TImport::formats()
{
    db::Table *t = m_engine.table(QStringLiteral("ImportF"));
    if (t)
        return t;
    const OpenResult opened = openImportFormats(m_engine);
    if (!opened) {
        Prompt::info(this, opened.message());
        return nullptr;
    }
    return opened.table;
}

void TImport::run()
{
    m_selection = 0;
    if (!formats())
        return;
    fillFormats();
    refreshUndo();
    m_formatCombo->setFocus();
    exec();
}

void TImport::fillFormats()
{
    db::Table *t = formats();
    m_entries = t ? formatsOfKind(*t, m_kind) : QList<FormatEntry>{};
    m_formatCombo->clear();
    if (m_entries.isEmpty()) {
        m_formatCombo->addItem(kNoFormat);
        m_selection = 0;
        m_edit->setEnabled(false);
        refreshPreview();
        return;
    }
    int current = 0;
    for (int i = 0; i < m_entries.size(); ++i) {
        m_formatCombo->addItem(m_entries[i].name);
        if (m_entries[i].recNo == m_selection)
            current = i;
    }
    m_formatCombo->setCurrentIndex(current);
    m_edit->setEnabled(true);
    CmbFormatChange(current);
}

void TImport::CmbFormatChange(int index)
{
    if (index < 0 || index >= m_entries.size())
        return;
    db::Table *t = formats();
    if (!t)
        return;
    const db::Status read = readFormat(*t, m_entries[index].recNo, &m_format);
    if (!read) {
        Prompt::info(this, QStringLiteral("The import format could not be read:\n") + read.toString());
        return;
    }
    m_selection = m_entries[index].recNo;
    refreshPreview();
}

void TImport::BtnAddClick()
{
    db::Table *t = formats();
    if (!t)
        return;
    TFmtDef window(this);
    const quint32 saved = window.run(*t, m_kind, 0);
    if (saved != 0)
        m_selection = saved;
    fillFormats();
}

void TImport::BtnEditClick()
{
    db::Table *t = formats();
    if (!t || m_selection == 0)
        return;
    TFmtDef window(this);
    m_selection = window.run(*t, m_kind, m_selection);
    fillFormats();
}

void TImport::BtnBrowseClick()
{
    // The dialog may change the current directory; the data files must stay reachable.
    const QString working = QDir::currentPath();
    const QString chosen =
        Prompt::openFile(this, QStringLiteral("Import from File"), m_file->text().trimmed(),
                         QStringLiteral("Text files (*.txt *.csv *.tsv *.tab *.asc);;All files (*)"));
    QDir::setCurrent(working);
    if (chosen.isEmpty())
        return;
    m_file->setText(chosen);
    refreshPreview();
}

void TImport::EditFileExit()
{
    m_fileTimer->stop();
    if (!m_running && m_file->text().trimmed() != m_previewedFile)
        refreshPreview();
}

void TImport::refreshPreview()
{
    m_preview->clear();
    m_preview->setRowCount(0);
    m_preview->setColumnCount(0);
    m_encoding->clear();
    const QString file = m_file->text().trimmed();
    m_previewedFile = file;
    if (m_selection == 0 || file.isEmpty() || !QFileInfo(file).isFile())
        return;
    ImportRequest request;
    request.kind = m_kind;
    request.format = m_format;
    request.file = file;
    const ImportPreview preview = previewImport(m_engine, request, kPreviewLines);
    if (!preview.ok) {
        m_encoding->setText(preview.message);
        return;
    }
    m_encoding->setText(QStringLiteral("Read as %1").arg(encodingName(preview.encoding)));
    QStringList headings{QStringLiteral("Line"), QStringLiteral("What will happen")};
    const QStringList &labels = slotLabels(m_kind);
    for (int c = 1; c <= preview.fieldColumns; ++c) {
        // A column says which item it fills, when one does.
        QString heading = QString::number(c);
        for (int s = 0; s < labels.size(); ++s)
            if (m_format.Fld[s] == c)
                heading += QLatin1Char('\n') + labels[s];
        headings << heading;
    }
    m_preview->setColumnCount(headings.size());
    m_preview->setHorizontalHeaderLabels(headings);
    m_preview->setRowCount(preview.rows.size());
    for (int r = 0; r < preview.rows.size(); ++r) {
        const PreviewRow &row = preview.rows[r];
        auto *line = new QTableWidgetItem(QString::number(row.line));
        line->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_preview->setItem(r, 0, line);
        auto *what = new QTableWidgetItem(row.what);
        if (row.action == LineAction::Skip)
            what->setForeground(QColor(0xB0, 0x00, 0x00));
        m_preview->setItem(r, 1, what);
        for (int c = 0; c < row.fields.size(); ++c)
            m_preview->setItem(r, 2 + c, new QTableWidgetItem(row.fields[c]));
    }
    m_preview->resizeColumnsToContents();
    const int widest = fontMetrics().horizontalAdvance(QLatin1Char('M')) * 24;
    for (int c = 1; c < m_preview->columnCount(); ++c)
        m_preview->setColumnWidth(c, std::min(m_preview->columnWidth(c), widest));
}

void TImport::refreshUndo()
{
    const bool can = !undoableImport(m_engine.directory(), m_kind).isEmpty();
    m_undo->setEnabled(can);
    m_undo->setToolTip(
        can ? QStringLiteral("Puts the %1 file back as it was before the last import")
                  .arg(tableDef(importTable(m_kind)).fileName)
            : QStringLiteral("Offered after an import, until another change is made to the table"));
}

void TImport::BtnImportClick()
{
    if (m_running)
        return;
    if (m_selection == 0) {
        Prompt::info(this, QStringLiteral("Click the Add button to define an import format"));
        return;
    }
    const QString file = m_file->text().trimmed();
    if (file.isEmpty()) {
        Prompt::info(this, QStringLiteral("Click Browse button to select the file you want to import"));
        return;
    }
    if (!QFileInfo(file).isFile()) {
        Prompt::info(this,
                     QStringLiteral(
                         "Import File NOT Found. Click Browse button to select the file you want to import"));
        return;
    }
    ImportRequest request;
    request.kind = m_kind;
    request.format = m_format;
    request.file = QFileInfo(file).absoluteFilePath();

    if (m_kind == ImportKind::Customers) {
        const OpenResult groups = openGroups(m_engine);
        if (!groups) {
            Prompt::info(this, QStringLiteral("Unable to open Customer Groups file"));
            return;
        }
        const PickStepResult step = pickStep(*groups.table, RecordKind::Group, 0, true, this);
        GroupRecord group;
        const bool picked = step.picked() && groups.table->go(quint32(step.selection)) &&
                            loadGroup(*groups.table, group).isOk();
        m_engine.close(QStringLiteral("GROUPS"));
        if (!picked)
            return;
        request.group = group.nGroup;
    }

    setBusy(true);
    m_sinceRepaint.start();
    m_result = runImport(m_engine, request,
                         [this](int percent, const QString &status) { return progress(percent, status); });
    setBusy(false);

    QString message = m_result.counts(m_kind);
    if (m_result.cancelled)
        message =
            QStringLiteral("The import was cancelled after line %1.\n").arg(m_result.lastLine) + message;
    if (m_result.skippedCount > 0)
        message += m_result.skippedCount == 1
                       ? QStringLiteral("\n1 line was skipped; it is listed in the window.")
                       : QStringLiteral("\n%1 lines were skipped; they are listed in the window.")
                             .arg(m_result.skippedCount);
    if (!m_result.ok) {
        message = m_result.message;
        if (m_result.added + m_result.updated > 0)
            message += QStringLiteral("\n\nImported before that: ") + m_result.counts(m_kind);
    }
    if (m_result.skippedCount > 0) {
        QStringList lines;
        for (const SkippedLine &s : std::as_const(m_result.skipped))
            lines << QStringLiteral("Line %1 skipped: %2").arg(s.line).arg(s.reason);
        if (m_result.skippedCount > m_result.skipped.size())
            lines << QStringLiteral("... and %1 more").arg(m_result.skippedCount - m_result.skipped.size());
        m_skipped->setPlainText(lines.join(QLatin1Char('\n')));
        m_skipped->show();
    } else {
        m_skipped->clear();
        m_skipped->hide();
    }
    if (!m_result.backupDir.isEmpty())
        message += QStringLiteral("\n%1 as it was before the import is kept in %2.")
                       .arg(tableDef(importTable(m_kind)).fileName,
                            QDir(m_engine.directory()).relativeFilePath(m_result.backupDir));
    Prompt::info(this, message);
    refreshUndo();
    refreshPreview();
}

bool TImport::progress(int percent, const QString &status)
{
    // Repainted and the Cancel button served a few times a second, not on every report.
    if (m_sinceRepaint.elapsed() < 80 && percent < 100)
        return !m_cancelRequested;
    m_sinceRepaint.restart();
    m_progress->setValue(percent);
    m_status->setText(status);
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    return !m_cancelRequested;
}

void TImport::setBusy(bool busy)
{
    m_running = busy;
    m_cancelRequested = false;
    for (QWidget *w : std::initializer_list<QWidget *>{m_formatCombo, m_add, m_edit, m_file, m_browse,
                                                       m_import, m_undo, m_exit, m_help})
        w->setEnabled(!busy);
    if (!busy)
        m_edit->setEnabled(m_selection != 0);
    m_progress->setValue(0);
    m_progress->setVisible(busy);
    m_cancelImport->setVisible(busy);
    m_status->clear();
    if (busy)
        m_cancelImport->setFocus();
}

void TImport::BtnCancelImportClick()
{
    m_cancelRequested = true;
}

void TImport::BtnUndoClick()
{
    const QString folder = undoableImport(m_engine.directory(), m_kind);
    if (folder.isEmpty()) {
        refreshUndo();
        return;
    }
    const QString table = tableDef(importTable(m_kind)).fileName;
    if (!Prompt::warningOkCancel(this, QStringLiteral("Put %1 back as it was before the last import?\n"
                                                      "Every record that import added or changed is undone.")
                                           .arg(table)))
        return;
    QString used;
    const db::Status s = undoLastImport(m_engine, m_kind, &used);
    if (!s) {
        Prompt::info(this, QStringLiteral("The import could not be undone:\n") + s.toString());
    } else {
        Prompt::info(this,
                     QStringLiteral("%1 is back as it was before the last import.\nThe copy it came from is "
                                    "kept in %2.")
                         .arg(table, QDir(m_engine.directory()).relativeFilePath(used)));
    }
    formats(); // undoing closed every table
    refreshUndo();
    refreshPreview();
}

void TImport::reject()
{
    if (m_running) {
        // Escape during an import is "Cancel".
        m_cancelRequested = true;
        return;
    }
    QDialog::reject();
}

void TImport::done(int result)
{
    if (m_running)
        return;
    QDialog::done(result);
    m_engine.closeAll();
}

} // namespace tallyra
