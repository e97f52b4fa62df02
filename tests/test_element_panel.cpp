// The element panel: loading a record from the database, the layout for the element's role, the
// panel's clearing, and the live behaviour of the text fields.
#include "station/element_tree_controller.h"
#include "station/role_layout.h"
#include "station_fixture.h"

#include <QApplication>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;

namespace {

using Entries = QList<std::pair<QByteArray, QByteArray>>;

QByteArray section(const QByteArray& name, const Entries& entries) {
    QByteArray text = '[' + name + "]\r\n";
    for (const auto& [key, value] : entries)
        text += key + '=' + value + "\r\n";
    return text;
}

Entries with(Entries entries, const QByteArray& key, const QByteArray& value) {
    for (auto& entry : entries) {
        if (entry.first == key) {
            entry.second = value;
            return entries;
        }
    }
    entries.append({key, value});
    return entries;
}

Entries without(Entries entries, const QByteArray& key) {
    entries.removeIf([&](const auto& entry) { return entry.first == key; });
    return entries;
}

// The records the station writes: 13 entries for an encoder, 14 for a decoder.
const Entries kEncoder = {{"NAME", "E1"},
                          {"IP", "127.0.0.1"},
                          {"MASK", "255.255.255.0"},
                          {"GW", "127.0.0.254"},
                          {"REMOTE", "10.0.0.9"},
                          {"INPUT", "1"},
                          {"TYPE", "1"},
                          {"TX", "0"},
                          {"ROLE", "1"},
                          {"SN", "1234"},
                          {"VER", "2.1"},
                          {"SFN", "1"},
                          {"BUF", "0"}};
const Entries kDecoder = {{"NAME", "D1"},      {"IP", "127.0.0.1"},   {"MASK", "255.0.0.0"},
                          {"GW", "127.0.0.1"}, {"REMOTE", "0.0.0.0"}, {"INPUT", "0"},
                          {"TYPE", "0"},       {"TX", "0"},           {"ROLE", "2"},
                          {"SN", "77"},        {"VER", "2"},          {"SFN", "0"},
                          {"BUF", "3"},        {"ATT", "200"}};

const QString kE1 = u"00:1A:2B:3C:4D:5E"_s;
const QString kD1 = u"00:00:00:00:00:0D"_s;
const QString kX = u"00:00:00:00:00:AA"_s; // the record a test writes itself

const QColor kLightRed(255, 128, 128);
const QColor kLightYellow(255, 255, 192);

QColor normalBase() {
    return QLineEdit().palette().color(QPalette::Base);
}
QColor base(const QLineEdit* field) {
    return field->palette().color(QPalette::Base);
}

} // namespace

class TestElementPanel : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup() { m_station.reset(); }

    // Loading
    void recordsLoadIntoThePanel();
    void fifteenEntriesAreRefused();
    void roleDecidesTheScrollBars_data();
    void roleDecidesTheScrollBars();
    void versionCaption_data();
    void versionCaption();
    void boundAndSfn_data();
    void boundAndSfn();
    void invalidStoredAddressIsLightRed_data();
    void invalidStoredAddressIsLightRed();
    void loadResetsThePingIndicator();
    void loadingADecoderSendsNoAttenuation();

    // Role layout
    void layoutForTheRoleCaption_data();
    void layoutForTheRoleCaption();
    void notApplicableShowsWhereTheControlIsHidden();
    void roleChangeStopsTheLevelDisplay_data();
    void roleChangeStopsTheLevelDisplay();
    void multicastHidesTheRemoteAddress();
    void clearElementFields();

    // Field behaviour
    void addressColourWhileTyping_data();
    void addressColourWhileTyping();
    void nameIsUpperCasedWhenLeft();
    void focusSelectsTheWholeText_data();
    void focusSelectsTheWholeText();
    void returningToTheWindowKeepsTheCursor();

private:
    varnetix::WindowControls& c() { return m_station->c(); }
    varnetix::MainWindow& window() { return *m_station->window; }
    // Writes the two standard records and the test's own, rebuilds the tree and clicks a node.
    void writeWith(const Entries& own);
    bool select(const QString& key) { return m_station->selectNode(key); }
    void showActive();

    std::unique_ptr<Station> m_station;
};

