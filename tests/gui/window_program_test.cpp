#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

#include <csignal>

// The window program as started from a shell: what it does with its command line before any
// window shows.
class WindowProgramTest : public QObject {
    Q_OBJECT

  private slots:
    void versionIsTheProjectVersion();
    void unknownOptionIsAnErrorAfterToolkitOptionsAreTakenOut_data();
    void unknownOptionIsAnErrorAfterToolkitOptionsAreTakenOut();
    void aFileSizeLimitFailsWritesInsteadOfEndingTheWindow();
};

namespace {

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

Outcome Run(const QStringList& arguments) {
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(environment);
    program.start(ZM880_UTILITY_PATH, arguments);
    // A program that took the option for a file name would open its window and keep running.
    if (!program.waitForFinished(10000)) {
        program.kill();
        program.waitForFinished();
        return {};
    }
    // Windows' C runtime ends the lines it writes with CR LF.
    const auto text = [](const QByteArray& bytes) {
        return QString::fromLocal8Bit(bytes).replace("\r\n", "\n");
    };
    return {program.exitCode(), text(program.readAllStandardOutput()),
            text(program.readAllStandardError())};
}

}  // namespace

void WindowProgramTest::versionIsTheProjectVersion() {
    const Outcome outcome = Run({"--version"});
    QCOMPARE(outcome.exitCode, 0);
    QCOMPARE(outcome.out, QString("zm880-utility " ZM880_PROJECT_VERSION "\n"));
}

void WindowProgramTest::unknownOptionIsAnErrorAfterToolkitOptionsAreTakenOut_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("named");
    QTest::newRow("alone") << QStringList{"--simulat"} << "--simulat";
    QTest::newRow("after toolkit options and words")
        << QStringList{"-platform", "offscreen", "-style", "Fusion", "my", "--bogus", "file.cfg"}
        << "--bogus";
}

void WindowProgramTest::unknownOptionIsAnErrorAfterToolkitOptionsAreTakenOut() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, named);
    const Outcome outcome = Run(arguments);
    QCOMPARE(outcome.exitCode, 2);
    // The toolkit may warn about its environment first.
    QVERIFY2(outcome.err.endsWith("\nzm880-utility: unknown option " + named + " (see --help)\n") ||
                 outcome.err == "zm880-utility: unknown option " + named + " (see --help)\n",
             qPrintable(outcome.err));
}

// Under `ulimit -f` the first write beyond the limit would end the window by a signal, losing
// what the user typed; with the signal ignored it is a write error like a full disk. The running
// window's ignored signals show it.
void WindowProgramTest::aFileSizeLimitFailsWritesInsteadOfEndingTheWindow() {
#ifdef Q_OS_LINUX
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(environment);
    program.start(ZM880_UTILITY_PATH, {"--simulate"});
    QVERIFY(program.waitForStarted());
    const quint64 fileSizeSignal = quint64{1} << (SIGXFSZ - 1);
    bool ignored = false;
    // The program sets it up as it starts, before its window shows.
    for (QDeadlineTimer deadline(10000); !ignored && !deadline.hasExpired(); QTest::qWait(50)) {
        QFile status(QString("/proc/%1/status").arg(program.processId()));
        if (!status.open(QIODevice::ReadOnly))
            break;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("SigIgn:"))
                ignored = (line.mid(7).trimmed().toULongLong(nullptr, 16) & fileSizeSignal) != 0;
        }
    }
    program.kill();
    program.waitForFinished();
    QVERIFY(ignored);
#else
    QSKIP("no file size limit on this system");
#endif
}

QTEST_MAIN(WindowProgramTest)
#include "window_program_test.moc"
