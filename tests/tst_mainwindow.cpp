#include "practice/random.h"
#include "skin/jyskin.h"
#include "tests/support/bankfixture.h"
#include "tests/support/modalwatcher.h"
#include "ui/Unit_main.h"
#include "ui/bannerview.h"
#include "ui/chinesesupport.h"
#include "ui/linklabel.h"
#include "ui/links.h"
#include "ui/messageboxes.h"

#include "bank/connection.h"
#include "bank/query.h"
#include "bank/store.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QStackedWidget>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

using testsupport::ModalWatcher;

// Receives the addresses the window hands to the desktop.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls.append(url); }
};

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void window_isTheDesignedSizeAndCaption();
    void controls_matchTheLayout_data();
    void controls_matchTheLayout();
    void controls_followTheTabOrder();
    void fonts_drawInAChineseSongFace();
    void links_lookLikeLinks();
    void startup_showsTheBannerWithoutAnyMessage();
    void banner_isDecodedAndStretchedToThePage();
    void resize_movesOnlyTheBandAndThePages();
    void links_handTheirAddressesToTheDesktop();
    void links_failQuietlyWithoutAHandler();
    void handlerErrors_showTheDefaultErrorBoxAndGoOn();
    void skin_changesLookOnly();
    void keys_pressTheirButtons_data();
    void keys_pressTheirButtons();
    void keys_areNeverHeldBackByAnInputMethod();
    void focus_landsWhereTheNextKeyIsUseful_data();
    void focus_landsWhereTheNextKeyIsUseful();
    void screenReaders_getANameForEveryControl_data();
    void screenReaders_getANameForEveryControl();
    void links_openByKeyAndByTheirAccessibleAction_data();
    void links_openByKeyAndByTheirAccessibleAction();
    void screenReaders_hearTheFeedbackAndTheNextQuestion();
    void openNotice_letsNoHandlerRun_data();
    void openNotice_letsNoHandlerRun();
    void newPractice_ignoresASecondPressWithinTheDoubleClickInterval();
    void buttons_reachThePractice_data();
    void buttons_reachThePractice();
    void notice_closesWithEscapeAndEnter_data();
    void notice_closesWithEscapeAndEnter();
    void longQuestion_showsOnBothPages_data();
    void longQuestion_showsOnBothPages();

private:
    void openBank(int count);
    void clickAll(const QStringList &names);
    QPushButton *button(const QString &name) const
    {
        return m_window->findChild<QPushButton *>(name);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_bank;
    std::unique_ptr<TForm_main> m_window;
    std::unique_ptr<ModalWatcher> m_watcher;
};

// Every accessibility event, with the text its object had when it was sent.
void TestMainWindow::initTestCase()
{
    ui::installChineseSupport(*qApp);
}

void TestMainWindow::init()
{
    testsupport::clearExecutableFolder();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_bank = m_dir->filePath("kxst.db");
    m_watcher = std::make_unique<ModalWatcher>();
    m_window = std::make_unique<TForm_main>();
    m_window->show();
    QApplication::setActiveWindow(m_window.get());
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    // Start-up has tried the bank beside the executable (there is none) before a test opens its
    // own.
    m_window->finishStartUp();
}

void TestMainWindow::cleanup()
{
    m_window.reset();
    m_watcher.reset();
    m_dir.reset();
}

void TestMainWindow::openBank(int count)
{
    testsupport::makeBank(m_bank, count);
    QVERIFY(ConnectAccessDb(*m_window->ADOConnection1, m_bank, bank::kBankPassword));
    QVERIFY(OpenTable(*m_window->ADOQuery1, bank::kQuestionTable));
}

void TestMainWindow::clickAll(const QStringList &names)
{
    for (const QString &name : names) {
        QVERIFY2(button(name) && button(name)->isVisible(), qPrintable(name));
        QTest::mouseClick(button(name), Qt::LeftButton);
    }
}

void TestMainWindow::window_isTheDesignedSizeAndCaption()
{
    QCOMPARE(m_window->objectName(), QStringLiteral("Form_main"));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Kelvaro"));
    QCOMPARE(m_window->size(), QSize(772, 442));
    QCOMPARE(m_window->font().family(), QStringLiteral("宋体"));
    QCOMPARE(m_window->font().pixelSize(), 16);
    QCOMPARE(m_window->ADOConnection1->objectName(), QStringLiteral("ADOConnection1"));
    QCOMPARE(m_window->ADOQuery1->objectName(), QStringLiteral("ADOQuery1"));
    QCOMPARE(m_window->ADOQuery1->connection(), m_window->ADOConnection1);
}

