// One program per user: a second start hands its line to the first, and
// what a killed program left behind is taken over.
#include "desktop_logic/instance_channel.h"
#include "app/single_instance.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>

using namespace pellandor;

class InstanceTest : public QObject {
    Q_OBJECT

private:
    // The claim's outcome, with the reason when it failed.
    static QString claimOf(SingleInstance& instance) {
        const Result<SingleInstance::Claim> claimed = instance.claim();
        if (!claimed) return QStringLiteral("failed: ") + QString::fromStdString(claimed.error());
        return *claimed == SingleInstance::Claim::Primary ? QStringLiteral("Primary")
                                                          : QStringLiteral("RunningElsewhere");
    }

    // Sends from another thread: the listener needs this thread's event loop.
    static InstanceSend sendAsync(const QString& dir, const std::string& line, QSignalSpy& spy) {
        auto result = std::async(std::launch::async, [dir, line] {
            return sendToRunningInstance(instanceSocketPath(dir.toStdString()), line, 5000);
        });
        while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) spy.wait(20);
        return result.get();
    }

    // A raw connection to the listener, -1 on failure.
    static int connectTo(const QString& socketPath) {
        const std::optional<sockaddr_un> address = instanceSocketAddress(socketPath.toStdString());
        if (!address) return -1;
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }

