#pragma once

#include "host/controllerdata.h"

#include <QObject>
#include <QRandomGenerator>

class HostLight;
class Response;

// One simulated traffic-light controller behind a stand-in light. It holds a
// journal and a configuration of its family and answers "GET_JRNL" [n] with
// [n, block] and "GET_CONFIG" [area, offset] with [area, offset, piece], always
// later through the event loop, with optional faults. It also tells which file
// the module should have saved from what it holds.
class SimulatedController : public QObject
{
    Q_OBJECT

public:
    // Faults count the light's commands from 1; 0 switches a fault off.
    struct Faults
    {
        int errorEvery = 0;    // every Nth command gets an error answer
        int dropLinkAt = 0;    // the Nth command is lost with the link, which returns later
        int linkDownMs = 1500; // how long the link stays down
        int lateEvery = 0;     // every Nth answer comes lateMs later than usual
        int lateMs = 400;
        int duplicateEvery = 0; // every Nth answer signals finished() twice
        int resendEvery = 0;    // every Nth answer repeats the previous block or piece
    };

    SimulatedController(int id, ControllerData::Family family, quint32 seed,
                        QObject* parent = nullptr);

    HostLight* light() const { return m_light; }
    int id() const { return m_id; }
    ControllerData::Family family() const { return m_family; }
    bool isMarked() const { return ControllerData::isMarked(m_family); }

    void setLatency(int ms) { m_latency = ms; }
    void setFaults(const Faults& faults) { m_faults = faults; }
    const Faults& faults() const { return m_faults; }

    // Journal: records (binary families) or lines (text families), newest first.
    void setJournalEntries(int count);
    // Writes count entries newer than the newest one (the journal of a working controller).
    void growJournal(int count);
    // A binary journal keeps at most 344 blocks; a full one has no erased space.
    void fillJournal();
    QByteArray journal() const { return m_journal; }
    // Text journals: the newest line stays empty (a lone zero byte in front of
    // the text), as some firmware keeps it; new lines go in behind it.
    void setEmptyNewestLine(bool on);
    bool hasEmptyNewestLine() const { return m_emptyNewestLine; }
    int journalBlockSize() const { return m_blockSize; }
    QByteArray journalBlock(int n) const;
    // Text journals: what the memory after the text reads as (zeros by default;
    // 0xFF for erased flash) and how many blocks the memory has (0: no end).
    // Past its memory a controller answers empty blocks.
    void setTextMemory(char fill, int blocks)
    {
        m_textFill = fill;
        m_textBlocks = blocks;
    }

    void setConfig(const ControllerData::Config& config) { m_config = config; }
    const ControllerData::Config& config() const { return m_config; }
    void setConfigPieceSize(int size) { m_pieceSize = size; }
    QByteArray configPiece(int offset) const;

    // What the module is to save. existing: the journal file before the download
    // (continuation mode reads it).
    QByteArray expectedJournalFile(int blocks, bool fileExists = false,
                                   const QByteArray& existing = QByteArray()) const;
    QByteArray expectedConfigFile() const { return m_config.saved; }
    QString journalFileName() const { return ControllerData::journalFileName(m_id); }
    QString configFileName() const;
    bool configSavedAsJson() const { return ControllerData::configSavedAsJson(m_family, m_config); }

    int commandCount() const { return m_commands; }
    qint64 bytesSent() const { return m_bytesSent; }

signals:
    // The module took a data answer and asked for nothing more: the download of
    // that kind ("GET_JRNL" or "GET_CONFIG") has ended, one way or another.
    void transferEnded(const QString& command);
    void answered(const QString& command, int bytes);

private:
    void onCommand(const QString& name, const QVariantList& args, Response* response);
    void answer(Response* response, const QString& name, const QVariantList& data, bool duplicate);

    HostLight* m_light;
    int m_id;
    ControllerData::Family m_family;
    QRandomGenerator m_rng;
    QByteArray m_journal;
    QDateTime m_newest;
    QDateTime m_oldest;
    int m_blockSize;
    char m_textFill = '\0';
    bool m_emptyNewestLine = false;
    int m_textBlocks = 0;
    ControllerData::Config m_config;
    int m_pieceSize = 200;
    int m_latency = 5;
    Faults m_faults;
    int m_commands = 0;
    int m_journalCommands = 0;
    int m_configCommands = 0;
    int m_linkEpoch = 0; // grows when the link goes down: answers in flight then are lost
    qint64 m_bytesSent = 0;
};
