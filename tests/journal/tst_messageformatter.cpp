#include "journal/messageformatter.h"
#include "journal/messagetemplate.h"

#include <QtTest>

// Formatter: conversions, variant lists, substitution tables and error texts.
class TestMessageFormatter : public QObject
{
    Q_OBJECT

private slots:
    void expands_data();
    void expands();
    void emptyExpansionFallsBackToHex_data();
    void emptyExpansionFallsBackToHex();
    void tableRows_data();
    void tableRows();
    void lastByteRead_data();
    void lastByteRead();
};

namespace {

// A record with code byte 4 and the given parameter bytes from byte 5 on.
QByteArray record(const QByteArray& params, char code = 0x10)
{
    QByteArray r(5, '\0');
    r[4] = code;
    r += params;
    return r;
}

QString u(const char* s)
{
    return QString::fromUtf8(s);
}

} // namespace

void TestMessageFormatter::expands_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("params");
    QTest::addColumn<QString>("expected");

    QTest::newRow("table 1") << u("Неисправен модуль $1") << QByteArray::fromHex("02")
                             << u("Неисправен модуль табло");
    QTest::newRow("table 1 overflow") << u("Неисправен модуль $1") << QByteArray::fromHex("09")
                                      << u("Неисправен модуль ERROR: overflow substitute type 1");
    QTest::newRow("l keeps the cursor, h advances")
        << u("Модуль $1 тип $l вариант $h найден по адресу $i") << QByteArray::fromHex("032511")
        << u("Модуль интеллектуального ВПУ тип 5 вариант 2 найден по адресу 17");
    QTest::newRow("nibbles") << u("Модуль $1 тип $l вариант $h найден по адресу $i")
                             << QByteArray::fromHex("00f301")
                             << u("Модуль приемника тип 3 вариант 15 найден по адресу 1");
    QTest::newRow("x and I") << u("Нет готовности NTWC cmnd: $x t-o: $I")
                             << QByteArray::fromHex("0a3412")
                             << u("Нет готовности NTWC cmnd: 0ah t-o: 4660");
    QTest::newRow("unknown T") << u("Ошибка обмена по TWI: $T Adr: $i cmnd: $i")
                               << QByteArray::fromHex("031005")
                               << u("Ошибка обмена по TWI: ERROR: unknown conversion code 03h "
                                    "Adr: 16 cmnd: 5");
    QTest::newRow("S then past the record")
        << u("Ошибка обмена по SPI: $S Adr: $i cmnd: $i") << QByteArray::fromHex("010203")
        << u("Ошибка обмена по SPI: 513 Adr: 3 cmnd: 0");
    const QString edev =
        u("$V(инт. ВПУ,ИБП,счётчик,устр. ППТ) неисправ$V(но,ен,ен,но) статус: $x.");
    QTest::newRow("V lists share a byte")
        << edev << QByteArray::fromHex("01") << u("ИБП неисправен статус: 01h.");
    QTest::newRow("V invalid index")
        << edev << QByteArray::fromHex("07")
        << u("ERROR: invalid variant index 7 неисправERROR: invalid variant index 7 статус: 07h.");
    QTest::newRow("V last variant")
        << u("Питание 220В $V(ниже допуска,в допуске,выше допуска,неизвестно).")
        << QByteArray::fromHex("03") << u("Питание 220В неизвестно.");
    QTest::newRow("V empty variants") << u("[$V(,a,)]") << QByteArray::fromHex("00") << u("[]");
    QTest::newRow("V at the end") << u("x $V") << QByteArray::fromHex("00")
                                  << u("x ERROR: invalid variant list");
    QTest::newRow("V without parenthesis") << u("x $V a(b) $i") << QByteArray::fromHex("05")
                                           << u("x ERROR: invalid variant list a(b) 5");
    QTest::newRow("V unclosed") << u("$V(a,b $i") << QByteArray::fromHex("01")
                                << u("ERROR: invalid variant list(a,b 1");
    QTest::newRow("table 3") << u("Самоконтроль: сброс по: $3") << QByteArray::fromHex("08")
                             << u("Самоконтроль: сброс по: 'сторожевой таймер'");
    QTest::newRow("signed and trailing letters")
        << u("Самоконтроль: U30=$iВ U220=$iВ T=$sгр.С") << QByteArray::fromHex("1cdcfb")
        << u("Самоконтроль: U30=28В U220=220В T=-5гр.С");
    QTest::newRow("signed extremes")
        << u("$s $s $s") << QByteArray::fromHex("807f00") << u("-128 127 0");
    QTest::newRow("address and table 4")
        << u("Обновление ПО устройства по адресу $a действие: $4 блок: $i")
        << QByteArray::fromHex("100207")
        << u("Обновление ПО устройства по адресу NTWC действие: 'начато обновление ПО' блок: 7");
    QTest::newRow("table 4 overflow")
        << u("Обновление ПО устройства по адресу $a действие: $4 блок: $i")
        << QByteArray::fromHex("041607")
        << u("Обновление ПО устройства по адресу SPI 4 действие: ERROR: overflow substitute "
             "type 4 блок: 7");
    QTest::newRow("bad address") << u("$a|$a|$a") << QByteArray::fromHex("0f1112")
                                 << u("SPI 15|CPU|ошибочный");
    QTest::newRow("X pads to two digits only")
        << u("$X $X") << QByteArray::fromHex("12003412") << u("12h 1234h");
    QTest::newRow("I reads past the record as 0")
        << u("$i $I") << QByteArray::fromHex("01ff") << u("1 255");
    QTest::newRow("dollar at the end")
        << u("end $") << QByteArray::fromHex("2a") << u("end ERROR: unknown conversion code 2ah");
    QTest::newRow("double dollar")
        << u("$$i") << QByteArray::fromHex("0102") << u("ERROR: unknown conversion code 01hi");
    QTest::newRow("non-Latin-1 conversion")
        << u("$Ж $i") << QByteArray::fromHex("0aff") << u("ERROR: unknown conversion code 0ah 255");
    QTest::newRow("Cyrillic lookalike of a letter")
        << u("$х") << QByteArray::fromHex("0b") << u("ERROR: unknown conversion code 0bh");
    QTest::newRow("tables 2 5 6 7") << u("$2/$5/$6/$7") << QByteArray::fromHex("070302")
                                    << u("'аварийное'/'без сброса'/'копирование завершено'/"
                                         "'отсутствует'");
    QTest::newRow("overflow 2 5 6") << u("$2/$5/$6") << QByteArray::fromHex("080404")
                                    << u("ERROR: overflow substitute type 2/ERROR: overflow "
                                         "substitute type 5/ERROR: overflow substitute type 6");
    QTest::newRow("overflow 3 7") << u("$3/$7") << QByteArray::fromHex("0907")
                                  << u("ERROR: overflow substitute type 3/ERROR: overflow "
                                       "substitute type 7");
    QTest::newRow("no conversion") << u("ВПУ отключено") << QByteArray() << u("ВПУ отключено");
    QTest::newRow("short record reads 0") << u("$i $x $1") << QByteArray() << u("0 00h приемника");

    // A record's text is cut at the bound, visibly, however it grows past it.
    const int bound = MessageTemplate::MaxExpandedLength;
    const QString full(bound, QLatin1Char('a'));
    const QString cut = QString(bound - 1, QLatin1Char('a')) + u("…");
    QTest::newRow("text at the bound") << full << QByteArray() << full;
    QTest::newRow("text past the bound") << full + u("b$ib") << QByteArray::fromHex("07") << cut;
    QTest::newRow("variant past the bound") << u("$V(") + full + u("b,c)") << QByteArray() << cut;
    QTest::newRow("number past the bound")
        << full.left(bound - 1) + u("$I") << QByteArray::fromHex("3412") << cut;
}

