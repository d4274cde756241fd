#include "checknumreply.h"
#include "dictionary.h"
#include "recordbody.h"
#include "studyrecord.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(CheckNumReply)

class TestFormLogic : public QObject
{
    Q_OBJECT

private slots:
    void classifyCheckNumReply_data();
    void classifyCheckNumReply();
    void cutSerialNumber_data();
    void cutSerialNumber();

    void readStudyRecordWholeRecord();
    void readStudyRecordTypes_data();
    void readStudyRecordTypes();
    void readStudyRecordDocuments_data();
    void readStudyRecordDocuments();
    void readStudyRecordLargeReply();
    void studyTimeMsecs_data();
    void studyTimeMsecs();

    void parseDictionary_data();
    void parseDictionary();
    void parsePositionsUsesPositionKeys();
    void idForName_data();
    void idForName();
    void nameForId_data();
    void nameForId();

    void buildRecordBody();
    void buildRecordBodyReplacesMembers();
};

void TestFormLogic::classifyCheckNumReply_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<CheckNumReply>("expected");

    QTest::newRow("empty object") << "{}" << CheckNumReply::NotInCloud;
    QTest::newRow("known") << R"({"rischeckserialnum":"A123"})" << CheckNumReply::Known;
    QTest::newRow("known among other members")
        << R"({"id":3,"rischeckserialnum":"A1","x":{}})" << CheckNumReply::Known;
    QTest::newRow("empty reply") << "" << CheckNumReply::Error;
    QTest::newRow("blank inside braces") << "{ }" << CheckNumReply::Error;
    QTest::newRow("braces and newline") << "{}\n" << CheckNumReply::Error;
    QTest::newRow("other case") << R"({"RISCHECKSERIALNUM":"A1"})" << CheckNumReply::Error;
    QTest::newRow("error page") << "<html>500</html>" << CheckNumReply::Error;
}

void TestFormLogic::classifyCheckNumReply()
{
    QFETCH(QString, reply);
    QFETCH(CheckNumReply, expected);
    QCOMPARE(::classifyCheckNumReply(reply), expected);
}

void TestFormLogic::cutSerialNumber_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << R"({"rischeckserialnum":"A123"})" << "A123";
    QTest::newRow("blank after colon keeps the quote")
        << R"({"rischeckserialnum": "A123"})" << "\"A123";
    QTest::newRow("empty value") << R"({"rischeckserialnum":""})" << "";
    QTest::newRow("nested member keeps the inner quote")
        << R"({"study":{"rischeckserialnum":"B7"}})" << "B7\"";
    QTest::newRow("a later member wins the last colon")
        << R"({"rischeckserialnum":"A1","n":2})" << "";
    QTest::newRow("earlier members are skipped")
        << R"({"id":"x:y","rischeckserialnum":"C-9"})" << "C-9";
    QTest::newRow("multi-byte") << QString::fromUtf8(R"({"rischeckserialnum":"检查-001"})")
                                << QString::fromUtf8("检查-001");
    QTest::newRow("outside the basic plane")
        << QString::fromUtf8(R"({"rischeckserialnum":"😀1"})") << QString::fromUtf8("😀1");
    // Out-of-shape texts: the positions still decide, and nothing is read past the text.
    QTest::newRow("empty reply") << "" << "";
    QTest::newRow("empty object") << "{}" << "";
    QTest::newRow("no colon counts from -1") << R"({"ab"})" << "\"ab";
    QTest::newRow("no brace") << R"({"rischeckserialnum":"A123")" << "";
    QTest::newRow("brace before colon") << "}:\"A123\"" << "";
    QTest::newRow("colon only") << ":" << "";
    QTest::newRow("colon at the end") << "{\"a\"}:" << "";
    QTest::newRow("one character between") << ":\"x}" << "";
    QTest::newRow("two characters between") << ":\"xy}" << "x";
}

void TestFormLogic::cutSerialNumber()
{
    QFETCH(QString, reply);
    QFETCH(QString, expected);
    QCOMPARE(::cutSerialNumber(reply), expected);
}

