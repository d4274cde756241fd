#include "formaccess.h"
#include "formfixture.h"
#include "messageboxanswerer.h"
#include "studydatabase.h"
#include "testserver.h"
#include "workfolder.h"

#include <QElapsedTimer>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <atomic>
#include <future>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

using Access = CloudPaientInfoFormTestAccess;
using namespace formcloud;

namespace {

const char* const fields[] = {"symptomTextEdit", "checkResultTextEdit", "diagnoseTextEdit"};
const char* const keys[] = {"abstracthistory", "relevantresult", "prediagnose"};

// The time the GUI thread worked, which other programs on the machine do not inflate.
double threadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// A study record with @p texts in the three text fields.
std::string recordWith(const QStringList& texts)
{
    QJsonObject record{{"patientname", "Hostile Record"}, {"age", 40}};
    for (int i = 0; i < 3; ++i)
        record.insert(QLatin1String(keys[i]), texts.value(i));
    return QJsonDocument(record).toJson(QJsonDocument::Compact).toStdString();
}

QString repeated(const QString& part, int times)
{
    return part.repeated(times);
}

// Opens the FIFO for writing, again and again, should the form still wait on it
// after @p seconds, so that the test fails instead of hanging.
struct FifoWatchdog
{
    FifoWatchdog(const QString& fifo, int seconds)
        : watch(std::async(std::launch::async, [this, path = QFile::encodeName(fifo), seconds, stop = done.get_future()] {
            for (std::chrono::milliseconds wait = std::chrono::seconds(seconds);
                 stop.wait_for(wait) == std::future_status::timeout; wait = std::chrono::milliseconds(100)) {
                fired = true;
                ::close(::open(path.constData(), O_WRONLY | O_NONBLOCK));
            }
        }))
    {
    }
    ~FifoWatchdog() { done.set_value(); }

    std::promise<void> done;
    std::atomic<bool> fired{false};
    std::future<void> watch;
};

} // namespace

class TestRecordText : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString fifo;
    QString picture;
    std::unique_ptr<TestServer> server;
    std::unique_ptr<MessageBoxAnswerer> answerer;
    std::unique_ptr<CloudPaientInfoForm> form;

    // Opens a record with @p texts and paints the form.
    void open(const QStringList& texts)
    {
        server->setReply("GET", recordPath, scripted(recordWith(texts)));
        form->openStudy("sess-t", QStringLiteral("1.2.3"));
        QCoreApplication::processEvents();
        (void)form->grab();
    }
    QTextEdit* field(int i) const { return Access::widget<QTextEdit>(*form, fields[i]); }

