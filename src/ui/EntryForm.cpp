#include "EntryForm.h"

#include "EnterMovesFocus.h"
#include "FormRules.h"
#include "Prompt.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace tallyra {

QPushButton *addRowButton(QWidget *window, QBoxLayout *row, const QString &caption, const char *objectName)
{
    auto *button = new QPushButton(caption, window);
    button->setObjectName(QLatin1String(objectName));
    button->setAutoDefault(false);
    row->addWidget(button);
    return button;
}

TEntryForm::TEntryForm(const char *objectName, const QString &title, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QLatin1String(objectName));
    setWindowTitle(title);
    setModal(true);
}

void TEntryForm::finishForm(QLayout *body, Buttons buttons)
{
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    m_save = addRowButton(this, row, QStringLiteral("Save"), "saveButton");
    connect(m_save, &QPushButton::clicked, this, &TEntryForm::BtnSaveClick);
    if (buttons == Buttons::SaveDeleteCancel) {
        m_delete = addRowButton(this, row, QStringLiteral("Delete"), "deleteButton");
        connect(m_delete, &QPushButton::clicked, this, &TEntryForm::BtnDeleteClick);
    }
    m_cancel = addRowButton(this, row, QStringLiteral("Cancel"), "cancelButton");
    connect(m_cancel, &QPushButton::clicked, this, &TEntryForm::BtnCancelClick);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(body);
    layout->addLayout(row);
    EnterMovesFocus::install(this);
}

void TEntryForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // The boxes as the caller filled them (shown before this window) are what changes count from.
    if (!event->spontaneous()) {
        DiscardGuard::of(this)->snapshot();
        m_guarded = true;
    }
}

bool TEntryForm::hasUnsavedChanges()
{
    return m_guarded && DiscardGuard::of(this)->changed();
}

void TEntryForm::reject()
{
    if (hasUnsavedChanges() && !Prompt::yesNo(this, DiscardGuard::question()))
        return;
    QDialog::reject();
}

} // namespace tallyra
