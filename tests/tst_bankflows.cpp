// The window looking after the bank beside the program: import, conversion and
// repair driven through its dialogs, with the bank tool running as a child.
#include "bank/database.h"
#include "bank/query.h"
#include "bank/store.h"
#include "tests/support/bankfixture.h"
#include "tests/support/modalwatcher.h"
#include "ui/Unit_main.h"
#include "ui/apppath.h"
#include "ui/bankcare.h"
#include "ui/bannerview.h"
#include "ui/chinesesupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

using testsupport::fileHash;
using testsupport::ModalWatcher;

namespace {

struct Row
{
    qint64 id;
    QString tm;
    QString da;
    qint64 xx;
    bool operator==(const Row &) const = default;
};

QList<Row> rowsOf(const QString &bankPath)
{
    QList<Row> rows;
    bank::Database db;
    if (!db.open(bankPath, bank::Database::OpenMode::ReadOnly))
        return rows;
    bank::Statement read(db, QStringLiteral("SELECT id, tm, da, xx FROM kx ORDER BY rowid"));
    while (read.step())
        rows.append({read.int64Value(0), read.textValue(1), read.textValue(2), read.int64Value(3)});
    return rows;
}

// The authors' template: the first row is 题目2 of the fixtures' banks.
const QByteArray kTemplate = "题干,A,B,C,D,答案\n题目2,甲,乙,丙,丁,B\n题目5,甲,乙,丙,丁,a\n"
                             "新题,甲,乙,丙,丁,D\n";

QString fixture(const char *name)
{
    return QStringLiteral(KELVARO_FIXTURES "/legacy/") + QLatin1String(name);
}

} // namespace

class TestBankFlows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void import_replacesTheBankAndKeepsTheOld_data();
    void import_replacesTheBankAndKeepsTheOld();
    void cancel_leavesTheBankByteIdentical_data();
    void cancel_leavesTheBankByteIdentical();
    void oldFormat_isConvertedWithItsMarks();
    void oldFormat_asksForAPasswordItDoesNotKnow();
    void damaged_isRepairedFromItsBox();
    void damaged_beyondRepair_saysWhatToDo();
    void fonts_drawInASimplifiedChineseFace();

private:
    void openWindow();
    QString writeFile(const QString &name, const QByteArray &bytes);
    void damageIndex();
    // The programs by their names without ".exe", and not the build's qt.conf (Windows).
    QStringList folder() const
    {
        QStringList names = QDir(QCoreApplication::applicationDirPath())
                                .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        names.removeOne(QStringLiteral("qt.conf"));
        names.replaceInStrings(QRegularExpression(QStringLiteral("\\.exe$")), QString());
        return names;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_bank;
    std::unique_ptr<TForm_main> m_window;
    std::unique_ptr<ModalWatcher> m_watcher;

    // How the dialogs are answered, and what they showed.
    QString m_pick;           // the file dialog's choice; empty closes it
    bool m_import = true;     // the preview's button
    bool m_carry = true;      // the preview's check box
    QString m_stopProgress;   // a progress dialog whose label starts so is cancelled
    QStringList m_boxActions; // the buttons of error boxes to press
    QString m_password;       // typed into a password prompt; empty closes it
    QStringList m_dialogs;    // the kind of each dialog, in turn
    QHash<QString, QString> m_preview;
    QList<QByteArray> m_atBoxes; // the bank as it was when each box showed
};

void TestBankFlows::initTestCase()
{
    ui::installChineseSupport(*qApp);
}

