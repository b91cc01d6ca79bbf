// Damaged and hostile files through the bank tool, as a user downloading them
// would run it: each must be refused with a message that names the file and the
// place, in bounded time and memory, and leave nothing behind.
#include "tests/support/bankfixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#ifndef Q_OS_WIN
#include <sys/resource.h>
#endif

namespace {

#if defined(__SANITIZE_ADDRESS__)
// The sanitizers' shadow memory and checks make every run bigger and slower.
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

constexpr int kTimeLimitMs = kSanitized ? 60000 : 10000;
#ifndef Q_OS_WIN
constexpr long kMemoryLimitKiB = 512 * 1024;
#endif

// Writes `mib` MiB of `unit` repeated after `head`: the large text inputs.
QByteArray repeated(const QByteArray &head, const QByteArray &unit, double mib)
{
    const qsizetype total = qsizetype(mib * (1 << 20));
    QByteArray bytes = head;
    bytes.reserve(head.size() + total);
    while (bytes.size() - head.size() < total)
        bytes += unit;
    bytes.truncate(head.size() + total);
    return bytes;
}

} // namespace

class TestHostile : public QObject
{
    Q_OBJECT

private slots:
    void refusedInBoundedTimeAndMemory_data();
    void refusedInBoundedTimeAndMemory();
};

void TestHostile::refusedInBoundedTimeAndMemory_data()
{
    QTest::addColumn<QString>("fixture");   // a file in fixtures/hostile, or empty
    QTest::addColumn<QString>("name");      // the file's name in the test's folder
    QTest::addColumn<QByteArray>("bytes");  // the file's content when made here
    QTest::addColumn<QStringList>("named"); // what the message must name besides the file

    const auto fixture = [](const char *file, const QStringList &named) {
        QTest::addRow("%s", file) << QString::fromLatin1(file) << QString::fromLatin1(file)
                                  << QByteArray() << named;
    };
    // A byte changed in the compressed parts: no endless loop.
    fixture("F01-xlsx-hang-corrupt-sst.xlsx", {"xl/sharedStrings.xml"});
    fixture("F01-xlsx-hang-corrupt-sheet.xlsx", {"xl/worksheets/sheet2.xml"});
    // The checksums are checked: no question changed without a word.
    fixture("F02-xlsx-crc-deflate-bitflip.xlsx", {"xl/worksheets/sheet1.xml", "CRC"});
    fixture("F02-xlsx-crc-stored.xlsx", {"xl/worksheets/sheet1.xml", "CRC"});
    // Cell references outside a sheet: no overflow, no huge row.
    fixture("F03-xlsx-column-int-overflow.xlsx", {"ZZZZZZZ2"});
    fixture("F04-xlsx-column-7letters.xlsx", {"AAAAAAA3"});
    fixture("F04-xlsx-column-max.xlsx", {"FXSHRXW2"});
    fixture("F05-xlsx-row-int64-overflow.xlsx", {"9223372036854775807", "1048576"});
    // Parts that inflate far beyond any bank.
    fixture("F06-xlsx-bomb-sharedstrings-2g.xlsx", {"xl/sharedStrings.xml"});
    fixture("F06-xlsx-bomb-cell-1g.xlsx", {"工作表第 2 行", "A2"});
    fixture("F06-xlsx-bomb-workbook-1g.xlsx", {"xl/workbook.xml"});
    fixture("F12-xlsx-stem-over-1e9-bytes.xlsx", {"工作表第 2 行", "A2"});
    // What would have become an empty or a replaced option.
    fixture("F07-xlsx-sharedstring-index-out-of-range.xlsx", {"工作表第 2 行", "C2", "7"});
    fixture("F08-xlsx-repeated-cell-reference.xlsx", {"工作表第 2 行", "B2"});
    // Text that is not what its encoding says.
    fixture("F09-csv-utf8-one-bad-byte.csv", {"UTF-8", "第 9 行", "GB18030"});
    fixture("F09-csv-gb18030-0x80.csv", {"第 3 行", "80"});
    fixture("F09-csv-gb18030-invalid-ff.csv", {"第 3 行", "FF"});
    fixture("F09-csv-gb18030-lone-lead-byte.csv", {"第 3 行", "81 2C"});
    fixture("F09-csv-gb18030-truncated-4byte.csv", {"第 4 行", "不完整"});
    fixture("F09-csv-utf16-lone-surrogate.csv", {"UTF-16", "第 3 行", "D800"});
    fixture("F09-csv-utf16-odd-trailing-byte.csv", {"UTF-16", "第 3 行", "不完整"});
    // Legacy banks with a looping memo chain or a cut-off last page.
#ifdef Q_OS_WIN
    // No legacy reader there: a Jet file is named for what it is, whatever is in it.
    const QStringList jet{"是旧格式的题库"};
    fixture("F10-jet-memo-chain-selfloop.jet4", jet);
    fixture("F13-jet-truncated-1-byte.jet4", jet);
    fixture("F13-jet-truncated-300-bytes.jet4", jet);
#else
    fixture("F10-jet-memo-chain-selfloop.jet4", {"id 为 4", "tm", "链"});
    fixture("F13-jet-truncated-1-byte.jet4", {"不是整页"});
    fixture("F13-jet-truncated-300-bytes.jet4", {"不是整页"});
#endif

    // Lines and records far longer than any question, made here.
    QTest::addRow("text line without an end, 40 MiB")
        << QString() << "long-line.txt" << repeated("1. ", "a", 40) << QStringList{"第 1 行"};
    QTest::addRow("CSV record of 8 million fields")
        << QString() << "commas.csv" << repeated("题干,A,B,C,D,答案\n", "a,", 15.9)
        << QStringList{"第 2 行", "16384"};
    QTest::addRow("CSV quote never closed, 40 MiB")
        << QString() << "open-quote.csv"
        << repeated("题干,A,B,C,D,答案\n\"", "中国的首都是哪座城市？,上海,北京,广州,深圳,B\n", 40)
        << QStringList{"第 2 行"};
}

