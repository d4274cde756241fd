#include "backupfilename.h"
#include "checknumreply.h"
#include "dictionary.h"
#include "recorddisplay.h"
#include "studyrecord.h"

#include <QRegularExpression>
#include <QSet>
#include <QtTest>

Q_DECLARE_METATYPE(CheckNumReply)

namespace {

// The fields that differ from their defaults, as "key=value" in the reply's key order; the study time as
// the form takes it, in whole milliseconds.
QString describe(const StudyRecord& r)
{
    const std::pair<const char*, QVariant> fields[] = {
        {"checkserialnum", r.checkSerialNum}, {"checkitemid", r.checkItemId}, {"abstracthistory", r.abstractHistory},
        {"age", r.age}, {"ageunit", r.ageUnit}, {"patientname", r.patientName}, {"prediagnose", r.prediagnose},
        {"relevantresult", r.relevantResult}, {"sex", r.sex}, {"studytime", studyTimeMsecs(r.studyTime)},
        {"studypositionid", r.studyPositionId}};
    QStringList set;
    for (const auto& [key, value] : fields) {
        if (value.toString() != QLatin1String("") && value.toString() != QLatin1String("0"))
            set << QLatin1String(key) + QLatin1Char('=') + value.toString();
    }
    return set.join(QLatin1Char(' '));
}

} // namespace

