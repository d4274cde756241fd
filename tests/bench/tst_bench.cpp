#include "benchsummary.h"
#include "boxautoanswerer.h"
#include "configguard.h"
#include "curlcommand.h"
#include "dictionary.h"
#include "dictionarytext.h"
#include "dicomstudyinfo.h"
#include "rawcurl.h"
#include "summaryreporter.h"
#include "testserver.h"
#include "uploadimages.h"
#include "zoxmessageboxform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <set>
#include <sstream>

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

ScriptedReply ok(const std::string& body)
{
    ScriptedReply reply;
    reply.body = body;
    return reply;
}

} // namespace

Q_DECLARE_METATYPE(std::vector<double>)

class TestBench : public QObject
{
    Q_OBJECT

private slots:
    void median_data();
    void median();
    void goals_data();
    void goals();
    void figureLines();
    void sampleKeys();
    void durations_data();
    void durations();
    void linearGrowth_data();
    void linearGrowth();
    void noiseFloor();
    void summaryOverRounds();
    void reporterFilesRuns();

    void dictionaryReadsBack_data();
    void dictionaryReadsBack();

    void statusLines_data();
    void statusLines();
    void curlSendsEachFileOnOneConnection();
    void rawGet();

    void guardRestoresFolder();
    void guardWritesOnlyItsFiles();

    void uploadImagesAreDicom();
    void uploadImagesRefuseNonsense();

    void boxesAnswered();
};

void TestBench::median_data()
{
    QTest::addColumn<std::vector<double>>("samples");
    QTest::addColumn<double>("expected");
    QTest::newRow("none") << std::vector<double>{} << 0.0;
    QTest::newRow("one") << std::vector<double>{4} << 4.0;
    QTest::newRow("odd, unsorted") << std::vector<double>{9, 1, 5} << 5.0;
    QTest::newRow("even: mean of the middle two") << std::vector<double>{8, 2, 4, 6} << 5.0;
    QTest::newRow("an outlier does not move it") << std::vector<double>{1, 1000, 2} << 2.0;
}

void TestBench::median()
{
    QFETCH(std::vector<double>, samples);
    QFETCH(double, expected);
    QCOMPARE(::median(samples), expected);
}

void TestBench::goals_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<double>("goal");
    QTest::addColumn<double>("measured");
    QTest::addColumn<bool>("met");
    QTest::addColumn<QString>("text");
    QTest::newRow("at most, on the edge") << int(Goal::AtMost) << 1.3 << 1.3 << true << "at most 1.3x";
    QTest::newRow("at most, over") << int(Goal::AtMost) << 1.3 << 1.31 << false << "at most 1.3x";
    QTest::newRow("under, on the edge") << int(Goal::Under) << 2.0 << 2.0 << false << "under 2x";
    QTest::newRow("under, below") << int(Goal::Under) << 2.0 << 1.99 << true << "under 2x";
    QTest::newRow("at least, on the edge") << int(Goal::AtLeast) << 1.0 << 1.0 << true << "at least 1x";
    QTest::newRow("at least, short") << int(Goal::AtLeast) << 1.0 << 0.99 << false << "at least 1x";
    QTest::newRow("none") << int(Goal::None) << 0.0 << 50.0 << true << "none";
}

void TestBench::goals()
{
    QFETCH(int, kind);
    QFETCH(double, goal);
    QFETCH(double, measured);
    QFETCH(bool, met);
    QFETCH(QString, text);
    const Goal g{Goal::Kind(kind), goal};
    QCOMPARE(g.isMetBy(measured), met);
    QCOMPARE(g.text(), text);
}

void TestBench::figureLines()
{
    QCOMPARE(figureLine(QStringLiteral("Opening a study"), 1.214, {Goal::AtMost, 1.3}),
             QStringLiteral("Opening a study: 1.21x (goal at most 1.3x) met"));
    QCOMPARE(figureLine(QStringLiteral("Upload"), 0.5, {Goal::AtLeast, 1.0}),
             QStringLiteral("Upload: 0.50x (goal at least 1x) MISSED"));
    QCOMPARE(figureLine(QStringLiteral("Saving"), 1.08, {}), QStringLiteral("Saving: 1.08x (goal none)"));
}

void TestBench::sampleKeys()
{
    QCOMPARE(sampleKey("open/openStudy#2/iterations:200/manual_time"), std::string("open/openStudy"));
    QCOMPARE(sampleKey("form/new/10000#12"), std::string("form/new/10000"));
    QCOMPARE(sampleKey("no-round"), std::string("no-round"));
}