void TestElementPanel::init() {
    m_station = std::make_unique<Station>();
    m_station->writeDatabase(section("001A2B3C4D5E", kEncoder) + section("00000000000D", kDecoder));
    m_station->start();
}

void TestElementPanel::writeWith(const Entries& own) {
    m_station->writeDatabase(section("001A2B3C4D5E", kEncoder) + section("00000000000D", kDecoder) +
                             section("0000000000AA", own));
    window().tree().Load_Config();
}

void TestElementPanel::showActive() {
    window().show();
    QApplication::setActiveWindow(&window());
    QVERIFY(QTest::qWaitForWindowActive(&window()));
}

void TestElementPanel::recordsLoadIntoThePanel() {
    c().txtVLAN_OM->setText(u"7"_s);
    QVERIFY(select(kE1));
    QCOMPARE(c().txtElementName->text(), u"E1"_s);
    QCOMPARE(c().txtElementIP->text(), u"127.0.0.1"_s);
    QCOMPARE(c().txtElementMask->text(), u"255.255.255.0"_s);
    QCOMPARE(c().txtElementGW->text(), u"127.0.0.254"_s);
    QCOMPARE(c().txtRemoteIP->text(), u"10.0.0.9"_s);
    QCOMPARE(c().cmbAudioInput->currentText(), u"Analog"_s);
    QCOMPARE(c().cmbAudioType->currentText(), u"MPX"_s);
    QCOMPARE(c().cmbAudioTX->currentText(), u"Unicast"_s);
    QCOMPARE(c().lblVersion->text(), u"2.10"_s);
    QCOMPARE(c().cmbEncoders->currentIndex(), 0);
    QVERIFY(c().chkSFNEnabled->isChecked());
    QCOMPARE(c().lblElementType->text(), u"ENCODER"_s);
    // The colon form is shown, while the section read is 001A2B3C4D5E.
    QCOMPARE(c().lblElementMAC->text(), kE1);
    QCOMPARE(c().lblSerialNumber->text(), u"1234"_s);
    QCOMPARE(c().lblPing->text(), u"<Click to test>"_s);

    // The decoder's record has 14 entries, the most a record may have.
    QVERIFY(select(kD1));
    QCOMPARE(c().txtElementName->text(), u"D1"_s);
    QCOMPARE(c().lblElementType->text(), u"DECODER"_s);
    QCOMPARE(c().lblElementMAC->text(), kD1);
    QCOMPARE(c().scrlAtten->value(), 200);
    QCOMPARE(c().lblAttenDB->text(), u"-27.5 dB"_s);
    QCOMPARE(c().scrlBuffer->value(), 3);
    QCOMPARE(c().lblLatency->text(), u"7.5mS"_s);
    QCOMPARE(c().lblVersion->text(), u"2.00"_s);
    QVERIFY(!c().chkSFNEnabled->isChecked());

    QVERIFY(m_station->dialogs.boxes.isEmpty());
    QCOMPARE(c().txtVLAN_OM->text(), u"7"_s);
    for (QTimer* timer : {c().timerRemoteSent, c().tmrRetryPing, c().timerGetMAC, c().tmrVolume})
        QVERIFY(!timer->isActive());
}

void TestElementPanel::fifteenEntriesAreRefused() {
    writeWith(with(kDecoder, "BOUND", "1"));
    QVERIFY(select(kE1));
    QVERIFY(c().button(varnetix::kButtonStartLevel)->isEnabled());
    c().shpPing->setFillColor(QColor(0, 255, 0));
    c().lblPing->setCaption(u"Reply from 127.0.0.1: 1mS"_s);

    QVERIFY(select(kX));
    QCOMPARE(m_station->dialogs.boxes.size(), 1);
    const RecordedBox box = m_station->dialogs.boxes[0];
    QCOMPARE(box.icon, RecordedBox::Critical);
    QCOMPARE(box.title, u"Halvoren Varnetix Manager"_s);
    QCOMPARE(box.text, u"The data stored in your computer about this element, is corrupted (1).\r"
                       u"Cannot load this element info."_s);
    QCOMPARE(c().txtElementName->text(), u"E1"_s);
    QCOMPARE(c().lblElementMAC->text(), kE1);
    QCOMPARE(c().lblElementType->text(), u"ENCODER"_s);
    QCOMPARE(c().lblPing->text(), u"Reply from 127.0.0.1: 1mS"_s);
    // What runs before the count check has run.
    QCOMPARE(c().shpPing->fillColor(), kLightYellow);
    QVERIFY(!c().button(varnetix::kButtonStartLevel)->isEnabled());
    QVERIFY(!c().button(varnetix::kButtonStopLevel)->isEnabled());
}

