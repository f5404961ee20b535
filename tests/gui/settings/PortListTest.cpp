// The port list TComComboBox: filled from the tty class directory, sorted as text, and its Text
// rules.

#include "SettingsFixture.h"

#include <QtTest>

using namespace settings_test;

class PortListTest : public QObject {
    Q_OBJECT

private slots:
    void listsThePortsSortedAsTextAndSelectsTheFirst() {
        FakeTtyTree ports({"COM3", "COM1", "COM10", "com2"});
        TComComboBox box;
        box.setComProperty(cpPort);
        QCOMPARE(box.Items(), (std::vector<std::string>{"COM1", "COM10", "com2", "COM3"}));
        QCOMPARE(box.ItemIndex(), 0);
        QCOMPARE(box.Text(), std::string("COM1"));
        QVERIFY(box.isEditable()); // a pseudo-terminal or any device can be typed
    }

    void writingTextSelectsAListedNameWithoutRegardToCase() {
        FakeTtyTree ports({"COM3", "COM1", "ttyUSB0"});
        TComComboBox box;
        box.setComProperty(cpPort);
        box.setText("com3");
        QCOMPARE(box.Text(), std::string("COM3"));
        box.setText("ttyUSB9"); // not listed: the selection stays, nothing is added
        QCOMPARE(box.Text(), std::string("COM3"));
        QCOMPARE(box.count(), 3);
    }

    void aPortThatIsNotListedIsShownAsAnEntryOfItsOwn() {
        FakeTtyTree ports({"ttyACM0", "ttyUSB0"});
        TComComboBox box;
        box.setComProperty(cpPort);
        box.setPort("pts/0");
        QCOMPARE(box.Text(), std::string("pts/0"));
        QCOMPARE(box.Items(), (std::vector<std::string>{"ttyACM0", "ttyUSB0", "pts/0"}));
        QVERIFY(!box.isListed("pts/0"));
        QVERIFY(!box.toolTip().isEmpty()); // marked while chosen; the name stays the name
        box.setPort("ttyUSB1");            // one such entry at a time
        QCOMPARE(box.Items(), (std::vector<std::string>{"ttyACM0", "ttyUSB0", "ttyUSB1"}));
        box.setPort("ttyusb0"); // a device name differs by case: another port
        QCOMPARE(box.Text(), std::string("ttyusb0"));
        box.setPort("ttyUSB0");
        QCOMPARE(box.Items(), (std::vector<std::string>{"ttyACM0", "ttyUSB0"}));
        QVERIFY(box.isListed("ttyUSB0"));
        QVERIFY(box.toolTip().isEmpty());
    }

    void anEmptyListReadsEmpty() {
        FakeTtyTree ports;
        TComComboBox box;
        box.setComProperty(cpPort);
        box.setText("COM1");
        box.setItemIndex(0);
        QCOMPARE(box.Text(), std::string());
        QCOMPARE(box.ItemIndex(), -1);
    }
};

QTEST_MAIN(PortListTest)
#include "PortListTest.moc"
