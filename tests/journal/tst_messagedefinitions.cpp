#include "journal/messagedefinitionparser.h"
#include "journal/messagetemplate.h"

#include <QBuffer>
#include <QFile>
#include <QRegularExpression>
#include <QTextCodec>
#include <QtTest>

// The built-in message-definition files and the parser that reads them.
class TestMessageDefinitions : public QObject
{
    Q_OBJECT

private slots:
    void builtInFiles_data();
    void builtInFiles();
    void builtInTexts_data();
    void builtInTexts();
    void builtInFilesAreWellFormed_data();
    void builtInFilesAreWellFormed();
    void parsesLines_data();
    void parsesLines();
    void textsAreWindows1251();
};

namespace {

QString u(const char* s)
{
    return QString::fromUtf8(s);
}

// Message codes and identifiers of 3.17, in file order.
const char Codes317[] =
    "1 cpu_bad 2 spi_bad 3 cnfg_notpr 4 cnfg_chbad 5 cnfg_vers 6 cnfg_dfbad "
    "7 bad_ntwc_ini 8 ntwc_bad 9 devtb_bad 10 summ_lim 11 uncn_alg 12 spi_res "
    "13 glob_rean 14 ntwc_to 15 net_dfn_bad 16 rtc_bad 17 time_bad 18 data_bad "
    "19 device_bad 20 device_bad_id 21 device_to 22 dev_slnt 23 ntp_dmg 24 ntwc_not_ini "
    "25 det_cnf_bad 26 edev_ntfnd_ms 27 net_obslt_ms 28 device_bad_st 30 reload_ntfrmw "
    "31 reload_frmw 32 cntr0_ivn 33 cntr2_ivn 34 cntr3_ivn 35 cntr1_ivn 36 cntr4_ivn "
    "37 cntr5_ivn 38 summ_ovld 39 kpsw_shrt 40 kpsw_dmg 41 key_dmg1 42 key_dmg2 "
    "43 short_cur 44 key_ovrl 45 cbl_bad 46 load_no 47 edev_fail_ms 48 cnfg_sz_small "
    "49 cntr6_ivn 50 cntr7_ivn 52 twi_err 53 spi_err 54 rtc_gl 55 ntp_rec_dmg "
    "56 bat_disch 57 elist_full 58 atmpt_lmt 59 lamp_burst 60 load_chng 62 pwrc_prtct "
    "63 pwrc_fs 64 anpr_ntwc_res 65 device_fs 66 asd_evnt_ovrfl 67 prog_set_over "
    "68 grp_stat_miss 69 stat_grp_mix 70 uncn_cmnd 71 asud_bad_cmnd 72 l2_bad_cmnd "
    "73 srv_bad_cmnd 74 exe_rjct 75 uncn_stat 76 key_unusd 77 bad_time_def "
    "78 asud_adr_mes 79 det_seq_err 80 device_adr_mes 81 device_rean 82 write_cnfg "
    "83 ecnfg_activ 84 ecnfg_copy 85 ecnfg_error 86 ecnfg_test 90 res_req 91 ntwc_chcs "
    "92 intn_chcs 93 ini_on 94 halt_exe 95 pwr50hz_off 96 pwr_30lim 97 pwr_5lim "
    "98 tmprt_lim 102 pwr50hz_skp 103 pwr_220lim 104 pwr_UPS 110 time_out 111 kpwr_en "
    "112 kpwr_dis 113 kpwr_on 114 kpwr_off 115 lmp_ini 116 lmp_meas 117 net_rein "
    "118 rean_sucs_mes 119 trust_time_mes 120 door_open_mes 121 door_close_mes "
    "122 hms_set 123 date_set 124 year_set 125 radio_freq 126 dateyear_set "
    "129 dt_grp_diag 130 test_mode_res 131 test_mode_set 132 evpu_key0 133 evpu_key1 "
    "134 evpu_key2 135 vpu_disable 136 sft_tm_on 137 sft_tm_off 138 spc_net_md "
    "139 edev_cnct_ms 140 edev_rcvr_ms 150 int_stat_m0 151 int_stat_m1 152 det_stat_m0 "
    "153 det_stat_m1 154 det_stat_m2 155 int_stat_m2 156 set_stat_tm 157 det_stat_init "
    "160 yflsh_set 161 allrd_set 162 offmode_set 163 lev_set 164 prog_set_req "
    "165 sttm_set 166 startup_set 167 startup_end 168 prog_set 170 rs_on 171 rs_off "
    "172 phase_set 173 grp_set 174 key_set 180 stat_fixed 181 lev_end 190 adap4_stat_m "
    "191 adap4_stop_m 195 vfdt_ovfl_mes 220 dev_stat_mes 221 notkey_err_mes "
    "222 notfound_mes 223 load_chng_mes 230 rean_attm_mes 232 err_put_mes 233 err_rem_mes "
    "234 err_nor_mes 235 err_nrset_mes 247 green_glitch 248 ntwc_res_mes "
    "249 ntwc_stat_mes 250 ntwc_acs_mes";
// Message codes and identifiers of 3.15, in file order.
const char Codes315[] =
    "1 cpu_bad 2 spi_bad 3 cnfg_notpr 4 cnfg_chbad 5 cnfg_vers 6 cnfg_dfbad 7 bad_id_ntwc "
    "8 ntwc_bad 9 devtb_bad 10 summ_lim 11 uncn_alg 12 spi_res 13 glob_rean 14 ntwc_to "
    "16 rtc_bad 17 time_bad 18 data_bad 19 device_bad 20 device_bad_id 21 device_to "
    "22 dev_slnt 23 ntp_dmg 24 ntwc_not_ini 25 det_cnf_bad 30 reload_frmw 32 rtc_gl "
    "34 ntp_rec_dmg 35 bat_disch 36 uncn_cmnd 37 kpsw_shrt 38 kpsw_dmg 39 key_dmg1 "
    "40 key_dmg2 41 short_cur 42 key_ovrl 43 cbl_bad 44 load_no 45 twi_err 46 spi_err "
    "48 cntr0_ivn 49 cntr2_ivn 50 cntr3_ivn 51 cntr1_ivn 52 cntr4_ivn 53 cntr5_ivn "
    "54 summ_ovld 55 asud_bad_cmnd 56 elist_full 57 atmpt_lmt 58 lamp_burst 59 load_chng "
    "60 anpr_ntwc_res 61 device_fs 62 asd_evnt_ovrfl 63 bad_time_def 64 write_cnfg "
    "65 res_req 66 exe_rjct 67 uncn_stat 68 key_unusd 69 ntwc_chcs 70 intn_chcs 71 ini_on "
    "72 halt_exe 73 pwr50hz_off 74 pwr30_ltl 75 pwr5_ltl 76 tmprt_ulim 77 tmprt_dlim "
    "78 pwr30_high 79 pwr5_high 80 device_adr_mes 81 device_rean 82 time_out 83 kpwr_en "
    "84 kpwr_dis 85 kpwr_on 86 kpwr_off 87 lmp_ini 88 lmp_meas 89 net_rein "
    "90 rean_sucs_mes 91 trust_time_mes 92 door_open_mes 93 door_close_mes 94 hms_set "
    "95 date_set 96 year_set 98 radio_freq 99 dateyear_set 100 dt_sttime_set "
    "101 dt_grp_diag 102 l2_bad_cmnd 103 srv_bad_cmnd 104 ecnfg_activ 105 ecnfg_copy "
    "106 ecnfg_error 107 ecnfg_test 108 test_mode_res 109 test_mode_set 110 int_stat_m0 "
    "111 int_stat_m1 112 det_stat_m0 113 det_stat_m1 114 det_stat_m2 128 yflsh_set "
    "129 allrd_set 130 offmode_set 131 lev_set 132 prog_set 133 sttm_set 134 startup_set "
    "135 startup_end 136 rs_on 137 rs_off 138 phase_set 139 grp_set 140 key_set "
    "141 stat_fixed 142 lev_end 143 adap4_stat_m 144 adap4_stop_m 200 dev_stat_mes "
    "201 notkey_err_mes 202 notfound_mes 203 load_chng_mes 210 rean_attm_mes "
    "212 err_put_mes 213 err_rem_mes 214 err_nor_mes 215 err_nrset_mes 247 green_glitch "
    "248 ntwc_res_mes 249 ntwc_stat_mes 250 ntwc_acs_mes";

using CodeTable = QMap<int, QString>;

CodeTable codeTable(const char* list)
{
    CodeTable table;
    const QStringList items = QString::fromLatin1(list).split(QLatin1Char(' '));
    for (int i = 0; i + 1 < items.size(); i += 2)
        table.insert(items.at(i).toInt(), items.at(i + 1));
    return table;
}

// 3.16 is 3.17 without the newest codes.
CodeTable codes316()
{
    CodeTable t = codeTable(Codes317);
    for (int code : {15, 30, 49, 50, 62, 63, 68})
        t.remove(code);
    return t;
}

// 3.14 lacks some codes of 3.15, and names a few differently.
CodeTable codes314()
{
    CodeTable t = codeTable(Codes315);
    for (int code : {24, 25, 30, 101, 102, 104, 107})
        t.remove(code);
    t.insert(97, QStringLiteral("radio_set"));
    t.insert(63, QStringLiteral("l2_bad_cmnd"));
    t.insert(105, QStringLiteral("write_ecnfg"));
    t.insert(106, QStringLiteral("nowrite_ecnfg"));
    return t;
}

QByteArray resource(int version)
{
    QFile f(QStringLiteral(":/mes_files/Notepad.mes.%1").arg(version));
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

void parseBytes(const QByteArray& bytes, QMap<int, QString>& sources, QMap<int, QString>& messages)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    MessageDefinitionParser::parse(buffer, sources, messages);
}

// Identifiers of the message definitions, the first per code, read independently of the parser.
CodeTable identifiersIn(const QByteArray& file)
{
    CodeTable table;
    bool messages = false;
    const QRegularExpression def(QStringLiteral("^#define\\s+(\\S+)\\s+(\\d+)\\s"));
    for (const QByteArray& line : file.split('\n')) {
        const QString text = QString::fromLatin1(line);
        if (!messages) {
            messages = text.contains(QLatin1String("DISASTERS"));
            continue;
        }
        const QRegularExpressionMatch m = def.match(text);
        if (m.hasMatch() && !table.contains(m.captured(2).toInt()))
            table.insert(m.captured(2).toInt(), m.captured(1));
    }
    return table;
}

} // namespace

