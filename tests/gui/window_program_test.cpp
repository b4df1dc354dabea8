#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

// The window program as started from a shell: what it does with its command line before any
// window shows.
class WindowProgramTest : public QObject {
    Q_OBJECT

  private slots:
    void versionIsTheProjectVersion();
    void unknownOptionIsAnErrorAfterToolkitOptionsAreTakenOut_data();
    void unknownOptionIsAnErrorAfterToolkitOptionsAreTakenOut();
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

QTEST_MAIN(WindowProgramTest)
#include "window_program_test.moc"