void TestMainWindow::controls_matchTheLayout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("geometry"); // an empty size: the width follows the text
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("pixelSize");
    QTest::addColumn<bool>("bold");

    const QString site = "下载最新软件(官网" + ui::kMakerHost + ")";
    QTest::newRow("pnl1") << "pnl1"
                          << "Form_main" << QRect(0, 0, 772, 65) << "" << 16 << false;
    QTest::newRow("lbl1") << "lbl1"
                          << "pnl1" << QRect(464, 9, 256, 16) << site << 16 << false;
    QTest::newRow("lbl2") << "lbl2"
                          << "pnl1" << QRect(520, 42, 160, 16) << "为作者提供最新的题库" << 16
                          << false;
    QTest::newRow("btn1") << "btn1"
                          << "pnl1" << QRect(16, 9, 121, 49) << "新题练习" << 16 << false;
    QTest::newRow("btn2") << "btn2"
                          << "pnl1" << QRect(160, 9, 121, 49) << "旧题复习" << 16 << false;
    QTest::newRow("btn3") << "btn3"
                          << "pnl1" << QRect(312, 9, 121, 49) << "随机练习" << 16 << false;
    QTest::newRow("PageControl1") << "PageControl1"
                                  << "Form_main" << QRect(0, 65, 772, 377) << "" << 16 << false;
    QTest::newRow("mmo1") << "mmo1"
                          << "ts2" << QRect(12, 3, 729, 257) << "" << 24 << true;
    QTest::newRow("lbl3") << "lbl3"
                          << "ts2" << QRect(48, 304, 0, 0) << "" << 16 << false;
    QTest::newRow("btn4") << "btn4"
                          << "ts2" << QRect(176, 288, 129, 49) << "上一题" << 16 << false;
    QTest::newRow("btn5") << "btn5"
                          << "ts2" << QRect(392, 288, 129, 49) << "下一题" << 16 << false;
    QTest::newRow("btn6") << "btn6"
                          << "ts2" << QRect(600, 288, 129, 49) << "开始测试" << 16 << false;
    QTest::newRow("lbl4") << "lbl4"
                          << "ts3" << QRect(599, 296, 0, 0) << "请选择" << 48 << true;
    QTest::newRow("lbl5") << "lbl5"
                          << "ts3" << QRect(40, 280, 0, 0) << "" << 16 << false;
    QTest::newRow("btn7") << "btn7"
                          << "ts3" << QRect(432, 315, 129, 49) << "下一题" << 16 << false;
    QTest::newRow("btn8") << "btn8"
                          << "ts3" << QRect(216, 315, 129, 49) << "上一题" << 16 << false;
    QTest::newRow("mmo2") << "mmo2"
                          << "ts3" << QRect(12, 3, 729, 257) << "" << 24 << true;
    QTest::newRow("btn9") << "btn9"
                          << "ts3" << QRect(12, 315, 129, 49) << "再复习下" << 16 << false;
    QTest::newRow("btn10") << "btn10"
                           << "ts3" << QRect(232, 266, 57, 41) << "A" << 16 << false;
    QTest::newRow("btn11") << "btn11"
                           << "ts3" << QRect(320, 266, 57, 41) << "B" << 16 << false;
    QTest::newRow("btn12") << "btn12"
                           << "ts3" << QRect(408, 266, 57, 41) << "C" << 16 << false;
    QTest::newRow("btn13") << "btn13"
                           << "ts3" << QRect(488, 266, 57, 41) << "D" << 16 << false;
}

