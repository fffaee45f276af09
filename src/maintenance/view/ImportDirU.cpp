#include "ImportDirU.h"

#include "DriveDirU.h"
#include "EnterMovesFocus.h"
#include "Prompt.h"
#include "Schema.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace tallyra {

TImportdir::TImportdir(TDriveDir *picker, QWidget *parent)
    : QDialog(parent)
    , m_picker(picker)
{
    setObjectName(QStringLiteral("importDirDialog"));
    setWindowTitle(QStringLiteral("Import Directories"));

    auto *infoLabel = new QLabel(QStringLiteral("Directory containing Info Files"), this);
    m_info = new QLineEdit(this);
    m_info->setObjectName(QStringLiteral("infoDirEdit"));
    infoLabel->setBuddy(m_info);
    m_infoBrowse = new QPushButton(QStringLiteral("Browse"), this);
    m_infoBrowse->setObjectName(QStringLiteral("infoBrowseButton"));
    auto *orderLabel = new QLabel(QStringLiteral("Directory containg Order Files"), this);
    m_order = new QLineEdit(this);
    m_order->setObjectName(QStringLiteral("orderDirEdit"));
    orderLabel->setBuddy(m_order);
    m_orderBrowse = new QPushButton(QStringLiteral("Browse"), this);
    m_orderBrowse->setObjectName(QStringLiteral("orderBrowseButton"));
    m_refusal = new QLabel(this);
    m_refusal->setObjectName(QStringLiteral("refusalLabel"));
    m_refusal->setStyleSheet(QStringLiteral("color: #b00000"));
    m_save = new QPushButton(QStringLiteral("Save"), this);
    m_save->setObjectName(QStringLiteral("saveButton"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));

    // A stored path holds 126 characters; a longer one is refused where it is typed.
    for (QLineEdit *edit : {m_info, m_order}) {
        edit->setMaxLength(kPathTextLimit);
        edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * 60);
        connect(edit, &QLineEdit::inputRejected, this, [this] {
            m_refusal->setText(
                QStringLiteral("A directory can have at most %1 characters.").arg(kPathTextLimit));
            QTimer::singleShot(3000, m_refusal, [this] { m_refusal->clear(); });
        });
    }

    auto *grid = new QGridLayout(this);
    grid->addWidget(infoLabel, 0, 0, 1, 2);
    grid->addWidget(m_info, 1, 0);
    grid->addWidget(m_infoBrowse, 1, 1);
    grid->addWidget(orderLabel, 2, 0, 1, 2);
    grid->addWidget(m_order, 3, 0);
    grid->addWidget(m_orderBrowse, 3, 1);
    grid->addWidget(m_refusal, 4, 0, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_save);
    buttons->addWidget(m_cancel);
    grid->addLayout(buttons, 5, 0, 1, 2);
    grid->setColumnStretch(0, 1);

    setTabOrder(m_info, m_infoBrowse);
    setTabOrder(m_infoBrowse, m_order);
    setTabOrder(m_order, m_orderBrowse);
    setTabOrder(m_orderBrowse, m_save);
    setTabOrder(m_save, m_cancel);

    connect(m_infoBrowse, &QPushButton::clicked, this, &TImportdir::BtnInfoBrowseClick);
    connect(m_orderBrowse, &QPushButton::clicked, this, &TImportdir::BtnOrderBrowseClick);
    connect(m_save, &QPushButton::clicked, this, &TImportdir::BtnSaveClick);
    connect(m_cancel, &QPushButton::clicked, this, &TImportdir::BtnCancelClick);
    EnterMovesFocus::install(this);
}

void TImportdir::setValues(const ImportDirsRecord &dirs)
{
    m_loaded = dirs;
    m_info->setText(dirs.InfoDir.trimmed());
    m_order->setText(dirs.OrderDir.trimmed());
}

ImportDirsRecord TImportdir::values() const
{
    return {m_info->text(), m_order->text()};
}

bool TImportdir::changed() const
{
    return m_info->text() != m_loaded.InfoDir.trimmed() || m_order->text() != m_loaded.OrderDir.trimmed();
}

bool TImportdir::run()
{
    m_saved = false;
    m_refusal->clear();
    m_info->setFocus();
    exec();
    return m_saved;
}

void TImportdir::browse(QLineEdit *edit, const QString &caption)
{
    m_picker->prepare(caption, QStringLiteral("OK"));
    m_picker->setStartDirectory(edit->text());
    const QString chosen = m_picker->pick();
    repaint();
    if (chosen.size() > kPathTextLimit) {
        Prompt::info(this, QStringLiteral("%1\nis longer than %2 characters and cannot be stored.")
                               .arg(chosen)
                               .arg(kPathTextLimit));
        return;
    }
    // A cancelled picker empties the box, as it always has.
    edit->setText(chosen);
}

void TImportdir::BtnInfoBrowseClick()
{
    browse(m_info, QStringLiteral("Choose Customer Info Directory"));
}

void TImportdir::BtnOrderBrowseClick()
{
    browse(m_order, QStringLiteral("Choose Order File Directory"));
}

void TImportdir::BtnSaveClick()
{
    QString error;
    if (m_saver && !m_saver(values(), &error)) {
        Prompt::info(this, QStringLiteral("The import directories could not be saved:\n") + error);
        return;
    }
    m_saved = true;
    m_loaded = values();
    accept();
}

void TImportdir::BtnCancelClick()
{
    reject();
}

void TImportdir::reject()
{
    if (!m_saved && changed() && !Prompt::yesNo(this, QStringLiteral("Discard the changes?")))
        return;
    QDialog::reject();
}

} // namespace tallyra