void TestBankFlows::init()
{
    testsupport::clearExecutableFolder();
#ifdef Q_OS_WIN
    // A link there is a shortcut, which starts no process: the tool itself is copied.
    QVERIFY(QFile::copy(QStringLiteral(KELVARO_BANK_TOOL), ui::bankToolPath()));
#else
    QVERIFY(QFile::link(QStringLiteral(KELVARO_BANK_TOOL), ui::bankToolPath()));
#endif
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_bank = AppFilePath(bank::kBankFileName);
    m_pick.clear();
    m_import = m_carry = true;
    m_stopProgress.clear();
    m_boxActions.clear();
    m_password.clear();
    m_dialogs.clear();
    m_preview.clear();
    m_atBoxes.clear();

    m_watcher = std::make_unique<ModalWatcher>();
    m_watcher->setWhileOpen([this](QMessageBox *box) {
        m_atBoxes.append(fileHash(m_bank));
        for (QAbstractButton *button : box->buttons())
            if (m_boxActions.contains(button->text()))
                return button->click();
    });
    m_watcher->setOnDialog([this](QDialog *dialog) {
        if (auto *files = qobject_cast<QFileDialog *>(dialog)) {
            m_dialogs << "file:" + files->nameFilters().join(u';');
            if (m_pick.isEmpty())
                return files->reject();
            // Typed, as a user would: selectFile() leaves a focused line edit alone.
            files->findChild<QLineEdit *>("fileNameEdit")->setText(m_pick);
            return dialog->accept();
        }
        if (auto *progress = qobject_cast<QProgressDialog *>(dialog)) {
            m_dialogs << "progress:" + progress->labelText().section(u'\n', 0, 0);
            if (!m_stopProgress.isEmpty() && progress->labelText().startsWith(m_stopProgress))
                progress->findChild<QPushButton *>()->click();
            return;
        }
        if (auto *input = qobject_cast<QInputDialog *>(dialog)) {
            m_dialogs << (input->textEchoMode() == QLineEdit::Password ? "password:" : "text:") +
                             input->labelText();
            if (m_password.isEmpty())
                return input->reject();
            input->setTextValue(m_password);
            return input->accept();
        }
        m_dialogs << dialog->objectName();
        for (const char *name : {"counts", "firstQuestion", "findings", "notes", "carryMarks"}) {
            QWidget *part = dialog->findChild<QWidget *>(QLatin1String(name));
            if (auto *label = qobject_cast<QLabel *>(part))
                m_preview.insert(name, label->text());
            else if (auto *text = qobject_cast<QPlainTextEdit *>(part))
                m_preview.insert(name, text->toPlainText());
            else if (auto *box = qobject_cast<QCheckBox *>(part)) {
                m_preview.insert(name, box->text() + (box->isChecked() ? "[x]" : "[ ]"));
                box->setChecked(m_carry);
            }
        }
        for (QAbstractButton *button : dialog->findChild<QDialogButtonBox *>()->buttons())
            if (button->text() == "导入" && m_import && button->isEnabled())
                return button->click();
        dialog->reject();
    });
}

void TestBankFlows::cleanup()
{
    m_window.reset();
    m_watcher.reset();
    m_dir.reset();
}

void TestBankFlows::openWindow()
{
    m_window = std::make_unique<TForm_main>();
    m_window->show();
    QApplication::setActiveWindow(m_window.get());
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    m_window->finishStartUp();
}

QString TestBankFlows::writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(m_dir->filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(file.fileName()));
    return file.fileName();
}

// An index that lost every entry after row 60, as a damaged page leaves it.
void TestBankFlows::damageIndex()
{
    testsupport::makeBank(m_bank, 500);
    bank::Database db;
    QVERIFY(db.open(m_bank, bank::Database::OpenMode::Create));
    for (const char *sql :
         {"DROP INDEX kx_xx", "CREATE INDEX kx_xx ON kx (xx) WHERE id <= 60",
          "PRAGMA writable_schema = ON",
          "UPDATE sqlite_schema SET sql = 'CREATE INDEX kx_xx ON kx (xx)' WHERE name = 'kx_xx'"})
        QVERIFY2(db.execute(QString::fromLatin1(sql)), qPrintable(db.lastError()));
}

void TestBankFlows::import_replacesTheBankAndKeepsTheOld_data()
{
    QTest::addColumn<QString>("route");
    QTest::addColumn<bool>("carry");
    QTest::addColumn<bool>("taken"); // a backup of each of the next seconds is there already
    QTest::addRow("Ctrl+O, marks carried over") << "key" << true << false;
    QTest::addRow("the banner's menu, marks left behind") << "menu" << false << false;
    QTest::addRow("a file dropped on the window") << "drop" << true << false;
    QTest::addRow("Ctrl+O, the backup's name taken") << "key" << true << true;
}

