#include "ui/TFormDebug.h"

#include "ui_TFormDebug.h"

TFormDebug* FormDebug = nullptr;

TFormDebug::TFormDebug(QWidget* pParent)
    : QWidget(pParent, Qt::Window | Qt::WindowStaysOnTopHint), m_pUi(std::make_unique<Ui::TFormDebug>())
{
    m_pUi->setupUi(this);
}

TFormDebug::~TFormDebug() = default;
