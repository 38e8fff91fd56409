#include "core/visibletext.h"

#include <QTest>

// What a person is shown of a text from the network: every character that
// draws nothing, turns the text around or acts on a terminal as its escape;
// every other character as it is.
class TestVisibleText : public QObject
{
    Q_OBJECT

private slots:
    void escaped_data();
    void escaped();
    void everyHiddenCharacterIsEscaped();
};

namespace {

// Code points of the Basic Multilingual Plane (QString::fromUcs4 would drop a
// leading U+FEFF).
QString text(std::initializer_list<uint> codePoints)
{
    QString result;
    for (uint c : codePoints)
        result += QChar(ushort(c));
    return result;
}

} // namespace

void TestVisibleText::escaped_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");

    QTest::newRow("plain") << "Stage Left 2"
                           << "Stage Left 2";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("letters of any script") << QString::fromUtf8("Bühne – 舞台 左 שלום")
                                           << QString::fromUtf8("Bühne – 舞台 左 שלום");
    QTest::newRow("outside the BMP")
            << QString::fromUtf8("amp 🎛️ 𝄞") << QString::fromUtf8("amp 🎛️ 𝄞");
    QTest::newRow("markup is text, not hidden") << "<b>&amp;</b> <U+202E>"
                                                << "<b>&amp;</b> <U+202E>";
    QTest::newRow("right-to-left override")
            << text({ 0x202e, 'e', 'v', 'i', 'l', 0x202c }) << "<U+202E>evil<U+202C>";
    QTest::newRow("embeddings") << text({ 0x202a, 'a', 0x202b, 'b', 0x202d })
                                << "<U+202A>a<U+202B>b<U+202D>";
    QTest::newRow("isolates") << text({ 0x2066, 'a', 0x2067, 'b', 0x2068, 'c', 0x2069 })
                              << "<U+2066>a<U+2067>b<U+2068>c<U+2069>";
    QTest::newRow("zero width and marks")
            << text({ 'a', 0x200b, 'b', 0x200c, 'c', 0x200d, 'd', 0x200e, 'e', 0x200f, 0x061c })
            << "a<U+200B>b<U+200C>c<U+200D>d<U+200E>e<U+200F><U+061C>";
    QTest::newRow("word joiner, invisible operators")
            << text({ 'x', 0x2060, 0x2062, 0x2064 }) << "x<U+2060><U+2062><U+2064>";
    QTest::newRow("byte order mark") << text({ 0xfeff, 'A', 'm', 'p' }) << "<U+FEFF>Amp";
    QTest::newRow("terminal escape sequence") << "\x1b[2J\x1b]0;owned\x07"
                                              << "<U+001B>[2J<U+001B>]0;owned<U+0007>";
    QTest::newRow("CR, LF, tab, NUL")
            << QString("a\rb\nc\t") + QChar(0) << "a<U+000D>b<U+000A>c<U+0009><U+0000>";
    QTest::newRow("DEL and C1") << text({ 'a', 0x7f, 0x80, 0x9b, '3', '1', 'm', 0x9f })
                                << "a<U+007F><U+0080><U+009B>31m<U+009F>";
    QTest::newRow("line and paragraph separators")
            << text({ 'a', 0x2028, 'b', 0x2029 }) << "a<U+2028>b<U+2029>";
    QTest::newRow("neighbours stay") << text({ 0x1f, 0x20, 0x7e, 0xa0, 0x200a, 0x2010, 0x2027,
                                               0x202f, 0x2065, 0x206a, 0xfefe, 0xff00 })
                                     << text({ 0x1f, 0x20, 0x7e, 0xa0, 0x200a, 0x2010, 0x2027,
                                               0x202f, 0x2065, 0x206a, 0xfefe, 0xff00 })
                                                .replace(QChar(0x1f), QLatin1String("<U+001F>"));
}

void TestVisibleText::escaped()
{
    QFETCH(QString, text);
    QTEST(VisibleText::escaped(text), "shown");
}

// Whatever is hidden, nothing of the result is: escaping twice changes
// nothing more, and only the hidden characters changed.
void TestVisibleText::everyHiddenCharacterIsEscaped()
{
    int hidden = 0;
    for (uint c = 0; c <= 0xffff; ++c) {
        if (c >= 0xd800 && c <= 0xdfff)
            continue;
        const QString one = QChar(ushort(c));
        const QString shown = VisibleText::escaped(one);
        if (VisibleText::isHidden(c)) {
            ++hidden;
            QCOMPARE(shown, QStringLiteral("<U+%1>").arg(c, 4, 16, QLatin1Char('0')).toUpper());
        } else {
            QCOMPARE(shown, one);
        }
        QCOMPARE(VisibleText::escaped(shown), shown);
    }
    // C0 32, DEL and C1 33, U+061C, U+200B-U+200F 5, U+2028-U+202E 7,
    // U+2060-U+2064 5, U+2066-U+2069 4, U+FEFF.
    QCOMPARE(hidden, 32 + 33 + 1 + 5 + 7 + 5 + 4 + 1);
}

QTEST_GUILESS_MAIN(TestVisibleText)
#include "tst_visibletext.moc"
