#pragma once

#include <QCoreApplication>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// What the workstation's log tells an operator, without any widget: one line
// per request batch, one per failure, and a summary when a batch has ended;
// routine ends are counted, and listed one by one only when verbose. Words,
// not the module's raw values.
class OperatorLog
{
    Q_DECLARE_TR_FUNCTIONS(OperatorLog)

public:
    enum class Kind { Journal, Configuration };

    void setVerbose(bool on) { m_verbose = on; }
    bool isVerbose() const { return m_verbose; }

    // The controllers' downloads of one request; how: in words ("only new").
    // The lines to log: the request, and the summary of any earlier batch
    // whose last controllers it queued again.
    QStringList requested(Kind kind, const QList<int>& ids, const QString& how);
    // One controller's download ended; detail: the failure's message, or
    // (verbose) what was saved. The lines to log.
    QStringList ended(Kind kind, int id, bool ok, const QString& detail);

    // A journal request's block count in words.
    static QString blocksText(int blocks);
    // A journal format version in words ("text journal (TM_HELIX)").
    static QString formatText(int version);

private:
    struct Batch
    {
        Kind kind;
        QString how;
        int count = 0;
        int failed = 0;
        QSet<int> waiting;
    };
    QString summary(const Batch& batch) const;
    static QString downloads(Kind kind, int count);

    QList<Batch> m_batches;
    bool m_verbose = false;
};
