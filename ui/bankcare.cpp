#include "ui/bankcare.h"

#include "bank/bankerror.h"
#include "bank/connection.h"
#include "bank/database.h"
#include "bank/query.h"
#include "bank/store.h"
#include "ui/apppath.h"
#include "ui/messageboxes.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QVBoxLayout>

namespace ui {

namespace {

// Findings and notes kept from one run: the tool lists no more than this.
constexpr qsizetype kEventsKept = 300;
// The preview's first question is shown whole up to this length.
constexpr qsizetype kFirstQuestionShown = 4096;

QFont songFont(int pixelSize, bool bold)
{
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

// A name beside `stem` that no file has yet.
QString unusedName(const QString &stem)
{
    QString candidate = stem;
    for (int n = 2; QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink(); ++n)
        candidate = stem + QStringLiteral("-%1").arg(n);
    return candidate;
}

QString timeStamp()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
}

QString nativeFolderOf(const QString &path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absolutePath());
}

QString folderNotWritable(const QString &bankPath)
{
    return QStringLiteral("不能在文件夹 %1 里写文件，题库没有改动。请把本程序所在的整个文件夹复制到"
                          "自己可以写入的地方（例如“文档”里），再从那里运行本程序")
        .arg(nativeFolderOf(bankPath));
}

// The findings of a run and its failure, one per line.
QString findingsText(const ToolRun &run)
{
    QStringList lines;
    for (const QJsonObject &event : run.events) {
        if (event.value(QStringLiteral("event")).toString() != u"finding")
            continue;
        QString line = event.contains(QStringLiteral("text"))
                           ? event.value(QStringLiteral("text")).toString()
                           : event.value(QStringLiteral("location")).toString();
        const QJsonArray problems = event.value(QStringLiteral("problems")).toArray();
        QStringList texts;
        for (const QJsonValue &problem : problems)
            texts.append(problem.toString());
        if (!texts.isEmpty())
            line += QStringLiteral("：") + texts.join(QStringLiteral("；"));
        lines.append(line);
    }
    const qint64 errors = run.result.value(QStringLiteral("errors")).toInteger();
    if (errors > lines.size())
        lines.append(
            QStringLiteral("……共 %1 条记录有错，这里列出了前 %2 条").arg(errors).arg(lines.size()));
    const QString failure = run.result.value(QStringLiteral("failure")).toString();
    if (!failure.isEmpty())
        lines.append(failure);
    if (!run.output.trimmed().isEmpty() && run.result.isEmpty())
        lines.append(run.output.trimmed());
    return lines.join(QLatin1Char('\n'));
}

QString notesText(const ToolRun &run)
{
    QStringList lines;
    for (const QJsonObject &event : run.events) {
        if (event.value(QStringLiteral("event")).toString() == u"note")
            lines.append(event.value(QStringLiteral("location")).toString() + QStringLiteral("：") +
                         event.value(QStringLiteral("text")).toString());
    }
    return lines.join(QLatin1Char('\n'));
}

QString countsText(const QJsonObject &result)
{
    const QJsonArray answers = result.value(QStringLiteral("answers")).toArray();
    QStringList kinds;
    for (const QJsonValue &kind : result.value(QStringLiteral("kinds")).toArray())
        kinds.append(QStringLiteral("%1 %2 道")
                         .arg(kind[QStringLiteral("kind")].toString())
                         .arg(kind[QStringLiteral("count")].toInteger()));
    QString text =
        QStringLiteral("共 %1 道题%2：答案为 A 的 %3 道，B 的 %4 道，C 的 %5 道，D 的 %6 道")
            .arg(result.value(QStringLiteral("questions")).toInteger())
            .arg(kinds.isEmpty() ? QString() : QStringLiteral("（%1）").arg(kinds.join(u'，')))
            .arg(answers.at(0).toInteger())
            .arg(answers.at(1).toInteger())
            .arg(answers.at(2).toInteger())
            .arg(answers.at(3).toInteger());
    if (const qint64 other = result.value(QStringLiteral("otherAnswers")).toInteger())
        text += QStringLiteral("，答案不是 A 到 D 的 %1 道").arg(other);
    if (const qint64 practised = result.value(QStringLiteral("practised")).toInteger())
        text += QStringLiteral("；已标为练习过的 %1 道").arg(practised);
    return text;
}

QPlainTextEdit *makeList(const QString &text, const char *name)
{
    auto *list = new QPlainTextEdit(text);
    list->setObjectName(QLatin1String(name));
    list->setReadOnly(true);
    list->setMaximumHeight(120);
    return list;
}

} // namespace