void TestBench::durations_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("ns") << 812e-9 << "812 ns";
    QTest::newRow("us") << 41.2e-6 << "41.2 us";
    QTest::newRow("ms") << 3.07e-3 << "3.07 ms";
    QTest::newRow("s") << 1.92 << "1.92 s";
    QTest::newRow("negative") << -2.5e-3 << "-2.5 ms";
    QTest::newRow("zero") << 0.0 << "0 ns";
}

void TestBench::durations()
{
    QFETCH(double, seconds);
    QFETCH(QString, text);
    QCOMPARE(durationText(seconds), text);
}

void TestBench::linearGrowth_data()
{
    QTest::addColumn<double>("fixed");
    QTest::addColumn<double>("atThousand");
    QTest::addColumn<double>("atTenThousand");
    QTest::addColumn<bool>("linear");
    // Seconds for a form with no entries, 1,000 and 10,000 entries.
    QTest::newRow("linear") << 0.010 << 0.015 << 0.060 << true;
    QTest::newRow("slightly worse per entry") << 0.010 << 0.015 << 0.090 << true;
    QTest::newRow("quadratic") << 0.010 << 0.015 << 0.510 << false;
    QTest::newRow("no cost measured") << 0.010 << 0.010 << 0.060 << false;
}

void TestBench::linearGrowth()
{
    QFETCH(double, fixed);
    QFETCH(double, atThousand);
    QFETCH(double, atTenThousand);
    QFETCH(bool, linear);
    const double small = perEntryCost(fixed, atThousand, 1000);
    const double large = perEntryCost(fixed, atTenThousand, 10000);
    QCOMPARE(growsLinearly(small, large), linear);
}

void TestBench::noiseFloor()
{
    // Ten entries on a 4 ms form: a run-to-run wobble either way.
    QVERIFY(withinNoise(0.004, 0.00399));
    QVERIFY(withinNoise(0.004, 0.0041));
    QVERIFY(!withinNoise(0.004, 0.006));
    QVERIFY(!withinNoise(0.004, 0.003));
}

void TestBench::summaryOverRounds()
{
    BenchSummary summary;
    summary.add("open/openStudy", 3.0);
    summary.add("open/openStudy", 1.0);
    summary.add("open/openStudy", 2.0);
    summary.add("open/two-raw-gets", 1.5);
    summary.fail("upload/curl", QStringLiteral("curl sent 3 of 5 files"));

    QCOMPARE(summary.seconds("open/openStudy"), 2.0);
    QCOMPARE(summary.seconds("open/two-raw-gets"), 1.5);
    QCOMPARE(summary.seconds("upload/curl"), 0.0);
    QVERIFY(summary.hasAll({"open/openStudy", "open/two-raw-gets"}));
    QVERIFY(!summary.hasAll({"open/openStudy", "upload/curl"}));
    QCOMPARE(summary.failures(), QStringList{QStringLiteral("upload/curl: curl sent 3 of 5 files")});
}

void TestBench::reporterFilesRuns()
{
    using Run = benchmark::BenchmarkReporter::Run;
    const auto run = [](const char* name, double seconds, benchmark::IterationCount iterations) {
        Run r;
        r.run_name.function_name = name;
        r.run_name.iterations = "iterations:" + std::to_string(iterations);
        r.iterations = iterations;
        r.real_accumulated_time = seconds;
        return r;
    };
    Run save = run("save#2", 0.09, 30);
    save.counters["backup"] = benchmark::Counter(0.012);
    Run mean = run("save#2", 0.003, 30);
    mean.run_type = Run::RT_Aggregate;
    mean.aggregate_name = "mean";
    Run broken = run("upload/curl#1", 0, 0);
    broken.error_occurred = true;
    broken.error_message = "curl sent 0 of 200 files";

    BenchSummary summary;
    SummaryReporter reporter(summary);
    std::ostringstream out;
    reporter.SetOutputStream(&out);
    reporter.SetErrorStream(&out);
    reporter.ReportRuns({run("open/openStudy#1", 0.2, 400), save, mean, broken});

    QCOMPARE(summary.seconds("open/openStudy"), 0.0005);
    QCOMPARE(summary.seconds("save"), 0.003);
    QCOMPARE(summary.seconds("save/backup"), 0.012);
    QVERIFY(!summary.has("upload/curl"));
    QCOMPARE(summary.failures(), QStringList{QStringLiteral("upload/curl: curl sent 0 of 200 files")});
    // What the console shows stays as Google Benchmark prints it.
    QVERIFY(out.str().find("open/openStudy#1/iterations:400") != std::string::npos);
}