void TestMainWindow::controls_matchTheLayout()
{
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(int, pixelSize);
    QFETCH(bool, bold);

    auto *widget = m_window->findChild<QWidget *>(name);
    QVERIFY2(widget, qPrintable(name));
    QCOMPARE(widget->parentWidget()->objectName(), parent);
    if (geometry.size().isEmpty()) {
        QCOMPARE(widget->pos(), geometry.topLeft());
        // The width follows the text.
        QCOMPARE(widget->width(), widget->sizeHint().width());
    } else {
        QCOMPARE(widget->geometry(), geometry);
    }
    if (auto *button = qobject_cast<QPushButton *>(widget))
        QCOMPARE(button->text(), text);
    else if (auto *label = qobject_cast<QLabel *>(widget))
        QCOMPARE(label->text(), text);
    else if (auto *memo = qobject_cast<QPlainTextEdit *>(widget))
        QCOMPARE(memo->toPlainText(), text);
    QCOMPARE(widget->font().family(), QStringLiteral("宋体"));
    QCOMPARE(widget->font().pixelSize(), pixelSize);
    QCOMPARE(widget->font().bold(), bold);

    if (auto *memo = qobject_cast<QPlainTextEdit *>(widget)) {
        QVERIFY(memo->isReadOnly());
        QCOMPARE(memo->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        QCOMPARE(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    }
}

void TestMainWindow::controls_followTheTabOrder()
{
    const QStringList expected = {"btn1", "btn2",  "btn3",  "lbl1",  "lbl2", "mmo1",
                                  "btn4", "btn5",  "btn6",  "btn7",  "btn8", "mmo2",
                                  "btn9", "btn10", "btn11", "btn12", "btn13"};
    QStringList chain;
    QWidget *widget = m_window->btn1;
    do {
        if ((widget->focusPolicy() & Qt::TabFocus) && expected.contains(widget->objectName()))
            chain.append(widget->objectName());
        widget = widget->nextInFocusChain();
    } while (widget != m_window->btn1);
    QCOMPARE(chain, expected);

    // Only the buttons of the page on show take part; the pages keep their own order.
    m_window->btn1->setFocus();
    QTRY_VERIFY(m_window->btn1->hasFocus());
    QTest::keyClick(m_window.get(), Qt::Key_Tab);
    QVERIFY(m_window->btn2->hasFocus());
}

void TestMainWindow::fonts_drawInAChineseSongFace()
{
    const QFontInfo info(m_window->btn1->font());
    if (!QFontDatabase::families().contains(QStringLiteral("Noto Serif CJK SC")))
        QSKIP("fonts-noto-cjk is not installed");
    QCOMPARE(info.family(), QStringLiteral("Noto Serif CJK SC"));
    QFont bold = m_window->mmo1->font();
    QCOMPARE(QFontInfo(bold).family(), QStringLiteral("Noto Serif CJK SC"));
    QVERIFY(QFontMetrics(bold).inFont(QChar(0x9898))); // 题
}

void TestMainWindow::links_lookLikeLinks()
{
    for (ui::LinkLabel *label : {m_window->lbl1, m_window->lbl2}) {
        QVERIFY(label->font().underline());
        QCOMPARE(label->cursor().shape(), Qt::PointingHandCursor);
    }
    QCOMPARE(m_window->lbl1->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QCOMPARE(m_window->lbl2->palette().color(QPalette::WindowText), QColor(128, 0, 0));

    // The underline is drawn inside the label's 16 pixels.
    const QImage shot = m_window->lbl1->grab().toImage();
    bool blueOnLastRows = false;
    for (int y = shot.height() - 3; y < shot.height(); ++y)
        for (int x = 0; x < 40; ++x)
            blueOnLastRows |=
                shot.pixelColor(x, y).blue() > 200 && shot.pixelColor(x, y).red() < 80;
    QVERIFY(blueOnLastRows);
}

void TestMainWindow::startup_showsTheBannerWithoutAnyMessage()
{
    QCOMPARE(m_window->PageControl1->currentIndex(), 0);
    QVERIFY(m_window->img1->isVisible());
    QVERIFY(m_window->pnl1->isVisible());
    // The bank is opened once the window has been painted; none lies beside the tests.
    QTRY_VERIFY(m_window->ADOConnection1->failureReason().contains("找不到题库文件"));
    QVERIFY(!m_window->ADOQuery1->isActive());
    QTest::qWait(50);
    QCOMPARE(m_watcher->take().size(), 0);
    QCOMPARE(m_window->workingSet().tmcount, 0);
}

void TestMainWindow::banner_isDecodedAndStretchedToThePage()
{
    const QImage banner = m_window->img1->image();
    QCOMPARE(banner.size(), QSize(535, 300));
    QCOMPARE(m_window->img1->geometry(), m_window->ts1->rect());
    // The picture is stretched over the whole page, corners included.
    const QImage shot = m_window->img1->grab().toImage();
    const QColor corner = shot.pixelColor(shot.width() - 1, shot.height() - 1);
    QVERIFY(corner.blue() > corner.red());
}

void TestMainWindow::resize_movesOnlyTheBandAndThePages()
{
    m_window->resize(1000, 600);
    QTRY_COMPARE(m_window->pnl1->geometry(), QRect(0, 0, 1000, 65));
    QCOMPARE(m_window->PageControl1->geometry(), QRect(0, 65, 1000, 535));
    QCOMPARE(m_window->img1->size(), m_window->ts1->size());
    QCOMPARE(m_window->ts1->size(), QSize(1000, 535));
    QCOMPARE(m_window->btn1->geometry(), QRect(16, 9, 121, 49));
    QCOMPARE(m_window->mmo1->geometry(), QRect(12, 3, 729, 257));
    QCOMPARE(m_window->btn13->geometry(), QRect(488, 266, 57, 41));
}

void TestMainWindow::links_handTheirAddressesToTheDesktop()
{
#ifdef Q_OS_WIN
    QSKIP("Windows hands addresses to the shell itself, past Qt's URL handlers; "
          "tst_startup runs a program through it");
#endif
    // A file named like the maker's address in the working folder is never opened.
    const QString workingFolder = QDir::currentPath();
    const auto restore = qScopeGuard([&] { QDir::setCurrent(workingFolder); });
    QVERIFY(QDir::setCurrent(m_dir->path()));
    QFile decoy(ui::kMakerHost);
    QVERIFY(decoy.open(QIODevice::WriteOnly));
    decoy.close();

    UrlRecorder recorder;
    for (const char *scheme : {"http", "https", "file"})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &recorder, "open");
    QTest::mouseClick(m_window->lbl1, Qt::LeftButton);
    QTest::mouseClick(m_window->lbl2, Qt::LeftButton);
    QVERIFY(ShellOpen(ui::kMakerHost, QString(), ui::SW_SHOWNORMAL));
    for (const char *scheme : {"http", "https", "file"})
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));

    QCOMPARE(recorder.urls.size(), 3);
    QCOMPARE(recorder.urls.at(2), QUrl("https://" + ui::kMakerHost));
    QCOMPARE(recorder.urls.at(0), QUrl("https://" + ui::kMakerHost));
    const QUrl contact = recorder.urls.at(1);
    QCOMPARE(contact.host(), ui::kContactHost);
    QCOMPARE(contact.path(), QStringLiteral("/msgrd"));
    QCOMPARE(contact.query(),
             QStringLiteral("v=3&uin=%1&site=qq&menu=yes").arg(ui::kContactAccount));
    QCOMPARE(m_watcher->take().size(), 0);
}

