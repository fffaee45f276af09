#include "DriveDirU.h"

#include "BackupFiles.h"
#include "Prompt.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <QTimer>
#include <algorithm>

namespace tallyra {

namespace {

bool systemMount(const QString &root)
{
    static const QStringList hidden = {QStringLiteral("/proc"), QStringLiteral("/sys"),
                                       QStringLiteral("/dev"),  QStringLiteral("/run"),
                                       QStringLiteral("/boot"), QStringLiteral("/snap")};
    if (root.startsWith(QLatin1String("/run/media/")))
        return false;
    for (const QString &h : hidden) {
        if (root == h || root.startsWith(h + QLatin1Char('/')))
            return true;
    }
    return false;
}

} // namespace

QString Drive::text() const
{
    return label.isEmpty() ? root : QStringLiteral("%1 (%2)").arg(label, root);
}

QList<Drive> mountedDrives()
{
    QList<Drive> drives;
    const QString home = QStorageInfo(QDir::homePath()).rootPath();
    const auto volumes = QStorageInfo::mountedVolumes();
    for (const QStorageInfo &v : volumes) {
        if (!v.isValid() || !v.isReady() || systemMount(v.rootPath()))
            continue;
        if (std::any_of(drives.begin(), drives.end(), [&](const Drive &d) { return d.root == v.rootPath(); }))
            continue;
        Drive d;
        d.root = v.rootPath();
        d.label = v.name();
        d.removable = isRemovableMedia(d.root);
        drives << d;
    }
    std::stable_sort(drives.begin(), drives.end(), [&](const Drive &a, const Drive &b) {
        if (a.removable != b.removable)
            return a.removable;
        if ((a.root == home) != (b.root == home))
            return a.root == home;
        return a.root < b.root;
    });
    return drives;
}

TDriveDir::TDriveDir(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("driveDirDialog"));
    setWindowTitle(QStringLiteral("DriveDir"));

    m_drives = new QComboBox(this);
    m_drives->setObjectName(QStringLiteral("driveCombo"));
    auto *driveLabel = new QLabel(QStringLiteral("&Drive:"), this);
    driveLabel->setBuddy(m_drives);
    m_path = new QLabel(this);
    m_path->setObjectName(QStringLiteral("pathLabel"));
    m_path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_path->setWordWrap(true);
    m_dirs = new QListWidget(this);
    m_dirs->setObjectName(QStringLiteral("dirList"));
    m_files = new QListWidget(this);
    m_files->setObjectName(QStringLiteral("fileList"));
    m_files->setEnabled(false);
    m_files->setFocusPolicy(Qt::NoFocus);
    m_option = new QCheckBox(this);
    m_option->setObjectName(QStringLiteral("optionCheck"));
    m_option->hide();
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    // Enter in the folder list opens the folder; only a focused button takes Enter.
    m_ok->setAutoDefault(true);
    m_cancel->setAutoDefault(true);