QString bankToolPath()
{
#ifdef Q_OS_WIN
    return AppFilePath(QStringLiteral("kelvaro-bank.exe"));
#else
    return AppFilePath(QStringLiteral("kelvaro-bank"));
#endif
}

BankCare::BankCare(QWidget *window, bank::Connection &connection, bank::Query &query)
    : QObject(window), m_window(window), m_connection(connection), m_query(query)
{}

QString BankCare::fileFilter()
{
    return QStringLiteral(
        "题目文件 (*.csv *.tsv *.xlsx *.xls *.ods *.docx *.txt *.db *.mdb);;所有文件 (*)");
}

QString BankCare::bankPath() const
{
    return AppFilePath(bank::kBankFileName);
}

ToolRun BankCare::runTool(const QStringList &arguments, const QString &label, bool cancellable)
{
    ToolRun run;
    QProcess process;
    process.setProgram(bankToolPath());
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForStarted())
        return run;
    run.started = true;

    QProgressDialog progress(label, QStringLiteral("取消"), 0, 0, m_window);
    progress.setObjectName(QStringLiteral("toolProgress"));
    progress.setWindowTitle(QStringLiteral("Kelvaro"));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    // A short run finishes before the dialog would only flash up.
    progress.setMinimumDuration(400);
    if (!cancellable)
        progress.setCancelButton(nullptr);

    QEventLoop loop;
    QByteArray pending;
    const auto readLines = [&] {
        pending += process.readAllStandardOutput();
        for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 1);
            QJsonParseError error;
            const QJsonDocument document = QJsonDocument::fromJson(line, &error);
            if (error.error != QJsonParseError::NoError || !document.isObject()) {
                run.output += QString::fromUtf8(line) + QLatin1Char('\n');
                continue;
            }
            const QJsonObject event = document.object();
            const QString kind = event.value(QStringLiteral("event")).toString();
            if (kind == u"result") {
                run.result = event;
            } else if (kind == u"progress") {
                const qint64 read = event.value(QStringLiteral("bytesRead")).toInteger();
                const qint64 total = event.value(QStringLiteral("totalBytes")).toInteger();
                if (total > 0) {
                    progress.setMaximum(1000);
                    progress.setValue(int(qBound(qint64(0), read * 1000 / total, qint64(999))));
                }
                progress.setLabelText(label +
                                      QStringLiteral("\n已处理 %1 道题")
                                          .arg(event.value(QStringLiteral("records")).toInteger()));
            } else if (run.events.size() < kEventsKept) {
                run.events.append(event);
            }
        }
    };
    connect(&process, &QProcess::readyReadStandardOutput, &loop, readLines);
    connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    connect(&progress, &QProgressDialog::canceled, &loop, [&] {
        run.cancelled = true;
        // The tool removes its half-written bank when it is asked to stop;
        // a tool killed outright leaves it in the work folder, removed with it.
#ifdef Q_OS_WIN
        // A console program has no window to be asked to close.
        process.kill();
#else
        process.terminate();
        if (!process.waitForFinished(3000))
            process.kill();
#endif
        process.waitForFinished();
        loop.quit();
    });
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    readLines();
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    const QString prefix = QStringLiteral("kelvaro-bank: ");
    for (QString line : QString::fromUtf8(process.readAllStandardError()).split(u'\n')) {
        if (line.startsWith(prefix))
            line.remove(0, prefix.size());
        if (!line.trimmed().isEmpty())
            run.output += line + QLatin1Char('\n');
    }
    return run;
}

bool BankCare::ran(const ToolRun &run)
{
    if (!run.started) {
        showErrorBox(QStringLiteral("找不到题库工具 %1，题库没有改动。请重新安装本程序："
                                    "题库工具应当和本程序在同一个文件夹里")
                         .arg(QDir::toNativeSeparators(bankToolPath())));
        return false;
    }
    if (run.cancelled)
        return false;
    if (run.exitCode < 0) {
        showErrorBox(
            QStringLiteral("题库工具意外退出了，题库没有改动\n%1").arg(run.output.trimmed()));
        return false;
    }
    return true;
}