void TestMainWindow::links_failQuietlyWithoutAHandler()
{
#ifdef Q_OS_WIN
    QSKIP("Windows hands addresses to the shell itself, past Qt's URL handlers; "
          "tst_startup runs a program through it");
#endif
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "/nonexistent");
    QVERIFY(!ShellOpen(ui::contactAddress(), QString(), ui::SW_SHOWNORMAL));
    QTest::mouseClick(m_window->lbl1, Qt::LeftButton);
    qputenv("PATH", path);
    QTest::qWait(50);
    QCOMPARE(m_watcher->take().size(), 0);
    QCOMPARE(m_window->PageControl1->currentIndex(), 0);

    QVERIFY(!ShellOpen(QString(), QString(), ui::SW_SHOWNORMAL));
    // A relative file address would depend on the working folder.
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
    QVERIFY(!ShellOpen(QStringLiteral("file:docs/a.txt"), QString(), ui::SW_SHOWNORMAL));
    QVERIFY(ShellOpen(QStringLiteral("file:///tmp/a.txt"), QString(), ui::SW_SHOWNORMAL));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QCOMPARE(recorder.urls, QList<QUrl>{QUrl("file:///tmp/a.txt")});
}

void TestMainWindow::handlerErrors_showTheDefaultErrorBoxAndGoOn()
{
    QTest::mouseClick(m_window->btn1, Qt::LeftButton);
    const auto boxes = m_watcher->take();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.at(0).caption, QStringLiteral("tst_mainwindow"));
    QCOMPARE(boxes.at(0).icon, QMessageBox::Critical);
    QCOMPARE(boxes.at(0).buttonCount, 1);
    QVERIFY2(boxes.at(0).text.startsWith(QStringLiteral("题库没有打开：找不到题库文件 ")),
             qPrintable(boxes.at(0).text));
    // It says where the bank belongs and how to make one, and keeps the appended full stop.
    QVERIFY2(
        boxes.at(0).text.endsWith("请把题库文件 kxst.db 放进文件夹 " +
                                  QDir::toNativeSeparators(QCoreApplication::applicationDirPath()) +
                                  "，或者按 Ctrl+O 从题目文件导入题库."),
        qPrintable(boxes.at(0).text));
    QCOMPARE(m_window->PageControl1->currentIndex(), 0);

    // The program goes on: the next click is handled as usual.
    QTest::mouseClick(m_window->btn3, Qt::LeftButton);
    QCOMPARE(m_watcher->take().size(), 1);
    QCOMPARE(m_window->workingSet().tmcount, 0);
}

void TestMainWindow::skin_changesLookOnly()
{
    QCOMPARE(QApplication::style()->name(), QStringLiteral("fusion"));
    QCOMPARE(useskin(3), 0);
    const QRect before = m_window->btn1->geometry();
    QCOMPARE(useskin(27), 1);
    QCOMPARE(m_window->btn1->geometry(), before);
    QCOMPARE(m_window->btn1->font().pixelSize(), 16);
}

void TestMainWindow::keys_pressTheirButtons_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("pressed"); // empty: no button

    const int none = Qt::NoModifier;
    const int ctrl = Qt::ControlModifier;
    QTest::addRow("a") << 2 << "btn9" << int(Qt::Key_A) << none << "btn10";
    QTest::addRow("shift B from the question")
        << 2 << "mmo2" << int(Qt::Key_B) << int(Qt::ShiftModifier) << "btn11";
    QTest::addRow("3") << 2 << "btn10" << int(Qt::Key_3) << none << "btn12";
    QTest::addRow("keypad 4") << 2 << "btn10" << int(Qt::Key_4) << int(Qt::KeypadModifier)
                              << "btn13";
    QTest::addRow("d off the test page") << 1 << "btn5" << int(Qt::Key_D) << none << "";
    QTest::addRow("left, study") << 1 << "mmo1" << int(Qt::Key_Left) << none << "btn4";
    QTest::addRow("page down, study") << 1 << "btn4" << int(Qt::Key_PageDown) << none << "btn5";
    QTest::addRow("right, test") << 2 << "btn10" << int(Qt::Key_Right) << none << "btn7";
    QTest::addRow("page up, test") << 2 << "btn10" << int(Qt::Key_PageUp) << none << "btn8";
    QTest::addRow("right, banner") << 0 << "btn1" << int(Qt::Key_Right) << none << "";
    QTest::addRow("ctrl+1, banner") << 0 << "btn2" << int(Qt::Key_1) << ctrl << "btn1";
    QTest::addRow("ctrl+2, study") << 1 << "btn5" << int(Qt::Key_2) << ctrl << "btn2";
    QTest::addRow("ctrl+3, test") << 2 << "btn10" << int(Qt::Key_3) << ctrl << "btn3";
    QTest::addRow("ctrl+t, study") << 1 << "btn5" << int(Qt::Key_T) << ctrl << "btn6";
    QTest::addRow("ctrl+t, test") << 2 << "btn10" << int(Qt::Key_T) << ctrl << "";
    QTest::addRow("ctrl+r, test") << 2 << "btn10" << int(Qt::Key_R) << ctrl << "btn9";
    QTest::addRow("space, focused") << 1 << "btn6" << int(Qt::Key_Space) << none << "btn6";
    QTest::addRow("enter, focused") << 2 << "btn8" << int(Qt::Key_Return) << none << "btn8";
    QTest::addRow("keypad enter, focused")
        << 1 << "btn4" << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << "btn4";
}