void TestMessageDefinitions::builtInFiles_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("count");
    QTest::addColumn<CodeTable>("codes");

    QTest::newRow("314") << 314 << 129 << codes314();
    QTest::newRow("315") << 315 << 135 << codeTable(Codes315);
    QTest::newRow("316") << 316 << 157 << codes316();
    QTest::newRow("317") << 317 << 164 << codeTable(Codes317);
}

void TestMessageDefinitions::builtInFiles()
{
    QFETCH(int, version);
    QFETCH(int, count);
    QFETCH(CodeTable, codes);
    QCOMPARE(codes.size(), count);

    const QByteArray file = resource(version);
    QVERIFY(!file.isEmpty());
    QMap<int, QString> sources, messages;
    parseBytes(file, sources, messages);

    QCOMPARE(sources.size(), 17);
    QCOMPARE(sources.keys(),
             QList<int>({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 15, 16, 30, 31}));
    QCOMPARE(sources.value(1), u("Календарная автоматика"));
    QCOMPARE(sources.value(15), u("Контроль зелёных"));
    QCOMPARE(sources.value(31), u("Отладочный модуль"));
    QCOMPARE(messages.size(), count);
    QCOMPARE(messages.keys(), codes.keys());
    QCOMPARE(identifiersIn(file), codes);

    // Only the conversions the formatter knows, or the two the firmware writes
    // without one, and no parameter beyond byte 7 (spi_err excepted).
    const QRegularExpression allowed(QStringLiteral("^[1-7ISTVadhilsx]$"));
    for (auto it = messages.cbegin(); it != messages.cend(); ++it) {
        const QString& text = it.value();
        for (int i = text.indexOf(QLatin1Char('$')); i >= 0;
             i = text.indexOf(QLatin1Char('$'), i + 1)) {
            QVERIFY2(allowed.match(text.mid(i + 1, 1)).hasMatch(), qPrintable(text));
        }
        if (codes.value(it.key()) != QLatin1String("spi_err"))
            QVERIFY2(MessageTemplate(text).lastByteRead() <= 7, qPrintable(text));
        QVERIFY2(!text.isEmpty(), qPrintable(codes.value(it.key())));
    }
}