void TestFormLogic::readStudyRecordWholeRecord()
{
    const QByteArray reply = QString::fromUtf8(R"({
        "checkserialnum": "S-42", "checkitemid": 3, "abstracthistory": "咳嗽两周",
        "age": 61, "ageunit": "Y", "patientname": "张三", "prediagnose": "pneumonia",
        "relevantresult": "<b>CRP</b> high", "sex": "M", "studytime": 1700000000123,
        "studypositionid": 2, "ignored": [1, 2, 3]})").toUtf8();
    const StudyRecord record = readStudyRecord(reply);
    QCOMPARE(record.checkSerialNum, QStringLiteral("S-42"));
    QCOMPARE(record.checkItemId, 3);
    QCOMPARE(record.abstractHistory, QString::fromUtf8("咳嗽两周"));
    QCOMPARE(record.age, 61);
    QCOMPARE(record.ageUnit, QStringLiteral("Y"));
    QCOMPARE(record.patientName, QString::fromUtf8("张三"));
    QCOMPARE(record.prediagnose, QStringLiteral("pneumonia"));
    QCOMPARE(record.relevantResult, QStringLiteral("<b>CRP</b> high"));
    QCOMPARE(record.sex, QStringLiteral("M"));
    QCOMPARE(record.studyTime, 1700000000123.0);
    QCOMPARE(record.studyPositionId, 2);
}

// One key of each kind; the whole record above ties every key to its field.
void TestFormLogic::readStudyRecordTypes_data()
{
    QTest::addColumn<QByteArray>("member");
    QTest::addColumn<int>("age");
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("time");

    QTest::newRow("whole number") << QByteArray(R"("age":7)") << 7 << "" << 0.0;
    QTest::newRow("negative") << QByteArray(R"("age":-1)") << -1 << "" << 0.0;
    QTest::newRow("integral with fraction digits") << QByteArray(R"("age":7.0)") << 7 << "" << 0.0;
    QTest::newRow("exponent") << QByteArray(R"("age":1e2)") << 100 << "" << 0.0;
    QTest::newRow("int max") << QByteArray(R"("age":2147483647)") << 2147483647 << "" << 0.0;
    QTest::newRow("int min") << QByteArray(R"("age":-2147483648)") << int(-2147483647 - 1) << "" << 0.0;
    QTest::newRow("above int") << QByteArray(R"("age":2147483648)") << 0 << "" << 0.0;
    QTest::newRow("below int") << QByteArray(R"("age":-2147483649)") << 0 << "" << 0.0;
    QTest::newRow("huge") << QByteArray(R"("age":1e300)") << 0 << "" << 0.0;
    QTest::newRow("fraction") << QByteArray(R"("age":3.5)") << 0 << "" << 0.0;
    QTest::newRow("number as text") << QByteArray(R"("age":"7")") << 0 << "" << 0.0;
    QTest::newRow("number as null") << QByteArray(R"("age":null)") << 0 << "" << 0.0;
    QTest::newRow("number as array") << QByteArray(R"("age":[7])") << 0 << "" << 0.0;
    QTest::newRow("text") << QString::fromUtf8(R"("patientname":"王小明")").toUtf8() << 0
                          << QString::fromUtf8("王小明") << 0.0;
    QTest::newRow("text with escapes") << QByteArray(R"("patientname":"a\"b\u0000c")") << 0
                                       << QString(QStringLiteral("a\"b") + QChar(0) + "c") << 0.0;
    QTest::newRow("text as number") << QByteArray(R"("patientname":7)") << 0 << "" << 0.0;
    QTest::newRow("text as object") << QByteArray(R"("patientname":{"x":"y"})") << 0 << "" << 0.0;
    QTest::newRow("time") << QByteArray(R"("studytime":1700000000123)") << 0 << "" << 1700000000123.0;
    QTest::newRow("time keeps its fraction") << QByteArray(R"("studytime":1.5)") << 0 << "" << 1.5;
    QTest::newRow("time before 1970") << QByteArray(R"("studytime":-86400000)") << 0 << "" << -86400000.0;
    QTest::newRow("huge time") << QByteArray(R"("studytime":1e300)") << 0 << "" << 1e300;
    QTest::newRow("time as text") << QByteArray(R"("studytime":"1700")") << 0 << "" << 0.0;
    QTest::newRow("overflowing number fails the parse")
        << QByteArray(R"("patientname":"A","studytime":1e400)") << 0 << "" << 0.0;
}

