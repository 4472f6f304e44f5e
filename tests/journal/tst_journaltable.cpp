#include "journal/journaldecoder.h"
#include "journal/journaltable.h"
#include "journal/messagedefinitionparser.h"
#include "viewerfixtures.h"

#include <QBuffer>
#include <QHeaderView>
#include <QtTest>

using namespace ViewerFixtures;

namespace {

QList<QStringList> tableTexts(const QTableWidget* table)
{
    QList<QStringList> rows;
    for (int r = 0; r < table->rowCount(); ++r) {
        QStringList texts;
        for (int c = 0; c < table->columnCount(); ++c)
            texts << (table->item(r, c) ? table->item(r, c)->text() : QString());
        rows << texts;
    }
    return rows;
}

// A Time cell that sorts by its row's order in time.
class KeyedItem : public QTableWidgetItem
{
public:
    KeyedItem(const QString& text, qint64 key) : QTableWidgetItem(text), m_key(key) {}
    bool operator<(const QTableWidgetItem& other) const override
    {
        return m_key < static_cast<const KeyedItem&>(other).m_key;
    }

private:
    qint64 m_key;
};

// The reference: each row inserted on its own into the sorted table, its
// Time cell set last so the whole row moves to its sorted place.
QList<QStringList> naiveTable(const QVector<JournalRow>& rows, bool textJournal)
{
    QTableWidget table(0, textJournal ? 4 : 3);
    table.horizontalHeader()->setSortIndicator(0, Qt::DescendingOrder);
    table.setSortingEnabled(true);
    for (const JournalRow& row : rows) {
        const int r = table.rowCount();
        table.insertRow(r);
        QStringList cells{row.message, row.source};
        if (textJournal)
            cells.prepend(row.type);
        for (int c = 0; c < cells.size(); ++c)
            table.setItem(r, c + 1, new QTableWidgetItem(cells.at(c)));
        table.setItem(r, 0, new KeyedItem(row.time, row.order));
    }
    return tableTexts(&table);
}

} // namespace

class TestJournalTable : public QObject
{
    Q_OBJECT

private slots:
    void fillEqualsPerRowInsertion_data();
    void fillEqualsPerRowInsertion();
};

void TestJournalTable::fillEqualsPerRowInsertion_data()
{
    QTest::addColumn<bool>("text");
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("binary, blocks oldest first") << false << binaryJournal(30, true, 7);
    QTest::newRow("binary, blocks newest first") << false << binaryJournal(30, false, 8);
    QByteArray text;
    QRandomGenerator rng(9);
    for (int i = 0; i < 400; ++i) {
        // Few distinct stamps, in no order, so equal Time texts abound.
        const QString time =
            QStringLiteral("10:%1:00").arg(rng.bounded(20), 2, 10, QLatin1Char('0'));
        text += textLine(QStringLiteral("0%1.02.21").arg(rng.bounded(1, 4)), time, "E",
                         QString::number(i % 7), QStringLiteral("Сообщение %1").arg(i));
    }
    QTest::newRow("text, shuffled stamps") << true << text;
}

// Also each row's record: the one whose Time it shows, found again by its row.
void TestJournalTable::fillEqualsPerRowInsertion()
{
    QFETCH(bool, text);
    QFETCH(QByteArray, data);
    QVector<JournalRow> rows;
    if (text) {
        rows = JournalDecoder::decodeText(data);
    } else {
        QByteArray definitions = definitionFile({{1, QStringLiteral("Сбой процессора")},
                                                 {2, QStringLiteral("Door open")},
                                                 {3, QStringLiteral("Parameter $i")}});
        QBuffer mes(&definitions);
        QVERIFY(mes.open(QIODevice::ReadOnly));
        QMap<int, QString> sources, messages;
        MessageDefinitionParser::parse(mes, sources, messages);
        rows = JournalDecoder(messages, sources).decodeBinary(data);
    }
    QVERIFY2(rows.size() > 300, qPrintable(QString::number(rows.size())));
    JournalTable table;
    table.horizontalHeader()->setSortIndicator(0, Qt::DescendingOrder);
    QVERIFY(table.fill(rows, text));
    QCOMPARE(tableTexts(&table), naiveTable(rows, text));
    for (int r = 0; r < table.rowCount(); ++r) {
        const int record = table.recordOfRow(r);
        table.showRecord(record);
        QVERIFY2(record >= 0 && rows.at(record).time == table.text(r, 0) && table.currentRow() == r,
                 qPrintable(QStringLiteral("row %1: record %2, shown at %3")
                                .arg(r)
                                .arg(record)
                                .arg(table.currentRow())));
    }
}

QTEST_MAIN(TestJournalTable)
#include "tst_journaltable.moc"
