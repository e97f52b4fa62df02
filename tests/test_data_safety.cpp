// The database under faults as the station meets them: stores that fail (a full disk), and a
// database its user cannot read. Nothing is lost, every failure is told once with the file and
// the system's reason, and no success is announced after a failed store.
#include "core/database_backup.h"
#include "core/database_file.h"
#include "station/attenuation_control.h"
#include "station/element_view.h"
#include "station_fixture.h"

#include <QDir>
#include <QProcess>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

QString cannotSave(const Station& s, const QString& reason, const QString& consequence) {
    return u"Unable to save to the local database '%1': %2.\r%3"_s.arg(s.databasePath(), reason,
                                                                       consequence);
}

// The decoder of the sample database as it answers a configuration the panel sent unchanged.
QByteArray decoderAnswer() {
    varnetix::FeedbackRecord r;
    r.ElementIP = "127.0.0.1", r.ElementMask = "255.0.0.0", r.ElementGW = "127.0.0.1";
    r.RemoteIP = "0.0.0.0", r.ElementName = "D1", r.ElementRole = 2, r.SerialNumber = 77;
    r.Attenuation = 200, r.BufferSize = 3;
    return packet(r, 45, 2, 0);
}

} // namespace

class TestDataSafety : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { varnetix::SetIniCommitHookForTesting({}); }

    // A full disk: the answer and the attenuation steps are told once each and no success box
    // follows; the command still reaches the decoder; a discovery says how many answers were
    // lost, and its backup of the old database is whole.
    void storesThatFailAreTold() {
        Station s;
        s.resolver.macs["127.0.0.1"] = kDecoderKey.toStdString();
        s.start(sampleDatabase());
        QVERIFY(s.selectNode(kDecoderKey));
        varnetix::SetIniCommitHookForTesting([] { return ENOSPC; });
        const QString full = u"No space left on device"_s;
        QVERIFY(s.deliver(decoderAnswer()));
        QCOMPARE(s.dialogs.texts(),
                 QStringList{cannotSave(s, full, u"Cannot save this element info."_s)});

        auto* attenuation = s.window->findChild<varnetix::AttenuationControl*>();
        for (int step : {199, 198, 197})
            attenuation->attenuationChanged(step, true);
        for (char step : {'\xC7', '\xC6', '\xC5'})
            QCOMPARE(Station::receive(s.commandPeer).data(), QByteArray(1, step) + '\0');
        QCOMPARE(s.dialogs.texts().mid(1),
                 QStringList{cannotSave(s, full, u"The attenuation was changed but not saved."_s)});
        QCOMPARE(s.database(), sampleDatabase());

        s.dialogs.boxes.clear();
        s.discover([&] {
            s.sendToStation(decoderAnswer());
            QTRY_COMPARE(s.window->findChild<varnetix::Discovery*>()->answers().size(), 1u);
        });
        QCOMPARE(
            s.dialogs.texts().mid(1, 1),
            QStringList{cannotSave(s, full, u"1 of the 1 answering elements were not stored."_s)});
        const auto backups = varnetix::listDatabaseBackups(s.settings.databasePath);
        QCOMPARE(backups.size(), 1u);
        QCOMPARE(readFile(QString::fromStdString(backups.front())), sampleDatabase());
    }

    // A root-owned 0600 database in a directory the station's user may write: the station,
    // run as nobody, says it cannot read it and every write path leaves it whole; the confirmed
    // discovery moves it aside intact.
    void unreadableDatabaseIsNeverReplaced() {
        if (::geteuid() != 0)
            QSKIP("needs root to run the station as another user (CI runs as root)");
        QTemporaryDir dir;
        QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777));
        const QString database = QDir(dir.path()).filePath(u"nms.ini"_s);
        QVERIFY(
            varnetix::WriteFileAtomically(database.toStdString(), sampleDatabase().toStdString())
                .ok());
        ::chmod(database.toLocal8Bit().constData(), 0600);
        // A copy nobody may run, wherever this build lives.
        const QString self = QDir(dir.path()).filePath(u"test_data_safety"_s);
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), self));
        QProcess run;
        run.setProcessChannelMode(QProcess::ForwardedChannels);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"VARNETIX_UNREADABLE"_s, database);
        run.setProcessEnvironment(environment);
        run.start(u"setpriv"_s, {u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s, self,
                                 u"asTheOtherUser"_s});
        QVERIFY(run.waitForFinished(60000));
        QCOMPARE(run.exitCode(), 0);
        const auto backups = varnetix::listDatabaseBackups(database.toStdString());
        QCOMPARE(backups.size(), 1u);
        QCOMPARE(readFile(QString::fromStdString(backups.front())), sampleDatabase());
        struct stat kept {};
        QCOMPARE(::stat(backups.front().c_str(), &kept), 0);
        QCOMPARE(kept.st_mode & 0777, 0600u);
        QCOMPARE(kept.st_uid, 0u);
    }
    // The inner half of the test above, run as nobody.
    void asTheOtherUser() {
        const QString database = qEnvironmentVariable("VARNETIX_UNREADABLE");
        if (database.isEmpty())
            QSKIP("run by unreadableDatabaseIsNeverReplaced as another user");
        Station s;
        s.settings.databasePath = database.toStdString();
        s.window =
            std::make_unique<varnetix::MainWindow>(s.settings, s.dialogs, s.resolver, s.probe);
        QVERIFY(s.window->Form_Load());
        const QString denied =
            u"The local database '%1' cannot be read: Permission denied."_s.arg(database);
        QCOMPARE(s.dialogs.texts(),
                 QStringList{denied + u"\rNothing will be written to it until it can be read."_s});

        // Save: refused before anything is sent.
        s.window->findChild<varnetix::ElementView*>()->NodeClick(kDecoderKey);
        s.edit({u"txtElementName=D1"_s, u"txtElementIP=127.0.0.1"_s, u"txtElementMask=255.0.0.0"_s,
                u"txtElementGW=127.0.0.1"_s, u"txtRemoteIP=0.0.0.0"_s, u"cmbAudioInput=0"_s,
                u"cmbAudioType=0"_s, u"cmbAudioTX=0"_s});
        s.dialogs.boxes.clear();
        s.button(4)->trigger();
        QCOMPARE(s.dialogs.texts(), QStringList{u"Unable to save to the local database '%1': The "
                                                u"file cannot be read: Permission denied.\rCannot "
                                                u"save."_s.arg(database)});
        QVERIFY(!s.configPeer.hasPendingDatagrams());
        // A confirmed discovery moves the database aside and starts a new one.
        s.discover();
        QCOMPARE(s.database(), QByteArray());
    }
};

QTEST_MAIN(TestDataSafety)
#include "test_data_safety.moc"
