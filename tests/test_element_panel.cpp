// The element panel: a record loaded from the database, the layout for the element's role, the
// panel's clearing, and the live behaviour of the text fields.
#include "station_fixture.h"

#include <QCheckBox>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kX = u"00:00:00:00:00:AA"_s; // the record a test writes itself
const QColor kLightRed(255, 128, 128);

} // namespace

class TestElementPanel : public QObject {
    Q_OBJECT

    std::unique_ptr<Station> m_station;

    // Writes the two sample records and the test's own, and rebuilds the tree.
    void writeWith(const QByteArrayList& own) {
        m_station->writeDatabase(sampleDatabase() + recordText("0000000000AA", own));
        m_station->button(2)->trigger(); // Refresh list
    }
    void showActive() { QVERIFY(Station::activate(m_station->window.get())); }
    static QColor base(const QLineEdit* field) { return field->palette().color(QPalette::Base); }
    static QColor normalBase() { return QLineEdit().palette().color(QPalette::Base); }
    template <typename T = QWidget> T* w(const char* name) { return m_station->find<T>(name); }
    QString text(const char* name) { return m_station->text(name); }

private slots:
    void init() {
        m_station = std::make_unique<Station>();
        m_station->start(sampleDatabase());
    }
    void cleanup() { m_station.reset(); }

    void recordLoads_data() {
        QTest::addColumn<QByteArrayList>("changes"); // to the decoder's record
        QTest::addColumn<QString>("shown"); // name=text of the controls after the load, "|" apart
        QTest::addColumn<int>("atten");
        QTest::addColumn<int>("buffer"); // before each load: attenuation 100, buffer 5
        QTest::newRow("decoder")
            << QByteArrayList{}
            << u"txtElementName=D1|txtElementIP=127.0.0.1|txtElementMask=255.0.0.0|"
               u"txtRemoteIP=0.0.0.0|cmbAudioInput=Digital|cmbAudioType=Left/Right|"
               u"cmbAudioTX=Unicast|lblElementType=DECODER|lblVersion=2.00|lblSerialNumber=77|"
               u"lblAttenDB=-27.5 dB|lblLatency=7.5mS|lblPing=<Click to test>|"
               u"cmbEncoders=<None>|lblElementMAC=00:00:00:00:00:AA"_s
            << 200 << 3;
        QTest::newRow("encoder") << QByteArrayList{"ROLE=1", "TYPE=1", "INPUT=1", "VER=2.1"}
                                 << u"lblElementType=ENCODER|cmbAudioType=MPX|"
                                    u"cmbAudioInput=Analog|lblVersion=2.10|lblLatency=0mS"_s
                                 << 100 << 0;
        QTest::newRow("without buf, ver") << QByteArrayList{"BUF=", "VER=", "ATT=14"}
                                          << u"lblVersion=2.00|lblAttenDB=Mute"_s << 14 << 1;
        QTest::newRow("values no numbers, out of range")
            << QByteArrayList{"ATT=abc", "BUF=9", "INPUT=5", "TX=x", "VER=2,5"}
            << u"cmbAudioInput=|cmbAudioTX=|lblVersion=2.50"_s << 100 << 5;
        QTest::newRow("role 3, then steps go on")
            << QByteArrayList{"ROLE=3", "SN=4242"}
            << u"lblElementType=UNKNOWN|lblSerialNumber=4242|lblElementMAC=00:00:00:00:00:AA"_s
            << 100 << 5;
        QTest::newRow("role not a number")
            << QByteArrayList{"ROLE=DECODER"} << u"lblElementType=UNKNOWN"_s << 100 << 5;
        QTest::newRow("bound to E1, SFN on") << QByteArrayList{"ATT=", "BOUND=1", "SFN=1"}
                                             << u"cmbEncoders=E1 [00:1A:2B:3C:4D:5E]"_s << 100 << 3;
    }
    void recordLoads() {
        QFETCH(QByteArrayList, changes);
        QFETCH(QString, shown);
        writeWith(replaced(kDecoderEntries, changes));
        w<QLineEdit>("txtVLAN_OM")->setText(u"7"_s);
        w<QScrollBar>("scrlAtten")->setValue(100);
        w<QScrollBar>("scrlBuffer")->setValue(5);
        w<QCheckBox>("chkSFNEnabled")->setChecked(false);

        QVERIFY(m_station->selectNode(kX));
        // A rebuild of the tree (as after an accepted answer) leaves what was loaded as it was.
        m_station->station->findChild<varnetix::ElementTreeController*>()->reload();
        for (const QString& pair : shown.split(u'|')) {
            const QString name = pair.section(u'=', 0, 0);
            QCOMPARE(name + u'=' + text(name.toLatin1().constData()), pair);
        }
        QTEST(w<QScrollBar>("scrlAtten")->value(), "atten");
        QTEST(w<QScrollBar>("scrlBuffer")->value(), "buffer");
        QCOMPARE(w<QCheckBox>("chkSFNEnabled")->isChecked(), changes.contains("SFN=1"));
        QCOMPARE(text("txtVLAN_OM"), u"7"_s);
        QVERIFY(m_station->dialogs.boxes.isEmpty());
        for (const char* timer : {"timerRemoteSent", "tmrRetryPing", "timerGetMAC", "tmrVolume"})
            QVERIFY(!m_station->timer(timer)->isActive());
    }

