#include "protocol/replyline.h"

#include <QTest>

using ReplyLine::Prompt;
using ReplyLine::Reply;

Q_DECLARE_METATYPE(Prompt)
Q_DECLARE_METATYPE(Reply::Kind)

class TestReplyLine : public QObject
{
    Q_OBJECT

private slots:
    void commandLine_data();
    void commandLine();
    void loginPrompt_data();
    void loginPrompt();
    void judgeLine_data();
    void judgeLine();
    void formatDuration_data();
    void formatDuration();
    void couldBecomePrompt_data();
    void couldBecomePrompt();
    void promptLength();
    void lineEnd_data();
    void lineEnd();
    void couldBecomeReply_data();
    void couldBecomeReply();
    void acknowledges_data();
    void acknowledges();
};

void TestReplyLine::commandLine_data()
{
    QTest::addColumn<QString>("verb");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("line");

    QTest::newRow("leading blank kept") << "SET"
                                        << " UPDATE/SYSTEM:END"
                                        << "SET UPDATE/SYSTEM:END\r\n";
    QTest::newRow("blank added") << "SET"
                                 << "UPDATE/SYSTEM:END"
                                 << "SET UPDATE/SYSTEM:END\r\n";
    QTest::newRow("empty text") << "SET"
                                << ""
                                << "SET\r\n";
    QTest::newRow("one blank only") << "GET"
                                    << " "
                                    << "GET\r\n";
    QTest::newRow("trailing blank removed") << "GET"
                                            << "DEVICE/NAME "
                                            << "GET DEVICE/NAME\r\n";
    QTest::newRow("only one trailing blank removed") << "GET"
                                                     << "A  "
                                                     << "GET A \r\n";
    QTest::newRow("two leading blanks stay") << "GET"
                                             << "  A"
                                             << "GET  A\r\n";
    QTest::newRow("inner blanks stay") << "SET"
                                       << "A  B C"
                                       << "SET A  B C\r\n";
    QTest::newRow("tab is no blank") << "SET"
                                     << "\tA"
                                     << "SET \tA\r\n";
    QTest::newRow("both ends") << "SET"
                               << " X "
                               << "SET X\r\n";
    QTest::newRow("non-ASCII") << "SET" << QStringLiteral("NAME:Grüße")
                               << QStringLiteral("SET NAME:Grüße\r\n");
}

void TestReplyLine::commandLine()
{
    QFETCH(QString, verb);
    QFETCH(QString, text);
    QTEST(ReplyLine::commandLine(verb, text), "line");
}

void TestReplyLine::loginPrompt_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<Prompt>("prompt");

    QTest::newRow("Enter Password") << QByteArray("Enter Password") << Prompt::Password;
    QTest::newRow("Enter Password:") << QByteArray("Enter Password: ") << Prompt::Password;
    QTest::newRow("Entry Password") << QByteArray("Entry Password:\r\n") << Prompt::Password;
    QTest::newRow("Login Successful") << QByteArray("Login Successful") << Prompt::LoginSuccessful;
    QTest::newRow("Login Successful and more")
            << QByteArray("Login Successful\r\nOK SET\r\n") << Prompt::LoginSuccessful;
    QTest::newRow("Password Failed") << QByteArray("Password Failed\r\n") << Prompt::PasswordFailed;
    QTest::newRow("lower case is no prompt") << QByteArray("enter password") << Prompt::None;
    QTest::newRow("mixed case is no prompt") << QByteArray("Login successful") << Prompt::None;
    QTest::newRow("not yet complete") << QByteArray("Enter Passw") << Prompt::None;
    QTest::newRow("not at the start") << QByteArray(" Enter Password") << Prompt::None;
    QTest::newRow("after a line end") << QByteArray("\r\nEnter Password") << Prompt::None;
    QTest::newRow("reply line") << QByteArray("OK SET\r\n") << Prompt::None;
    QTest::newRow("empty") << QByteArray() << Prompt::None;
}

void TestReplyLine::loginPrompt()
{
    QFETCH(QByteArray, data);
    QTEST(ReplyLine::loginPrompt(data), "prompt");
}