void TestBench::dictionaryReadsBack_data()
{
    QTest::addColumn<int>("count");
    QTest::newRow("empty") << 0;
    QTest::newRow("one") << 1;
    QTest::newRow("ten thousand") << 10000;
}

void TestBench::dictionaryReadsBack()
{
    QFETCH(int, count);
    const QStringList names = dictionaryNames(QStringLiteral("检查部位"), count);
    QCOMPARE(names.size(), count);
    QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), count);

    // Through the file's encoding and back, as the form reads it.
    const QByteArray file = gbkBytes(
        dictionaryJson(names, QStringLiteral("positiontypeid"), QStringLiteral("positiontypename")));
    const QString read = QTextCodec::codecForName("GBK")->toUnicode(file);
    const Dictionary dictionary = parsePositions(read);
    QVERIFY(dictionary.valid);
    QCOMPARE(dictionary.names, names);
    QCOMPARE(dictionary.ids.size(), count);
    for (int i = 0; i < count; ++i)
        QCOMPARE(dictionary.ids.at(i), QString::number(i));
    if (count > 0)
        QVERIFY(!file.contains(names.first().toUtf8()));
}

void TestBench::statusLines_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<int>("succeeded");
    QTest::newRow("all sent") << QByteArray("200\n200\n200\n") << 3;
    QTest::newRow("other 2xx, no final newline") << QByteArray("201\n204") << 2;
    QTest::newRow("errors and refused connections") << QByteArray("200\n500\n000\n401\n") << 1;
    QTest::newRow("nothing") << QByteArray() << 0;
    QTest::newRow("not status lines") << QByteArray("2000\n20\nok\n") << 0;
}

void TestBench::statusLines()
{
    QFETCH(QByteArray, output);
    QFETCH(int, succeeded);
    QCOMPARE(succeededUploads(output), succeeded);
}

void TestBench::curlSendsEachFileOnOneConnection()
{
    if (QStandardPaths::findExecutable(QStringLiteral("curl")).isEmpty())
        QSKIP("the curl program is not installed");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Separators and quotes that curl's form syntax would otherwise take as its own.
    const QStringList names{QStringLiteral("a.dcm"), QStringLiteral("b,c;d.dcm"), QStringLiteral("e.dcm")};
    const QStringList folders{QString(), QString(), QStringLiteral("q\"uo\\te")};
    QStringList files;
    for (int i = 0; i < names.size(); ++i) {
        QVERIFY(QDir(dir.path()).mkpath(folders.at(i).isEmpty() ? QStringLiteral(".") : folders.at(i)));
        files << QDir(dir.filePath(folders.at(i))).filePath(names.at(i));
        QVERIFY(writeAll(files.last(), names.at(i).toUtf8() + QByteArray(1000, 'x')));
    }

    TestServer server;
    server.setReply("POST", "/upload", ok("{}"));
    QProcess curl;
    curl.start(QStringLiteral("curl"), curlUploadArguments(files, server.url(QStringLiteral("/upload")), "s-1"));
    QVERIFY(curl.waitForFinished(30000));
    QCOMPARE(curl.exitCode(), 0);
    QCOMPARE(succeededUploads(curl.readAllStandardOutput()), 3);

    const std::vector<RecordedRequest> requests = server.requests("/upload");
    QCOMPARE(requests.size(), size_t(3));
    std::set<int> connections;
    for (size_t i = 0; i < requests.size(); ++i) {
        const RecordedRequest& request = requests[i];
        connections.insert(request.remote_port);
        QCOMPARE(request.header("Cookie"), std::string("JSESSIONID=s-1"));
        QCOMPARE(request.parts.size(), size_t(1));
        QCOMPARE(request.parts[0].name, std::string("file"));
        QCOMPARE(QString::fromStdString(request.parts[0].filename), names.at(int(i)));
        QCOMPARE(QByteArray::fromStdString(request.parts[0].content), readAll(files.at(int(i))));
    }
    QCOMPARE(connections.size(), size_t(1));
}

