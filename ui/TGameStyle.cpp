#include "ui/TGameStyle.h"

#include "ui/WindowNames.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QStyle>
#include <QTableView>
#include <QWidget>

const char* const TGameStyle::WARNING_COLOUR = "#ff8060";
const char* const TGameStyle::CAPTURE_COLOUR = "#ffd040";

namespace {
const char STYLE_SHEET[] = R"(
QDialog { background: black; }
#Bevel { border: 1px solid; border-color: #202020 #808080 #808080 #202020; background: transparent; }
QLabel { color: white; background: transparent; font: bold 11px "Verdana"; }
QLabel#LabelTitle { font: bold 15px "Verdana"; }
QLabel#LabelHint, QLabel#LabelHowTo { color: #b0b0b0; font: 11px "Verdana"; }
QPushButton { font: bold 11px "Verdana"; min-height: 21px; padding: 0 10px; }
QCheckBox { color: white; background: transparent; font: bold 11px "Verdana"; spacing: 6px; }
QCheckBox:focus { color: #ffd040; }
QCheckBox::indicator { width: 11px; height: 11px; border: 1px solid #808080; background: black; }
QCheckBox::indicator:checked { background: #8090e0; border: 1px solid #c0c0c0; }
QCheckBox::indicator:focus { border: 1px solid #ffd040; }
QComboBox { color: white; background: black; font: 11px "Verdana"; border: 1px solid #808080; padding-left: 3px; min-height: 19px; }
QComboBox:focus { border: 1px solid #ffd040; }
QComboBox QAbstractItemView { color: white; background: black; selection-background-color: #303a70; }
QSlider::groove:horizontal { height: 4px; background: #404040; border: 1px solid #808080; }
QSlider::sub-page:horizontal { background: #303a70; }
QSlider::handle:horizontal { width: 10px; margin: -6px 0; background: #c0c0c0; border: 1px solid #808080; }
QSlider::handle:horizontal:focus { background: #ffd040; }
QTableWidget { color: white; background: black; alternate-background-color: #0c0c14; gridline-color: #282828;
               border: 1px solid #808080; font: 11px "Verdana"; selection-background-color: #303a70;
               selection-color: white; outline: 0; }
QTableWidget:focus { border: 1px solid #ffd040; }
QTableWidget[waiting="true"] { selection-color: #ffd040; selection-background-color: #403410; }
QTableWidget::item:focus { border: 1px solid #ffd040; }
)";
// A list's headers and its corner take their look from sheets of their own: the window's does not
// reach every state of their sections.
const char HEADER_SHEET[] = R"(
QHeaderView { background: #141414; border: none; }
QHeaderView::section { color: #c0c0c0; background-color: #141414; border: none; border-bottom: 1px solid #404040;
                       font: bold 11px "Verdana"; padding: 2px 4px; }
QHeaderView::section:horizontal { border-bottom: 1px solid #808080; }
)";
const char CORNER_SHEET[] = R"(
QTableCornerButton::section { background: #141414; border: none; border-bottom: 1px solid #808080; }
)";
}  // namespace

void TGameStyle::Apply(QWidget* pWindow, QWidget* pOver, const char* szRole)
{
    pWindow->setWindowTitle(WindowNames::TITLE);
    pWindow->setWindowRole(szRole);
    pWindow->setStyleSheet(STYLE_SHEET);
    for (QHeaderView* pHeader : pWindow->findChildren<QHeaderView*>())
        pHeader->setStyleSheet(HEADER_SHEET);
    for (QTableView* pTable : pWindow->findChildren<QTableView*>())
        for (QAbstractButton* pCorner : pTable->findChildren<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly))
            pCorner->setStyleSheet(CORNER_SHEET);
    pWindow->setFixedSize(pWindow->size());
    // The frame lies under the window's widgets, round its edge.
    if (auto* pBevel = pWindow->findChild<QWidget*>("Bevel")) {
        pBevel->setGeometry(0, 0, pWindow->width(), pWindow->height());
        pBevel->setAttribute(Qt::WA_TransparentForMouseEvents);
        pBevel->lower();
    }
    // Over the window that opened it, or the screen's middle.
    const QRect Over = pOver && pOver->isVisible() ? pOver->frameGeometry() : QGuiApplication::primaryScreen()->geometry();
    pWindow->move(Over.x() + (Over.width() - pWindow->width()) / 2, Over.y() + (Over.height() - pWindow->height()) / 2);
}

void TGameStyle::SetWaiting(QWidget* pList, bool bWaiting)
{
    pList->setProperty("waiting", bWaiting);
    pList->style()->unpolish(pList);
    pList->style()->polish(pList);
    pList->update();
}
