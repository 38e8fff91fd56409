#include "core/rootcontext.h"
#include "filelist/binfilelist.h"
#include "filelist/binfilenode.h"

#include <QDir>
#include <QFile>
#include <QQmlContext>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// The list reads the user's desktop folder; every case points HOME at a
// temporary folder first, so the real desktop is never touched.
class TestBinFileList : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void nameFilter_data();
    void nameFilter();
    void listsMatchingEntriesInCaseInsensitiveOrder();
    void missingFolderGivesEmptyListAndStillPublishes();
    void loadFile();
    void loadMissingFile();
    void nodeNotifiesOnlyOnChange();

private:
    void makeFile(const QString &name, const QByteArray &content = QByteArray());
    QScopedPointer<QTemporaryDir> m_home;
};

void TestBinFileList::init()
{
    m_home.reset(new QTemporaryDir);
    QVERIFY(m_home->isValid());
    qputenv("HOME", m_home->path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (m_home->path() + QStringLiteral("/.config")).toLocal8Bit());
}

void TestBinFileList::makeFile(const QString &name, const QByteArray &content)
{
    QDir(m_home->path()).mkpath(QStringLiteral("Desktop"));
    QFile file(m_home->path() + QStringLiteral("/Desktop/") + name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

void TestBinFileList::nameFilter_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("passes");
    QTest::newRow("three digits") << "fw.123" << true;
    QTest::newRow("two digits") << "fw.12" << false;
    QTest::newRow("four digits: a search, not a match") << "FW.1234" << true;
    QTest::newRow("digits then more") << "kvx.104.bin" << true;
    QTest::newRow("no dot") << "fw123" << false;
    QTest::newRow("text") << "notes.txt" << false;
    QTest::newRow("letters among digits") << "fw.1a3" << false;
}

void TestBinFileList::nameFilter()
{
    QFETCH(QString, name);
    QTEST(BinFileList::isFirmwareName(name), "passes");
}

void TestBinFileList::listsMatchingEntriesInCaseInsensitiveOrder()
{
    makeFile(QStringLiteral("fw.123"));
    makeFile(QStringLiteral("fw.12"));
    makeFile(QStringLiteral("FW.1234"));
    makeFile(QStringLiteral("notes.txt"));
    makeFile(QStringLiteral("a.999"));
    QVERIFY(QDir(m_home->path()).mkpath(QStringLiteral("Desktop/old.456")));

    QQmlEngine engine;
    g_rootContext = engine.rootContext();
    BinFileList list;
    g_rootContext = nullptr;

    QStringList keys;
    for (QObject *object : list.nodes()) {
        auto *node = qobject_cast<BinFileNode *>(object);
        QVERIFY(node);
        QCOMPARE(node->value(), node->key());
        keys << node->key();
    }
    QCOMPARE(keys, (QStringList{ "a.999", "fw.123", "FW.1234", "old.456" }));

    const QVariant published = engine.rootContext()->contextProperty(QStringLiteral("binfilelist"));
    QVERIFY(published.isValid());
    QCOMPARE(published.value<QList<QObject *>>(), list.nodes());
}

void TestBinFileList::missingFolderGivesEmptyListAndStillPublishes()
{
    QQmlEngine engine;
    g_rootContext = engine.rootContext();
    BinFileList list;
    g_rootContext = nullptr;
    QVERIFY(list.nodes().isEmpty());
    QVERIFY(engine.rootContext()->contextProperty(QStringLiteral("binfilelist")).isValid());
}

void TestBinFileList::loadFile()
{
    makeFile(QStringLiteral("fw.104"), QByteArray("VK-3F\0\0\0\x68\x00", 10));
    BinFileList list;
    QVERIFY(list.loadFile(QStringLiteral("fw.104")));
    QCOMPARE(list.size(), 10);
    QCOMPARE(list.content(), QByteArray("VK-3F\0\0\0\x68\x00", 10));
    QCOMPARE(list.fileName(), QStringLiteral("fw.104"));
}

void TestBinFileList::loadMissingFile()
{
    makeFile(QStringLiteral("fw.104"), "bytes");
    BinFileList list;
    QVERIFY(list.loadFile(QStringLiteral("fw.104")));
    QVERIFY(!list.loadFile(QStringLiteral("gone.105")));
    QCOMPARE(list.size(), 0);
    QVERIFY(list.content().isEmpty());
    QCOMPARE(list.fileName(), QStringLiteral("gone.105"));
}

void TestBinFileList::nodeNotifiesOnlyOnChange()
{
    BinFileNode node;
    QSignalSpy keySpy(&node, &BinFileNode::keyChanged);
    QSignalSpy valueSpy(&node, &BinFileNode::valueChanged);
    node.setKey(QStringLiteral("fw.123"));
    node.setKey(QStringLiteral("fw.123"));
    QCOMPARE(keySpy.count(), 1);
    QCOMPARE(valueSpy.count(), 0);
    node.setValue(QStringLiteral("fw.123"));
    node.setValue(QStringLiteral("fw.124"));
    QCOMPARE(valueSpy.count(), 2);
    QCOMPARE(node.metaObject()->method(node.metaObject()->methodOffset()).name(),
             QByteArray("keyChanged"));
}

QTEST_GUILESS_MAIN(TestBinFileList)
#include "tst_binfilelist.moc"
