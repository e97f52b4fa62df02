// The window drawn at the desktop's default font, at a 14 pt font and at scale factor 2 (one
// CTest run each, see CMakeLists.txt): nothing cut, nothing overlapping, the element tree given
// the extra room. With VARNETIX_PICTURES_DIR set, the pictures are saved there.
#include "platform/preferences_file.h"
#include "station_fixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMenuBar>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;

namespace {

void checkFits(QWidget* widget) {
    const QString what =
        widget->objectName() + u' ' + QLatin1String(widget->metaObject()->className());
    if (auto* label = qobject_cast<QLabel*>(widget); label && !label->text().isEmpty()) {
        const QSize text = label->fontMetrics().size(Qt::TextShowMnemonic, label->text());
        QVERIFY2(text.width() <= label->contentsRect().width() &&
                     text.height() <= label->contentsRect().height(),
                 qPrintable(what + u" cut: "_s + label->text()));
    } else if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
        QVERIFY2(frame->fontMetrics().horizontalAdvance(frame->title()) < frame->width(),
                 qPrintable(what));
    } else if (qobject_cast<QLineEdit*>(widget) || qobject_cast<QComboBox*>(widget) ||
               qobject_cast<QAbstractButton*>(widget)) {
        QVERIFY2(widget->height() >= widget->minimumSizeHint().height() &&
                     widget->width() >= widget->minimumSizeHint().width(),
                 qPrintable(what));
    }
}

void checkSiblings(QWidget* parent) {
    QList<QWidget*> shown;
    for (QObject* child : parent->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (!widget || !widget->isVisible() || widget->isWindow())
            continue;
        QVERIFY2(parent->rect().contains(widget->geometry()),
                 qPrintable(widget->objectName() + u" outside "_s + parent->objectName()));
        checkFits(widget);
        // The "N/A" labels lie under the control they stand in for, by design.
        if (!widget->objectName().endsWith(u"NotApplicable"_s))
            shown << widget;
        checkSiblings(widget);
    }
    for (qsizetype i = 0; i < shown.size(); ++i)
        for (qsizetype j = i + 1; j < shown.size(); ++j)
            QVERIFY2(!shown[i]->geometry().intersects(shown[j]->geometry()),
                     qPrintable(shown[i]->objectName() + u" overlaps "_s + shown[j]->objectName()));
}

} // namespace

class TestWindowPictures : public QObject {
    Q_OBJECT

private slots:
    void nothingCutNothingOverlapping() {
        if (const int points = qEnvironmentVariableIntValue("VARNETIX_FONT_POINTS")) {
            QFont font = QApplication::font();
            font.setPointSize(points);
            QApplication::setFont(font);
        }
        // Three elements the watch finds online, offline and not yet known.
        Station s;
        s.writeDatabase(
            recordText("001A2B3C4D5E",
                       replaced(kEncoderEntries, {"IP=127.0.0.11", "REMOTE=127.0.0.12"})) +
            recordText("00000000000D", replaced(kDecoderEntries, {"IP=127.0.0.12"})) +
            recordText("00000000000E", replaced(kDecoderEntries, {"NAME=D2", "IP=127.0.0.13"})));
        QVERIFY(varnetix::PreferencesFile(QString::fromStdString(s.settings.preferencesPath))
                    .save({10, 1, 1024, 5}));
        s.watched = true;
        s.sweeper.answering[u"127.0.0.11"_s] = 2;
        s.sweeper.held << u"127.0.0.13"_s;
        varnetix::MainWindow& window = s.start();
        QTRY_COMPARE(s.text("lblWatchSummary"), u"1 online, 1 offline, 1 unknown - every 10 s"_s);
        window.show();
        // An offscreen screen is small; a desktop shows the window at its preferred size.
        window.resize(window.sizeHint());
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // The longest texts the panel shows.
        QVERIFY(s.selectNode(kDecoderKey));
        s.find<QLabel>("lblPing")->setText(u"Destination Protocol Unreachable"_s);
        s.find<QLabel>("lblVolume")->setText(u"-138.5dBFS"_s);
        s.find<QLineEdit>("txtElementName")->setText(u"WWWWWWWWWWWWWWWW"_s);
        QCoreApplication::processEvents();
        checkSiblings(&window);

        // Extra room goes to the element tree.
        const QSize before = s.tree()->size();
        const int panelWidth = s.find("frmProperties")->width();
        window.resize(window.size() + QSize(200, 100));
        QTRY_COMPARE(s.tree()->width(), before.width() + 200);
        QCOMPARE(s.find("frmProperties")->width(), panelWidth);
        QVERIFY(s.tree()->height() > before.height());
        window.resize(window.sizeHint());

        const QString dir = qEnvironmentVariable("VARNETIX_PICTURES_DIR");
        const QString name = qEnvironmentVariable("VARNETIX_PICTURE_NAME", u"station-window"_s);
        if (!dir.isEmpty() && qEnvironmentVariableIsEmpty("VARNETIX_PICTURE_NAME"))
            QVERIFY(s.find("frmTreeView")->grab().save(dir + u"/element-tree-states.png"_s));
        if (!dir.isEmpty())
            QVERIFY(window.grab().save(dir + u'/' + name + u".png"_s));
    }
};

QTEST_MAIN(TestWindowPictures)
#include "test_window_pictures.moc"
