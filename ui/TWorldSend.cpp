#include "ui/TWorldSend.h"

#include "ui/TWorldTable.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

TWorldSend::TWorldSend(QWidget* pParent, const QUrl& Server, const QByteArray& Replay, const QString& strName)
    : QWidget(pParent), m_pButton(new QPushButton("&Send to the world table", this)), m_pStatus(new QLabel(this)),
      m_pTable(new TWorldTable(Server, this)), m_Replay(Replay), m_strName(strName)
{
    setObjectName("worldSend");
    // The screen keeps the keyboard: a key it does not take ends it, as on any ending screen.
    m_pButton->setFocusPolicy(Qt::NoFocus);
    setStyleSheet("#worldSend { background: rgba(0, 0, 0, 170); }"
                  "QLabel { color: white; font-weight: bold; }"
                  "QPushButton { color: black; background: #ffd24a; border: 0; padding: 4px 10px; font-weight: bold; }");
    setAttribute(Qt::WA_StyledBackground);
    m_pStatus->setText("Alt+S, or Start on a pad");
    auto* pLayout = new QHBoxLayout(this);
    pLayout->setContentsMargins(8, 4, 8, 4);
    pLayout->addWidget(m_pButton);
    pLayout->addWidget(m_pStatus, 1);
    setGeometry(0, pParent->height() - HEIGHT, pParent->width(), HEIGHT);
    connect(m_pButton, &QPushButton::clicked, this, &TWorldSend::Send);
}

bool TWorldSend::TakeKey(const QKeyEvent& Event)
{
    if (m_bSent || !(Event.modifiers() & Qt::AltModifier))
        return false;
    if (Event.key() == Qt::Key_S)
        Send();
    return Event.key() == Qt::Key_S || Event.key() == Qt::Key_Alt;
}

bool TWorldSend::TakePad(TGamepad::TButton nButton)
{
    if (m_bSent || nButton != TGamepad::PAD_START)
        return false;
    Send();
    return true;
}

void TWorldSend::Send()
{
    if (m_bSent)
        return;
    m_bSent = true;
    m_pButton->hide();
    m_pStatus->setText("Sending to " + m_pTable->GetServer().host() + "...");
    m_pTable->Submit(m_Replay, m_strName, [this](const TWorldTable::TSubmitted& Result) {
        const QString strLine = Result.bOk ? QString("World table: rank %1, score %2").arg(Result.nRank).arg(Result.nScore)
                                           : "Not sent: " + Result.strError;
        m_pStatus->setText(strLine);
        m_pStatus->setToolTip(strLine);
        emit Answered(Result.bOk, strLine);
    });
}

QString TWorldSend::GetStatus() const
{
    return m_pStatus->text();
}
