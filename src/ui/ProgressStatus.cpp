#include "ProgressStatus.h"

#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QTimer>

namespace tallyra {

namespace {

ProgressStatus *g_current = nullptr;

} // namespace

ProgressPanel::ProgressPanel(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("progressPanel"));
    setFixedWidth(kWidth);
    setMinimumHeight(16);
}

QRect ProgressPanel::barArea() const
{
    // Right and bottom edges excluded: x = 5 .. 104, y = 3 .. height - 2.
    return QRect(QPoint(kLeft, kTop), QPoint(kLeft + 100 - 1, height() - 2));
}

void ProgressPanel::setPercent(int percent)
{
    percent = qBound(0, percent, 100);
    if (percent == m_percent)
        return;
    m_percent = percent;
    repaint();
}

void ProgressPanel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QRect area = barArea();
    p.fillRect(area, QColor(0xc0, 0xc0, 0xc0)); // silver
    if (m_percent > 0)
        p.fillRect(QRect(area.left(), area.top(), m_percent, area.height()), QColor(Qt::blue));
}

ProgressStatus::ProgressStatus(QWidget *parent)
    : QStatusBar(parent)
    , m_panel(new ProgressPanel(this))
    , m_text(new QLabel(this))
{
    setObjectName(QStringLiteral("statusBar"));
    setSizeGripEnabled(false);
    m_text->setObjectName(QStringLiteral("statusLabel"));
    addWidget(m_panel);
    addWidget(m_text, 1);
    g_current = this;
}

ProgressStatus::~ProgressStatus()
{
    if (g_current == this)
        g_current = nullptr;
}

void ProgressStatus::start(const QString &message)
{
    m_text->setText(message);
    m_panel->setPercent(0);
    window()->repaint();
}

void ProgressStatus::set(int percent)
{
    m_panel->setPercent(percent);
}

void ProgressStatus::end()
{
    start(QString());
}

void ProgressStatus::say(const QString &message, int milliseconds)
{
    start(message);
    QPointer<QLabel> text(m_text);
    QTimer::singleShot(milliseconds, this, [text, message] {
        if (text && text->text() == message)
            text->clear();
    });
}

QString ProgressStatus::message() const
{
    return m_text->text();
}

int ProgressStatus::percent() const
{
    return m_panel->percent();
}

ProgressStatus *ProgressStatus::current()
{
    return g_current;
}

void progressStart(const QString &message)
{
    if (g_current)
        g_current->start(message);
}

void progressSet(int percent)
{
    if (g_current)
        g_current->set(percent);
}

void progressEnd()
{
    if (g_current)
        g_current->end();
}

} // namespace tallyra
