#pragma once

#include "practice/drill.h"
#include "practice/frontend.h"

#include <QWidget>

#include <functional>

class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;

namespace bank {
class Connection;
class Query;
} // namespace bank

namespace ui {
class BannerView;
class LinkLabel;
} // namespace ui

// The program's one window: a top band with the three practice modes and two
// links, and below it the banner, study and test pages, switched only by the
// program.
class TForm_main : public QWidget, private practice::Frontend
{
    Q_OBJECT

public:
    explicit TForm_main(QWidget *parent = nullptr);
    ~TForm_main() override;

    const practice::WorkingSet &workingSet() const { return m_drill.set(); }
    void showtm(int atype);

    void FormCreate();
    void btn1Click();
    void btn2Click();
    void btn3Click();
    void btn4Click();
    void btn5Click();
    void btn6Click();
    void btn7Click();
    void btn8Click();
    void btn9Click();
    void btn10Click(QPushButton *sender);
    void lbl1Click();
    void lbl2Click();

    QFrame *pnl1 = nullptr;
    ui::LinkLabel *lbl1 = nullptr;
    ui::LinkLabel *lbl2 = nullptr;
    QPushButton *btn1 = nullptr;
    QPushButton *btn2 = nullptr;
    QPushButton *btn3 = nullptr;
    QStackedWidget *PageControl1 = nullptr;
    QWidget *ts1 = nullptr;
    ui::BannerView *img1 = nullptr;
    QWidget *ts2 = nullptr;
    QPlainTextEdit *mmo1 = nullptr;
    QLabel *lbl3 = nullptr;
    QPushButton *btn4 = nullptr;
    QPushButton *btn5 = nullptr;
    QPushButton *btn6 = nullptr;
    QWidget *ts3 = nullptr;
    QLabel *lbl4 = nullptr;
    QLabel *lbl5 = nullptr;
    QPushButton *btn7 = nullptr;
    QPushButton *btn8 = nullptr;
    QPlainTextEdit *mmo2 = nullptr;
    QPushButton *btn9 = nullptr;
    QPushButton *btn10 = nullptr;
    QPushButton *btn11 = nullptr;
    QPushButton *btn12 = nullptr;
    QPushButton *btn13 = nullptr;
    bank::Connection *ADOConnection1 = nullptr;
    bank::Query *ADOQuery1 = nullptr;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildLayout();
    void wire(QPushButton *button, void (TForm_main::*handler)());
    // Runs a click handler; an error escaping it is shown in the error box and
    // the program goes on.
    void guarded(const std::function<void()> &handler);

    void setQuestionText(practice::Page page, const QString &text) override;
    void appendStudyLine(const QString &line) override;
    void setProgressText(practice::Page page, const QString &text) override;
    void setFeedbackText(const QString &text) override;
    void showPage(practice::Page page) override;
    void showInfo(const QString &text) override;

    practice::Drill m_drill;
};