void TestElementPanel::roleDecidesTheScrollBars_data() {
    QTest::addColumn<QByteArray>("role");
    QTest::addColumn<QByteArray>("att"); // "-" leaves the key out
    QTest::addColumn<QByteArray>("buf");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("atten");
    QTest::addColumn<int>("buffer");
    // Before each load: attenuation 100, buffer 5.
    QTest::newRow("encoder") << QByteArray("1") << QByteArray("30") << QByteArray("4")
                             << u"ENCODER"_s << 100 << 0;
    QTest::newRow("decoder") << QByteArray("2") << QByteArray("30") << QByteArray("4")
                             << u"DECODER"_s << 30 << 4;
    QTest::newRow("decoder without buf")
        << QByteArray("2") << QByteArray("14") << QByteArray("-") << u"DECODER"_s << 14 << 1;
    QTest::newRow("decoder, values no numbers")
        << QByteArray("2") << QByteArray("abc") << QByteArray("") << u"DECODER"_s << 100 << 5;
    QTest::newRow("decoder, values out of range")
        << QByteArray("2") << QByteArray("256") << QByteArray("9") << u"DECODER"_s << 100 << 5;
    QTest::newRow("decoder without att")
        << QByteArray("2") << QByteArray("-") << QByteArray("8") << u"DECODER"_s << 100 << 8;
    QTest::newRow("role 3") << QByteArray("3") << QByteArray("30") << QByteArray("4")
                            << u"UNKNOWN"_s << 100 << 5;
    QTest::newRow("role 0") << QByteArray("0") << QByteArray("30") << QByteArray("4")
                            << u"UNKNOWN"_s << 100 << 5;
    QTest::newRow("role not a number")
        << QByteArray("DECODER") << QByteArray("30") << QByteArray("4") << u"UNKNOWN"_s << 100 << 5;
}

void TestElementPanel::roleDecidesTheScrollBars() {
    QFETCH(QByteArray, role);
    QFETCH(QByteArray, att);
    QFETCH(QByteArray, buf);
    QFETCH(QString, caption);
    QFETCH(int, atten);
    QFETCH(int, buffer);
    Entries record = with(without(without(kDecoder, "ATT"), "BUF"), "ROLE", role);
    record = with(record, "SN", "4242");
    if (att != "-")
        record = with(record, "ATT", att);
    if (buf != "-")
        record = with(record, "BUF", buf);
    writeWith(record);
    c().scrlAtten->setValue(100);
    c().scrlBuffer->setValue(5);

    QVERIFY(select(kX));
    QCOMPARE(c().lblElementType->text(), caption);
    QCOMPARE(c().scrlAtten->value(), atten);
    QCOMPARE(c().scrlBuffer->value(), buffer);
    // A value that could not be taken does not stop the steps after it.
    QCOMPARE(c().lblElementMAC->text(), kX);
    QCOMPARE(c().lblSerialNumber->text(), u"4242"_s);
    QCOMPARE(c().lblPing->text(), u"<Click to test>"_s);
    QVERIFY(m_station->dialogs.boxes.isEmpty());
}

void TestElementPanel::versionCaption_data() {
    QTest::addColumn<QByteArray>("ver"); // "-" leaves the key out
    QTest::addColumn<QString>("caption");
    QTest::newRow("2") << QByteArray("2") << u"2.00"_s;
    QTest::newRow("missing") << QByteArray("-") << u"2.00"_s;
    QTest::newRow("2.1") << QByteArray("2.1") << u"2.10"_s;
    QTest::newRow("decimal comma") << QByteArray("2,5") << u"2.50"_s;
    QTest::newRow("11.25") << QByteArray("11.25") << u"11.25"_s;
}

void TestElementPanel::versionCaption() {
    QFETCH(QByteArray, ver);
    QFETCH(QString, caption);
    writeWith(ver == "-" ? without(kEncoder, "VER") : with(kEncoder, "VER", ver));
    QVERIFY(select(kX));
    QCOMPARE(c().lblVersion->text(), caption);
}

