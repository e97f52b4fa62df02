// The window's own texts (captions, list items, limits, tooltips, initial texts, accessible
// names), the keyboard order of the fields, and timers that wait to be started.
#include "station_fixture.h"

#include <QToolBar>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;

namespace {

// Objects separated by ";", each its name and "property=value" pairs separated by "|". A few
// properties are the test's own: "labels" are captions found inside the object, "items" a
// list's items and "actions" the toolbar's tooltips ("-" for a separator).
const char* const kTexts = R"(
frmProperties | title=Element properties: | labels=System type:,MAC address:,DSP version:
frmProperties | labels=Serial number:,System name:,Audio type:,System IP:,Gateway IP:
frmProperties | labels=Network mask:,VLAN O&M:,Audio:,Bounded to:,SFN option:,Buffer size:
frmDiagnostics | title=Diagnostics: | labels=Ping response:,Audio level:
Label9 | text=Audio source: ; Label7 | text=Remote IP: ; Label10 | text=TX type:
lblTxNotApplicable | text=N/A ; lblRemoteNotApplicable | text=N/A
lblElementType | text=- | accessibleDescription=System type
lblElementMAC | text=- | accessibleDescription=MAC address
lblVersion | text=- | accessibleDescription=DSP version
lblSerialNumber | text=- | accessibleDescription=Serial number
lblPing | text=<Unknown> | toolTip=Click to test ping | accessibleDescription=Ping response
lblVolume | text=-oodBFS | accessibleDescription=Audio level
lblLatency | text=0mS | accessibleDescription=Buffer latency
lblAttenDB | text=dB | accessibleDescription=Audio attenuation
txtElementName | maxLength=16 | toolTip=Max 12 chars | accessibleName=System name
txtElementIP | maxLength=15 | accessibleName=System IP
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
chkSFNEnabled | text=Enabled | accessibleName=SFN option ; TreeView1 | accessibleName=Elements
Toolbar1 | actions=Discover elements,Refresh list,-,Save changes,-
Toolbar1 | actions=Start audio monitoring,Stop audio monitoring
frmPaging | windowTitle=Paging network...
Label1 | text=Please wait a few seconds while paging the network...
timerRemoteSent | active=false ; tmrRetryPing | active=false ; timerGetMAC | active=false
tmrVolume | active=false ; Timer1 | active=false
)";

// The keyboard order, from the tree through the element panel to the ping test.
const QStringList kTabOrder = {
    u"TreeView1"_s,      u"txtElementName"_s, u"txtElementIP"_s, u"txtElementGW"_s,
    u"txtElementMask"_s, u"txtVLAN_OM"_s,     u"cmbAudioType"_s, u"cmbAudioInput"_s,
    u"scrlAtten"_s,      u"cmbAudioTX"_s,     u"txtRemoteIP"_s,  u"txtVLAN_Audio"_s,
    u"cmbEncoders"_s,    u"chkSFNEnabled"_s,  u"scrlBuffer"_s,   u"lblPing"_s};

} // namespace

class TestWindowTexts : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_s = std::make_unique<Station>();
        m_s->start();
    }
    void texts();
    void tabOrder();

private:
    // What the object shows of the property; for the test's own, `expected` when it holds.
    QString shown(const QObject* object, const QString& property, const QString& expected) {
        QStringList all;
        if (property == u"labels") {
            for (const QLabel* label : object->findChildren<QLabel*>())
                all << label->text();
            for (const QString& caption : expected.split(u','))
                if (!all.contains(caption))
                    return u"no "_s + caption;
            return expected;
        }
        if (property == u"items") {
            for (int i = 0; i < qobject_cast<const QComboBox*>(object)->count(); ++i)
                all << qobject_cast<const QComboBox*>(object)->itemText(i);
            return all.join(u',');
        }
        if (property != u"actions")
            return object->property(qPrintable(property)).toString();
        // Its seven entries, in two lines of the table; no entry has a caption.
        for (const QAction* action : qobject_cast<const QToolBar*>(object)->actions())
            all << (action->isSeparator() ? u"-"_s : action->toolTip() + action->text());
        return all.size() == 7 && all.join(u',').contains(expected) ? expected : all.join(u',');
    }

    std::unique_ptr<Station> m_s;
};

void TestWindowTexts::texts() {
    for (const QString& line : QString::fromUtf8(kTexts).split(u'\n', Qt::SkipEmptyParts)) {
        for (const QString& entry : line.split(u" ; "_s)) {
            const QStringList parts = entry.split(u" | "_s);
            const QObject* object = m_s->find<QObject>(qPrintable(parts[0]));
            for (const QString& pair : parts.mid(1)) {
                const QString property = pair.section(u'=', 0, 0);
                const QString value = shown(object, property, pair.section(u'=', 1));
                QCOMPARE(parts[0] + u" | "_s + property + u'=' + value, parts[0] + u" | "_s + pair);
            }
        }
    }
}

void TestWindowTexts::tabOrder() {
    QStringList order;
    QWidget* widget = m_s->tree();
    do {
        if (kTabOrder.contains(widget->objectName()) && !order.contains(widget->objectName()))
            order << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget != m_s->tree());
    QCOMPARE(order, kTabOrder);
}

QTEST_MAIN(TestWindowTexts)
#include "test_window_texts.moc"