private slots:
    void initTestCase()
    {
        fifo = dir.filePath(QStringLiteral("fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        picture = dir.filePath(QStringLiteral("picture.png"));
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(picture));
    }

    void init()
    {
        server = std::make_unique<TestServer>();
        QVERIFY(serveStudy(*server, "T1"));
        answerer = std::make_unique<MessageBoxAnswerer>();
        form = std::make_unique<CloudPaientInfoForm>();
    }

    void cleanup()
    {
        form.reset();
        server.reset();
        FormFiles::clear();
        VERIFY_BOXES(*answerer);
    }

    void hostileTextOpensInTime_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<bool>("asText");  // shown as plain text in place of its markup
        const QString word(1000000, 'a');
        const QString words = repeated(QStringLiteral("cough fever "), 87381);  // 1 MiB
        const auto row = [](const char* tag, const QStringList& texts, bool asText) {
            QTest::newRow(tag) << texts << asText;
        };
        row("nested tables 25 deep", {repeated("<table><tr><td>", 25) + "x"}, true);
        row("nested tables 5,000 deep", {repeated("<table><tr><td>", 5000) + "x"}, true);
        row("100,000 <div>s", {repeated("<div>", 100000) + "x"}, true);
        row("a 1 MB word", {word}, true);
        row("a 1 MB word after markup", {"<b>x</b>" + word}, true);
        row("1 MiB of words in one field", {words}, true);
        row("1 MiB of markup over three fields", {"<p>" + repeated("a <b>b</b> ", 31775), "<p>" + repeated("c <i>d</i> ", 31775),
                                                  "<p>" + repeated("e <u>f</u> ", 31775)}, true);
        row("10,000 images in one paragraph", {repeated("<img src=x>", 10000)}, true);
        row("10,000 formats in one paragraph", {repeated("<b>x</b> y ", 10000)}, true);
        row("table padding beyond Qt's range", {"<table cellpadding=1e8><tr><td>x</td></tr></table>"}, true);
        row("<img> of /dev/zero", {"<img src=\"/dev/zero\">", "<img src=\"file:///dev/zero\">", "<img src=/dev/zero width=9>"}, false);
        row("<img> of a FIFO", {"<img src=\"FIFO\">"}, false);
        row("background and style sheet of /dev/zero",
            {"<p style=\"background-image:url(/dev/zero)\">x</p>", "<table background=\"/dev/zero\"><tr><td>x</table>",
             "<link rel=\"stylesheet\" href=\"/dev/zero\"><p>x</p>"}, false);
    }

    // Each record opens, is painted and can be saved within the bound; no local
    // file it names is read (a FIFO would block, /dev/zero would never end).
    void hostileTextOpensInTime()
    {
        QFETCH(QStringList, texts);
        QFETCH(bool, asText);
        texts.replaceInStrings(QStringLiteral("FIFO"), fifo);
#if defined(__SANITIZE_ADDRESS__)
        const double bound = 6;  // our code instrumented; Qt's, where the time goes, is not
#else
        const double bound = 2;
#endif
        const FifoWatchdog watchdog(fifo, 30);
        QElapsedTimer clock;
        clock.start();
        const double start = threadSeconds();
        open(texts);
        const double worked = threadSeconds() - start;
        QVERIFY2(!watchdog.fired, "the form read the FIFO");
        QVERIFY2(worked < bound, qPrintable(QStringLiteral("%1 s of work, %2 s in all").arg(worked).arg(clock.elapsed() / 1000.0)));
        qInfo("%.3f s of work, %.3f s in all", worked, clock.elapsed() / 1000.0);
        QVERIFY(form->isVisible());
        for (int i = 0; i < texts.size(); ++i)
            QCOMPARE(field(i)->toPlainText() == texts[i], asText);
    }

    void ordinaryTextShowsAsBefore_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("as");  // what QTextEdit shows alike; empty: the text
        QTest::newRow("plain") << QStringLiteral("Cough for 3 days,\nfever 38.5 C. No <b> here: plain.") << QString();
        QTest::newRow("simple rich text") << QStringLiteral("cough for <b>3</b> days<br><i>fever</i> &amp; <font color=red>pain</font>") << QString();
        QTest::newRow("paragraphs and a list") << QStringLiteral("<p>CRP 12 mg/L</p><ul><li>WBC 9.1</li><li>PLT 250000000/L</li></ul>") << QString();
        QTest::newRow("a table") << QStringLiteral("<table border=1 cellpadding=2><tr><td>WBC</td><td>9.1</td></tr>"
                                                   "<tr><td>CRP</td><td>12</td></tr></table>") << QString();
        QTest::newRow("a missing image") << QStringLiteral("see <img src=\"/no/such/image.png\"> and <img src=x width=30>") << QString();
        QTest::newRow("many lines") << QStringLiteral("line\n").repeated(400) << QString();
        // The field never reads a local picture.
        QTest::newRow("a local picture, as a missing one") << "<img src=\"PICTURE\">" << "<img src=\"/no/such/picture.png\">";
    }

    // As QTextEdit shows the text in a field of the same place, size and style.
    void ordinaryTextShowsAsBefore()
    {
        QFETCH(QString, text);
        QFETCH(QString, as);
        text.replace(QStringLiteral("PICTURE"), picture);
        open({text, text, text});
        for (int i = 0; i < 3; ++i) {
            QTextEdit* shown = field(i);
            QTextEdit reference(shown->parentWidget());
            reference.setGeometry(shown->geometry());
            reference.setSizePolicy(shown->sizePolicy());
            reference.show();
            reference.setText(as.isEmpty() ? text : as);
            if (as.isEmpty())
                QCOMPARE(shown->toHtml(), reference.toHtml());
            QCOMPARE(shown->grab().toImage(), reference.grab().toImage());
        }
    }

    void saveSendsUneditedTextAsItCame_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("edit");  // appended by the operator; empty: not edited
        QTest::addColumn<QString>("sent");
        const QString deep = repeated("<div>", 40) + "deep\r\nsecond line";
        const QString big = repeated(QStringLiteral("word "), 14000) + "\r\nend&nbsp;";
        QTest::newRow("deep markup, not edited") << deep << QString() << deep;
        QTest::newRow("deep markup, edited") << deep << "!" << repeated("<div>", 40) + "deep\nsecond line!";
        QTest::newRow("big text, not edited") << big << QString() << big;
        QTest::newRow("big text, edited") << big << "!" << repeated(QStringLiteral("word "), 14000) + "\nend&nbsp;!";
        QTest::newRow("ordinary markup sends its text") << "cough for <b>3</b> days" << QString() << "cough for 3 days";
    }

    // A text shown as plain text in place of its markup goes back as it came
    // unless the operator changed it; what the operator changed goes as shown.
    void saveSendsUneditedTextAsItCame()
    {
        QFETCH(QString, text);
        QFETCH(QString, edit);
        QFETCH(QString, sent);
        const WorkFolder work;
        const StudyDatabase db;
        open({text, QStringLiteral("x-ray clear"), QString()});
        if (!edit.isEmpty()) {
            field(0)->moveCursor(QTextCursor::End);
            field(0)->insertPlainText(edit);
        }
        answerer->expect(saveQuestion);
        Access::widget<QPushButton>(*form, "enterPushButton")->click();
        const auto posts = server->requests(modifyPath);
        QCOMPARE(posts.size(), size_t(1));
        const QJsonObject body = QJsonDocument::fromJson(QByteArray::fromStdString(posts[0].body)).object();
        QCOMPARE(body.value("abstracthistory").toString(), sent);
        QCOMPARE(body.value("relevantresult").toString(), QStringLiteral("x-ray clear"));
    }
};

QTEST_MAIN(TestRecordText)
#include "tst_recordtext.moc"
