#pragma once

#include <QObject>
#include <QVariantList>

// The answer object a light returns from sendCommand. It finishes once, later,
// through the event loop, as the host's answers do.
class Response : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int error READ error)
    Q_PROPERTY(QVariantList data READ data)

public:
    explicit Response(QObject* parent = nullptr);

    int error() const { return m_error; }
    QVariantList data() const { return m_data; }
    Q_INVOKABLE QString errorString() const { return m_errorString; }

    bool isFinished() const { return m_finished; }

    // Sets the outcome and emits finished() (once; later calls are ignored).
    void finishWithData(const QVariantList& data);
    void finishWithError(int code, const QString& text = QString());
    // Emits finished() again without changing anything: a duplicate answer.
    void emitFinishedAgain();

signals:
    void finished();

private:
    int m_error = 0;
    QVariantList m_data;
    QString m_errorString;
    bool m_finished = false;
};