void TestReplyLine::judgeLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<Reply::Kind>("kind");
    QTest::addColumn<QStringList>("words");

    const QStringList none;
    QTest::newRow("OK SET") << QByteArray("OK SET\r") << Reply::Acknowledged << none;
    QTest::newRow("OK GET") << QByteArray("OK GET") << Reply::Acknowledged << none;
    QTest::newRow("lower case") << QByteArray("ok set\r") << Reply::Acknowledged << none;
    QTest::newRow("mixed case") << QByteArray("Ok gEt") << Reply::Acknowledged << none;
    QTest::newRow("extra blanks") << QByteArray("  OK   SET  \r") << Reply::Acknowledged << none;
    QTest::newRow("CR inside a word") << QByteArray("O\rK SE\rT") << Reply::Acknowledged << none;
    QTest::newRow("value") << QByteArray("OK GET DEVICE/NAME:\"KVX\"\r") << Reply::Values
                           << QStringList{ "DEVICE/NAME:\"KVX\"" };
    QTest::newRow("value with a blank") << QByteArray("OK GET DEVICE/NAME:My Unit\r")
                                        << Reply::Values << QStringList{ "DEVICE/NAME:My", "Unit" };
    QTest::newRow("values after SET")
            << QByteArray("OK SET  A   B ") << Reply::Values << QStringList{ "A", "B" };
    QTest::newRow("OK alone") << QByteArray("OK\r") << Reply::OtherOk << none;
    QTest::newRow("first half of a cut line") << QByteArray("OK S") << Reply::OtherOk << none;
    QTest::newRow("second half of a cut line") << QByteArray("ET\r") << Reply::Ignored << none;
    QTest::newRow("OK and another word") << QByteArray("OK SETX") << Reply::OtherOk << none;
    QTest::newRow("OK and words") << QByteArray("OK WRITE DONE") << Reply::OtherOk << none;
    QTest::newRow("OK is a whole word") << QByteArray("OKAY SET") << Reply::Ignored << none;
    QTest::newRow("tab is no blank") << QByteArray("OK\tSET") << Reply::Ignored << none;
    QTest::newRow("NOTIFY") << QByteArray("NOTIFY A  B\r") << Reply::Notify
                            << QStringList{ "A", "B" };
    QTest::newRow("notify") << QByteArray("notify X") << Reply::Notify << QStringList{ "X" };
    QTest::newRow("NOTIFY alone") << QByteArray("NOTIFY\r") << Reply::Ignored << none;
    QTest::newRow("NG") << QByteArray("NG\r") << Reply::NotGood << none;
    QTest::newRow("ng with reason") << QByteArray("ng BAD CRC") << Reply::NotGood << none;
    QTest::newRow("NG is a whole word") << QByteArray("NGX") << Reply::Ignored << none;
    QTest::newRow("other word") << QByteArray("ERROR 5") << Reply::Ignored << none;
    QTest::newRow("prompt words as a line")
            << QByteArray("enter password") << Reply::Ignored << none;
    QTest::newRow("empty") << QByteArray() << Reply::Ignored << none;
    QTest::newRow("CR only") << QByteArray("\r") << Reply::Ignored << none;
    QTest::newRow("blanks only") << QByteArray("   ") << Reply::Ignored << none;
    QTest::newRow("text ends at NUL")
            << QByteArray("OK SET\0NOTIFY X", 15) << Reply::Acknowledged << none;
    QTest::newRow("NUL first") << QByteArray("\0OK SET", 7) << Reply::Ignored << none;
    QTest::newRow("Kelvin sign folds to k")
            << QByteArray("O\xe2\x84\xaa set\r") << Reply::Acknowledged << none;
    QTest::newRow("non-ASCII value")
            << QByteArray("OK GET DEVICE/NAME:Caf\xc3\xa9 2\r") << Reply::Values
            << QStringList{ QStringLiteral("DEVICE/NAME:Café"), "2" };
    QTest::newRow("UTF-8") << QByteArray("NOTIFY Gr\xc3\xbc\xc3\x9f"
                                         "e")
                           << Reply::Notify << QStringList{ QStringLiteral("Grüße") };
}

void TestReplyLine::judgeLine()
{
    QFETCH(QByteArray, line);
    const Reply reply = ReplyLine::judgeLine(line);
    QTEST(reply.kind, "kind");
    QTEST(reply.words, "words");
}

void TestReplyLine::formatDuration_data()
{
    QTest::addColumn<int>("ms");
    QTest::addColumn<QString>("text");
    QTest::newRow("connect") << 10000 << "10 s";
    QTest::newRow("reply") << 15000 << "15 s";
    QTest::newRow("flash") << 300000 << "5 min";
    QTest::newRow("one minute") << 60000 << "1 min";
    QTest::newRow("90 s") << 90000 << "90 s";
    QTest::newRow("short") << 250 << "250 ms";
    QTest::newRow("not whole seconds") << 1500 << "1500 ms";
}

void TestReplyLine::formatDuration()
{
    QFETCH(int, ms);
    QTEST(ReplyLine::formatDuration(ms), "text");
}