    void fifteenEntriesAreRefused() {
        writeWith(kDecoderEntries + QByteArrayList{"BOUND=1"});
        QVERIFY(m_station->selectNode(kEncoderKey));
        QVERIFY(m_station->button(6)->isEnabled());
        QVERIFY(m_station->selectNode(kX));
        QCOMPARE(m_station->dialogs.boxes,
                 QList{critical(u"The data stored in your computer about this element, is "
                                u"corrupted (1).\rCannot load this element info."_s)});
        QCOMPARE(text("txtElementName") + u' ' + text("lblElementMAC"), u"E1 "_s + kEncoderKey);
        // What runs before the count check has run.
        QVERIFY(!m_station->button(6)->isEnabled() && !m_station->button(7)->isEnabled());
    }

    void loadingIsLocalAndResetsThePing() {
        writeWith(replaced(kDecoderEntries, {"NAME=D2", "ATT=60"}));
        auto* shape = w<varnetix::ShapeIndicator>("shpPing");
        shape->setFillColor(Qt::green);
        showActive();
        QVERIFY(m_station->selectNode(kDecoderKey));
        QCOMPARE(shape->fillColor(), QColor(255, 255, 192));
        auto* atten = w<QScrollBar>("scrlAtten");
        atten->setFocus(Qt::MouseFocusReason);
        const QByteArray database = m_station->database();

        // Clicked with the mouse while the operator was on the scroll bar, then chosen with Return.
        QTreeView* tree = m_station->tree();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                          tree->visualRect(m_station->node(kX)).center());
        QCOMPARE(text("lblElementMAC"), kX);
        QCOMPARE(atten->value(), 60);
        tree->setCurrentIndex(m_station->node(kDecoderKey));
        QTest::keyClick(tree, Qt::Key_Return);
        QCOMPARE(text("lblElementMAC"), kDecoderKey);
        QCOMPARE(atten->value(), 200);
        QCOMPARE(m_station->database(), database);
        QVERIFY(m_station->probe.addresses.isEmpty());