    // 427 by 212 pixels for an 8-pixel average letter: scaled by the font in use, and at least
    // wide enough for a long path.
    const int letter = std::max(fontMetrics().averageCharWidth(), 5);
    auto *grid = new QGridLayout(this);
    // The folder on a line of its own across the window, so a long path shows whole.
    grid->addWidget(m_path, 0, 0, 1, 3);
    grid->addWidget(driveLabel, 1, 0);
    grid->addWidget(m_drives, 1, 1);
    grid->addWidget(m_dirs, 2, 0, 1, 2);
    grid->addWidget(m_files, 1, 2, 2, 1);
    grid->addWidget(m_option, 3, 0, 1, 3);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    grid->addLayout(buttons, 4, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(2, 1);
    m_dirs->setMinimumWidth(28 * letter);
    m_files->setMinimumWidth(24 * letter);
    resize(std::max(427 * letter / 6, 60 * letter),
           std::max(212 * letter / 6 + 6 * fontMetrics().height(), 320));

    setTabOrder(m_drives, m_dirs);
    setTabOrder(m_dirs, m_option);
    setTabOrder(m_option, m_ok);
    setTabOrder(m_ok, m_cancel);

    connect(m_drives, &QComboBox::activated, this, &TDriveDir::DriveComboChange);
    connect(m_dirs, &QListWidget::itemActivated, this, &TDriveDir::DirListActivated);
    m_dirs->installEventFilter(this);
    connect(m_ok, &QPushButton::clicked, this, &TDriveDir::BtnOkClick);
    connect(m_cancel, &QPushButton::clicked, this, &TDriveDir::BtnCancelClick);
    setDrives(mountedDrives());
}

void TDriveDir::setDrives(const QList<Drive> &drives)
{
    m_driveList = drives;
    const QSignalBlocker block(m_drives);
    m_drives->clear();
    for (const Drive &d : drives)
        m_drives->addItem(d.text() + (d.removable ? QStringLiteral("  [removable]") : QString()), d.root);
}

void TDriveDir::prepare(const QString &caption, const QString &okText)
{
    setWindowTitle(caption);
    m_ok->setText(okText);
    m_option->hide();
    m_option->setChecked(false);
    m_start.clear();
}

void TDriveDir::setOption(const QString &text, bool checked)
{
    m_option->setText(text);
    m_option->setChecked(checked);
    m_option->setVisible(!text.isEmpty());
}

bool TDriveDir::optionChecked() const
{
    return !m_option->isHidden() && m_option->isChecked();
}

void TDriveDir::setStartDirectory(const QString &dir)
{
    m_start = dir;
}

QString TDriveDir::pick()
{
    m_result.clear();
    exec();
    return m_result;
}

int TDriveDir::driveIndexFor(const QString &dir) const
{
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < m_driveList.size(); ++i) {
        const QString &root = m_driveList[i].root;
        const bool inside =
            dir == root || dir.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
        if (inside && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    return best;
}

void TDriveDir::selectDrive(int index)
{
    const QSignalBlocker block(m_drives);
    m_drives->setCurrentIndex(index);
}

bool TDriveDir::showDirectory(const QString &dir)
{
    const QDir d(dir);
    const QFileInfo info(dir);
    if (!info.isDir() || !info.isReadable() || !info.isExecutable())
        return false;
    m_dir = QDir::cleanPath(d.absolutePath());
    m_path->setText(m_dir);
    m_dirs->clear();
    if (!d.isRoot())
        m_dirs->addItem(QStringLiteral(".."));
    const QStringList folders = d.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    m_dirs->addItems(folders);
    if (m_dirs->count() > 0)
        m_dirs->setCurrentRow(0);
    m_files->clear();
    m_files->addItems(d.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase));
    const int drive = driveIndexFor(m_dir);
    if (drive >= 0)
        selectDrive(drive);
    return true;
}

void TDriveDir::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    const QString start = m_start.isEmpty() ? QDir::currentPath() : m_start;
    if (!showDirectory(start))
        showDirectory(QDir::currentPath());
    m_activeDrive = m_drives->currentIndex();
    m_dirs->setFocus();
}

void TDriveDir::DriveComboChange(int index)
{
    if (index < 0 || index >= m_driveList.size())
        return;
    const Drive &drive = m_driveList[index];
    if (showDirectory(drive.root)) {
        m_activeDrive = index;
        return;
    }
    Prompt::info(this, QStringLiteral("Unable to read from drive ") + drive.text());
    // Back to the drive shown before, its folders read again.
    if (m_activeDrive >= 0 && m_activeDrive < m_driveList.size()) {
        selectDrive(m_activeDrive);
        if (driveIndexFor(m_dir) != m_activeDrive)
            showDirectory(m_driveList[m_activeDrive].root);
        else
            showDirectory(m_dir);
    }
}

void TDriveDir::DirListActivated(QListWidgetItem *item)
{
    if (!item)
        return;
    // Queued: the list is refilled, which must not happen inside its own key or mouse handler.
    const QString target = QDir::cleanPath(QDir(m_dir).filePath(item->text()));
    const bool up = item->text() == QLatin1String("..");
    const QString came = QDir(m_dir).dirName();
    QTimer::singleShot(0, this, [this, target, up, came] { openFolder(target, up ? came : QString()); });
}

void TDriveDir::openFolder(const QString &target, const QString &select)
{
    if (QDir::cleanPath(m_dir) == target)
        return;
    if (!showDirectory(target)) {
        Prompt::info(this, QStringLiteral("Unable to read ") + target);
        return;
    }
    // Going up keeps the folder we came from selected, so Enter takes us back.
    if (!select.isEmpty()) {
        const auto found = m_dirs->findItems(select, Qt::MatchExactly);
        if (!found.isEmpty())
            m_dirs->setCurrentItem(found.first());
    }
}

bool TDriveDir::eventFilter(QObject *watched, QEvent *event)
{
    // Enter in the folder list opens the folder and goes no further (never to a default button).
    if (watched == m_dirs && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            DirListActivated(m_dirs->currentItem());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TDriveDir::BtnOkClick()
{
    m_result = m_dir;
    accept();
}

void TDriveDir::BtnCancelClick()
{
    reject();
}

void TDriveDir::reject()
{
    m_result.clear();
    QDialog::reject();
}

} // namespace tallyra