ToolRun BankCare::runReader(QStringList arguments, const QString &file, const QString &label,
                            QString *password)
{
    for (;;) {
        QStringList withPassword = arguments;
        if (!password->isEmpty())
            withPassword << QStringLiteral("--password") << *password;
        ToolRun run = runTool(withPassword, label);
        if (!run.started || run.cancelled ||
            !run.result.value(QStringLiteral("needsPassword")).toBool())
            return run;
        bool given = false;
        const QString typed = QInputDialog::getText(
            m_window, QStringLiteral("输入密码"),
            QStringLiteral("%1 设有数据库密码%2。请输入它的密码：")
                .arg(QDir::toNativeSeparators(file),
                     password->isEmpty() ? QString() : QStringLiteral("，刚才输入的不对")),
            QLineEdit::Password, QString(), &given);
        if (!given || typed.isEmpty()) {
            run.cancelled = true;
            return run;
        }
        *password = typed;
    }
}

qint64 BankCare::practisedCount()
{
    if (!m_connection.isConnected())
        return 0;
    bank::Statement count(m_connection.database(),
                          QStringLiteral("SELECT count(*) FROM kx WHERE xx = 1"));
    return count.step() ? count.int64Value(0) : 0;
}

bool BankCare::confirmImport(const QString &file, const ToolRun &preview, qint64 practised,
                             bool *carryMarks)
{
    const QJsonObject &result = preview.result;
    const bool importable = result.value(QStringLiteral("ok")).toBool();

    QDialog dialog(m_window);
    dialog.setObjectName(QStringLiteral("importPreview"));
    dialog.setWindowTitle(QStringLiteral("从文件导入题库"));
    // Wide enough for a line of the question in the study page's large face.
    dialog.setMinimumWidth(600);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(
        new QLabel(QStringLiteral("文件：%1").arg(QDir::toNativeSeparators(file)), &dialog));
    auto *counts = new QLabel(countsText(result), &dialog);
    counts->setObjectName(QStringLiteral("counts"));
    counts->setWordWrap(true);
    layout->addWidget(counts);

    const QString findings = findingsText(preview);
    if (!importable) {
        auto *warning =
            new QLabel(QStringLiteral("文件里有错，改好后再导入；题库没有改动："), &dialog);
        warning->setStyleSheet(QStringLiteral("color: #a00000"));
        layout->addWidget(warning);
        layout->addWidget(makeList(findings, "findings"));
    }
    if (const QString notes = notesText(preview); !notes.isEmpty()) {
        layout->addWidget(new QLabel(QStringLiteral("提示（这些题照常导入）："), &dialog));
        layout->addWidget(makeList(notes, "notes"));
    }
    for (const QJsonObject &event : preview.events) {
        if (event.value(QStringLiteral("event")).toString() != u"first")
            continue;
        layout->addWidget(new QLabel(QStringLiteral("第一道题在学习页上是这样的："), &dialog));
        QString tm = event.value(QStringLiteral("tm")).toString();
        if (tm.size() > kFirstQuestionShown)
            tm = tm.left(kFirstQuestionShown) + QStringLiteral("……");
        tm.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        auto *first = new QPlainTextEdit(&dialog);
        first->setObjectName(QStringLiteral("firstQuestion"));
        first->setReadOnly(true);
        first->setFont(songFont(24, true));
        first->setMinimumHeight(257);
        first->setPlainText(tm);
        first->appendPlainText(QStringLiteral("正确答案是:") +
                               event.value(QStringLiteral("da")).toString());
        layout->addWidget(first);
    }

    QCheckBox *carry = nullptr;
    if (importable && practised > 0) {
        carry = new QCheckBox(QStringLiteral("把现在题库里已练习的 %1 道题的练习记录带到新题库里"
                                             "相同的题目上")
                                  .arg(practised),
                              &dialog);
        carry->setObjectName(QStringLiteral("carryMarks"));
        carry->setChecked(true);
        layout->addWidget(carry);
    }
    auto *buttons = new QDialogButtonBox(&dialog);
    QPushButton *import = buttons->addButton(QStringLiteral("导入"), QDialogButtonBox::AcceptRole);
    import->setEnabled(importable);
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);

    if (dialog.exec() != QDialog::Accepted)
        return false;
    *carryMarks = carry && carry->isChecked();
    return true;
}