void TestMessageDefinitions::builtInTexts_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");

    const QString summOvld16 = u("Авария(ЖМ) по превышению суммарного тока: $iА");
    const QString twi = u("Ошибка обмена по TWI: $T Adr: $i cmnd: $i");
    const QString spi = u("Ошибка обмена по SPI: $S Adr: $i cmnd: $i");
    const QString reload = u("Обновление ПО устройства по адресу $a действие: $4 блок: $i");
    const QString glitch = u("Fix green glitch key: $i st: $x rl: $d");
    for (int v : {316, 317}) {
        const QByteArray tag = QByteArray::number(v) + '/';
        QTest::newRow((tag + "6").constData())
            << v << 6
            << u("Не опред./не допуст. парам. в конфигурации: pnt: $i sub: "
                 "$i par: $i");
        QTest::newRow((tag + "14").constData())
            << v << 14 << u("Нет готовности NTWC cmnd: $x t-o: $I");
        QTest::newRow((tag + "19").constData()) << v << 19 << u("Неисправен модуль $1");
        QTest::newRow((tag + "31").constData()) << v << 31 << reload;
        QTest::newRow((tag + "47").constData())
            << v << 47
            << u("$V(инт. ВПУ,ИБП,счётчик,устр. ППТ) неисправ$V(но,ен,ен,но) статус: $x.");
        QTest::newRow((tag + "52").constData()) << v << 52 << twi;
        QTest::newRow((tag + "53").constData()) << v << 53 << spi;
        QTest::newRow((tag + "78").constData())
            << v << 78 << u("Аварийный поиск: модуль АСУДД ВЕГАЛ найден по адресу $i");
        QTest::newRow((tag + "80").constData())
            << v << 80 << u("Модуль $1 тип $l вариант $h найден по адресу $i");
        QTest::newRow((tag + "83").constData())
            << v << 83 << u("Активизация новой конфигурации режим: $5");
        QTest::newRow((tag + "84").constData())
            << v << 84 << u("Перезапись конфигурации из расширения: $6");
        QTest::newRow((tag + "85").constData())
            << v << 85 << u("Ошибка расширения конфигурации: $7");
        QTest::newRow((tag + "93").constData()) << v << 93 << u("Самоконтроль: сброс по: $3");
        QTest::newRow((tag + "96").constData())
            << v << 96 << u("Питание 30В $V(ниже,в,выше) допуск$V(а,e,а).");
        QTest::newRow((tag + "102").constData())
            << v << 102 << u("Скачок фазы питания 50Гц $s мСек");
        QTest::newRow((tag + "110").constData()) << v << 110 << u("Истекло время неактивности $2");
        QTest::newRow((tag + "135").constData()) << v << 135 << u("ВПУ отключено");
        QTest::newRow((tag + "150").constData())
            << v << 150 << u("Самоконтроль: U30=$iВ U220=$iВ T=$sгр.С");
        QTest::newRow((tag + "247").constData()) << v << 247 << glitch;
    }
    QTest::newRow("317/38") << 317 << 38
                            << u("Авария(ЖМ) по защите PWR-C или превышению суммарного тока: $iА");
    QTest::newRow("316/38") << 316 << 38 << summOvld16;
    QTest::newRow("315/45") << 315 << 45 << twi;
    QTest::newRow("315/46") << 315 << 46 << spi;
    QTest::newRow("315/30") << 315 << 30 << reload;
    QTest::newRow("314/45") << 314 << 45 << u("Ошибка обмена по TWI: $i Adr: $i cmnd: $i");
    QTest::newRow("314/46") << 314 << 46 << u("Ошибка обмена по SPI: $i Adr: $i cmnd: $i");
    QTest::newRow("314/96") << 314 << 96 << u("Календарь-установлены день нед: $i год: $i");
    QTest::newRow("314/97") << 314 << 97 << u("Уст. часов по радио ч: $i м: $i с: $i");
    QTest::newRow("314/105") << 314 << 105 << u("Перезапись конфигурации загруженной по сети");
    QTest::newRow("314/106") << 314 << 106
                             << u("Отказ перезаписи конфигурации загруженной по сети");
    QTest::newRow("314/247") << 314 << 247 << glitch;
}

