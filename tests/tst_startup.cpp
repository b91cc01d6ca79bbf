#include "bank/connection.h"
#include "bank/query.h"
#include "bank/store.h"
#include "tests/support/bankfixture.h"
#include "tests/support/modalwatcher.h"
#include "ui/Unit_main.h"
#include "ui/apppath.h"
#include "ui/jpegimage.h"
#include "ui/links.h"
#include "ui/messageboxes.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void init() { testsupport::clearExecutableFolder(); }
    void title_followsTheExecutableName_data();
    void title_followsTheExecutableName();
    void appFilePath_isBesideTheExecutable();
    void errorBoxText_addsAFullStopAfterHigherCharacters_data();
    void errorBoxText_addsAFullStopAfterHigherCharacters();
    void jpeg_rejectsDamagedPictures();
    void formCreate_opensTheBankBesideTheExecutable();
    void shellOpen_startsAProgramWithParameters();
    void showInfo_isANoticeCaptionedTiShi();
};

void TestStartup::title_followsTheExecutableName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");
    QTest::addRow("plain") << "/usr/bin/kelvaro"
                           << "kelvaro";
    QTest::addRow("capitals") << "/opt/KELVARO.EXE"
                              << "Kelvaro";
    QTest::addRow("cut at the first full stop") << "/opt/My.Quiz.App"
                                                << "My";
    QTest::addRow("mixed case") << "/opt/QuizApp"
                                << "Quizapp";
    QTest::addRow("chinese") << "/opt/练习/题库Ab.c"
                             << "题库ab";
    QTest::addRow("starts with a full stop") << "/opt/.hidden"
                                             << "";
}

void TestStartup::title_followsTheExecutableName()
{
    QFETCH(QString, path);
    QFETCH(QString, title);
    QCOMPARE(startup::titleFor(QDir::toNativeSeparators(path)), title);
}

void TestStartup::appFilePath_isBesideTheExecutable()
{
    QCOMPARE(AppFilePath("kxst.db"),
             QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + "/kxst.db"));
#ifdef Q_OS_WIN
    QCOMPARE(startup::pathBeside("D:\\tools\\练习 册\\app.exe", "kxst.db"),
             QStringLiteral("D:\\tools\\练习 册\\kxst.db"));
    QCOMPARE(startup::pathBeside("D:app.exe", "kxst.db"), QStringLiteral("D:kxst.db"));
    QCOMPARE(startup::pathBeside("D:\\q\\a.b/c.exe", " a b "), QStringLiteral("D:\\q\\ a b "));
#else
    QCOMPARE(startup::pathBeside("/home/用户/练习 册/kelvaro", "kxst.db"),
             QStringLiteral("/home/用户/练习 册/kxst.db"));
    QCOMPARE(startup::pathBeside("/opt/q/kelvaro", " a b "), QStringLiteral("/opt/q/ a b "));
#endif
    QCOMPARE(startup::pathBeside("kelvaro", "kxst.db"), QStringLiteral("kxst.db"));
    QCOMPARE(startup::applicationTitle(), QStringLiteral("tst_startup"));
}

void TestStartup::errorBoxText_addsAFullStopAfterHigherCharacters_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("text");
    QTest::addRow("letter") << "abc"
                            << "abc.";
    QTest::addRow("full stop") << "abc."
                               << "abc.";
    QTest::addRow("exclamation sorts lower") << "abc!"
                                             << "abc!";
    QTest::addRow("hyphen sorts lower") << "abc-"
                                        << "abc-";
    QTest::addRow("blank sorts lower") << "abc "
                                       << "abc ";
    QTest::addRow("slash sorts higher") << "abc/"
                                        << "abc/.";
    QTest::addRow("chinese") << "找不到"
                             << "找不到.";
    QTest::addRow("empty") << ""
                           << "";
}

void TestStartup::errorBoxText_addsAFullStopAfterHigherCharacters()
{
    QFETCH(QString, message);
    QFETCH(QString, text);
    QCOMPARE(ui::errorBoxText(message), text);
}