void TestMainWindow::keys_pressTheirButtons()
{
    QFETCH(int, page);
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, pressed);

    m_window->PageControl1->setCurrentIndex(page);
    auto *target = m_window->findChild<QWidget *>(focus);
    target->setFocus();
    QTRY_VERIFY(target->hasFocus());

    QStringList clicked;
    for (QPushButton *candidate : m_window->findChildren<QPushButton *>())
        connect(candidate, &QPushButton::clicked, this,
                [&clicked, candidate] { clicked.append(candidate->objectName()); });
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(clicked, pressed.isEmpty() ? QStringList() : QStringList{pressed});
    // Held down, the key repeats its press: no further click.
    clicked.clear();
    QTest::simulateEvent(target, true, key, Qt::KeyboardModifiers(modifiers), QString(), true);
    QCOMPARE(clicked, QStringList());
    m_watcher->take();
}

void TestMainWindow::keys_areNeverHeldBackByAnInputMethod()
{
    // No control takes typing, so an input method never holds back a key.
    for (QWidget *widget : m_window->findChildren<QWidget *>()) {
        if (widget->focusPolicy() == Qt::NoFocus)
            continue;
        QVERIFY2(!widget->testAttribute(Qt::WA_InputMethodEnabled),
                 qPrintable(widget->objectName()));
    }
}

void TestMainWindow::focus_landsWhereTheNextKeyIsUseful_data()
{
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QString>("focus");
    QTest::addRow("at start") << QStringList{} << "btn1";
    QTest::addRow("new set") << QStringList{"btn1"} << "btn5";
    QTest::addRow("start test") << QStringList{"btn1", "btn6"} << "btn10";
    QTest::addRow("right answer") << QStringList{"btn1", "btn6", "btn10"} << "btn10";
    QTest::addRow("wrong answer") << QStringList{"btn1", "btn6", "btn12"} << "btn12";
    QTest::addRow("back to study") << QStringList{"btn1", "btn6", "btn9"} << "btn5";
    QTest::addRow("mode from the test") << QStringList{"btn1", "btn6", "btn3"} << "btn5";
}

void TestMainWindow::focus_landsWhereTheNextKeyIsUseful()
{
    QFETCH(QStringList, clicks);
    QFETCH(QString, focus);
    openBank(8);
    clickAll(clicks);
    QCOMPARE(QApplication::focusWidget()->objectName(), focus);
    QCOMPARE(m_watcher->take().size(), 0);
}

void TestMainWindow::screenReaders_getANameForEveryControl_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("keys"); // in the description and the tooltip
    QTest::addColumn<int>("role");

    const int button = QAccessible::Button;
    const int any = -1;
    QTest::addRow("btn1") << "btn1"
                          << "新题练习"
                          << "Ctrl+1" << button;
    QTest::addRow("btn2") << "btn2"
                          << "旧题复习"
                          << "Ctrl+2" << button;
    QTest::addRow("btn3") << "btn3"
                          << "随机练习"
                          << "Ctrl+3" << button;
    QTest::addRow("btn4") << "btn4"
                          << "上一题"
                          << "左方向 或 PgUp" << button;
    QTest::addRow("btn5") << "btn5"
                          << "下一题"
                          << "右方向 或 PgDown" << button;
    QTest::addRow("btn6") << "btn6"
                          << "开始测试"
                          << "Ctrl+T" << button;
    QTest::addRow("btn7") << "btn7"
                          << "下一题"
                          << "右方向 或 PgDown" << button;
    QTest::addRow("btn8") << "btn8"
                          << "上一题"
                          << "左方向 或 PgUp" << button;
    QTest::addRow("btn9") << "btn9"
                          << "再复习下"
                          << "Ctrl+R" << button;
    QTest::addRow("btn10") << "btn10"
                           << "A"
                           << "A 或 1" << button;
    QTest::addRow("btn11") << "btn11"
                           << "B"
                           << "B 或 2" << button;
    QTest::addRow("btn12") << "btn12"
                           << "C"
                           << "C 或 3" << button;
    QTest::addRow("btn13") << "btn13"
                           << "D"
                           << "D 或 4" << button;
    QTest::addRow("lbl1") << "lbl1"
                          << "下载最新软件(官网" + ui::kMakerHost + ")"
                          << "" << int(QAccessible::Link);
    QTest::addRow("lbl2") << "lbl2"
                          << "为作者提供最新的题库"
                          << "" << int(QAccessible::Link);
    QTest::addRow("mmo1") << "mmo1"
                          << "题目和答案"
                          << "" << any;
    QTest::addRow("mmo2") << "mmo2"
                          << "题目"
                          << "" << any;
    QTest::addRow("lbl3") << "lbl3"
                          << "学习进度"
                          << "" << any;
    QTest::addRow("lbl5") << "lbl5"
                          << "测试进度"
                          << "" << any;
    QTest::addRow("lbl4") << "lbl4"
                          << "答题结果：请选择"
                          << "" << any;
    QTest::addRow("img1") << "img1"
                          << "Kelvaro 横幅"
                          << "" << any;
    QTest::addRow("pnl1") << "pnl1"
                          << "练习方式"
                          << "" << any;
}