void TestFormLogic::readStudyRecordTypes()
{
    QFETCH(QByteArray, member);
    QFETCH(int, age);
    QFETCH(QString, name);
    QFETCH(double, time);
    const StudyRecord record = readStudyRecord("{" + member + "}");
    QCOMPARE(record.age, age);
    QCOMPARE(record.patientName, name);
    QCOMPARE(record.studyTime, time);
}

void TestFormLogic::readStudyRecordDocuments_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("patientName");
    QTest::addColumn<int>("age");

    QTest::newRow("object") << QByteArray(R"({"patientname":"A","age":3})") << "A" << 3;
    QTest::newRow("zero byte after the object")
        << QByteArray(R"({"patientname":"A","age":3})" "\0" "{garbage", 36) << "A" << 3;
    QTest::newRow("zero byte inside the object")
        << QByteArray("{\"patientname\":\"A\"\0,\"age\":3}", 28) << "" << 0;
    QTest::newRow("zero byte first") << QByteArray("\0{\"age\":3}", 10) << "" << 0;
    QTest::newRow("invalid UTF-8 becomes replacement characters")
        << QByteArray("{\"patientname\":\"A\xff\"}") << QString(QStringLiteral("A") + QChar(0xfffd)) << 0;
    QTest::newRow("empty") << QByteArray() << "" << 0;
    QTest::newRow("not JSON") << QByteArray("<html>404</html>") << "" << 0;
    QTest::newRow("truncated") << QByteArray(R"({"patientname":"A","age":3)") << "" << 0;
    QTest::newRow("array") << QByteArray(R"([{"patientname":"A","age":3}])") << "" << 0;
    QTest::newRow("string") << QByteArray(R"("patientname")") << "" << 0;
    QTest::newRow("nested record is not read")
        << QByteArray(R"({"data":{"patientname":"A","age":3}})") << "" << 0;
    QTest::newRow("deep nesting") << QByteArray(100000, '[') << "" << 0;
}

void TestFormLogic::readStudyRecordDocuments()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, patientName);
    QFETCH(int, age);
    const StudyRecord record = readStudyRecord(reply);
    QCOMPARE(record.patientName, patientName);
    QCOMPARE(record.age, age);
}

void TestFormLogic::readStudyRecordLargeReply()
{
    const QByteArray name(1 << 20, 'x');
    const StudyRecord record =
        readStudyRecord("{\"patientname\":\"" + name + "\",\"age\":30,\"sex\":\"F\"}");
    QCOMPARE(record.patientName.size(), name.size());
    QCOMPARE(record.patientName.toLatin1(), name);
    QCOMPARE(record.age, 30);
    QCOMPARE(record.sex, QStringLiteral("F"));
}

void TestFormLogic::studyTimeMsecs_data()
{
    QTest::addColumn<double>("studyTime");
    QTest::addColumn<qint64>("expected");

    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("epoch") << 0.0 << qint64(0);
    QTest::newRow("whole") << 1700000000123.0 << qint64(1700000000123);
    QTest::newRow("fraction dropped") << 1700000000123.9 << qint64(1700000000123);
    QTest::newRow("negative toward zero") << -1.9 << qint64(-1);
    QTest::newRow("largest below 2^63") << 9223372036854774784.0 << qint64(9223372036854774784);
    QTest::newRow("2^63") << 9223372036854775808.0 << qint64(0);
    QTest::newRow("-2^63") << -9223372036854775808.0 << std::numeric_limits<qint64>::min();
    QTest::newRow("below -2^63") << -9223372036854777856.0 << qint64(0);
    QTest::newRow("huge") << 1e300 << qint64(0);
    QTest::newRow("infinity") << inf << qint64(0);
    QTest::newRow("negative infinity") << -inf << qint64(0);
    QTest::newRow("nan") << std::nan("") << qint64(0);
}

