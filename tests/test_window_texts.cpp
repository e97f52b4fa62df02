// The window's own texts (captions, list items, limits, tooltips, initial texts, accessible
// names), the keyboard order of its fields, and timers that wait to be started.
#include "station_fixture.h"

#include <QRegularExpression>
#include <QMenu>
#include <QToolBar>
#include <QtTest>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

// Objects separated by ";", each its name and "property=value" pairs separated by "|". Three
// properties are the test's own: "labels" are captions inside the object, "items" a list's
// items, "actions" the toolbar's tooltips ("-" a separator).
const char* const kTexts = R"(
frmProperties | title=Element properties: | labels=System type:,MAC address:,DSP version:
frmProperties | labels=Serial number:,System name:,Audio type:,System IP:,Gateway IP:
frmProperties | labels=Network mask:,VLAN O&M:,Audio:,Bounded to:,SFN option:,Buffer size:
frmDiagnostics | title=Diagnostics: | labels=Ping response:,Audio level:
Label9 | text=Audio source: ; Label7 | text=Remote IP: ; Label10 | text=TX type:
lblTxNotApplicable | text=N/A ; lblRemoteNotApplicable | text=N/A ; chkSFNEnabled | text=Enabled
lblElementType | text=- | accessibleDescription=System type
lblElementMAC | text=- | accessibleDescription=MAC address
lblVersion | text=- | accessibleDescription=DSP version
lblSerialNumber | text=- | accessibleDescription=Serial number
lblPing | text=<Unknown> | toolTip=Click to test ping | accessibleDescription=Ping response
lblVolume | text=-oodBFS | accessibleDescription=Audio level
lblLatency | text=0mS | accessibleDescription=Buffer latency
lblAttenDB | text=dB | accessibleDescription=Audio attenuation
txtElementName | maxLength=16 | toolTip=Max 12 chars | accessibleName=System name
txtElementIP | maxLength=15 | accessibleName=System IP ; TreeView1 | accessibleName=Elements
txtElementGW | maxLength=15 | accessibleName=Gateway IP
txtElementMask | maxLength=15 | accessibleName=Network mask
txtRemoteIP | maxLength=15 | accessibleName=Remote IP
txtVLAN_OM | text=1 | maxLength=16 | toolTip=Max 12 chars | accessibleName=VLAN O&M
txtVLAN_Audio | text=1 | maxLength=16 | toolTip=Max 12 chars | accessibleName=VLAN Audio
cmbAudioType | items=Left/Right,MPX | editable=false | accessibleName=Audio type
cmbAudioInput | items=Digital,Analog | editable=false | accessibleName=Audio source
cmbAudioTX | items=Unicast,Multicast | editable=false | accessibleName=TX type
cmbEncoders | items=<None> | editable=false | accessibleName=Bounded to
scrlAtten | minimum=14 | maximum=255 | value=255 | accessibleName=Audio atten
scrlBuffer | minimum=0 | maximum=8 | value=0 | accessibleName=Buffer size
chkSFNEnabled | accessibleName=SFN option ; frmPaging | windowTitle=Paging network...
Toolbar1 | actions=Discover elements,Refresh list,-,Save changes,-,Start audio monitoring
Toolbar1 | actions=Save changes,-,Start audio monitoring,Stop audio monitoring
Label1 | text=Please wait a few seconds while paging the network...
timerRemoteSent | active=false ; tmrRetryPing | active=false ; timerGetMAC | active=false
tmrVolume | active=false ; Timer1 | active=false
)";

// From the tree through the element panel to the ping test.
const QStringList kTabOrder =
    u"TreeView1 txtElementName txtElementIP txtElementGW txtElementMask txtVLAN_OM cmbAudioType "
    u"cmbAudioInput scrlAtten cmbAudioTX txtRemoteIP txtVLAN_Audio cmbEncoders chkSFNEnabled "
    u"scrlBuffer lblPing"_s.split(u' ');

} // namespace