void TestBankFlows::import_replacesTheBankAndKeepsTheOld()
{
    QFETCH(QString, route);
    QFETCH(bool, carry);
    QFETCH(bool, taken);
    // Questions 1 to 3 practised; question 2 is also the new file's first.
    testsupport::makeBank(m_bank, 6, [](int i) { return i < 3; });
    const QByteArray old = fileHash(m_bank);
    QStringList others;
    for (int second = 0; taken && second < 30; ++second) {
        others << "kxst.db.backup-" +
                      QDateTime::currentDateTime().addSecs(second).toString("yyyyMMdd-HHmmss");
        QFile other(AppFilePath(others.last()));
        QVERIFY(other.open(QIODevice::WriteOnly) && other.write("x") == 1);
    }
    m_pick = writeFile("new.csv", kTemplate);
    m_carry = carry;
    openWindow();

    if (route == u"key") {
        QTest::keyClick(m_window.get(), Qt::Key_O, Qt::ControlModifier);
    } else if (route == u"menu") {
        QCOMPARE(m_window->img1->contextMenuPolicy(), Qt::ActionsContextMenu);
        QCOMPARE(m_window->img1->actions().size(), 1);
        QCOMPARE(m_window->img1->actions().first()->text(), "从文件导入题库…");
        m_window->img1->actions().first()->trigger();
    } else {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(m_pick)});
        const QPoint centre = m_window->rect().center();
        QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_window.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_window.get(), &drop);
    }
    QTRY_COMPARE(rowsOf(m_bank).size(), 3);

    QStringList expectedDialogs{"importPreview"};
    if (route != u"drop")
        expectedDialogs.prepend(
            "file:题目文件 (*.csv *.tsv *.xlsx *.xls *.ods *.docx *.txt *.db *.mdb);所有文件 (*)");
    QCOMPARE(m_dialogs, expectedDialogs);
    QCOMPARE(m_preview.value("counts"),
             "共 3 道题（单选 3 道）：答案为 A 的 1 道，B 的 1 道，C 的 0 道，D 的 1 道");
    QCOMPARE(m_preview.value("firstQuestion"), testsupport::questionFor(2) + "\n正确答案是:B");
    QCOMPARE(m_preview.value("notes"), "第 3 行：答案“a”按“A”录入");
    QCOMPARE(m_preview.value("carryMarks"),
             "把现在题库里已练习的 3 道题的练习记录带到新题库里相同的题目上[x]");
    QVERIFY(!m_preview.contains("findings"));

    const QString stem = testsupport::questionFor(2).section(u'\n', 1);
    QCOMPARE(rowsOf(m_bank), (QList<Row>{{1, "题目2\n" + stem, "B", carry ? 1 : 0},
                                         {2, "题目5\n" + stem, "A", 0},
                                         {3, "新题\n" + stem, "D", 0}}));
    QStringList kept =
        QDir(QCoreApplication::applicationDirPath()).entryList({"kxst.db.backup-*"}, QDir::Files);
    for (const QString &name : std::as_const(others)) {
        QVERIFY(kept.removeOne(name));
        QFile other(AppFilePath(name));
        QVERIFY(other.open(QIODevice::ReadOnly) && other.readAll() == "x");
    }
    QCOMPARE(kept.size(), 1);
    QVERIFY(QRegularExpression(taken ? "^kxst\\.db\\.backup-\\d{8}-\\d{6}-2$"
                                     : "^kxst\\.db\\.backup-\\d{8}-\\d{6}$")
                .match(kept.first())
                .hasMatch());
    QCOMPARE(fileHash(AppFilePath(kept.first())), old);
    QStringList expected =
        QStringList{"kelvaro-bank", "kxst.db", kept.first(), "tst_bankflows"} + others;
    expected.sort();
    QCOMPARE(folder(), expected);
    QCOMPARE(m_watcher->takeTexts(),
             QStringList{"已从 new.csv 导入 3 道题。原来的题库保存为 " + kept.first()});

    // The window works on the new bank at once.
    QVERIFY(m_window->ADOQuery1->isActive());
    QTest::mouseClick(m_window->btn2, Qt::LeftButton);
    if (carry)
        QCOMPARE(m_window->workingSet().tmcount, 1);
    else
        QCOMPARE(m_watcher->takeTexts(), QStringList{"还没有练习过"});
}