void TestStartup::jpeg_rejectsDamagedPictures()
{
    QVERIFY(ui::decodeJpeg(QByteArray()).isNull());
    QVERIFY(ui::decodeJpeg(QByteArray(4096, 'x')).isNull());
    QFile banner(":/kelvaro/banner.jpg");
    Q_INIT_RESOURCE(resources);
    QVERIFY(banner.open(QIODevice::ReadOnly));
    const QByteArray bytes = banner.readAll();
    QCOMPARE(ui::decodeJpeg(bytes).size(), QSize(535, 300));
    // A picture cut short after its header must not crash the decoder.
    const QImage cut = ui::decodeJpeg(bytes.left(600));
    QVERIFY(cut.isNull() || cut.size() == QSize(535, 300));
    QVERIFY(ui::decodeJpeg(bytes.left(100)).isNull());
}

void TestStartup::formCreate_opensTheBankBesideTheExecutable()
{
    const QString besideExe = AppFilePath("kxst.db");
    testsupport::makeBank(besideExe, 5);

    // A foreign file called kxst.db in the working directory must be ignored.
    QTemporaryDir elsewhere;
    QVERIFY(elsewhere.isValid());
    testsupport::runSql(elsewhere.filePath("kxst.db"), "CREATE TABLE kx (id)");
    const QString oldCwd = QDir::currentPath();
    QDir::setCurrent(elsewhere.path());

    testsupport::ModalWatcher watcher;
    {
        TForm_main window;
        // Opened only once the window has been painted, so the window shows first.
        QVERIFY(!window.ADOConnection1->isConnected());
        window.show();
        QTRY_VERIFY(window.ADOQuery1->isActive());
        QVERIFY(window.ADOConnection1->isConnected());
        QCOMPARE(window.ADOQuery1->sql(), QStringList{"select * from kx"});
        QCOMPARE(window.ADOQuery1->recordCount(), 5);
        QCOMPARE(window.PageControl1->currentIndex(), 0);
    }
    QDir::setCurrent(oldCwd);
    QVERIFY(QFile::remove(besideExe));
    QCOMPARE(watcher.take().size(), 0);
}

void TestStartup::shellOpen_startsAProgramWithParameters()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString marker = dir.filePath("opened");
#ifdef Q_OS_WIN
    // The program runs in its own folder, the target cut after its last backslash.
    const QString system =
        QDir::toNativeSeparators(qEnvironmentVariable("SystemRoot")) + "\\system32";
    QVERIFY(ShellOpen(system + "\\cmd.exe", "/c cd > \"" + QDir::toNativeSeparators(marker) + "\"",
                      ui::SW_SHOWNORMAL));
    const auto written = [&] {
        QFile file(marker);
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()).trimmed()
                                              : QString();
    };
    QTRY_COMPARE(written().toLower(), system.toLower());
    QVERIFY(!ShellOpen(QDir::toNativeSeparators(dir.filePath("no-such-program.exe")), "-x",
                       ui::SW_SHOWNORMAL));
#else
    QVERIFY(ShellOpen("/bin/sh", "-c \"touch '" + marker + "'\"", ui::SW_SHOWNORMAL));
    QTRY_VERIFY(QFile::exists(marker));
    QVERIFY(!ShellOpen(dir.filePath("no-such-program"), "-x", ui::SW_SHOWNORMAL));
#endif
}

void TestStartup::showInfo_isANoticeCaptionedTiShi()
{
    testsupport::ModalWatcher watcher;
    ShowInfo("检测完毕");
    const auto boxes = watcher.take();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.at(0).caption, QStringLiteral("提示"));
    QCOMPARE(boxes.at(0).text, QStringLiteral("检测完毕"));
    QCOMPARE(boxes.at(0).icon, QMessageBox::Information);
    QCOMPARE(boxes.at(0).buttonCount, 1);
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