void TestMessageDefinitions::builtInTexts()
{
    QFETCH(int, version);
    QFETCH(int, code);
    QFETCH(QString, text);
    QMap<int, QString> sources, messages;
    parseBytes(resource(version), sources, messages);
    QCOMPARE(messages.value(code), text);
}

void TestMessageDefinitions::builtInFilesAreWellFormed_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QByteArray>("endMark");
    QTest::newRow("314") << 314 << QByteArray("@4u");
    QTest::newRow("315") << 315 << QByteArray("@5c");
    QTest::newRow("316") << 316 << QByteArray("@6r");
    QTest::newRow("317") << 317 << QByteArray("@7b");
}

void TestMessageDefinitions::builtInFilesAreWellFormed()
{
    QFETCH(int, version);
    QFETCH(QByteArray, endMark);
    const QByteArray file = resource(version);
    // The resource is the repository's file byte for byte.
    const QString sourceDir = qEnvironmentVariable("DQ_SOURCE_DIR");
    if (!sourceDir.isEmpty()) {
        QFile plain(sourceDir + QStringLiteral("/journal/mes_files/Notepad.mes.%1").arg(version));
        QVERIFY(plain.open(QIODevice::ReadOnly));
        QCOMPARE(plain.readAll(), file);
    }

    QVERIFY(file.endsWith("\r\n"));
    QCOMPARE(file.count('\n'), file.count("\r\n"));
    QCOMPARE(file.count('\r'), file.count("\r\n"));
    const QList<QByteArray> lines = file.split('\n');
    QVERIFY(lines.at(0).startsWith("/****"));
    QVERIFY(lines.at(2).contains("Project: LANTERNA / Convert / Master"));
    QVERIFY(lines.at(3).contains("Function: File whis messages define/explanation."));
    QVERIFY(lines.at(4).contains("File: notepad.mes"));
    QVERIFY(lines.at(9).startsWith("*****") && lines.at(9).endsWith("*/\r"));
    QVERIFY(file.contains("// #define name (int)value  /* \"means of message [$conv_type "
                          "aux_field]\" */\r\n"));
    QVERIFY(file.contains("\r\n/*  @  **************************** DISASTERS "
                          "********************************  */\r\n"));
    QCOMPARE(file.count("DISASTERS"), 1);
    QVERIFY(file.contains(endMark + "  ****"));
    QVERIFY(file.contains(" END "));
    const bool enums = version >= 316;
    QCOMPARE(file.contains("\r\nenum{msN_evpu,msN_ups,msN_whm,msN_ppt};\r\n"), enums);
    QCOMPARE(file.contains("\r\nenum{msN_less,msN_ingap,msN_high,ms_uncn};\r\n"), enums);
    QCOMPARE(file.contains("vpu_enable"), enums);
    // Bytes 80h..FFh only as Cyrillic letters of Windows-1251 (C0h..FFh, A8h, B8h).
    for (char c : file) {
        const uchar b = uchar(c);
        QVERIFY2(b < 0x80 || b >= 0xC0 || b == 0xA8 || b == 0xB8, qPrintable(QString::number(b)));
    }
}