        // The operator's own step is the first command the decoder gets.
        atten->setFocus(Qt::TabFocusReason);
        QTest::keyClick(atten, Qt::Key_Right);
        QCOMPARE(Station::receive(m_station->commandPeer).data(), QByteArray("\xC9\x00", 2));
    }

    // A running display is stopped by every load, also of another encoder. The remote address
    // is hidden for a multicast encoder (its own, here), and on a decoder whatever its TX type.
    void layoutFollowsTheRole() {
        writeWith(replaced(kEncoderEntries, {"NAME=E2", "TX=1"}));
        for (const QString& next : {kEncoderKey, kX, kDecoderKey}) {
            QVERIFY(m_station->selectNode(kEncoderKey));
            m_station->button(6)->trigger();
            QVERIFY(m_station->timer("tmrVolume")->isActive());
            w<varnetix::LevelBar>("VUMeter")->setLevelWidth(800);
            QVERIFY(m_station->selectNode(next));
            QVERIFY(!m_station->timer("tmrVolume")->isActive());
            QCOMPARE(w<varnetix::LevelBar>("VUMeter")->levelWidth(), 0);
            QCOMPARE(text("lblVolume"), u"-oodBFS"_s);
            const bool encoder = next != kDecoderKey;
            QCOMPARE(w("txtRemoteIP")->isHidden(), next != kEncoderKey);
            for (const char* name : {"cmbAudioInput", "cmbAudioTX"})
                QCOMPARE(w(name)->isHidden(), !encoder);
            for (const char* name : {"scrlAtten", "lblAttenDB"})
                QCOMPARE(w(name)->isHidden(), encoder);
            QCOMPARE(text("Label9"), encoder ? u"Audio source:"_s : u"Audio atten:"_s);
            QCOMPARE(w("VUMeter")->isEnabled(), encoder);
            QCOMPARE(w("scrlBuffer")->isEnabled(), !encoder);
            QCOMPARE(m_station->button(6)->isEnabled(), encoder);
            QVERIFY(!m_station->button(7)->isEnabled());
        }
        auto* tx = w<QComboBox>("cmbAudioTX");
        tx->setCurrentIndex(0); // on the decoder
        QVERIFY(w("txtRemoteIP")->isHidden());
        QVERIFY(m_station->selectNode(kX)); // after the decoder
        QVERIFY(w("txtRemoteIP")->isHidden());
        tx->setCurrentIndex(0);
        QVERIFY(!w("txtRemoteIP")->isHidden());
        tx->setCurrentIndex(-1); // no selection counts as Unicast
        QVERIFY(!w("txtRemoteIP")->isHidden());
    }

    void clearElementFields() {
        writeWith(replaced(kEncoderEntries, {"IP=10.0.0"}));
        QVERIFY(m_station->selectNode(kX));
        QCOMPARE(base(w<QLineEdit>("txtElementIP")), kLightRed);
        w<QLineEdit>("txtVLAN_Audio")->setText(u"9"_s);

        m_station->button(2)->trigger(); // Refresh list clears the panel
        for (const char* name :
             {"lblElementType", "lblElementMAC", "lblSerialNumber", "lblVersion"})
            QCOMPARE(text(name), u"-"_s);
        QCOMPARE(text("lblPing") + text("lblLatency") + text("Label9"),
                 u"<Unknown>0mSAudio atten:"_s);
        for (const char* name :
             {"txtElementName", "txtElementIP", "txtElementMask", "txtElementGW", "txtRemoteIP"}) {
            QVERIFY(text(name).isEmpty());
            QCOMPARE(base(w<QLineEdit>(name)), normalBase());
        }
        for (const char* name : {"cmbAudioInput", "cmbAudioType", "cmbAudioTX", "cmbEncoders"})
            QCOMPARE(w<QComboBox>(name)->currentIndex(), -1);
        QVERIFY(!m_station->button(6)->isEnabled());
        QCOMPARE(text("txtVLAN_Audio"), u"9"_s);
    }

    void addressColourWhileTyping() {
        const QString address = u"192.168.1.1567"_s;
        for (const char* name : {"txtElementIP", "txtElementMask", "txtElementGW", "txtRemoteIP"}) {
            auto* box = w<QLineEdit>(name);
            for (qsizetype typed = 1; typed <= address.size(); ++typed) {
                QTest::keyClick(box, address.at(typed - 1).toLatin1());
                const bool valid = typed >= 11 && typed <= 13; // 192.168.1.1 to 192.168.1.156
                QCOMPARE(base(box), valid ? normalBase() : kLightRed);
            }
            QCOMPARE(box->text(), address); // never refused
            box->clear();
            QCOMPARE(base(box), normalBase());
        }
    }

    void nameIsUpperCasedWhenLeft() {
        showActive();
        auto* name = w<QLineEdit>("txtElementName");
        name->setFocus(Qt::TabFocusReason);
        // What cannot be sent as one byte is refused as it is typed; leaving the field upper-cases
        // by the rule of the packet and the store, so no character changes length or byte.
        for (QChar c : u"studio café ßÿµ€"_s)
            QTest::sendKeyEvent(QTest::Click, name, Qt::Key_unknown, QString(c), Qt::NoModifier);
        QCOMPARE(name->text(), u"studio café ßÿµ"_s);
        QTest::keyClick(name, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w("txtElementIP"));
        QCOMPARE(name->text(), u"STUDIO CAFÉ ßÿµ"_s);
    }

    void focusSelectsTheWholeText_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("mouse");
        for (const char* field : {"txtElementName", "txtElementIP", "txtElementMask",
                                  "txtElementGW", "txtRemoteIP", "txtVLAN_OM", "txtVLAN_Audio"}) {
            QTest::addRow("%s, tab", field) << QString::fromLatin1(field) << false;
            QTest::addRow("%s, mouse", field) << QString::fromLatin1(field) << true;
        }
    }
    void focusSelectsTheWholeText() {
        QFETCH(QString, field);
        QFETCH(bool, mouse);
        showActive();
        auto* box = w<QLineEdit>(field.toLatin1().constData());
        box->setVisible(true);
        box->setText(u"10.20.30.40"_s);
        box->setCursorPosition(3);
        m_station->tree()->setFocus();
        if (mouse)
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
        else
            box->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(box->selectedText(), u"10.20.30.40"_s);
        QTest::keyClick(box, '7');
        QCOMPARE(box->text().toUpper(), u"7"_s);
    }

    void returningToTheWindowKeepsTheCursor() {
        showActive();
        auto* box = w<QLineEdit>("txtElementIP");
        box->setText(u"9"_s);
        box->setFocus(Qt::MouseFocusReason);
        QTRY_VERIFY(box->hasSelectedText());
        QTest::keyClicks(box, u"10.0.0"_s);
        QTest::keyClick(box, Qt::Key_Left);
        // A message box (or another program) takes the activation and gives it back.
        QWidget other;
        QVERIFY(Station::activate(&other) && Station::activate(m_station->window.get()));
        QTest::qWait(20);
        QVERIFY(!box->hasSelectedText());
        QTest::keyClick(box, '1');
        QCOMPARE(box->text(), u"10.0.10"_s);
    }
};

QTEST_MAIN(TestElementPanel)
#include "test_element_panel.moc"
