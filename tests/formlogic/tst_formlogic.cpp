#include "checknumreply.h"
#include "dictionary.h"
#include "recordbody.h"
#include "studyrecord.h"

#include <QJsonObject>
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

    void buildRecordBody()
    {
        QJsonObject object{{"sex", "old"}, {"kept", 1}};
        const QByteArray body = ::buildRecordBody(object, {"patientname", "sex", "age", "studytime", "checkitemid"},
                                                  {"张三", "cough\nfever", "61", "2024-03-05 14:07:09"});
        // Ascending keys, four-space indentation, every value a string; a value missing from the list is "".
        QCOMPARE(QString::fromUtf8(body), QString::fromUtf8(R"({
    "age": "61",
    "checkitemid": "",
    "kept": 1,
    "patientname": "张三",
    "sex": "cough\nfever",
    "studytime": "2024-03-05 14:07:09"
}
)"));
        QCOMPARE(object.value("sex"), QJsonValue("cough\nfever"));
    }
};

QTEST_APPLESS_MAIN(TestFormLogic)
#include "tst_formlogic.moc"