void TestMessageFormatter::expands()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, params);
    QFETCH(QString, expected);
    QByteArray r = record(params);
    if (params.size() < 3 && !params.isEmpty())
        r.append(QByteArray(3 - params.size(), '\0'));
    QCOMPARE(formatMessage(text, r), expected);
}

void TestMessageFormatter::emptyExpansionFallsBackToHex_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("rec");
    QTest::addColumn<QString>("expected");

    const QByteArray r = QByteArray::fromHex("000000005a0100ff");
    QTest::newRow("empty template") << QString() << r << u("5ah 01h 00h ffh");
    QTest::newRow("only empty variants") << u("$V(,)") << r << u("5ah 01h 00h ffh");
    QTest::newRow("short record") << QString() << QByteArray::fromHex("00000000c8")
                                  << u("c8h 00h 00h 00h");
}

void TestMessageFormatter::emptyExpansionFallsBackToHex()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, rec);
    QFETCH(QString, expected);
    QCOMPARE(formatMessage(text, rec), expected);
}

void TestMessageFormatter::tableRows_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("expected");

    QTest::newRow("1/8") << u("$1") << 8 << u("Эл.счетчика");
    QTest::newRow("2/0") << u("$2") << 0 << u("'отсутствует'");
    QTest::newRow("3/6") << u("$3") << 6 << u("'6'");
    QTest::newRow("4/0") << u("$4") << 0 << u("'задействуется встроенное обновление модуля АСУДД'");
    QTest::newRow("4/7 keeps its space")
        << u("$4") << 7 << u("'загрузчик в целевом устройстве не обнаружен '");
    QTest::newRow("4/21") << u("$4") << 21 << u("'исчерпано число попыток'");
    QTest::newRow("5/1") << u("$5") << 1 << u("'с последующм сбросом'");
    QTest::newRow("6/3") << u("$6") << 3 << u("'подмена рабочих переменных'");
    QTest::newRow("7/6") << u("$7") << 6 << u("'несовпадение защищённой области 2'");
    QTest::newRow("a/0") << u("$a") << 0 << u("SPI 0");
    QTest::newRow("a/17") << u("$a") << 17 << u("CPU");
}

void TestMessageFormatter::tableRows()
{
    QFETCH(QString, text);
    QFETCH(int, index);
    QFETCH(QString, expected);
    QCOMPARE(formatMessage(text, record(QByteArray(1, char(index)) + QByteArray(2, '\0'))),
             expected);
}

void TestMessageFormatter::lastByteRead_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("last");

    QTest::newRow("none") << u("text") << -1;
    QTest::newRow("three bytes") << u("$i $i $i") << 7;
    QTest::newRow("word") << u("$x $I") << 7;
    QTest::newRow("V and l stay") << u("$V(a,b) $l $h") << 5;
    QTest::newRow("spi_err") << u("Ошибка обмена по SPI: $S Adr: $i cmnd: $i") << 8;
    QTest::newRow("invalid list reads nothing") << u("$V") << -1;
}

void TestMessageFormatter::lastByteRead()
{
    QFETCH(QString, text);
    QFETCH(int, last);
    QCOMPARE(MessageTemplate(text).lastByteRead(), last);
}

QTEST_GUILESS_MAIN(TestMessageFormatter)
#include "tst_messageformatter.moc"