void TestMessageDefinitions::parsesLines_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<CodeTable>("sources");
    QTest::addColumn<CodeTable>("messages");

    const QByteArray head = "#define  src  1  /*\"S\"*/\r\n/*  @  *** DISASTERS ***  */\r\n";
    const CodeTable src{{1, u("S")}};
    const CodeTable none;
    auto row = [&](const char* name, const QByteArray& body, const CodeTable& messages) {
        QTest::newRow(name) << head + body << src << messages;
    };
    row("definition", "#define  device_bad     19  /*\"x\"*/\r\n", {{19, u("x")}});
    row("tabs", "#define\tname\t19\t/*\"x\"*/\r\n", {{19, u("x")}});
    row("last line without terminator", "#define a 19 /*\"x\"*/", {{19, u("x")}});
    row("commented out", "//#define a 19 /*\"x\"*/\r\n", none);
    row("leading space", " #define a 19 /*\"x\"*/\r\n", none);
    row("leading tab", "\t#define a 19 /*\"x\"*/\r\n", none);
    row("upper case", "#DEFINE a 19 /*\"x\"*/\r\n", none);
    row("enum line", "enum{msN_evpu,msN_ups,msN_whm,msN_ppt};\r\n", none);
    row("syntax line",
        "// #define name (int)value  /* \"means of message [$conv_type aux_field]\" */\r\n", none);
    row("value without digits", "#define a b /*\"x\"*/\r\n", none);
    row("negative value", "#define a -5 /*\"x\"*/\r\n", none);
    row("no identifier", "#define 19 /*\"x\"*/\r\n", none);
    row("identifier only", "#define a\r\n", none);
    row("comment lacking a quote", "#define a 19 /*\"x*/\r\n", none);
    row("comment without quotes", "#define a 19 /* x */\r\n", none);
    row("empty text", "#define a 19 /*\"\"*/\r\n", {{19, QString()}});
    row("hexadecimal value", "#define a 0x10 /*\"x\"*/\r\n", {{0, u("x")}});
    row("leading zeros", "#define a 0019 /*\"x\"*/\r\n", {{19, u("x")}});
    row("letters after the digits", "#define a 19ab /*\"x\"*/\r\n", {{19, u("x")}});
    row("identifier of any bytes", "#define a\"b\"c 19 /*\"x\"*/\r\n", {{19, u("x")}});
    row("first two quotes", "#define a 19 /*\"x\" \"y\"*/\r\n", {{19, u("x")}});
    row("quote right after the value", "#define a 19\"x\"\r\n", {{19, u("x")}});
    row("value too large", "#define a 99999999999 /*\"x\"*/\r\n", none);
    row("first definition wins", "#define a 19 /*\"x\"*/\r\n#define b 19 /*\"y\"*/\r\n",
        {{19, u("x")}});
    row("a line without text does not claim its code",
        "#define a 19 /*x*/\r\n#define b 19 /*\"y\"*/\r\n", {{19, u("y")}});
    row("DISASTERS counts only once", "#define DISASTERS 7 /*\"d\"*/\r\n", {{7, u("d")}});
    row("banners and blank lines",
        "\r\n/*  ****** ALARMS ******  */\r\n#define a 16 /*\"x\"*/\r\n\r\n", {{16, u("x")}});

    QTest::newRow("no DISASTERS: only sources")
        << QByteArray("#define a 1 /*\"A\"*/\r\n#define b 200 /*\"B\"*/\r\n")
        << CodeTable{{1, u("A")}, {200, u("B")}} << none;
    QTest::newRow("DISASTERS line is not parsed")
        << QByteArray("#define a 3 /*\"DISASTERS\"*/\r\n#define b 5 /*\"x\"*/\r\n") << none
        << CodeTable{{5, u("x")}};
    QTest::newRow("first source wins")
        << QByteArray("#define a 3 /*\"A\"*/\r\n#define b 3 /*\"B\"*/\r\n")
        << CodeTable{{3, u("A")}} << none;
    QTest::newRow("empty file") << QByteArray() << none << none;
}

void TestMessageDefinitions::parsesLines()
{
    QFETCH(QByteArray, file);
    QFETCH(CodeTable, sources);
    QFETCH(CodeTable, messages);
    QMap<int, QString> s, m;
    parseBytes(file, s, m);
    QCOMPARE(s, sources);
    QCOMPARE(m, messages);
}

void TestMessageDefinitions::textsAreWindows1251()
{
    QVERIFY(MessageDefinitionParser::journalCodec());
    QCOMPARE(MessageDefinitionParser::journalCodec()->name(), QByteArray("windows-1251"));
    QMap<int, QString> s, m;
    parseBytes("#define a 1 /*\"\xC2\xCF\xD3 \xB8\"*/\r\nDISASTERS\r\n"
               "#define b 2 /*\"\xEA\xEE\xE4 \xA8\"*/\r\n",
               s, m);
    QCOMPARE(s.value(1), u("ВПУ ё"));
    QCOMPARE(m.value(2), u("код Ё"));
}

QTEST_GUILESS_MAIN(TestMessageDefinitions)
#include "tst_messagedefinitions.moc"