void TestBench::rawGet()
{
    TestServer server;
    server.setReply("GET", "/record", ok(std::string("{\"a\":\"\0b\"}", 10)));
    const std::string body = rawCurlGet(server.url(QStringLiteral("/record?x=1")).toStdString(), "s-2");
    QCOMPARE(body, std::string("{\"a\":\"\0b\"}", 10));
    QCOMPARE(server.requests("/record").size(), size_t(1));
    QCOMPARE(server.requests("/record")[0].header("Cookie"), std::string("JSESSIONID=s-2"));

    // Nobody listens on the port of a server that has gone.
    int port = 0;
    {
        const TestServer gone;
        port = gone.port();
    }
    QCOMPARE(rawCurlGet("http://127.0.0.1:" + std::to_string(port) + "/record", "s"), std::string());
}

void TestBench::guardRestoresFolder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString kept = dir.filePath(QStringLiteral("kept.ini"));
    const QString absent = dir.filePath(QStringLiteral("absent.json"));
    const QString newFolder = dir.filePath(QStringLiteral("config"));
    const QString inNewFolder = newFolder + QStringLiteral("/../config/x.json");
    const QByteArray original("[a]\r\nb=\xff\x00z", 11);
    QVERIFY(writeAll(kept, original));
    {
        ConfigGuard guard({kept, absent, inNewFolder});
        QVERIFY(guard.removeAll());
        QVERIFY(!QFileInfo::exists(kept));
        QVERIFY(guard.write(kept, "other"));
        QVERIFY(guard.write(absent, "[]"));
        QVERIFY(guard.write(inNewFolder, "{}"));
        QCOMPARE(readAll(kept), QByteArray("other"));
        QVERIFY(QFileInfo(newFolder).isDir());
    }
    QCOMPARE(readAll(kept), original);
    QVERIFY(!QFileInfo::exists(absent));
    QVERIFY(!QFileInfo::exists(newFolder));
}

void TestBench::guardWritesOnlyItsFiles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString guarded = dir.filePath(QStringLiteral("a.json"));
    const QString stranger = dir.filePath(QStringLiteral("b.json"));
    ConfigGuard guard({guarded});
    QVERIFY(!guard.write(stranger, "x"));
    QVERIFY(!QFileInfo::exists(stranger));
    // A folder that already held something stays.
    QVERIFY(writeAll(stranger, "mine"));
    guard.restore();
    QCOMPARE(readAll(stranger), QByteArray("mine"));
}

void TestBench::uploadImagesAreDicom()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QStringList files;
    QString error;
    QVERIFY2(writeUploadImages(dir.path(), 3, 64 * 1024, &files, &error), qPrintable(error));
    QCOMPARE(files.size(), 3);

    QString study;
    std::set<QString> instances;
    for (const QString& file : files) {
        QVERIFY(QFileInfo(file).size() >= 64 * 1024);
        QVERIFY(QFileInfo(file).size() < 66 * 1024);
        DicomStudyInfo info;
        QVERIFY2(readDicomStudyInfo(file, &info, &error), qPrintable(error));
        if (study.isEmpty())
            study = info.studyUid;
        QCOMPARE(info.studyUid, study);
        instances.insert(info.sopInstanceUid);
    }
    QCOMPARE(instances.size(), size_t(3));
}

void TestBench::uploadImagesRefuseNonsense()
{
    QTemporaryDir dir;
    QStringList files{QStringLiteral("untouched")};
    QString error;
    QVERIFY(!writeUploadImages(dir.path(), 0, 64 * 1024, &files, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!writeUploadImages(dir.path(), 2, 100, &files, &error));
    QCOMPARE(files, QStringList{QStringLiteral("untouched")});
}

void TestBench::boxesAnswered()
{
    BoxAutoAnswerer answerer;
    answerer.expect(QStringLiteral("Are you sure to SAVE ALL ?"));
    QCOMPARE(zoxMessageBoxForm::question(nullptr, QStringLiteral("System Hint"),
                                         QStringLiteral("Are you sure to SAVE ALL ?"), 3, 1),
             1);
    QCOMPARE(zoxMessageBoxForm::warning(nullptr, QStringLiteral("System Hint"),
                                        QStringLiteral("Net connect error,please check again!"), 1, 1),
             0);
    QCOMPARE(answerer.answered(), 1);
    QCOMPARE(answerer.takeSurprises(), QStringList{QStringLiteral("Net connect error,please check again!")});
    QVERIFY(answerer.takeSurprises().isEmpty());
}

QTEST_MAIN(TestBench)
#include "tst_bench.moc"