void TestFormLogic::studyTimeMsecs()
{
    QFETCH(double, studyTime);
    QFETCH(qint64, expected);
    QCOMPARE(::studyTimeMsecs(studyTime), expected);
}

void TestFormLogic::parseDictionary_data()
{
    QTest::addColumn<QString>("json");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("empty array") << "[]" << true << QStringList() << QStringList();
    QTest::newRow("object document") << R"({"checkitemid":"1","checkitem":"CT"})" << true
                                     << QStringList() << QStringList();
    QTest::newRow("empty text") << "" << false << QStringList() << QStringList();
    QTest::newRow("truncated") << R"([{"checkitemid":"1")" << false << QStringList()
                               << QStringList();
    QTest::newRow("scalar document") << R"("CT")" << false << QStringList() << QStringList();
    QTest::newRow("two entries in order")
        << R"([{"checkitemid":"0","checkitem":"CT chest"},{"checkitemid":"1","checkitem":"MR head"}])"
        << true << QStringList{"0", "1"} << QStringList{"CT chest", "MR head"};
    QTest::newRow("numeric id reads empty") << R"([{"checkitemid":5,"checkitem":"X"}])" << true
                                            << QStringList{""} << QStringList{"X"};
    QTest::newRow("missing members") << R"([{},{"checkitem":"Y"},{"checkitemid":"2"}])" << true
                                     << QStringList{"", "", "2"} << QStringList{"", "Y", ""};
    QTest::newRow("non-object elements count as empty")
        << R"([1,"a",null,[{"checkitem":"Z"}],{"checkitemid":"4","checkitem":"W"}])" << true
        << QStringList{"", "", "", "", "4"} << QStringList{"", "", "", "", "W"};
    QTest::newRow("duplicate names are kept")
        << R"([{"checkitemid":"0","checkitem":"CT"},{"checkitemid":"1","checkitem":"CT"}])" << true
        << QStringList{"0", "1"} << QStringList{"CT", "CT"};
    QTest::newRow("non-ASCII names")
        << QString::fromUtf8(R"([{"checkitemid":"0","checkitem":"胸部平扫"}])") << true
        << QStringList{"0"} << QStringList{QString::fromUtf8("胸部平扫")};
    QTest::newRow("position keys are not read")
        << R"([{"positiontypeid":"0","positiontypename":"Head"}])" << true << QStringList{""}
        << QStringList{""};
}

void TestFormLogic::parseDictionary()
{
    QFETCH(QString, json);
    QFETCH(bool, valid);
    QFETCH(QStringList, ids);
    QFETCH(QStringList, names);
    const Dictionary dictionary = parseCheckItems(json);
    QCOMPARE(dictionary.valid, valid);
    QCOMPARE(dictionary.ids, ids);
    QCOMPARE(dictionary.names, names);
    // Entries are never null, so that nameForId's null means "no entry".
    for (const QString& text : dictionary.ids + dictionary.names)
        QVERIFY(!text.isNull());
}

void TestFormLogic::parsePositionsUsesPositionKeys()
{
    const Dictionary positions = parsePositions(
        R"([{"positiontypeid":"7","positiontypename":"Head","checkitem":"no"},
            {"checkitemid":"1","checkitem":"CT"}])");
    QVERIFY(positions.valid);
    QCOMPARE(positions.ids, (QStringList{"7", ""}));
    QCOMPARE(positions.names, (QStringList{"Head", ""}));
}