class TestFormLogic : public QObject
{
    Q_OBJECT

private slots:
    void checkNumReply_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<CheckNumReply>("kind");
        QTest::addColumn<QString>("serial");
        const CheckNumReply known = CheckNumReply::Known, error = CheckNumReply::Error;
        QTest::newRow("not in cloud") << "{}" << CheckNumReply::NotInCloud << "";
        QTest::newRow("plain") << R"({"rischeckserialnum":"A123"})" << known << "A123";
        QTest::newRow("blank after colon keeps the quote") << R"({"rischeckserialnum": "A123"})" << known << "\"A123";
        QTest::newRow("empty value") << R"({"rischeckserialnum":""})" << known << "";
        QTest::newRow("nested keeps the inner quote") << R"({"s":{"rischeckserialnum":"B7"}})" << known << "B7\"";
        QTest::newRow("a later member owns the last colon") << R"({"rischeckserialnum":"A1","n":2})" << known << "";
        QTest::newRow("multi-byte") << R"({"rischeckserialnum":"检查-😀1"})" << known << "检查-😀1";
        QTest::newRow("no brace") << "{\"rischeckserialnum\":\"A123\"" << known << "";
        QTest::newRow("empty reply") << "" << error << "";
        QTest::newRow("blank inside braces") << "{ }" << error << "";
        QTest::newRow("key in other case") << R"({"RISCHECKSERIALNUM":"A1"})" << error << "A1";
        QTest::newRow("no colon counts from -1") << R"({"ab"})" << error << "\"ab";
        QTest::newRow("brace before colon") << "}:\"A123\"" << error << "";
        QTest::newRow("two characters between") << ":\"xy}" << error << "x";
    }

    void checkNumReply()
    {
        QFETCH(QString, reply);
        QFETCH(CheckNumReply, kind);
        QFETCH(QString, serial);
        QCOMPARE(classifyCheckNumReply(reply), kind);
        QCOMPARE(cutSerialNumber(reply), serial);
    }

    void readStudyRecord_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("fields");
        QTest::newRow("whole record")
            << QByteArray(R"({"checkserialnum":"S-42","checkitemid":3,"abstracthistory":"咳嗽","age":61,
                "ageunit":"Y","patientname":"张三","prediagnose":"p","relevantresult":"<b>CRP</b>","sex":"M",
                "studytime":1700000000123,"studypositionid":2,"ignored":[1]})")
            << "checkserialnum=S-42 checkitemid=3 abstracthistory=咳嗽 age=61 ageunit=Y patientname=张三 "
               "prediagnose=p relevantresult=<b>CRP</b> sex=M studytime=1700000000123 studypositionid=2";
        QTest::newRow("negative id") << QByteArray(R"({"checkitemid":-1})") << "checkitemid=-1";
        QTest::newRow("int min") << QByteArray(R"({"age":-2147483648})") << "age=-2147483648";
        QTest::newRow("above int") << QByteArray(R"({"age":2147483648})") << "";
        QTest::newRow("fraction") << QByteArray(R"({"age":3.5})") << "";
        QTest::newRow("number as text") << QByteArray(R"({"age":"7","studytime":"1700000000123"})") << "";
        QTest::newRow("text as number") << QByteArray(R"({"sex":7,"patientname":null})") << "";
        QTest::newRow("time toward zero") << QByteArray(R"({"studytime":-1.9})") << "studytime=-1";
        QTest::newRow("-2^63") << QByteArray(R"({"studytime":-9223372036854775808})")
                               << "studytime=-9223372036854775808";
        QTest::newRow("time 2^63") << QByteArray(R"({"studytime":9223372036854775808})") << "";
        QTest::newRow("time beyond") << QByteArray(R"({"studytime":1e300})") << "";
        QTest::newRow("zero byte ends the reply") << QByteArray("{\"age\":3}\0{", 11) << "age=3";
        QTest::newRow("zero byte inside") << QByteArray("{\"age\":3\0}", 10) << "";
        QTest::newRow("invalid UTF-8") << QByteArray("{\"sex\":\"F\xff\"}") << "sex=F\uFFFD";
        QTest::newRow("not JSON") << QByteArray("<html>404</html>") << "";
        QTest::newRow("array") << QByteArray(R"([{"age":3}])") << "";
    }

    void readStudyRecord()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, fields);
        QCOMPARE(describe(::readStudyRecord(reply)), fields);
    }

    void parseDictionary_data()
    {
        QTest::addColumn<bool>("positions");
        QTest::addColumn<QString>("json");
        QTest::addColumn<bool>("plain");  // the usual-shape reader takes it
        QTest::addColumn<QStringList>("entries");  // "id=name"; "invalid": not JSON
        QTest::newRow("empty array") << false << "[]" << true << QStringList();
        QTest::newRow("object document") << false << R"({"checkitemid":"1","checkitem":"CT"})" << false << QStringList();
        QTest::newRow("truncated") << false << R"([{"checkitemid":"1")" << false << QStringList{"invalid"};
        QTest::newRow("entries in order") << false << R"([{"checkitemid":"0","checkitem":"CT"},
                                                        {"checkitem":"CT","checkitemid":"1"}])"
                                          << true << QStringList{"0=CT", "1=CT"};
        QTest::newRow("odd entries read as empty")
            << false << R"([{"checkitemid":5,"checkitem":"X"},{},1,[{"checkitem":"Z"}],{"positiontypename":"H"}])"
            << false << QStringList{"=X", "=", "=", "=", "="};
        QTest::newRow("positions") << true << R"([{"positiontypeid":"7","positiontypename":"胸部","checkitem":"no"}])"
                                   << true << QStringList{"7=胸部"};
        QTest::newRow("spaces and escapes")
            << false << " \r\n\t[ { \"checkitemid\" : \"1\" , \"checkitem\" : \"a\\\"b\\\\c\\/d\\u00E9\\t\" } , {} ] "
            << true << QStringList{"1=a\"b\\c/d\u00e9\t", "="};
        QTest::newRow("surrogate escapes") << false << R"([{"checkitemid":"1","checkitem":"\ud83d\ude00"}])" << false
                                           << QStringList{"1=\U0001F600"};
        QTest::newRow("escaped key") << false << R"([{"checkitem\u0069d":"2","checkitem":"B"}])" << false
                                     << QStringList{"2=B"};
        QTest::newRow("repeated key: the last counts")
            << false << R"([{"checkitemid":"1","checkitem":"A","checkitemid":"2"}])" << false << QStringList{"2=A"};
        QTest::newRow("number and nested values") << false << R"([{"checkitemid":"1","checkitem":"A"},
                                                        {"checkitemid":2,"checkitem":"B"},
                                                        {"checkitemid":"3","x":["y"],"checkitem":{"n":"C"}}])"
                                                  << false << QStringList{"1=A", "=B", "3="};
        QTest::newRow("trailing comma") << false << R"([{"checkitemid":"1","checkitem":"A"},])" << false
                                        << QStringList{"invalid"};
        QTest::newRow("text after the array") << false << R"([{"checkitemid":"1","checkitem":"A"}] x)" << false
                                              << QStringList{"invalid"};
    }

    void parseDictionary()
    {
        QFETCH(bool, positions);
        QFETCH(QString, json);
        QFETCH(bool, plain);
        QFETCH(QStringList, entries);
        const QString idKey = positions ? QStringLiteral("positiontypeid") : QStringLiteral("checkitemid");
        const QString nameKey = positions ? QStringLiteral("positiontypename") : QStringLiteral("checkitem");
        Dictionary plainRead;
        QCOMPARE(readPlainDictionary(json, idKey, nameKey, &plainRead), plain);
        // Whichever reader parseDictionary takes, QJsonDocument's reading is the measure.
        for (const Dictionary& dictionary :
             {positions ? parsePositions(json) : parseCheckItems(json), readJsonDictionary(json, idKey, nameKey)}) {
            QStringList read;
            for (int i = 0; i < dictionary.ids.size(); ++i)
                read << dictionary.ids[i] + QLatin1Char('=') + dictionary.names.value(i);
            QCOMPARE(dictionary.valid ? read : QStringList{"invalid"}, entries);
            // Only an array is a dictionary that may replace a file.
            QCOMPARE(dictionary.array, json.trimmed().startsWith('[') && dictionary.valid);
            QCOMPARE(dictionary.names.size(), dictionary.ids.size());
            // Entries are never null, so that nameForId's null means "no entry".
            for (const QString& text : dictionary.ids + dictionary.names)
                QVERIFY(!text.isNull());
        }
    }

    void idForName_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("id");
        const QStringList names{"CT", "MR", "CT", "DR"};
        QTest::newRow("duplicate gives the first") << QStringList{"MR", "CT", "CT"} << 3 << "CT" << "11";
        QTest::newRow("match beyond count: first id") << names << 3 << "DR" << "10";
        QTest::newRow("count beyond names") << names << 99 << "DR" << "13";
        QTest::newRow("ids shorter than names") << QStringList{"CT", "MR", "CT", "DR", "US"} << 5 << "US" << "";
        QTest::newRow("empty dictionary") << QStringList() << 0 << "CT" << "";
    }

    void idForName()
    {
        QFETCH(QStringList, names);
        QFETCH(int, count);
        QFETCH(QString, name);
        QFETCH(QString, id);
        const QStringList ids = names.isEmpty() ? QStringList() : QStringList{"10", "11", "12", "13"};
        QCOMPARE(::idForName(names, ids, count, name), id);
    }

    void nameForId()
    {
        const QStringList names{"Head", ""};
        QCOMPARE(::nameForId(names, 0), QStringLiteral("Head"));
        QVERIFY(!::nameForId(names, 1).isNull());  // an empty entry is still an entry
        QVERIFY(::nameForId(names, 2).isNull());
        QVERIFY(::nameForId(names, -1).isNull());
    }

    void backupFileName_data()
    {
        QTest::addColumn<QString>("uid");
        QTest::addColumn<QString>("name");  // between "CloudPatientCaseInfo_" and ".json"
        const QString digits200 = QString(200, '1');
        QTest::newRow("DICOM UID") << "1.2.840.113619.2.55.3.604688119" << "1.2.840.113619.2.55.3.604688119";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("200 bytes") << digits200 << digits200;
        QTest::newRow("three dots are a name") << "..." << "...";
        QTest::newRow("parent folders") << "../../etc/x" << "..%2F..%2Fetc%2Fx";
        QTest::newRow("backslash") << "a\\b" << "a%5Cb";
        QTest::newRow("dot") << "." << "%2E";
        QTest::newRow("dot dot") << ".." << "%2E%2E";
        QTest::newRow("CR LF and NUL") << QString::fromLatin1("a\r\n\0b", 5) << "a%0D%0A%00b";
        // '%' is encoded as well, so that no plain UID reads like an encoded one.
        QTest::newRow("percent") << "a%2Fb" << "a%252Fb";
        QTest::newRow("not ASCII") << "检" << "%E6%A3%80";
    }

    void backupFileName()
    {
        QFETCH(QString, uid);
        QFETCH(QString, name);
        QCOMPARE(::backupFileName(uid), "CloudPatientCaseInfo_" + name + ".json");
    }

    // Long UIDs keep a readable start and a hash of the whole; every name stays one short component.
    void backupFileNamesStayApart()
    {
        const QStringList uids{QString(201, '1'), QString(201, '1') + '2', QString(70, '/'), QString(69, '/') + "a/",
                               QString(100, QChar(0x68C0)), QString(200, '1').replace(0, 1, '/')};
        QSet<QString> names;
        for (const QString& uid : uids) {
            const QString name = ::backupFileName(uid);
            names << name;
            QVERIFY2(name.toUtf8().size() <= 255 && !name.contains('/') && name.endsWith(".json"), qPrintable(name));
            QVERIFY2(QRegularExpression("~[0-9a-f]{64}\\.json$").match(name).hasMatch(), qPrintable(name));
            // An escape is never cut in two.
            QVERIFY(!QRegularExpression("%[0-9A-F]?~").match(name).hasMatch());
        }
        QCOMPARE(names.size(), uids.size());
        QVERIFY(::backupFileName(uids[0]).startsWith("CloudPatientCaseInfo_" + QString(160, '1') + '~'));
    }

    void needsPlainDisplay_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("markup");
        QTest::addColumn<bool>("plain");
        const auto repeat = [](const QString& part, int times) { return part.repeated(times); };
        const auto nested = [&repeat](const QString& open, int depth) { return repeat(open, depth) + "x"; };
        const auto row = [](const char* tag, const QString& text, bool markup, bool plain) {
            QTest::newRow(tag) << text << markup << plain;
        };
        row("simple rich text", "cough for <b>3</b> days<br>fever", true, false);
        row("plain text of 65,536", repeat("word ", 13107) + "w", false, false);
        row("plain text of 65,537", repeat("word ", 13107) + "wo", false, true);
        row("run of 1,000", QString(1000, 'a'), false, false);
        row("run of 1,001", QString(1001, 'a'), false, true);
        row("markup of 32,768", "<b>b</b>" + repeat("word ", 6552), true, false);
        row("markup of 32,769", "<b>b</b>" + repeat("word ", 6552) + "w", true, true);
        row("the same shown as text", "<b>b</b>" + repeat("word ", 6552) + "w", false, false);
        row("512 tags", repeat("<b>x</b> ", 256), true, false);
        row("513 tags", repeat("<b>x</b> ", 256) + "<br>", true, true);
        row("a run across tags", repeat("<b>x</b>", 126), true, true);
        row("nested 32", nested("<div>", 32), true, false);
        row("nested 33", nested("<div>", 33), true, true);
        row("closed 100 times", repeat("<div>x</div> ", 100), true, false);
        row("tables 4 deep", nested("<table><tr><td>", 4), true, false);
        row("tables 5 deep", nested("<table><tr><td>", 5), true, true);
        row("cells and rows close themselves", "<table>" + repeat("<tr><td>a<td>b", 40), true, false);
        row("paragraphs close themselves", repeat("<p>a", 100), true, false);
        row("tags in a comment", "<!--" + nested("<table>", 9) + "-->x", true, false);
        row("'>' in a quoted value", "<a title=\"a>b\">x</a>" + nested("<div>", 30), true, false);
        row("padding 99999", "<table cellpadding=99999><tr><td>x</td></tr></table>", true, false);
        row("padding 100000", "<table cellpadding=100000><tr><td>x</td></tr></table>", true, true);
        row("exponent", "<td style=\"padding:1e8px\">x", true, true);
        row("fraction", "<p style=\"margin:99999.9px\">x</p>", true, false);
        row("negative", "<p style=\"margin-left:-100000px\">x</p>", true, true);
        row("digits beyond a double", "<p width=" + QString(400, '9') + ">x</p>", true, true);
        row("hex colour", "<font color=#999999>x</font><p style=\"color:#12e5ff\">y</p>", true, false);
        row("style element", "<style>td { padding: 1000000px }</style><table><tr><td>x</table>", true, true);
        row("number in the text", "<b>PLT</b> 250000000/L", true, false);
    }

    void needsPlainDisplay()
    {
        QFETCH(QString, text);
        QFETCH(bool, markup);
        QFETCH(bool, plain);
        QCOMPARE(::needsPlainDisplay(text, markup), plain);
    }
};

QTEST_APPLESS_MAIN(TestFormLogic)
#include "tst_formlogic.moc"