void TestElementPanel::boundAndSfn_data() {
    QTest::addColumn<QByteArray>("bound"); // "-" leaves the key out
    QTest::addColumn<QByteArray>("sfn");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("checked");
    QTest::newRow("neither") << QByteArray("-") << QByteArray("-") << 0 << false;
    QTest::newRow("bound to E1, SFN on") << QByteArray("1") << QByteArray("1") << 1 << true;
    QTest::newRow("none, SFN off") << QByteArray("0") << QByteArray("0") << 0 << false;
}

void TestElementPanel::boundAndSfn() {
    QFETCH(QByteArray, bound);
    QFETCH(QByteArray, sfn);
    QFETCH(int, index);
    QFETCH(bool, checked);
    Entries record = without(without(kDecoder, "SFN"), "ATT"); // room for "bound"
    if (bound != "-")
        record = with(record, "BOUND", bound);
    if (sfn != "-")
        record = with(record, "SFN", sfn);
    writeWith(record);
    // Another element's values are on show before.
    c().cmbEncoders->setCurrentIndex(1 - index);
    c().chkSFNEnabled->setChecked(!checked);

    QVERIFY(select(kX));
    QCOMPARE(c().cmbEncoders->currentIndex(), index);
    QCOMPARE(c().chkSFNEnabled->isChecked(), checked);
}

void TestElementPanel::invalidStoredAddressIsLightRed_data() {
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QString>("field");
    QTest::newRow("ip") << QByteArray("IP") << u"txtElementIP"_s;
    QTest::newRow("mask") << QByteArray("MASK") << u"txtElementMask"_s;
    QTest::newRow("gw") << QByteArray("GW") << u"txtElementGW"_s;
    QTest::newRow("remote") << QByteArray("REMOTE") << u"txtRemoteIP"_s;
}

void TestElementPanel::invalidStoredAddressIsLightRed() {
    QFETCH(QByteArray, key);
    QFETCH(QString, field);
    writeWith(with(kEncoder, key, "192.168.1"));
    QVERIFY(select(kX));
    for (QLineEdit* box :
         {c().txtElementIP, c().txtElementMask, c().txtElementGW, c().txtRemoteIP}) {
        QCOMPARE(base(box), box->objectName() == field ? kLightRed : normalBase());
    }
    QCOMPARE(window().findChild<QLineEdit*>(field)->text(), u"192.168.1"_s);

    // The next element's valid address puts the normal colour back at once.
    QVERIFY(select(kE1));
    QCOMPARE(base(window().findChild<QLineEdit*>(field)), normalBase());
}

void TestElementPanel::loadResetsThePingIndicator() {
    const std::pair<QColor, QString> previous[] = {
        {QColor(0, 255, 0), u"Reply from 127.0.0.1: 1mS"_s},
        {QColor(255, 0, 0), u"Destination host unreachable"_s},
    };
    for (const auto& [colour, caption] : previous) {
        c().shpPing->setFillColor(colour);
        c().lblPing->setCaption(caption);
        QVERIFY(select(kD1));
        QCOMPARE(c().shpPing->fillColor(), kLightYellow);
        QCOMPARE(c().lblPing->text(), u"<Click to test>"_s);
    }
    // Loading is local: no echo is sent.
    QVERIFY(m_station->probe.addresses.isEmpty());
}

void TestElementPanel::loadingADecoderSendsNoAttenuation() {
    // A second decoder with another attenuation, loaded while the operator was on the scroll bar.
    writeWith(with(with(kDecoder, "NAME", "D2"), "ATT", "60"));
    showActive();
    QVERIFY(select(kD1));
    c().scrlAtten->setFocus(Qt::MouseFocusReason);
    QCOMPARE(QApplication::focusWidget(), c().scrlAtten);
    const QByteArray database = m_station->database();

    // Clicked with the mouse, as the operator does.
    QTreeWidget* tree = c().TreeView1;
    QTreeWidgetItem* node = tree->findItems(u"D2 "_s, Qt::MatchStartsWith).value(0);
    QVERIFY(node);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(node).center());
    QCOMPARE(c().lblElementMAC->text(), kX);
    QCOMPARE(c().scrlAtten->value(), 60);

    // Chosen with the keyboard.
    tree->setCurrentItem(tree->topLevelItem(1));
    QTest::keyClick(tree, Qt::Key_Return);
    QCOMPARE(c().lblElementMAC->text(), kD1);
    QCOMPARE(c().scrlAtten->value(), 200);
    QCOMPARE(m_station->database(), database);

    // The operator's own step is the first command the decoder gets.
    c().scrlAtten->setFocus(Qt::TabFocusReason);
    QTest::keyClick(c().scrlAtten, Qt::Key_Right);
    QCOMPARE(c().scrlAtten->value(), 201);
    const QNetworkDatagram command = Station::receive(m_station->commandPeer);
    QCOMPARE(command.data(), QByteArray("\xC9\x00", 2));
    QVERIFY(m_station->dialogs.boxes.isEmpty());
}