void TestFormLogic::idForName_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");

    const QStringList names{"CT", "MR", "CT", "DR"};
    const QStringList ids{"10", "11", "12", "13"};
    QTest::newRow("first") << names << ids << 4 << "CT" << "10";
    QTest::newRow("second") << names << ids << 4 << "MR" << "11";
    QTest::newRow("duplicate gives the first") << QStringList{"MR", "CT", "CT"}
                                               << QStringList{"0", "1", "2"} << 3 << "CT" << "1";
    QTest::newRow("case differs: first id") << names << ids << 4 << "mr" << "10";
    QTest::newRow("trailing blank: first id") << names << ids << 4 << "MR " << "10";
    QTest::newRow("no match: first id") << names << ids << 4 << "US" << "10";
    QTest::newRow("match beyond count") << names << ids << 3 << "DR" << "10";
    QTest::newRow("count beyond names") << names << ids << 99 << "DR" << "13";
    QTest::newRow("negative count") << names << ids << -1 << "MR" << "10";
    QTest::newRow("empty name matches an empty entry")
        << QStringList{"CT", ""} << QStringList{"0", "1"} << 2 << "" << "1";
    QTest::newRow("empty dictionary") << QStringList() << QStringList() << 0 << "CT" << "";
    QTest::newRow("ids shorter than names") << QStringList{"CT", "MR"} << QStringList{"0"} << 2
                                            << "MR" << "";
}

void TestFormLogic::idForName()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, ids);
    QFETCH(int, count);
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(::idForName(names, ids, count, name), expected);
}

void TestFormLogic::nameForId_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("expected");

    const QStringList names{"Head", "Chest", ""};
    QTest::newRow("first") << names << 0 << "Head";
    QTest::newRow("second") << names << 1 << "Chest";
    QTest::newRow("empty entry") << names << 2 << "";
    QTest::newRow("one beyond") << names << 3 << QString();
    QTest::newRow("far beyond") << names << std::numeric_limits<int>::max() << QString();
    QTest::newRow("negative") << names << -1 << QString();
    QTest::newRow("empty dictionary") << QStringList() << 0 << QString();
}

void TestFormLogic::nameForId()
{
    QFETCH(QStringList, names);
    QFETCH(int, id);
    QFETCH(QString, expected);
    const QString name = ::nameForId(names, id);
    QCOMPARE(name, expected);
    QCOMPARE(name.isNull(), expected.isNull());
}

void TestFormLogic::buildRecordBody()
{
    const QStringList keys{"patientname", "sex", "age", "ageunit", "studytime", "studypositionid",
                           "checkitemid", "abstracthistory", "relevantresult", "prediagnose",
                           "checkserialnum"};
    const QStringList values{QString::fromUtf8("张三"), "M", "61", "Y", "2024-03-05 14:07:09",
                             "2", "0", "cough \"dry\"\nfever", " ", "", "A123"};
    QJsonObject object;
    const QByteArray body = ::buildRecordBody(object, keys, values);

    // Ascending key order, four-space indentation, every value a string.
    const QByteArray expected = QString::fromUtf8(R"({
    "abstracthistory": "cough \"dry\"\nfever",
    "age": "61",
    "ageunit": "Y",
    "checkitemid": "0",
    "checkserialnum": "A123",
    "patientname": "张三",
    "prediagnose": "",
    "relevantresult": " ",
    "sex": "M",
    "studypositionid": "2",
    "studytime": "2024-03-05 14:07:09"
}
)").toUtf8();
    QCOMPARE(body, expected);
    QCOMPARE(object.size(), 11);
    QCOMPARE(QJsonDocument::fromJson(body).object(), object);
}

void TestFormLogic::buildRecordBodyReplacesMembers()
{
    const QStringList keys{"age", "sex", "checkitemid"};
    QJsonObject object;
    ::buildRecordBody(object, keys, {"5", "F", "1"});
    const QByteArray body = ::buildRecordBody(object, keys, {"6", "M"});

    const QJsonObject sent = QJsonDocument::fromJson(body).object();
    QCOMPARE(sent.size(), 3);
    QCOMPARE(sent.value("age"), QJsonValue("6"));
    QCOMPARE(sent.value("sex"), QJsonValue("M"));
    // A key without a value still goes out as a string, never as null.
    QCOMPARE(sent.value("checkitemid"), QJsonValue(""));
    QCOMPARE(object, sent);
}

QTEST_APPLESS_MAIN(TestFormLogic)
#include "tst_formlogic.moc"
