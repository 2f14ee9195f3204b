#pragma once
// A text console for diagnostics. The application makes it at start-up, hidden, and nothing shows
// it or writes to it.

#include <QWidget>

#include <memory>

namespace Ui {
class TFormDebug;
}

class TFormDebug : public QWidget
{
    Q_OBJECT

public:
    explicit TFormDebug(QWidget* pParent = nullptr);
    ~TFormDebug() override;

private:
    std::unique_ptr<Ui::TFormDebug> m_pUi;
};

// The application's one debug window, once made.
extern TFormDebug* FormDebug;