void TestBankFlows::cancel_leavesTheBankByteIdentical_data()
{
    QTest::addColumn<QString>("bank");    // what lies beside the program
    QTest::addColumn<QByteArray>("file"); // the file picked for an import
    QTest::addColumn<bool>("import");     // the preview's button
    QTest::addColumn<QString>("stop");    // the progress dialog cancelled
    QTest::addColumn<QString>("boxAction");

    QTest::addRow("file dialog closed") << "bank" << QByteArray() << true << ""
                                        << "";
    QTest::addRow("preview closed") << "bank" << kTemplate << false << ""
                                    << "";
    QTest::addRow("a file that is no table of questions")
        << "bank" << QByteArray("name,score\n1,A\n") << true << ""
        << "";
    QTest::addRow("a file with errors imports nothing")
        << "bank" << QByteArray("id,tm,da,xx\n1,q1,A,0\n2,q2,Z,0\n") << true << ""
        << "";
    QByteArray big = "id,tm,da,xx\n";
    for (int id = 1; id <= 250000; ++id)
        big += QByteArray::number(id) + ",第 " + QByteArray::number(id) + " 题：哪一项正确？," +
               "ABCD"[id % 4] + ",0\n";
    QTest::addRow("import stopped while it writes") << "bank" << big << true << "正在导入"
                                                    << "";
#ifndef Q_OS_WIN
    QTest::addRow("marks that cannot be carried") << "bank, carry fails" << kTemplate << true << ""
                                                  << "";
#endif
    QTest::addRow("conversion declined") << "legacy" << QByteArray() << true << ""
                                         << "取消";
    QTest::addRow("password prompt closed") << "password" << QByteArray() << true << ""
                                            << "转换";
    // The set taken before the damage showed stays marked: the bank as the box found it counts.
    QTest::addRow("repair declined") << "damaged" << QByteArray() << true << ""
                                     << "取消";
}

