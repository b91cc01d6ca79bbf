#include "bank/connectionstring.h"
#include "bank/store.h"

#include <QTest>

using bank::ConnectionString;

class TestConnectionString : public QObject
{
    Q_OBJECT

private slots:
    void programString_hasTheBlanksAroundEqualsAsWritten();
    void programString_readsBackEveryValue_data();
    void programString_readsBackEveryValue();
    void parse_acceptsOleDbSpellings_data();
    void parse_acceptsOleDbSpellings();
    void parse_rejectsBrokenText_data();
    void parse_rejectsBrokenText();
};

void TestConnectionString::programString_hasTheBlanksAroundEqualsAsWritten()
{
    QCOMPARE(bank::accessConnectionString(QStringLiteral("/opt/题库/kxst.db"),
                                          QStringLiteral("zkq.mvtrpw.xqz")),
             QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Persist Security Info = False;"
                            "Mode = ReadWrite;Data Source=/opt/题库/kxst.db;"
                            "Jet OLEDB:Database Password=zkq.mvtrpw.xqz"));
}

void TestConnectionString::programString_readsBackEveryValue_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("password");
    QTest::addRow("plain") << "/srv/kxst.db"
                           << "zkq.mvtrpw.xqz";
    QTest::addRow("chinese folder") << "/home/用户/练习/kxst.db"
                                    << "zkq.mvtrpw.xqz";
    QTest::addRow("semicolon in path") << "/tmp/a;b/kxst.db"
                                       << "pw";
    QTest::addRow("quote and semicolon") << "/tmp/\"x\";y/kxst.db"
                                         << "p;w\"";
    QTest::addRow("blanks at the ends") << " /tmp/x/kxst.db "
                                        << " pw ";
    QTest::addRow("equals sign") << "/tmp/a=b/kxst.db"
                                 << "a=b";
    QTest::addRow("empty password") << "/tmp/kxst.db"
                                    << "";
}

void TestConnectionString::programString_readsBackEveryValue()
{
    QFETCH(QString, path);
    QFETCH(QString, password);
    ConnectionString parsed;
    QVERIFY(parsed.parse(bank::accessConnectionString(path, password)));
    QCOMPARE(parsed.value(QStringLiteral("Data Source")), path);
    QCOMPARE(parsed.value(QStringLiteral("Jet OLEDB:Database Password")), password);
    QCOMPARE(parsed.value(QStringLiteral("Provider")), QStringLiteral("Microsoft.Jet.OLEDB.4.0"));
    QCOMPARE(parsed.value(QStringLiteral("Mode")), QStringLiteral("ReadWrite"));
    QCOMPARE(parsed.value(QStringLiteral("Persist Security Info")), QStringLiteral("False"));
}

void TestConnectionString::parse_acceptsOleDbSpellings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addRow("blanks around =") << "Mode = Read"
                                     << "mode"
                                     << "Read";
    QTest::addRow("key case") << "DATA SOURCE=/x"
                              << "Data Source"
                              << "/x";
    QTest::addRow("inner blanks of key") << "Data   Source=/x"
                                         << "Data Source"
                                         << "/x";
    QTest::addRow("trailing semicolon") << "Provider=P;"
                                        << "Provider"
                                        << "P";
    QTest::addRow("empty entries") << ";;Provider=P;;"
                                   << "Provider"
                                   << "P";
    QTest::addRow("single quotes") << "Data Source='/a;b'"
                                   << "Data Source"
                                   << "/a;b";
    QTest::addRow("doubled quote") << "Data Source=\"say \"\"hi\"\"\""
                                   << "Data Source"
                                   << "say \"hi\"";
    QTest::addRow("last one wins") << "Mode=Read;mode=ReadWrite"
                                   << "Mode"
                                   << "ReadWrite";
    QTest::addRow("empty value") << "Jet OLEDB:Database Password="
                                 << "Jet OLEDB:Database Password"
                                 << "";
}

void TestConnectionString::parse_acceptsOleDbSpellings()
{
    QFETCH(QString, text);
    QFETCH(QString, key);
    QFETCH(QString, value);
    ConnectionString parsed;
    QVERIFY(parsed.parse(text));
    QVERIFY(parsed.contains(key));
    QCOMPARE(parsed.value(key), value);
}

void TestConnectionString::parse_rejectsBrokenText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addRow("no equals") << "Provider";
    QTest::addRow("empty key") << "=value";
    QTest::addRow("unclosed quote") << "Data Source=\"/tmp/x";
    QTest::addRow("text after quote") << "Data Source=\"/tmp\"x;Mode=Read";
}

void TestConnectionString::parse_rejectsBrokenText()
{
    QFETCH(QString, text);
    QString error;
    QVERIFY(!ConnectionString().parse(text, &error));
    QVERIFY(!error.isEmpty());
}

QTEST_GUILESS_MAIN(TestConnectionString)
#include "tst_connectionstring.moc"