private slots:
    void secondStartHandsItsLineToTheFirst() {
        QTemporaryDir dir;
        SingleInstance first(dir.path());
        QCOMPARE(claimOf(first), QStringLiteral("Primary"));
        SingleInstance second(dir.path());
        QCOMPARE(claimOf(second), QStringLiteral("RunningElsewhere"));
        QSignalSpy lines(&first, &SingleInstance::lineReceived);

        // The second claim left the live socket alone.
        QCOMPARE(sendAsync(dir.path(), "show", lines), InstanceSend::Delivered);
        QCOMPARE(sendAsync(dir.path(), "dial +1 (415) 555-0177", lines), InstanceSend::Delivered);
        QTRY_COMPARE(lines.count(), 2);
        QCOMPARE(lines[0][0].toString(), QStringLiteral("show"));
        QCOMPARE(lines[1][0].toString(), QStringLiteral("dial +1 (415) 555-0177"));
    }

    void aLiveListenerWithoutItsLockKeepsItsSocket() {
        QTemporaryDir dir;
        SingleInstance first(dir.path());
        QCOMPARE(claimOf(first), QStringLiteral("Primary"));
        QVERIFY(QFile::remove(QString::fromStdString(instanceLockPath(dir.path().toStdString()))));
        SingleInstance second(dir.path());
        QCOMPARE(claimOf(second), QStringLiteral("RunningElsewhere"));
        QSignalSpy lines(&first, &SingleInstance::lineReceived);
        QCOMPARE(sendAsync(dir.path(), "show", lines), InstanceSend::Delivered);
        QTRY_COMPARE(lines.count(), 1);
    }

    void overlongLinesAreDropped() {
        QTemporaryDir dir;
        SingleInstance first(dir.path());
        QCOMPARE(claimOf(first), QStringLiteral("Primary"));
        QSignalSpy lines(&first, &SingleInstance::lineReceived);
        const int fd = connectTo(first.socketPath());
        QVERIFY(fd >= 0);
        const QByteArray overlong(static_cast<int>(kMaxInstanceLine) + 100, '5');
        QCOMPARE(::send(fd, overlong.constData(), static_cast<std::size_t>(overlong.size()), MSG_NOSIGNAL),
                 static_cast<ssize_t>(overlong.size()));
        // The listener hangs up without an answer.
        char answer[8];
        QTRY_COMPARE(::recv(fd, answer, sizeof answer, MSG_DONTWAIT), ssize_t{0});
        ::close(fd);
        QCOMPARE(lines.count(), 0);
    }

    // A client that stops in the middle of its line does not stop others
    // from being heard.
    void aSilentClientDoesNotBlockOthers() {
        QTemporaryDir dir;
        SingleInstance first(dir.path());
        QCOMPARE(claimOf(first), QStringLiteral("Primary"));
        QSignalSpy lines(&first, &SingleInstance::lineReceived);
        const int fd = connectTo(first.socketPath());
        QVERIFY(fd >= 0);
        QCOMPARE(::send(fd, "sho", 3, MSG_NOSIGNAL), ssize_t{3});
        QCOMPARE(sendAsync(dir.path(), "show", lines), InstanceSend::Delivered);
        QTRY_COMPARE(lines.count(), 1);
        ::close(fd);
    }

    // A lock file left empty or cut short (a power cut) or unreadable names no
    // live process: taken over like one naming a dead process.
    void lockFilesNamingNoProcessAreTakenOver_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("readable");
        QTest::newRow("empty") << QByteArray() << true;
        QTest::newRow("cut short") << QByteArray("12") << true;
        QTest::newRow("garbage") << QByteArray("\xff\xfe not a lock\n") << true;
        QTest::newRow("unreadable") << QByteArray("x") << false;
    }
    void lockFilesNamingNoProcessAreTakenOver() {
        QFETCH(QByteArray, content);
        QFETCH(bool, readable);
        QTemporaryDir dir;
        QFile lock(QString::fromStdString(instanceLockPath(dir.path().toStdString())));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(content);
        lock.close();
        if (!readable) QVERIFY(lock.setPermissions({}));
        SingleInstance first(dir.path());
        QCOMPARE(claimOf(first), QStringLiteral("Primary"));
        QSignalSpy lines(&first, &SingleInstance::lineReceived);
        QCOMPARE(sendAsync(dir.path(), "show", lines), InstanceSend::Delivered);
        QTRY_COMPARE(lines.count(), 1);
        // And the lock it holds now keeps a second one out.
        SingleInstance second(dir.path());
        QCOMPARE(claimOf(second), QStringLiteral("RunningElsewhere"));
    }

    // Out of descriptors, a waiting connection is tried again later rather
    // than at every turn of the event loop; it is answered once there are some.
    void outOfDescriptorsTheListenerBacksOff() {
        QTemporaryDir dir;
        SingleInstance first(dir.path());
        QCOMPARE(claimOf(first), QStringLiteral("Primary"));
        QSignalSpy lines(&first, &SingleInstance::lineReceived);
        const int fd = connectTo(first.socketPath());
        QVERIFY(fd >= 0);
        QCOMPARE(::send(fd, "show\n", 5, MSG_NOSIGNAL), ssize_t{5});

        static int failures = 0;
        failures = 0;
        const QtMessageHandler previous =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
                if (text.contains(QLatin1String("accept failed"))) ++failures;
            });
        rlimit saved{};
        QVERIFY(::getrlimit(RLIMIT_NOFILE, &saved) == 0);
        // The lowest free descriptor becomes the limit: every new one fails.
        const int lowestFree = ::dup(0);
        QVERIFY(lowestFree >= 0);
        ::close(lowestFree);
        rlimit tight = saved;
        tight.rlim_cur = static_cast<rlim_t>(lowestFree);
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &tight) == 0);
        QTRY_VERIFY(failures >= 1);
        for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
        const int failed = failures;
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &saved) == 0);
        qInstallMessageHandler(previous);
        QCOMPARE(failed, 1);

        // The answer goes out before the line is handed on.
        QTRY_COMPARE(lines.count(), 1);
        char answer[8];
        QCOMPARE(::recv(fd, answer, sizeof answer, MSG_DONTWAIT), ssize_t{3});
        ::close(fd);
    }

    // A real program killed with SIGKILL leaves its lock and socket behind.
    void leftoversOfAKilledProgramAreTakenOver() {
        QTemporaryDir dir;
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", dir.path());
        program.setProcessEnvironment(env);
        program.setProgram(QStringLiteral(PELLANDOR_BIN_DIR "/pellandor"));
        program.setArguments({"--settings", dir.filePath("settings.ini")});
        program.start();
        QVERIFY(program.waitForStarted());
        const QString socketPath = QString::fromStdString(instanceSocketPath(dir.path().toStdString()));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socketPath), 10000);
        // Running: a second start is handed over and ends at once.
        QProcess second;
        second.setProcessEnvironment(env);
        second.start(program.program(), {});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);

        program.kill();
        QVERIFY(program.waitForFinished());
        QVERIFY(QFile::exists(socketPath));
        QVERIFY(QFile::exists(QString::fromStdString(instanceLockPath(dir.path().toStdString()))));

        SingleInstance next(dir.path());
        QCOMPARE(claimOf(next), QStringLiteral("Primary"));
        QSignalSpy lines(&next, &SingleInstance::lineReceived);
        QCOMPARE(sendAsync(dir.path(), "show", lines), InstanceSend::Delivered);
        QTRY_COMPARE(lines.count(), 1);
    }
};

QTEST_MAIN(InstanceTest)
#include "single_instance_test.moc"