void BankCare::importFile(const QString &given)
{
    QString file = given;
    if (file.isEmpty()) {
        QFileDialog dialog(m_window, QStringLiteral("从文件导入题库"), QDir::homePath(),
                           fileFilter());
        // Qt's own dialog: it draws in the program's Chinese face on every system.
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setFileMode(QFileDialog::ExistingFile);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return;
        file = dialog.selectedFiles().constFirst();
    }
    const QString name = QFileInfo(file).fileName();
    QString password;
    const ToolRun preview = runReader({QStringLiteral("check"), file, QStringLiteral("--machine")},
                                      file, QStringLiteral("正在读取 %1……").arg(name), &password);
    if (!ran(preview))
        return;
    // A file that could not be read at all has nothing to preview.
    if (!preview.result.contains(QStringLiteral("questions"))) {
        showErrorBox(
            QStringLiteral("没有导入 %1，题库没有改动：\n%2").arg(name, findingsText(preview)));
        return;
    }
    bool carryMarks = false;
    if (!confirmImport(file, preview, practisedCount(), &carryMarks))
        return;

    const QString target = bankPath();
    QTemporaryDir work(QFileInfo(target).absolutePath() + QStringLiteral("/.kxst-import-XXXXXX"));
    if (!work.isValid()) {
        showErrorBox(folderNotWritable(target));
        return;
    }
    const QString newBank = work.filePath(bank::kBankFileName);
    QStringList arguments{QStringLiteral("create"), newBank, QStringLiteral("--from"), file,
                          QStringLiteral("--machine")};
    if (!password.isEmpty())
        arguments << QStringLiteral("--password") << password;
    const ToolRun made = runTool(arguments, QStringLiteral("正在导入 %1……").arg(name));
    if (!ran(made))
        return;
    if (!made.result.value(QStringLiteral("ok")).toBool()) {
        showErrorBox(
            QStringLiteral("没有导入 %1，题库没有改动：\n%2").arg(name, findingsText(made)));
        return;
    }
    if (carryMarks) {
        const ToolRun carried = runTool({QStringLiteral("carry-marks"), target, newBank},
                                        QStringLiteral("正在带过练习记录……"));
        if (!ran(carried))
            return;
        if (carried.exitCode != 0) {
            showErrorBox(QStringLiteral("没能带过练习记录，题库没有改动：\n%1")
                             .arg(carried.output.trimmed()));
            return;
        }
    }
    const QString keptAs = unusedName(target + QStringLiteral(".backup-") + timeStamp());
    const bool hadBank = QFileInfo::exists(target);
    if (!replaceBank(newBank, target, keptAs))
        return;
    QString done = QStringLiteral("已从 %1 导入 %2 道题")
                       .arg(name)
                       .arg(made.result.value(QStringLiteral("written")).toInteger());
    if (hadBank)
        done += QStringLiteral("。原来的题库保存为 %1").arg(QFileInfo(keptAs).fileName());
    ShowInfo(done);
}

bool BankCare::replaceBank(const QString &newBank, const QString &target, const QString &keptAs)
{
    // The bank file is let go first: a file held open cannot be renamed everywhere.
    m_connection.close();
    const bool hadBank = QFileInfo::exists(target);
    QString failure;
    if (hadBank && !QFile::rename(target, keptAs)) {
        failure = QStringLiteral("无法把原来的题库改名为 %1").arg(QFileInfo(keptAs).fileName());
    } else if (!QFile::rename(newBank, target)) {
        if (hadBank)
            QFile::rename(keptAs, target);
        failure = QStringLiteral("无法把新题库放到 %1").arg(QDir::toNativeSeparators(target));
    }
    reopen(target);
    if (failure.isEmpty())
        return true;
    showErrorBox(failure + QStringLiteral("，题库没有改动。") + folderNotWritable(target));
    return false;
}

