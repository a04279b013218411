#include <QtTest>
class TestDeviceSearch : public QObject
{
    Q_OBJECT private slots : void placeholder() { QVERIFY(true); }
};
QTEST_MAIN(TestDeviceSearch)
#include "test_devicesearch.moc"
