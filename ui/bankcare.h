#pragma once

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QWidget;

namespace bank {
class BankError;
class Connection;
class Query;
} // namespace bank

namespace ui {

// The name of the bank tool's executable, which lies beside the program's.
QString bankToolPath();

// What a run of the bank tool gave: its exit code, its JSON lines (with
// --machine) and its other output.
struct ToolRun
{
    bool started = false;
    bool cancelled = false;
    int exitCode = -1;
    QList<QJsonObject> events;
    QJsonObject result; // the last "result" event
    QString output;     // stdout that is not JSON, and stderr
};

// Looks after the bank beside the program without a terminal: makes a new
// bank from an author's file, converts an old program's bank, repairs a
// damaged one. The bank tool does the work as a child process, so the
// program links none of the readers of authors' files.
class BankCare : public QObject
{
    Q_OBJECT

public:
    BankCare(QWidget *window, bank::Connection &connection, bank::Query &query);

    // The whole import: `file`, or one the user picks when empty; a preview;
    // the new bank in place of the old, which is kept beside it.
    void importFile(const QString &file = QString());

    // Shows the error box for a bank error, with the way out where there is
    // one (convert, repair), and takes it if the user wants.
    void showProblem(const bank::BankError &error);

    // The formats the bank tool reads, as a file dialog's filter.
    static QString fileFilter();

private:
    // Runs the tool under a progress dialog, which can stop it when `cancellable`.
    ToolRun runTool(const QStringList &arguments, const QString &label, bool cancellable = true);
    // Whether the run went to its end; says why not unless the user stopped it.
    bool ran(const ToolRun &run);
    // Runs create (or check) --machine, asking for an old bank's password while the tool wants one.
    ToolRun runReader(QStringList arguments, const QString &file, const QString &label,
                      QString *password);
    bool confirmImport(const QString &file, const ToolRun &preview, qint64 practised,
                       bool *carryMarks);
    void convert(const QString &bankPath);
    void repair(const QString &bankPath);
    // Puts `newBank` in place of `target`, keeping the old file under `keptAs`,
    // and opens it.
    bool replaceBank(const QString &newBank, const QString &target, const QString &keptAs);
    void reopen(const QString &path);
    qint64 practisedCount();
    QString bankPath() const;

    QWidget *m_window;
    bank::Connection &m_connection;
    bank::Query &m_query;
};

} // namespace ui
