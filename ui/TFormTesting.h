#pragma once
// A test window with a panel to host a view and a status bar. Its layout is part of the game;
// the game never opens it.

#include <QWidget>

#include <memory>

namespace Ui {
class TFormTesting;
}

class TFormTesting : public QWidget
{
    Q_OBJECT

public:
    explicit TFormTesting(QWidget* pParent = nullptr);
    ~TFormTesting() override;

private:
    void FormCreate();

    std::unique_ptr<Ui::TFormTesting> m_pUi;
};

// Stays empty: nothing makes the window.
extern TFormTesting* FormTesting;