void TestElementPanel::layoutForTheRoleCaption_data() {
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("encoder");
    QTest::newRow("ENCODER") << u"ENCODER"_s << true;
    QTest::newRow("DECODER") << u"DECODER"_s << false;
    QTest::newRow("UNKNOWN") << u"UNKNOWN"_s << false;
    QTest::newRow("-") << u"-"_s << false;
    QTest::newRow("lower case") << u"encoder"_s << false;
}

void TestElementPanel::layoutForTheRoleCaption() {
    QFETCH(QString, caption);
    QFETCH(bool, encoder);
    // Start from the other layout, with a buffer and a TX type set.
    c().lblElementType->setCaption(encoder ? u"DECODER"_s : u"ENCODER"_s);
    c().cmbAudioTX->setCurrentIndex(0);
    c().scrlBuffer->setEnabled(true);
    c().scrlBuffer->setValue(4);
    QCOMPARE(c().lblLatency->text(), u"10mS"_s);

    c().lblElementType->setCaption(caption);
    QCOMPARE(c().txtRemoteIP->isHidden(), !encoder);
    QCOMPARE(c().cmbAudioInput->isHidden(), !encoder);
    QCOMPARE(c().cmbAudioTX->isHidden(), !encoder);
    QCOMPARE(c().scrlAtten->isHidden(), encoder);
    QCOMPARE(c().lblAttenDB->isHidden(), encoder);
    QCOMPARE(c().Label9->text(), encoder ? u"Audio source:"_s : u"Audio atten:"_s);
    QCOMPARE(c().Label7->text(), u"Remote IP:"_s);
    QCOMPARE(c().Label10->text(), u"TX type:"_s);
    QCOMPARE(c().button(varnetix::kButtonStartLevel)->isEnabled(), encoder);
    QVERIFY(!c().button(varnetix::kButtonStopLevel)->isEnabled());
    QCOMPARE(c().VUMeter->isEnabled(), encoder);
    QCOMPARE(c().scrlBuffer->isEnabled(), !encoder);
    QCOMPARE(c().scrlBuffer->value(), encoder ? 0 : 4);
    QCOMPARE(c().lblLatency->text(), encoder ? u"0mS"_s : u"10mS"_s);
    QVERIFY(c().chkGetVolume->isHidden());
}

void TestElementPanel::notApplicableShowsWhereTheControlIsHidden() {
    showActive();
    QWidget* panel = c().frmProperties;
    const auto seenAt = [panel](QLabel* label) {
        return panel->childAt(label->geometry().center());
    };
    QVERIFY(select(kE1));
    QCOMPARE(seenAt(c().lblTxNotApplicable), c().cmbAudioTX);
    QCOMPARE(seenAt(c().lblRemoteNotApplicable), c().txtRemoteIP);
    c().cmbAudioTX->setCurrentIndex(1);
    QCOMPARE(seenAt(c().lblTxNotApplicable), c().cmbAudioTX);
    QCOMPARE(seenAt(c().lblRemoteNotApplicable), c().lblRemoteNotApplicable);
    QVERIFY(select(kD1));
    QCOMPARE(seenAt(c().lblTxNotApplicable), c().lblTxNotApplicable);
    QCOMPARE(seenAt(c().lblRemoteNotApplicable), c().lblRemoteNotApplicable);
    QCOMPARE(seenAt(c().Label9), c().Label9);
}