void TestMainWindow::screenReaders_getANameForEveryControl()
{
    QFETCH(QString, object);
    QFETCH(QString, name);
    QFETCH(QString, keys);
    QFETCH(int, role);

    auto *widget = m_window->findChild<QWidget *>(object);
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(widget);
    QVERIFY(iface);
    QCOMPARE(iface->text(QAccessible::Name), name);
    if (role != -1)
        QCOMPARE(int(iface->role()), role);
    if (!keys.isEmpty()) {
        QVERIFY2(iface->text(QAccessible::Description).endsWith("快捷键：" + keys),
                 qPrintable(iface->text(QAccessible::Description)));
        QVERIFY2(widget->toolTip().contains(keys), qPrintable(widget->toolTip()));
    }
    if (object == "img1")
        QVERIFY(!iface->text(QAccessible::Description).isEmpty());
}

void TestMainWindow::links_openByKeyAndByTheirAccessibleAction_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("route");
    QTest::addColumn<QString>("host");
    QTest::addRow("site, enter") << "lbl1"
                                 << "enter" << ui::kMakerHost;
    QTest::addRow("site, action") << "lbl1"
                                  << "action" << ui::kMakerHost;
    QTest::addRow("contact, space") << "lbl2"
                                    << "space" << ui::kContactHost;
    QTest::addRow("contact, action") << "lbl2"
                                     << "action" << ui::kContactHost;
}

void TestMainWindow::links_openByKeyAndByTheirAccessibleAction()
{
#ifdef Q_OS_WIN
    QSKIP("Windows hands addresses to the shell itself, past Qt's URL handlers; "
          "tst_startup runs a program through it");
#endif
    QFETCH(QString, link);
    QFETCH(QString, route);
    QFETCH(QString, host);

    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "open");
    auto *label = m_window->findChild<ui::LinkLabel *>(link);
    if (route == "action") {
        QAccessibleActionInterface *actions =
            QAccessible::queryAccessibleInterface(label)->actionInterface();
        QVERIFY(actions);
        QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
        actions->doAction(QAccessibleActionInterface::pressAction());
    } else {
        label->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(label->hasFocus());
        QTest::keyClick(label, route == "enter" ? Qt::Key_Return : Qt::Key_Space);
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QCOMPARE(recorder.urls.size(), 1);
    QCOMPARE(recorder.urls.at(0).scheme(), QStringLiteral("https"));
    QCOMPARE(recorder.urls.at(0).host(), host);
}

void TestMainWindow::screenReaders_hearTheFeedbackAndTheNextQuestion()
{
    openBank(3);
    clickAll({"btn1", "btn6"});
    // A screen reader speaks the focused control's description when it changes.
    const auto heard = [](QWidget *button, const QString &text) {
        return button->hasFocus() && QAccessible::queryAccessibleInterface(button)
                                         ->text(QAccessible::Description)
                                         .contains(text);
    };

    const auto name = [](QWidget *widget) {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
    };
    QCOMPARE(name(m_window->lbl3), QStringLiteral("学习进度 1/3"));
    QCOMPARE(name(m_window->lbl5), QStringLiteral("测试进度 1/3"));

    // Question 1 is answered A: B is wrong, then A is right.
    QTest::keyClick(m_window->btn10, Qt::Key_B);
    QVERIFY(heard(m_window->btn11, "应选A"));
    QTest::keyClick(m_window->btn11, Qt::Key_A);
    QVERIFY(heard(m_window->btn10, "牛！"));
    QVERIFY(heard(m_window->btn10, "下一题：" + testsupport::questionFor(2)));
    QCOMPARE(name(m_window->lbl4), QStringLiteral("答题结果：牛！"));
    QCOMPARE(name(m_window->lbl5), QStringLiteral("测试进度 2/3"));
    QCOMPARE(m_watcher->take().size(), 0);
}

