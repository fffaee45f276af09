#pragma once

// The drive and directory picker of backup, restore, the data upgrade and the import
// directories: a box of the mounted drives (removable media first, with their labels), the
// folders of the chosen directory, and its files (shown, not usable).

#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace tallyra {

// One entry of the drive box.
struct Drive
{
    QString root;  // mount point: "/", "/media/anna/STICK"
    QString label; // volume label, may be empty
    bool removable = false;
    QString text() const; // "STICK (/media/anna/STICK)", "/home"
};

// The mounted file systems a user keeps files on (no /proc, /sys, /dev, /run except /run/media),
// removable media first, then the home folder's drive and the others by mount point.
QList<Drive> mountedDrives();

// "DriveDir": the caller sets the caption and the "OK" button's text before each use. The
// result is the folder the directory list shows, or empty when cancelled. The process's
// current directory is never changed.
class TDriveDir : public QDialog
{
    Q_OBJECT

public:
    explicit TDriveDir(QWidget *parent = nullptr);

    // Caption and "OK" text for the next showing; the option box is hidden.
    void prepare(const QString &caption, const QString &okText);
    // A check box under the lists (e.g. "Also restore settings"); shown until the next prepare().
    void setOption(const QString &text, bool checked);
    bool optionChecked() const;
    // The folder the lists show first; the working directory unless set.
    void setStartDirectory(const QString &dir);
    // Shows the window modally; the chosen folder, or empty when cancelled.
    QString pick();

    // The folder the lists show now.
    QString directory() const { return m_dir; }
    // Shows `dir`; false (and the lists unchanged) when it cannot be read.
    bool showDirectory(const QString &dir);
    // The drives the box offers (tests may replace them).
    void setDrives(const QList<Drive> &drives);

    QString result() const { return m_result; }

private Q_SLOTS:
    void DriveComboChange(int index);
    void DirListActivated(QListWidgetItem *item);
    void BtnOkClick();
    void BtnCancelClick();

protected:
    void showEvent(QShowEvent *event) override;
    void reject() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int driveIndexFor(const QString &dir) const;
    // Shows `target`; `select` names the folder to select in it (the one we came up from).
    void openFolder(const QString &target, const QString &select);
    void selectDrive(int index);

    QList<Drive> m_driveList;
    QComboBox *m_drives;
    QLabel *m_path;
    QListWidget *m_dirs;
    QListWidget *m_files;
    QCheckBox *m_option;
    QPushButton *m_ok;
    QPushButton *m_cancel;
    QString m_dir;
    QString m_start;
    QString m_result;
    int m_activeDrive = -1; // the drive shown when the window was last activated
};

} // namespace tallyra