void BankCare::reopen(const QString &path)
{
    ConnectAccessDb(m_connection, path, bank::kBankPassword);
    OpenTable(m_query, bank::kQuestionTable);
}

void BankCare::convert(const QString &path)
{
    QTemporaryDir work(QFileInfo(path).absolutePath() + QStringLiteral("/.kxst-convert-XXXXXX"));
    if (!work.isValid()) {
        showErrorBox(folderNotWritable(path));
        return;
    }
    const QString newBank = work.filePath(bank::kBankFileName);
    QString password;
    const QString name = QFileInfo(path).fileName();
    const ToolRun made =
        runReader({QStringLiteral("create"), newBank, QStringLiteral("--from"), path,
                   QStringLiteral("--machine")},
                  path, QStringLiteral("正在把 %1 转换成新的格式……").arg(name), &password);
    if (!ran(made))
        return;
    if (!made.result.value(QStringLiteral("ok")).toBool()) {
        showErrorBox(QStringLiteral("没能转换 %1，它没有改动：\n%2").arg(name, findingsText(made)));
        return;
    }
    const QString keptAs = unusedName(path + QStringLiteral(".old-format"));
    if (!replaceBank(newBank, path, keptAs))
        return;
    ShowInfo(QStringLiteral("已把旧版题库转换成新的格式：%1 道题，其中已练习 %2 道。"
                            "原来的文件保存为 %3")
                 .arg(made.result.value(QStringLiteral("written")).toInteger())
                 .arg(made.result.value(QStringLiteral("practised")).toInteger())
                 .arg(QFileInfo(keptAs).fileName()));
}

void BankCare::repair(const QString &path)
{
    // The tool takes the bank's write lock; the program lets go of it meanwhile.
    m_connection.close();
    const ToolRun run =
        runTool({QStringLiteral("repair"), path},
                QStringLiteral("正在修复 %1……").arg(QFileInfo(path).fileName()), false);
    reopen(path);
    if (!ran(run))
        return;
    if (run.exitCode == 0) {
        ShowInfo(QStringLiteral("题库修复好了：") + run.output.trimmed());
        return;
    }
    const QString exported =
        unusedName(QFileInfo(path).absolutePath() + QStringLiteral("/kxst-能读出的题-") +
                   timeStamp() + QStringLiteral(".csv"));
    if (!askErrorBox(
            QStringLiteral("修复帮不了这个题库。点“导出”把还能读出的题存进 %1；"
                           "再向提供题库的人要一份新的 kxst.db，放进文件夹 %2\n%3")
                .arg(QFileInfo(exported).fileName(), nativeFolderOf(path), run.output.trimmed()),
            QStringLiteral("导出")))
        return;
    const ToolRun saved =
        runTool({QStringLiteral("export"), path, QStringLiteral("--to"), exported},
                QStringLiteral("正在导出……"), false);
    if (!ran(saved))
        return;
    if (saved.exitCode == 0)
        ShowInfo(saved.output.trimmed());
    else
        showErrorBox(QStringLiteral("没能导出：%1").arg(saved.output.trimmed()));
}

void BankCare::showProblem(const bank::BankError &error)
{
    switch (error.problem()) {
    case bank::Problem::OldFormat:
        if (askErrorBox(QStringLiteral("%1 是旧版程序的题库（Access 格式），要转换成新的格式才能"
                                       "用来练习。点“转换”：原来的文件改名为 %2.old-format "
                                       "保留下来，新题库带着原来的练习记录")
                            .arg(QDir::toNativeSeparators(error.path()),
                                 QFileInfo(error.path()).fileName()),
                        QStringLiteral("转换")))
            convert(error.path());
        return;
    case bank::Problem::Damaged: {
        const qsizetype lineEnd = error.message().indexOf(u'\n');
        const QString what = error.message().left(lineEnd);
        const QString detail = lineEnd < 0 ? QString() : error.message().mid(lineEnd);
        if (askErrorBox(what +
                            QStringLiteral("，但还能打开。点“修复”：先在旁边留一份原样的备份，"
                                           "再重建索引并检查题库") +
                            detail,
                        QStringLiteral("修复")))
            repair(error.path());
        return;
    }
    default:
        showErrorBox(error.message());
    }
}

} // namespace ui
