#include <QFile>
#include <QRegularExpression>
#include <QTest>

// Reads the QML documents as they ship in the resources and checks that every
// Text element says how to read its text. A Text left at the automatic format
// renders anything that looks like markup as rich text, and the cards show
// names and texts that come from the network: a nickname with an image tag
// would make the updater fetch a URL or read a local file.
class TestQmlSources : public QObject
{
    Q_OBJECT

public:
    struct TextElement
    {
        int line = 0;
        QString format; // the value of its own textFormat, empty when missing
    };

    static QVector<TextElement> textElements(const QString &source);

private slots:
    void initTestCase();
    void scanner_data();
    void scanner();
    void everyTextIsPlain_data();
    void everyTextIsPlain();
};

// Blanks out comments and string literals (keeping line breaks and length),
// so that braces and words inside them do not count.
static QString codeOnly(const QString &source)
{
    QString out = source;
    int i = 0;
    const int n = source.size();
    while (i < n) {
        const QChar c = source.at(i);
        if (c == QLatin1Char('/') && i + 1 < n && source.at(i + 1) == QLatin1Char('/')) {
            while (i < n && source.at(i) != QLatin1Char('\n'))
                out[i++] = QLatin1Char(' ');
        } else if (c == QLatin1Char('/') && i + 1 < n && source.at(i + 1) == QLatin1Char('*')) {
            while (i < n
                   && !(source.at(i) == QLatin1Char('*') && i + 1 < n
                        && source.at(i + 1) == QLatin1Char('/'))) {
                if (source.at(i) != QLatin1Char('\n'))
                    out[i] = QLatin1Char(' ');
                ++i;
            }
            if (i < n)
                out[i++] = QLatin1Char(' ');
            if (i < n)
                out[i++] = QLatin1Char(' ');
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            out[i++] = QLatin1Char('_');
            while (i < n && source.at(i) != c) {
                if (source.at(i) == QLatin1Char('\\') && i + 1 < n)
                    out[i++] = QLatin1Char('_');
                out[i++] = QLatin1Char('_');
            }
            if (i < n)
                out[i++] = QLatin1Char('_');
        } else {
            ++i;
        }
    }
    return out;
}

QVector<TestQmlSources::TextElement> TestQmlSources::textElements(const QString &source)
{
    const QString code = codeOnly(source);
    static const QRegularExpression opening(QStringLiteral("(?<![\\w.])Text\\s*\\{"));
    static const QRegularExpression format(
            QStringLiteral("(?:^|[{;])\\s*textFormat\\s*:\\s*([\\w.]+)"),
            QRegularExpression::MultilineOption);
    QVector<TextElement> found;
    auto it = opening.globalMatch(code);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        TextElement element;
        element.line = code.leftRef(m.capturedStart()).count(QLatin1Char('\n')) + 1;
        // The element's own body: nested elements are blanked out so that a
        // child's textFormat does not count for its parent.
        QString own;
        int depth = 0;
        for (int i = m.capturedEnd() - 1; i < code.size(); ++i) {
            const QChar c = code.at(i);
            if (c == QLatin1Char('{'))
                ++depth;
            if (depth == 1 || c == QLatin1Char('\n'))
                own += c;
            if (c == QLatin1Char('}') && --depth == 0)
                break;
        }
        const QRegularExpressionMatch f = format.match(own);
        if (f.hasMatch())
            element.format = f.captured(1);
        found.append(element);
    }
    return found;
}

void TestQmlSources::initTestCase()
{
    // The collection is linked as objects and registers itself.
    QVERIFY(QFile::exists(QStringLiteral(":/UdpListView.qml")));
}

void TestQmlSources::scanner_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QStringList>("formats");
    QTest::newRow("missing") << "Item {\n Text {\n text: m_nickname\n }\n}"
                             << QStringList{ QString() };
    QTest::newRow("stated") << "Text { textFormat: Text.PlainText; text: x }"
                            << QStringList{ "Text.PlainText" };
    QTest::newRow("on its own line") << "Text {\n    text: x\n    textFormat: Text.StyledText\n}"
                                     << QStringList{ "Text.StyledText" };
    QTest::newRow("a child's does not count")
            << "Text {\n    text: x\n    Text {\n        textFormat: Text.PlainText\n    }\n}"
            << QStringList{ QString(), "Text.PlainText" };
    QTest::newRow("comment and string do not count")
            << "Text {\n    // textFormat: Text.PlainText\n    text: \"Text { textFormat: "
               "Text.PlainText }\"\n}"
            << QStringList{ QString() };
    QTest::newRow("other types") << "TextField { }\nTextMetrics { }\nid_text.Text { }"
                                 << QStringList{};
}

void TestQmlSources::scanner()
{
    QFETCH(QString, source);
    QFETCH(QStringList, formats);
    QStringList got;
    for (const TextElement &element : textElements(source))
        got << element.format;
    QCOMPARE(got, formats);
}

void TestQmlSources::everyTextIsPlain_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<int>("texts");
    QTest::newRow("main") << ":/main.qml" << 2;
    QTest::newRow("button") << ":/HuButton.qml" << 1;
    QTest::newRow("card") << ":/UdpDevice.qml" << 12;
    QTest::newRow("list") << ":/UdpListView.qml" << 0;
    QTest::newRow("version tag") << ":/VersionTag.qml" << 1;
    QTest::newRow("password") << ":/PasswordDialog.qml" << 2;
    QTest::newRow("limit warning") << ":/LimitWarning.qml" << 1;
    QTest::newRow("plan") << ":/PlanDialog.qml" << 2;
    QTest::newRow("save dialog") << ":/SaveDialog.qml" << 1;
    QTest::newRow("overlay") << ":/ProgressOverlay.qml" << 5;
    QTest::newRow("empty list") << ":/EmptyListHint.qml" << 3;
    QTest::newRow("cut text") << ":/CutText.qml" << 1;
    QTest::newRow("tip") << ":/TextTip.qml" << 1;
    QTest::newRow("address") << ":/AddressDialog.qml" << 1;
}

void TestQmlSources::everyTextIsPlain()
{
    QFETCH(QString, document);
    QFile file(document);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(document));
    const QVector<TextElement> elements = textElements(QString::fromUtf8(file.readAll()));
    QFETCH(int, texts);
    QCOMPARE(elements.size(), texts);
    for (const TextElement &element : elements) {
        QVERIFY2(!element.format.isEmpty(),
                 qPrintable(QStringLiteral("%1:%2: Text without textFormat")
                                    .arg(document)
                                    .arg(element.line)));
        QVERIFY2(element.format == QLatin1String("Text.PlainText"),
                 qPrintable(QStringLiteral("%1:%2: %3")
                                    .arg(document)
                                    .arg(element.line)
                                    .arg(element.format)));
    }
}

QTEST_MAIN(TestQmlSources)
#include "tst_qmlsources.moc"
