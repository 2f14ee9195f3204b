#include "ui/TFormTesting.h"

#include "ui_TFormTesting.h"

TFormTesting* FormTesting = nullptr;

TFormTesting::TFormTesting(QWidget* pParent)
    : QWidget(pParent, Qt::Window), m_pUi(std::make_unique<Ui::TFormTesting>())
{
    m_pUi->setupUi(this);
    FormCreate();
}

TFormTesting::~TFormTesting() = default;

void TFormTesting::FormCreate()
{
    m_pUi->StatusBar1->showMessage(windowTitle().trimmed());
}