void TestMainWindow::openNotice_letsNoHandlerRun_data()
{
    QTest::addColumn<QString>("route");
    QTest::addRow("mouse") << "mouse";
    QTest::addRow("key") << "key";
    QTest::addRow("accessible press") << "action";
    QTest::addRow("link press") << "link";
}

void TestMainWindow::openNotice_letsNoHandlerRun()
{
    QFETCH(QString, route);
    // Keep the double-press rule out of the way: only the open notice may stop a press.
    const int interval = QApplication::doubleClickInterval();
    QApplication::setDoubleClickInterval(0);
    const auto restore =
        qScopeGuard([interval] { QApplication::setDoubleClickInterval(interval); });
    openBank(150);
    clickAll({"btn1"});
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "open");

    m_watcher->setWhileOpen([&](QMessageBox *) {
        if (route == "mouse") {
            QTest::mouseClick(m_window->btn1, Qt::LeftButton);
        } else if (route == "key") {
            QTest::keyClick(m_window.get(), Qt::Key_1, Qt::ControlModifier);
        } else {
            QWidget *target =
                route == "link" ? static_cast<QWidget *>(m_window->lbl1) : m_window->btn1;
            QAccessible::queryAccessibleInterface(target)->actionInterface()->doAction(
                QAccessibleActionInterface::pressAction());
        }
        QTest::qWait(250); // a button's accessible press clicks after a short delay
    });
    clickAll({"btn4"}); // 已经是第一题了
    m_watcher->setWhileOpen({});
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));

    QCOMPARE(m_watcher->takeTexts(), QStringList{"已经是第一题了"});
    QCOMPARE(testsupport::practisedIds(m_bank).size(), 100);
    QCOMPARE(m_window->workingSet().tmlist[0].id, 1);
    QCOMPARE(recorder.urls.size(), 0);
}

void TestMainWindow::newPractice_ignoresASecondPressWithinTheDoubleClickInterval()
{
    const int interval = QApplication::doubleClickInterval();
    QApplication::setDoubleClickInterval(1500);
    const auto restore =
        qScopeGuard([interval] { QApplication::setDoubleClickInterval(interval); });
    openBank(250);
    clickAll({"btn1", "btn1"});
    QCOMPARE(testsupport::practisedIds(m_bank).size(), 100);
    QCOMPARE(m_window->workingSet().tmlist[0].id, 1);

    // Once the interval is over, a press refused under an open notice is no press:
    // the next one is taken. (A mouse click would not reach the window under the
    // notice; a screen reader's press does.)
    QTest::qWait(1600);
    m_watcher->setWhileOpen([this](QMessageBox *) {
        QAccessible::queryAccessibleInterface(m_window->btn1)
            ->actionInterface()
            ->doAction(QAccessibleActionInterface::pressAction());
        QTest::qWait(250); // the press clicks after a short delay
    });
    clickAll({"btn4"});
    m_watcher->setWhileOpen({});
    QCOMPARE(m_watcher->takeTexts(), QStringList{"已经是第一题了"});
    clickAll({"btn1"});
    QCOMPARE(testsupport::practisedIds(m_bank).size(), 200);
    QCOMPARE(m_window->workingSet().tmlist[0].id, 101);
    QCOMPARE(m_watcher->take().size(), 0);
}

void TestMainWindow::buttons_reachThePractice_data()
{
    // A bank of three new questions, answered A, B and C; tst_practice has the rules.
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("shown"); // the progress on that page; none on the banner
    QTest::addColumn<QString>("feedback");
    QTest::addColumn<QStringList>("notices");
    QTest::addRow("新题练习") << QStringList{"btn1"} << 1 << "1/3"
                              << "请选择" << QStringList();
    QTest::addRow("旧题复习, nothing practised") << QStringList{"btn2"} << 0 << ""
                                                 << "请选择" << QStringList{"还没有练习过"};
    QTest::addRow("旧题复习") << QStringList{"btn1", "btn5", "btn2"} << 1 << "1/3"
                              << "请选择" << QStringList();
    QTest::addRow("随机练习") << QStringList{"btn3"} << 1 << "1/3"
                              << "请选择" << QStringList();
    QTest::addRow("下一题, 上一题") << QStringList{"btn1", "btn5", "btn5", "btn4"} << 1 << "2/3"
                                    << "请选择" << QStringList();
    QTest::addRow("上一题 at the first") << QStringList{"btn1", "btn4"} << 1 << "1/3"
                                         << "请选择" << QStringList{"已经是第一题了"};
    QTest::addRow("开始测试 from the first") << QStringList{"btn1", "btn5", "btn6"} << 2 << "1/3"
                                             << "请选择" << QStringList();
    QTest::addRow("test: 下一题, 上一题")
        << QStringList{"btn1", "btn6", "btn7", "btn7", "btn8"} << 2 << "2/3"
        << "请选择" << QStringList();
    QTest::addRow("再复习下") << QStringList{"btn1", "btn5", "btn6", "btn9"} << 1 << "1/3"
                              << "请选择" << QStringList();
    QTest::addRow("B wrong, then A") << QStringList{"btn1", "btn6", "btn11", "btn10"} << 2 << "2/3"
                                     << "牛！" << QStringList();
    QTest::addRow("C wrong") << QStringList{"btn1", "btn6", "btn12"} << 2 << "1/3"
                             << "应选A" << QStringList();
    QTest::addRow("D wrong") << QStringList{"btn1", "btn6", "btn13"} << 2 << "1/3"
                             << "应选A" << QStringList();
}