void TestElementPanel::roleChangeStopsTheLevelDisplay_data() {
    QTest::addColumn<QString>("next");
    QTest::addColumn<bool>("encoder");
    QTest::newRow("decoder") << kD1 << false;
    QTest::newRow("the same encoder") << kE1 << true;
    QTest::newRow("another encoder") << kX << true;
}

void TestElementPanel::roleChangeStopsTheLevelDisplay() {
    QFETCH(QString, next);
    QFETCH(bool, encoder);
    writeWith(with(kEncoder, "NAME", "E2"));
    QVERIFY(select(kE1));
    c().button(varnetix::kButtonStartLevel)->trigger();
    QVERIFY(c().tmrVolume->isActive());
    c().VUMeter->setLevelWidth(800);
    c().lblVolume->setText(u"-6dBFS"_s);

    QVERIFY(select(next));
    QVERIFY(!c().chkGetVolume->isChecked());
    QVERIFY(!c().tmrVolume->isActive());
    QCOMPARE(c().VUMeter->levelWidth(), 0);
    QCOMPARE(c().lblVolume->text(), u"-oodBFS"_s);
    // The start button follows the loaded role, even when the role caption stays the same.
    QCOMPARE(c().button(varnetix::kButtonStartLevel)->isEnabled(), encoder);
    QVERIFY(!c().button(varnetix::kButtonStopLevel)->isEnabled());
}

void TestElementPanel::multicastHidesTheRemoteAddress() {
    writeWith(with(kEncoder, "TX", "1"));
    for (const QString& before : {kD1, kE1}) {
        QVERIFY(select(before));
        QVERIFY(select(kX));
        QCOMPARE(c().cmbAudioTX->currentText(), u"Multicast"_s);
        QVERIFY(c().txtRemoteIP->isHidden());
        QVERIFY(!c().cmbAudioTX->isHidden());
    }
    c().cmbAudioTX->setCurrentIndex(0);
    QVERIFY(!c().txtRemoteIP->isHidden());
    c().cmbAudioTX->setCurrentIndex(1);
    QVERIFY(c().txtRemoteIP->isHidden());

    // No TX selection counts as Unicast; on a decoder the TX type shows nothing.
    writeWith(without(kEncoder, "TX"));
    QVERIFY(select(kX));
    QCOMPARE(c().cmbAudioTX->currentIndex(), -1);
    QVERIFY(!c().txtRemoteIP->isHidden());
    QVERIFY(select(kD1));
    c().cmbAudioTX->setCurrentIndex(0);
    QVERIFY(c().txtRemoteIP->isHidden());
}

void TestElementPanel::clearElementFields() {
    writeWith(with(kEncoder, "IP", "10.0.0"));
    QVERIFY(select(kX));
    c().txtVLAN_Audio->setText(u"9"_s);
    c().shpPing->setFillColor(QColor(0, 255, 0));
    QCOMPARE(base(c().txtElementIP), kLightRed);

    window().roleLayout().ClearElementFields();
    QCOMPARE(c().lblElementType->text(), u"-"_s);
    QCOMPARE(c().lblElementMAC->text(), u"-"_s);
    QCOMPARE(c().lblSerialNumber->text(), u"-"_s);
    QCOMPARE(c().lblPing->text(), u"<Unknown>"_s);
    QCOMPARE(c().lblVersion->text(), u"-"_s);
    QCOMPARE(c().lblLatency->text(), u"0mS"_s);
    QCOMPARE(c().shpPing->fillColor(), kLightYellow);
    for (QLineEdit* field : {c().txtElementName, c().txtElementIP, c().txtElementMask,
                             c().txtElementGW, c().txtRemoteIP}) {
        QVERIFY(field->text().isEmpty());
        QCOMPARE(base(field), normalBase());
    }
    for (QComboBox* list : {c().cmbAudioInput, c().cmbAudioType, c().cmbAudioTX})
        QCOMPARE(list->currentIndex(), -1);
    // The decoder layout, with no audio-level buttons.
    QVERIFY(c().txtRemoteIP->isHidden());
    QCOMPARE(c().Label9->text(), u"Audio atten:"_s);
    QVERIFY(!c().button(varnetix::kButtonStartLevel)->isEnabled());
    QVERIFY(!c().button(varnetix::kButtonStopLevel)->isEnabled());
    QCOMPARE(c().txtVLAN_Audio->text(), u"9"_s);
    QVERIFY(m_station->dialogs.boxes.isEmpty());
}