void TestBankFlows::cancel_leavesTheBankByteIdentical()
{
    QFETCH(QString, bank);
    QFETCH(QByteArray, file);
    QFETCH(bool, import);
    QFETCH(QString, stop);
    QFETCH(QString, boxAction);
    if (bank.startsWith(u"bank"))
        testsupport::makeBank(m_bank, 6, [](int i) { return i < 3; });
    else if (bank == u"legacy")
        QVERIFY(QFile::copy(fixture("kx-edge-cases.jet4"), m_bank));
    else if (bank == u"password")
        QVERIFY(QFile::copy(fixture("access2000-password.mdb"), m_bank));
    else
        damageIndex();
    QFile::setPermissions(m_bank, QFile::ReadOwner | QFile::WriteOwner);
    if (bank == u"bank, carry fails") {
        // The tool, but failing when it carries marks.
        QFile::remove(ui::bankToolPath());
        QFile tool(ui::bankToolPath());
        QVERIFY(tool.open(QIODevice::WriteOnly));
        tool.write("#!/bin/sh\n[ \"$1\" = carry-marks ] && { echo 无法读取 >&2; exit 1; }\nexec '" +
                   QFile::encodeName(QStringLiteral(KELVARO_BANK_TOOL)) + "' \"$@\"\n");
        tool.close();
        QVERIFY(tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
    const QByteArray before = fileHash(m_bank);
    const QStringList listing = folder();
    if (!file.isEmpty())
        m_pick = writeFile("new.csv", file);
    m_import = import;
    m_stopProgress = stop;
    m_boxActions = {boxAction};
    openWindow();

    if (bank.startsWith(u"bank")) {
        QTest::keyClick(m_window.get(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(m_dialogs.first().section(u':', 0, 0), "file");
        if (!stop.isEmpty())
            QVERIFY2(m_dialogs.contains("progress:" + stop + " new.csv……"),
                     qPrintable(m_dialogs.join(u'|')));
        if (file.startsWith("id,tm,da,xx\n1,q1"))
            QCOMPARE(m_preview.value("findings"), "第 3 行：答案“Z”不是 A、B、C、D 之一");
    } else {
        QTest::mouseClick(m_window->btn1, Qt::LeftButton);
        const QList<testsupport::BoxSeen> boxes = m_watcher->take();
        QVERIFY(!boxes.isEmpty());
        QCOMPARE(boxes.first().caption, "tst_bankflows");
        QCOMPARE(boxes.first().buttonCount, 2);
        QVERIFY(boxes.first().text.endsWith(u'.'));
        if (bank == u"password")
            QCOMPARE(m_dialogs.last().section(u':', 0, 0), "password");
    }
    QCOMPARE(fileHash(m_bank), m_atBoxes.isEmpty() ? before : m_atBoxes.first());
    QCOMPARE(folder().join(u' '), listing.join(u' '));
    // Only a file that cannot be read at all is told in a box, not previewed.
    const QStringList texts = m_watcher->takeTexts();
    if (file.startsWith("name,score"))
        QVERIFY2(texts.size() == 1 &&
                     texts.first().startsWith("没有导入 new.csv，题库没有改动：\n" + m_pick + " "),
                 qPrintable(texts.join(u'|')));
    else if (bank == u"bank, carry fails")
        QCOMPARE(texts, QStringList{"没能带过练习记录，题库没有改动：\n无法读取."});
    else
        QCOMPARE(texts, QStringList());
}

void TestBankFlows::oldFormat_isConvertedWithItsMarks()
{
#ifdef Q_OS_WIN
    QSKIP("the Windows build has no reader for old-format banks");
#endif
    if (!QFile::exists(fixture("kx-edge-cases.jet4")))
        QSKIP("legacy fixtures are not beside this checkout");
    QVERIFY(QFile::copy(fixture("kx-edge-cases.jet4"), m_bank));
    QFile::setPermissions(m_bank, QFile::ReadOwner | QFile::WriteOwner);
    const QByteArray original = fileHash(m_bank);
    m_boxActions = {"转换"};
    openWindow();

    QTest::mouseClick(m_window->btn1, Qt::LeftButton);
    const QList<testsupport::BoxSeen> boxes = m_watcher->take();
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(boxes.at(0).icon, QMessageBox::Critical);
    QCOMPARE(boxes.at(0).text,
             QDir::toNativeSeparators(m_bank) +
                 " 是旧版程序的题库（Access 格式），要转换成新的格式才能用来练习。点“转换”："
                 "原来的文件改名为 kxst.db.old-format 保留下来，新题库带着原来的练习记录.");
    QCOMPARE(boxes.at(1).text, "已把旧版题库转换成新的格式：2008 道题，其中已练习 402 道。"
                               "原来的文件保存为 kxst.db.old-format");
    QCOMPARE(fileHash(AppFilePath("kxst.db.old-format")), original);
    QCOMPARE(folder(),
             (QStringList{"kelvaro-bank", "kxst.db", "kxst.db.old-format", "tst_bankflows"}));
    QCOMPARE(rowsOf(m_bank).size(), 2008);
    QCOMPARE(testsupport::practisedIds(m_bank).mid(0, 2), (QList<qint64>{1, 2}));

    // Practice goes on from the converted marks.
    QTest::mouseClick(m_window->btn2, Qt::LeftButton);
    QCOMPARE(m_watcher->take().size(), 0);
    QCOMPARE(m_window->workingSet().tmcount, 100);
}

void TestBankFlows::oldFormat_asksForAPasswordItDoesNotKnow()
{
#ifdef Q_OS_WIN
    QSKIP("the Windows build has no reader for old-format banks");
#endif
    if (!QFile::exists(fixture("access2000-password.mdb")))
        QSKIP("legacy fixtures are not beside this checkout");
    QVERIFY(QFile::copy(fixture("access2000-password.mdb"), m_bank));
    QFile::setPermissions(m_bank, QFile::ReadOwner | QFile::WriteOwner);
    const QByteArray original = fileHash(m_bank);
    m_boxActions = {"转换"};
    m_password = "password";
    openWindow();

    QTest::mouseClick(m_window->btn1, Qt::LeftButton);
    // The password reaches the tool: what it says next is about the file's tables.
    QCOMPARE(m_dialogs.filter("password:"),
             QStringList{"password:" + QDir::toNativeSeparators(m_bank) +
                         " 设有数据库密码。请输入它的密码："});
    const QStringList texts = m_watcher->takeTexts();
    QCOMPARE(texts.size(), 2);
    QCOMPARE(texts.at(1), "没能转换 kxst.db，它没有改动：\n" + m_bank + " 里没有表 kx.");
    QCOMPARE(fileHash(m_bank), original);
}

void TestBankFlows::damaged_isRepairedFromItsBox()
{
    damageIndex();
    m_boxActions = {"修复"};
    openWindow();

    QTest::mouseClick(m_window->btn1, Qt::LeftButton);
    const QList<testsupport::BoxSeen> boxes = m_watcher->take();
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(boxes.at(0).text, "题库文件 " + m_bank +
                                   " 已损坏，但还能打开。点“修复”：先在旁边留一份原样的备份，"
                                   "再重建索引并检查题库\n索引里缺了还没练过的题.");
    const QStringList kept =
        QDir(QCoreApplication::applicationDirPath()).entryList({"kxst.db.backup-*"}, QDir::Files);
    QCOMPARE(kept.size(), 1);
    QCOMPARE(boxes.at(1).text,
             "题库修复好了：已重建索引，检查无误；原样的备份在 " + AppFilePath(kept.first()));
    QCOMPARE(fileHash(AppFilePath(kept.first())), m_atBoxes.first());

    // The repaired bank hands out the rest of the questions (the next press, not a double click).
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    QTest::mouseClick(m_window->btn1, Qt::LeftButton);
    QCOMPARE(m_watcher->take().size(), 0);
    QCOMPARE(m_window->workingSet().tmcount, 100);
}

void TestBankFlows::damaged_beyondRepair_saysWhatToDo()
{
    // The table's root page overwritten: neither a rebuilt index nor an export can read it.
    testsupport::makeBank(m_bank, 3000);
    qint64 root = 0;
    {
        bank::Database db;
        QVERIFY(db.open(m_bank, bank::Database::OpenMode::ReadOnly));
        bank::Statement page(db, "SELECT rootpage FROM sqlite_schema WHERE name = 'kx'");
        QVERIFY(page.step());
        root = page.int64Value(0);
    }
    QFile file(m_bank);
    // From the page type on, which SQLite checks on every visit, whatever lies beside the page.
    QVERIFY(file.open(QIODevice::ReadWrite) && file.seek((root - 1) * 4096));
    file.write(QByteArray(200, '\xff'));
    file.close();
    m_boxActions = {"修复", "导出"};
    openWindow();

    QTest::mouseClick(m_window->btn1, Qt::LeftButton);
    const QStringList texts = m_watcher->takeTexts();
    QVERIFY2(texts.size() == 3, qPrintable(texts.join(u'|')));
    QVERIFY2(texts.at(0).startsWith("题库文件 " + m_bank + " 已损坏，但还能打开。"),
             qPrintable(texts.at(0)));
    QVERIFY2(
        texts.at(1).startsWith("修复帮不了这个题库。点“导出”把还能读出的题存进 kxst-能读出的题-") &&
            texts.at(1).contains("；再向提供题库的人要一份新的 kxst.db，放进文件夹 " +
                                 QDir::toNativeSeparators(QCoreApplication::applicationDirPath()) +
                                 "\n"),
        qPrintable(texts.at(1)));
    QVERIFY2(texts.at(2).startsWith("没能导出："), qPrintable(texts.at(2)));
    // The backup repair made first, and nothing half-written.
    QCOMPARE(folder().filter("kxst"), (QStringList{"kxst.db", folder().filter("backup").value(0)}));
}

void TestBankFlows::fonts_drawInASimplifiedChineseFace()
{
    if (!QFontDatabase::families().contains("Noto Sans CJK SC"))
        QSKIP("fonts-noto-cjk is not installed");
    QMessageBox box(QMessageBox::Information, "提示", "题库：骨直");
    QDialog dialog;
    QFileDialog files;
    files.setOption(QFileDialog::DontUseNativeDialog);
    const QList<QPair<const char *, QFont>> fonts = {
        {"message box", box.findChild<QLabel *>("qt_msgbox_label")->font()},
        {"tooltip", QToolTip::font()},
        {"dialog", dialog.font()},
        {"file dialog", files.font()},
    };
    for (const auto &[what, font] : fonts)
        QVERIFY2(QFontInfo(font).family() == "Noto Sans CJK SC",
                 qPrintable(QString::fromLatin1(what) + ": " + QFontInfo(font).family()));
}

QTEST_MAIN(TestBankFlows)
#include "tst_bankflows.moc"
