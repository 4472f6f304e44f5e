#include "host/response.h"

Response::Response(QObject* parent) : QObject(parent) {}

void Response::finishWithData(const QVariantList& data)
{
    if (m_finished)
        return;
    m_finished = true;
    m_error = 0;
    m_data = data;
    emit finished();
}

void Response::finishWithError(int code, const QString& text)
{
    if (m_finished)
        return;
    m_finished = true;
    m_error = code;
    m_errorString = text;
    emit finished();
}

void Response::emitFinishedAgain()
{
    emit finished();
}
