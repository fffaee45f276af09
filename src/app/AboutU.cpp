#include "AboutU.h"

#include "Startup.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace tallyra {

TAboutForm::TAboutForm(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("aboutForm"));
    setWindowTitle(QStringLiteral("About Tallyra ") + versionText());

    auto *name = new QLabel(QStringLiteral("Tallyra"), this);
    name->setObjectName(QStringLiteral("productLabel"));
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 2.2);
    big.setBold(true);
    name->setFont(big);
    name->setAlignment(Qt::AlignCenter);

    auto *version = new QLabel(QStringLiteral("Version ") + versionText(), this);
    version->setObjectName(QStringLiteral("versionLabel"));
    version->setAlignment(Qt::AlignCenter);

    auto *purpose = new QLabel(QStringLiteral("Invoicing, reports and mailing for the small business"), this);
    purpose->setObjectName(QStringLiteral("purposeLabel"));
    purpose->setAlignment(Qt::AlignCenter);

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(30, 24, 30, 18);
    layout->setSpacing(10);
    layout->addWidget(name);
    layout->addWidget(version);
    layout->addWidget(purpose);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    setMinimumWidth(340);
}

void TAboutForm::showSplash()
{
    m_splash = true;
    m_ok->hide();
    setModal(false);
    // Centred on the screen: the main window it belongs to is not placed yet.
    adjustSize();
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    show();
    raise();
    // Painted now: the start-up work that follows runs before the event loop does.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    repaint();
}

void TAboutForm::closeSplash()
{
    hide();
    m_splash = false;
    m_ok->show();
}

void TAboutForm::showAbout()
{
    m_ok->show();
    exec();
}

} // namespace tallyra