void TestHostile::refusedInBoundedTimeAndMemory()
{
    QFETCH(QString, fixture);
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, named);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString input = dir.filePath(name);
    if (fixture.isEmpty()) {
        QFile file(input);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
    } else {
        QVERIFY(QFile::copy(QStringLiteral(KELVARO_FIXTURES "/hostile/") + fixture, input));
    }
    const QByteArray before = testsupport::fileHash(input);

    for (const QString &command : {QStringLiteral("create"), QStringLiteral("check")}) {
        QStringList args{command};
        if (command == u"create")
            args << dir.filePath(QStringLiteral("kxst.db")) << QStringLiteral("--from");
        args << input;

        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(QStringLiteral(KELVARO_BANK_TOOL), args);
        if (!process.waitForFinished(kTimeLimitMs)) {
            process.kill();
            process.waitForFinished();
            QFAIL(qPrintable(command + QStringLiteral(" took longer than the limit")));
        }
        const QString err = QString::fromUtf8(process.readAllStandardError());
        // check lists what it finds in a record on stdout, and stops with stderr.
        const QString said = err + QString::fromUtf8(process.readAllStandardOutput());
        QVERIFY2(process.exitStatus() == QProcess::NormalExit, qPrintable(command + u'\n' + said));
        QVERIFY2(process.exitCode() == 1, qPrintable(command + u'\n' + said));
        if (command == u"create")
            QVERIFY2(err.startsWith(QStringLiteral("kelvaro-bank: ")), qPrintable(err));
        QVERIFY2(said.contains(name), qPrintable(command + u'\n' + said));
        for (const QString &part : named)
            QVERIFY2(said.contains(part),
                     qPrintable(command + QStringLiteral(" does not name ") + part + u'\n' + said));

            // The largest resident size of any child so far: one row over the limit fails.
            // Windows keeps no peak size of ended children; the readers are the
            // same code as on Linux, where it is measured.
#ifndef Q_OS_WIN
        if (!kSanitized) {
            rusage usage{};
            QCOMPARE(getrusage(RUSAGE_CHILDREN, &usage), 0);
            QVERIFY2(usage.ru_maxrss < kMemoryLimitKiB,
                     qPrintable(QStringLiteral("%1 KiB").arg(usage.ru_maxrss)));
        }
#endif
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList{name});
    }
    QCOMPARE(testsupport::fileHash(input), before);
}

QTEST_GUILESS_MAIN(TestHostile)
#include "tst_hostile.moc"
