#include "bank/rowset.h"

#include <QTest>

#include <limits>

using bank::RowSet;

namespace {

constexpr qint64 kNoRow = RowSet::kNoRow;
constexpr qint64 kBeforeAll = std::numeric_limits<qint64>::min();
constexpr qint64 kLargest = std::numeric_limits<qint64>::max();

std::vector<qint64> toVector(const QList<qint64> &list)
{
    return {list.begin(), list.end()};
}

RowSet makeSet(const QString &kind, qint64 span, const QList<qint64> &ids)
{
    if (kind == QLatin1String("dense"))
        return RowSet::dense(span);
    if (kind == QLatin1String("listed"))
        return RowSet::listed(toVector(ids));
    return RowSet::excluding(span, toVector(ids));
}

// The rows of a set, walked from the start.
QList<qint64> walk(const RowSet &rows)
{
    QList<qint64> walked;
    for (qint64 row = rows.after(kBeforeAll); row != kNoRow; row = rows.after(row))
        walked.append(row);
    return walked;
}

} // namespace

class TestRowSet : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
    void with_data();
    void with();
};

void TestRowSet::answers_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<qint64>("span");
    QTest::addColumn<QList<qint64>>("ids");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<qint64>("argument");
    QTest::addColumn<qint64>("expected");

    const QList<qint64> none;
    // Empty sets of each kind.
    QTest::addRow("dense empty: count") << "dense" << 0ll << none << "count" << 0ll << 0ll;
    QTest::addRow("dense empty: after")
        << "dense" << 0ll << none << "after" << kBeforeAll << kNoRow;
    QTest::addRow("dense empty: rowAt 1") << "dense" << 0ll << none << "rowAt" << 1ll << kNoRow;
    QTest::addRow("listed empty: count") << "listed" << 0ll << none << "count" << 0ll << 0ll;
    QTest::addRow("listed empty: after")
        << "listed" << 0ll << none << "after" << kBeforeAll << kNoRow;
    QTest::addRow("listed empty: rowAt 1") << "listed" << 0ll << none << "rowAt" << 1ll << kNoRow;
    const QList<qint64> all = {1, 2, 3};
    QTest::addRow("excluding all: count") << "excluding" << 3ll << all << "count" << 0ll << 0ll;
    QTest::addRow("excluding all: after")
        << "excluding" << 3ll << all << "after" << kBeforeAll << kNoRow;
    QTest::addRow("excluding all: rowAt 1")
        << "excluding" << 3ll << all << "rowAt" << 1ll << kNoRow;

    // 1..5.
    QTest::addRow("dense: count") << "dense" << 5ll << none << "count" << 0ll << 5ll;
    QTest::addRow("dense: after start") << "dense" << 5ll << none << "after" << kBeforeAll << 1ll;
    QTest::addRow("dense: after 0") << "dense" << 5ll << none << "after" << 0ll << 1ll;
    QTest::addRow("dense: after 4") << "dense" << 5ll << none << "after" << 4ll << 5ll;
    QTest::addRow("dense: after last") << "dense" << 5ll << none << "after" << 5ll << kNoRow;
    QTest::addRow("dense: after the end") << "dense" << 5ll << none << "after" << 9ll << kNoRow;
    QTest::addRow("dense: after the largest row id")
        << "dense" << 5ll << none << "after" << kLargest << kNoRow;
    QTest::addRow("dense: numberOf first") << "dense" << 5ll << none << "numberOf" << 1ll << 1ll;
    QTest::addRow("dense: numberOf last") << "dense" << 5ll << none << "numberOf" << 5ll << 5ll;
    QTest::addRow("dense: numberOf past the end")
        << "dense" << 5ll << none << "numberOf" << 9ll << 6ll;
    QTest::addRow("dense: contains 0") << "dense" << 5ll << none << "contains" << 0ll << 0ll;
    QTest::addRow("dense: contains first") << "dense" << 5ll << none << "contains" << 1ll << 1ll;
    QTest::addRow("dense: contains last") << "dense" << 5ll << none << "contains" << 5ll << 1ll;
    QTest::addRow("dense: contains past the end")
        << "dense" << 5ll << none << "contains" << 6ll << 0ll;
    QTest::addRow("dense: rowAt 0") << "dense" << 5ll << none << "rowAt" << 0ll << kNoRow;
    QTest::addRow("dense: rowAt first") << "dense" << 5ll << none << "rowAt" << 1ll << 1ll;
    QTest::addRow("dense: rowAt last") << "dense" << 5ll << none << "rowAt" << 5ll << 5ll;
    QTest::addRow("dense: rowAt past the end")
        << "dense" << 5ll << none << "rowAt" << 6ll << kNoRow;

    // 3, 7, 10.
    const QList<qint64> listed = {3, 7, 10};
    QTest::addRow("listed: count") << "listed" << 0ll << listed << "count" << 0ll << 3ll;
    QTest::addRow("listed: after start")
        << "listed" << 0ll << listed << "after" << kBeforeAll << 3ll;
    QTest::addRow("listed: after first") << "listed" << 0ll << listed << "after" << 3ll << 7ll;
    QTest::addRow("listed: after a gap") << "listed" << 0ll << listed << "after" << 8ll << 10ll;
    QTest::addRow("listed: after last") << "listed" << 0ll << listed << "after" << 10ll << kNoRow;
    QTest::addRow("listed: after the end")
        << "listed" << 0ll << listed << "after" << 99ll << kNoRow;
    QTest::addRow("listed: numberOf first")
        << "listed" << 0ll << listed << "numberOf" << 3ll << 1ll;
    QTest::addRow("listed: numberOf middle")
        << "listed" << 0ll << listed << "numberOf" << 7ll << 2ll;
    QTest::addRow("listed: numberOf last")
        << "listed" << 0ll << listed << "numberOf" << 10ll << 3ll;
    QTest::addRow("listed: numberOf a gap")
        << "listed" << 0ll << listed << "numberOf" << 8ll << 3ll;
    QTest::addRow("listed: numberOf past the end")
        << "listed" << 0ll << listed << "numberOf" << 11ll << 4ll;
    QTest::addRow("listed: contains a row")
        << "listed" << 0ll << listed << "contains" << 7ll << 1ll;
    QTest::addRow("listed: contains a gap")
        << "listed" << 0ll << listed << "contains" << 8ll << 0ll;
    QTest::addRow("listed: contains past the end")
        << "listed" << 0ll << listed << "contains" << 11ll << 0ll;
    QTest::addRow("listed: rowAt 0") << "listed" << 0ll << listed << "rowAt" << 0ll << kNoRow;
    QTest::addRow("listed: rowAt first") << "listed" << 0ll << listed << "rowAt" << 1ll << 3ll;
    QTest::addRow("listed: rowAt middle") << "listed" << 0ll << listed << "rowAt" << 2ll << 7ll;
    QTest::addRow("listed: rowAt last") << "listed" << 0ll << listed << "rowAt" << 3ll << 10ll;
    QTest::addRow("listed: rowAt past the end")
        << "listed" << 0ll << listed << "rowAt" << 4ll << kNoRow;

    // 1..10 but 1, 2, 5 and 10: the rows 3, 4, 6, 7, 8, 9.
    const QList<qint64> left = {1, 2, 5, 10};
    QTest::addRow("excluding: count") << "excluding" << 10ll << left << "count" << 0ll << 6ll;
    QTest::addRow("excluding: after start")
        << "excluding" << 10ll << left << "after" << kBeforeAll << 3ll;
    QTest::addRow("excluding: after a row left out")
        << "excluding" << 10ll << left << "after" << 4ll << 6ll;
    QTest::addRow("excluding: after last")
        << "excluding" << 10ll << left << "after" << 9ll << kNoRow;
    QTest::addRow("excluding: after the end")
        << "excluding" << 10ll << left << "after" << 20ll << kNoRow;
    QTest::addRow("excluding: after the largest row id")
        << "excluding" << 10ll << left << "after" << kLargest << kNoRow;
    QTest::addRow("excluding: numberOf first")
        << "excluding" << 10ll << left << "numberOf" << 3ll << 1ll;
    QTest::addRow("excluding: numberOf past a gap")
        << "excluding" << 10ll << left << "numberOf" << 6ll << 3ll;
    QTest::addRow("excluding: numberOf last")
        << "excluding" << 10ll << left << "numberOf" << 9ll << 6ll;
    QTest::addRow("excluding: numberOf a row left out")
        << "excluding" << 10ll << left << "numberOf" << 5ll << 3ll;
    QTest::addRow("excluding: numberOf past the end")
        << "excluding" << 10ll << left << "numberOf" << 12ll << 7ll;
    QTest::addRow("excluding: contains a row")
        << "excluding" << 10ll << left << "contains" << 3ll << 1ll;
    QTest::addRow("excluding: contains a row left out")
        << "excluding" << 10ll << left << "contains" << 5ll << 0ll;
    QTest::addRow("excluding: contains past the end")
        << "excluding" << 10ll << left << "contains" << 11ll << 0ll;
    QTest::addRow("excluding: rowAt 0") << "excluding" << 10ll << left << "rowAt" << 0ll << kNoRow;
    QTest::addRow("excluding: rowAt first") << "excluding" << 10ll << left << "rowAt" << 1ll << 3ll;
    QTest::addRow("excluding: rowAt past a gap")
        << "excluding" << 10ll << left << "rowAt" << 3ll << 6ll;
    QTest::addRow("excluding: rowAt last") << "excluding" << 10ll << left << "rowAt" << 6ll << 9ll;
    QTest::addRow("excluding: rowAt past the end")
        << "excluding" << 10ll << left << "rowAt" << 7ll << kNoRow;
}

