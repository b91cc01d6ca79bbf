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

#include <QApplication>
#include <QDesktopServices>
#include <QFontInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
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

private:
    std::unique_ptr<TForm_main> m_window;
    std::unique_ptr<ModalWatcher> m_watcher;
};

void TestMainWindow::initTestCase()
{
    ui::installChineseSupport(*qApp);
}

void TestMainWindow::init()
{
    testsupport::clearExecutableFolder();
    m_watcher = std::make_unique<ModalWatcher>();
    m_window = std::make_unique<TForm_main>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestMainWindow::cleanup()
{
    m_window.reset();
    m_watcher.reset();
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
    const QStringList expected = {"btn1", "btn2", "btn3", "mmo1",  "btn4",  "btn5",  "btn6", "btn7",
                                  "btn8", "mmo2", "btn9", "btn10", "btn11", "btn12", "btn13"};
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
    QVERIFY(!m_window->ADOConnection1->isConnected()); // no bank beside the test program
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
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &recorder, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "open");
    QTest::mouseClick(m_window->lbl1, Qt::LeftButton);
    QTest::mouseClick(m_window->lbl2, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));

    QCOMPARE(recorder.urls.size(), 2);
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
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "/nonexistent");
    QVERIFY(!ShellOpen(ui::contactAddress(), QString(), ui::SW_SHOWNORMAL));
    QTest::mouseClick(m_window->lbl1, Qt::LeftButton);
    qputenv("PATH", path);
    QTest::qWait(50);
    QCOMPARE(m_watcher->take().size(), 0);
    QCOMPARE(m_window->PageControl1->currentIndex(), 0);

    QVERIFY(!ShellOpen(QString(), QString(), ui::SW_SHOWNORMAL));
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
    QVERIFY(boxes.at(0).text.endsWith(QStringLiteral("kxst.db.")));
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

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
