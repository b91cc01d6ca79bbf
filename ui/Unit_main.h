#pragma once

#include "practice/drill.h"
#include "practice/frontend.h"

#include <QElapsedTimer>
#include <QHash>
#include <QKeySequence>
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
class BankCare;
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
    // Does what start-up leaves until the window has first been painted (or
    // a handler first runs): the fonts of the hidden pages, and opening the
    // bank beside the program unless the connection was opened otherwise.
    void finishStartUp();
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
    // Makes a new bank from an author's file (one the user picks when empty).
    void importBank(const QString &file = QString());

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
    void paintEvent(QPaintEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void buildLayout();
    void buildKeyboard();
    void nameForScreenReaders();
    void wire(QPushButton *button, void (TForm_main::*handler)());
    // Runs a click handler unless another one is still running or a modal box
    // is open; an error escaping it is shown in the error box and the program
    // goes on. Returns whether the handler ran.
    bool guarded(const std::function<void()> &handler);
    // `keys` press `button` while its page shows; they are named in its tooltip
    // and accessible description.
    void addShortcut(QWidget *scope, QPushButton *button, const QList<QKeySequence> &keys);
    QString keysDescription(const QPushButton *button) const;
    // The widget that shows `page` in the page control.
    QWidget *pageWidget(practice::Page page) const;
    void focusPage(practice::Page page);
    // Tells a screen reader the feedback and, after a right answer, the next question.
    void announceAnswer(QPushButton *sender, bool movedOn);

    void setQuestionText(practice::Page page, const QString &text) override;
    void setProgressText(practice::Page page, const QString &text) override;
    void setFeedbackText(const QString &text) override;
    void showPage(practice::Page page) override;
    void showInfo(const QString &text) override;

    practice::Drill m_drill;
    ui::BankCare *m_bankCare = nullptr;
    QHash<const QPushButton *, QString> m_keyNames;
    bool m_handlerRunning = false;
    bool m_startUpPending = false;
    // When the last new-question practice finished: a second press hard on
    // its heels is a double click, not a request for another set.
    QElapsedTimer m_newPracticeDone;
};