class TestWindowTexts : public QObject {
    Q_OBJECT

    Station m_s;

    // The property as the object shows it; for "labels" and "actions", `expected` when it holds.
    QString shown(const QObject* object, const QString& property, const QString& expected) {
        QStringList all;
        if (property == u"items")
            return m_s.items(qPrintable(object->objectName())).join(u',');
        if (property == u"labels")
            for (const QLabel* label : object->findChildren<QLabel*>())
                all << label->text();
        else if (property == u"actions") // seven, none with a caption
            for (const QAction* action : qobject_cast<const QToolBar*>(object)->actions())
                all << (action->isSeparator() ? u"-"_s : action->toolTip());
        else
            return object->property(qPrintable(property)).toString();
        const bool holds =
            property == u"labels"
                ? std::ranges::all_of(expected.split(u','),
                                      [&](const QString& caption) { return all.contains(caption); })
                : all.size() == 7 && all.join(u',').contains(expected);
        return holds ? expected : all.join(u',');
    }

private slots:
    void initTestCase() { m_s.start(); }

    void texts() {
        for (const QString& entry :
             QString::fromUtf8(kTexts).split(QRegularExpression(u"\n| ; "_s), Qt::SkipEmptyParts)) {
            const QStringList parts = entry.split(u" | "_s);
            for (const QString& pair : parts.mid(1)) {
                const QString property = pair.section(u'=', 0, 0);
                const QString value =
                    shown(m_s.find<QObject>(qPrintable(parts[0])), property, pair.section(u'=', 1));
                QCOMPARE(parts[0] + u" | "_s + property + u'=' + value, parts[0] + u" | "_s + pair);
            }
        }
    }

    // Every toolbar command, and every command beyond it, in a menu with its shortcut; the
    // toolbar shows pictures only.
    void commandsInMenus() {
        const QStringList commands = {u"Toolbar1Button1=Ctrl+D"_s, u"Toolbar1Button2=F5"_s,
                                      u"Toolbar1Button4=Ctrl+S"_s, u"Toolbar1Button6=Ctrl+L"_s,
                                      u"Toolbar1Button7=Ctrl+Shift+L"_s, u"actionQuit=Ctrl+Q"_s,
                                      u"actionExport=Ctrl+E"_s, u"actionCheckNetwork=Ctrl+K"_s,
                                      u"actionEventLog=Ctrl+J"_s, u"actionFindings=Ctrl+Shift+K"_s,
                                      u"actionPreferences=Ctrl+,"_s, u"actionAbout="_s};
        for (const QString& command : commands) {
            auto* action = m_s.find<QAction>(qPrintable(command.section(u'=', 0, 0)));
            QCOMPARE(command.section(u'=', 0, 0) + u'=' + action->shortcut().toString(), command);
            QVERIFY(std::ranges::any_of(action->associatedObjects(), [](QObject* shown) {
                return qobject_cast<QMenu*>(shown) != nullptr;
            }));
        }
        QCOMPARE(m_s.find<QToolBar>("Toolbar1")->toolButtonStyle(), Qt::ToolButtonIconOnly);
        m_s.find<QAction>("actionAbout")->trigger();
        QCOMPARE(m_s.dialogs.boxes.last(),
                 (RecordedBox{RecordedBox::Information, u"About Varnetix NMS"_s,
                              u"Varnetix NMS v.3.0.0 - Halvoren Broadcast\rNetwork management "
                              u"station of the Varnetix IP studio-to-transmitter audio link."_s}));
    }

    void tabOrder() {
        QStringList order;
        QWidget* widget = m_s.tree();
        do {
            if (kTabOrder.contains(widget->objectName()) && !order.contains(widget->objectName()))
                order << widget->objectName();
            widget = widget->nextInFocusChain();
        } while (widget != m_s.tree());
        QCOMPARE(order, kTabOrder);
    }
};

QTEST_MAIN(TestWindowTexts)
#include "test_window_texts.moc"