void TestReplyLine::couldBecomePrompt_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("could");
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("first letter") << QByteArray("E") << true;
    QTest::newRow("Enter Pa") << QByteArray("Enter Pa") << true;
    QTest::newRow("Entry Passwor") << QByteArray("Entry Passwor") << true;
    QTest::newRow("Login Succ") << QByteArray("Login Succ") << true;
    QTest::newRow("Password Fa") << QByteArray("Password Fa") << true;
    QTest::newRow("whole prompt") << QByteArray("Enter Password") << false;
    QTest::newRow("lower case") << QByteArray("enter pa") << false;
    QTest::newRow("a reply") << QByteArray("OK GET DEVICE/NA") << false;
    QTest::newRow("leading blank") << QByteArray(" Enter") << false;
}

void TestReplyLine::couldBecomePrompt()
{
    QFETCH(QByteArray, data);
    QTEST(ReplyLine::couldBecomePrompt(data), "could");
}

void TestReplyLine::promptLength()
{
    QCOMPARE(ReplyLine::promptLength(Prompt::None), 0);
    for (const char *text :
         { "Enter Password", "Entry Password", "Login Successful", "Password Failed" }) {
        const QByteArray prompt(text);
        QCOMPARE(ReplyLine::promptLength(ReplyLine::loginPrompt(prompt)), prompt.size());
    }
}

void TestReplyLine::lineEnd_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("end");
    QTest::newRow("LF") << QByteArray("OK SET\nX") << 6;
    QTest::newRow("CR LF") << QByteArray("OK SET\r\n") << 6;
    QTest::newRow("lone CR") << QByteArray("OK SET\rOK") << 6;
    QTest::newRow("LF CR") << QByteArray("A\n\r") << 1;
    QTest::newRow("first byte") << QByteArray("\rA") << 0;
    QTest::newRow("no end") << QByteArray("OK SET") << -1;
    QTest::newRow("empty") << QByteArray() << -1;
    QTest::newRow("NUL ends it") << QByteArray("A\0B\n", 4) << 1;
}

void TestReplyLine::lineEnd()
{
    QFETCH(QByteArray, data);
    QTEST(ReplyLine::lineEnd(data.constData(), data.size()), "end");
}

// An unfinished line that cannot become OK, NG or NOTIFY is dropped at once;
// one that still can waits for its rest.
void TestReplyLine::couldBecomeReply_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("could");
    QTest::newRow("O") << QByteArray("O") << true;
    QTest::newRow("ok set, cut") << QByteArray("ok se") << true;
    QTest::newRow("N") << QByteArray("N") << true;
    QTest::newRow("NOTI") << QByteArray("NOTI") << true;
    QTest::newRow("blanks only") << QByteArray("  ") << true;
    QTest::newRow("after a blank") << QByteArray(" OK") << true;
    QTest::newRow("rest of a value") << QByteArray("4B0119") << false;
    QTest::newRow("rest of the words") << QByteArray(" UPDATE/SYSTEM:BIN") << false;
    QTest::newRow("OKAY") << QByteArray("OKAY") << false;
    QTest::newRow("NG followed by more") << QByteArray("NGX") << false;
    QTest::newRow("whole word OK") << QByteArray("OK S") << true;
    QTest::newRow("whole other word") << QByteArray("NOT ") << false;
    QTest::newRow("beyond ASCII") << QByteArray("O\xe2\x84") << true;
}

void TestReplyLine::couldBecomeReply()
{
    QFETCH(QByteArray, data);
    QTEST(ReplyLine::couldBecomeReply(data), "could");
}

void TestReplyLine::acknowledges_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("plain");
    QTest::addColumn<bool>("withWords");
    QTest::addColumn<bool>("set");
    QTest::newRow("OK SET") << QByteArray("OK SET") << true << true << true;
    QTest::newRow("OK GET") << QByteArray("OK GET") << true << true << false;
    QTest::newRow("OK SET and a word") << QByteArray("OK SET STA") << false << true << true;
    QTest::newRow("ok set and words") << QByteArray("ok set a b") << false << true << true;
    QTest::newRow("non-ASCII words") << QByteArray("OK SET Caf\xc3\xa9") << false << true << true;
    QTest::newRow("OK GET and a value")
            << QByteArray("OK GET DEVICE/NAME:X") << false << false << false;
    QTest::newRow("NOTIFY") << QByteArray("NOTIFY SET X") << false << false << false;
    QTest::newRow("OK SETX") << QByteArray("OK SETX A") << false << false << false;
    QTest::newRow("OK") << QByteArray("OK") << false << false << false;
    QTest::newRow("NG") << QByteArray("NG SET") << false << false << false;
}

void TestReplyLine::acknowledges()
{
    QFETCH(QByteArray, line);
    const Reply reply = ReplyLine::judgeLine(line);
    QTEST(ReplyLine::acknowledges(reply, false), "plain");
    QTEST(ReplyLine::acknowledges(reply, true), "withWords");
    QTEST(reply.set, "set");
}

QTEST_APPLESS_MAIN(TestReplyLine)
#include "tst_replyline.moc"