void TestRowSet::answers()
{
    QFETCH(QString, kind);
    QFETCH(qint64, span);
    QFETCH(QList<qint64>, ids);
    QFETCH(QString, operation);
    QFETCH(qint64, argument);
    QFETCH(qint64, expected);
    const RowSet rows = makeSet(kind, span, ids);
    qint64 answer = 0;
    if (operation == QLatin1String("count"))
        answer = rows.count();
    else if (operation == QLatin1String("after"))
        answer = rows.after(argument);
    else if (operation == QLatin1String("numberOf"))
        answer = rows.numberOf(argument);
    else if (operation == QLatin1String("contains"))
        answer = rows.contains(argument) ? 1 : 0;
    else
        answer = rows.rowAt(argument);
    QCOMPARE(answer, expected);

    // Every row's number leads back to it, in the order a walk meets them.
    const QList<qint64> walked = walk(rows);
    QCOMPARE(qint64(walked.size()), rows.count());
    for (int n = 1; n <= walked.size(); ++n) {
        QCOMPARE(rows.rowAt(n), walked.at(n - 1));
        QCOMPARE(rows.numberOf(walked.at(n - 1)), qint64(n));
        QVERIFY(rows.contains(walked.at(n - 1)));
    }
}

void TestRowSet::with_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<qint64>("span");
    QTest::addColumn<QList<qint64>>("ids");
    QTest::addColumn<QList<qint64>>("in");
    QTest::addColumn<QList<qint64>>("out");
    QTest::addColumn<QList<qint64>>("expected");

    const QList<qint64> none;
    QTest::addRow("dense takes in its own rows")
        << "dense" << 4ll << none << QList<qint64>{2} << none << QList<qint64>{1, 2, 3, 4};
    QTest::addRow("dense leaves rows out")
        << "dense" << 4ll << none << none << QList<qint64>{1, 3} << QList<qint64>{2, 4};
    QTest::addRow("listed") << "listed" << 0ll << QList<qint64>{2, 4, 8} << QList<qint64>{1, 5}
                            << QList<qint64>{4, 9} << QList<qint64>{1, 2, 5, 8};
    QTest::addRow("listed from empty")
        << "listed" << 0ll << none << QList<qint64>{6} << none << QList<qint64>{6};
    QTest::addRow("excluding") << "excluding" << 6ll << QList<qint64>{2, 4} << QList<qint64>{4}
                               << QList<qint64>{1, 5} << QList<qint64>{3, 4, 6};
    QTest::addRow("excluding, out past the span") << "excluding" << 3ll << QList<qint64>{2} << none
                                                  << QList<qint64>{0, 3, 7} << QList<qint64>{1};
    QTest::addRow("nothing changes")
        << "excluding" << 5ll << QList<qint64>{5} << none << none << QList<qint64>{1, 2, 3, 4};
}

void TestRowSet::with()
{
    QFETCH(QString, kind);
    QFETCH(qint64, span);
    QFETCH(QList<qint64>, ids);
    QFETCH(QList<qint64>, in);
    QFETCH(QList<qint64>, out);
    QFETCH(QList<qint64>, expected);
    const RowSet before = makeSet(kind, span, ids);
    const RowSet after = before.with(toVector(in), toVector(out));
    QCOMPARE(walk(after), expected);
    QCOMPARE(after.count(), qint64(expected.size()));
    for (int n = 1; n <= expected.size(); ++n)
        QCOMPARE(after.rowAt(n), expected.at(n - 1));
    // A value: the set it came from is as it was.
    QCOMPARE(walk(before), walk(makeSet(kind, span, ids)));
}

QTEST_APPLESS_MAIN(TestRowSet)
#include "tst_rowset.moc"