void TestMainWindow::buttons_reachThePractice()
{
    QFETCH(QStringList, clicks);
    QFETCH(int, page);
    QFETCH(QString, shown);
    QFETCH(QString, feedback);
    QFETCH(QStringList, notices);
    openBank(3);
    clickAll(clicks);
    QCOMPARE(m_window->PageControl1->currentIndex(), page);
    QCOMPARE((page == 2 ? m_window->lbl5 : m_window->lbl3)->text(), page ? shown : QString());
    QCOMPARE(m_window->lbl4->text(), feedback);
    QCOMPARE(m_watcher->takeTexts(), notices);
    const practice::fdt &current =
        m_window->workingSet().tmlist[size_t(m_window->workingSet().tmindex)];
    if (page == 1)
        QCOMPARE(m_window->mmo1->toPlainText(), current.tm + "\n正确答案是:" + current.da);
    if (page == 2)
        QCOMPARE(m_window->mmo2->toPlainText(), current.tm);
    // The answer label grows with its text.
    QCOMPARE(m_window->lbl4->sizeHint().width(), m_window->lbl4->width());
}

void TestMainWindow::notice_closesWithEscapeAndEnter_data()
{
    QTest::addColumn<int>("key");
    QTest::addRow("Esc") << int(Qt::Key_Escape);
    QTest::addRow("Enter") << int(Qt::Key_Return);
}

void TestMainWindow::notice_closesWithEscapeAndEnter()
{
    QFETCH(int, key);
    openBank(3);
    clickAll({"btn1"});
    bool closedByKey = false;
    m_watcher->setWhileOpen([&](QMessageBox *box) {
        QTest::keyClick(box, Qt::Key(key));
        closedByKey = !box->isVisible();
    });
    clickAll({"btn4"});
    m_watcher->setWhileOpen({});
    QCOMPARE(m_watcher->takeTexts(), QStringList{"已经是第一题了"});
    QVERIFY(closedByKey);
    QCOMPARE(m_window->PageControl1->currentIndex(), 1);
}

void TestMainWindow::longQuestion_showsOnBothPages_data()
{
    QTest::addColumn<QString>("piece");
    QTest::addColumn<int>("repeats");
    QTest::addColumn<int>("lines"); // on the test page; 0: not counted
    // About 10 MB each in the file, with no line break at all.
    QTest::addRow("latin letters") << "a" << 10 * 1024 * 1024 << 0;
    QTest::addRow("chinese with a pair") << QString::fromUtf8("题𠮷") << 1500 * 1024 << 0;
    QTest::addRow("CR LF and CR line ends") << "行\r\n行\r" << 2 << 5;
}

void TestMainWindow::longQuestion_showsOnBothPages()
{
    QFETCH(QString, piece);
    QFETCH(int, repeats);
    QFETCH(int, lines);
    testsupport::makeBank(m_bank, 1);
    const QString question = piece.repeated(repeats);
    testsupport::runSql(m_bank, QStringLiteral("UPDATE kx SET tm = '%1'").arg(question));
    QVERIFY(ConnectAccessDb(*m_window->ADOConnection1, m_bank, bank::kBankPassword));
    QVERIFY(OpenTable(*m_window->ADOQuery1, bank::kQuestionTable));
    // Pieces of a long line are shown on lines of their own; nothing else changes.
    const auto shown = [](QPlainTextEdit *memo) -> QString {
        QString text = memo->toPlainText();
        // A piece never ends inside a surrogate pair.
        for (const QString &line : text.split(QLatin1Char('\n')))
            if (!line.isEmpty() && line.back().isHighSurrogate())
                return QStringLiteral("a pair cut at ") + QString::number(line.size());
        text.remove(QLatin1Char('\n'));
        return text;
    };
    QString plain = question;
    plain.remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));

    QElapsedTimer timer;
    timer.start();
    clickAll({"btn1"});
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_window->mmo1->grab();
    qInfo("study page: %lld ms", timer.restart());
    QCOMPARE(shown(m_window->mmo1), plain + QStringLiteral("正确答案是:A"));
    clickAll({"btn6"});
    m_window->mmo2->grab();
    qInfo("test page: %lld ms", timer.elapsed());
    QCOMPARE(shown(m_window->mmo2), plain);
    if (lines)
        QCOMPARE(m_window->mmo2->toPlainText().count(QLatin1Char('\n')) + 1, lines);
    QCOMPARE(m_watcher->take().size(), 0);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