void TestElementPanel::addressColourWhileTyping_data() {
    QTest::addColumn<QString>("field");
    for (const char* field : {"txtElementIP", "txtElementMask", "txtElementGW", "txtRemoteIP"})
        QTest::newRow(field) << QString::fromLatin1(field);
}

void TestElementPanel::addressColourWhileTyping() {
    QFETCH(QString, field);
    auto* box = window().findChild<QLineEdit*>(field);
    QVERIFY(box);
    box->clear();
    const QString address = u"192.168.1.1"_s;
    for (qsizetype typed = 1; typed <= address.size(); ++typed) {
        QTest::keyClick(box, address.at(typed - 1).toLatin1());
        QCOMPARE(box->text(), address.left(typed));
        QCOMPARE(base(box), typed < address.size() ? kLightRed : normalBase());
    }
    for (const char digit : {'5', '6'}) {
        QTest::keyClick(box, digit);
        QCOMPARE(base(box), normalBase()); // 192.168.1.15, 192.168.1.156
    }
    QTest::keyClick(box, '7');
    QCOMPARE(base(box), kLightRed); // 1567 is no byte

    // The text is never refused; deleting it all gives the normal colour.
    QCOMPARE(box->text(), u"192.168.1.1567"_s);
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(box, Qt::Key_Backspace);
    QCOMPARE(box->text(), u"192.168.1."_s);
    QCOMPARE(base(box), kLightRed);
    while (!box->text().isEmpty())
        QTest::keyClick(box, Qt::Key_Backspace);
    QCOMPARE(base(box), normalBase());
}

void TestElementPanel::nameIsUpperCasedWhenLeft() {
    showActive();
    c().txtElementName->setFocus(Qt::TabFocusReason);
    QVERIFY(c().txtElementName->hasFocus());
    c().txtElementName->clear();
    QTest::keyClicks(c().txtElementName, u"studio a"_s);
    QCOMPARE(c().txtElementName->text(), u"studio a"_s);
    QTest::keyClick(c().txtElementName, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), c().txtElementIP);
    QCOMPARE(c().txtElementName->text(), u"STUDIO A"_s);
}

void TestElementPanel::focusSelectsTheWholeText_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("mouse");
    for (const char* field : {"txtElementName", "txtElementIP", "txtElementMask", "txtElementGW",
                              "txtRemoteIP", "txtVLAN_OM", "txtVLAN_Audio"}) {
        QTest::addRow("%s, tab", field) << QString::fromLatin1(field) << false;
        QTest::addRow("%s, mouse", field) << QString::fromLatin1(field) << true;
    }
}

void TestElementPanel::focusSelectsTheWholeText() {
    QFETCH(QString, field);
    QFETCH(bool, mouse);
    showActive();
    auto* box = window().findChild<QLineEdit*>(field);
    QVERIFY(box);
    box->setText(u"10.20.30.40"_s);
    box->setCursorPosition(3);
    c().TreeView1->setFocus();

    if (mouse)
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
    else
        box->setFocus(Qt::TabFocusReason);
    QVERIFY(box->hasFocus());
    QTRY_COMPARE(box->selectedText(), u"10.20.30.40"_s);
    QTest::keyClick(box, '7');
    QCOMPARE(box->text().toUpper(), u"7"_s);
}

void TestElementPanel::returningToTheWindowKeepsTheCursor() {
    showActive();
    QLineEdit* box = c().txtElementIP;
    box->setText(u"9"_s);
    box->setFocus(Qt::MouseFocusReason);
    QTRY_VERIFY(box->hasSelectedText());
    QTest::keyClicks(box, u"10.0.0"_s);
    QTest::keyClick(box, Qt::Key_Left);

    // A message box (or another program) takes the activation and gives it back.
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QApplication::setActiveWindow(&window());
    QVERIFY(QTest::qWaitForWindowActive(&window()));
    QCOMPARE(QApplication::focusWidget(), box);
    bool settled = false;
    QTimer::singleShot(0, this, [&] { settled = true; });
    QTRY_VERIFY(settled);

    QVERIFY(!box->hasSelectedText());
    QTest::keyClick(box, '1');
    QCOMPARE(box->text(), u"10.0.10"_s);
}

QTEST_MAIN(TestElementPanel)
#include "test_element_panel.moc"
