#pragma once

#include <QByteArray>
#include <QtGlobal>

// Benchmarks run as the tests do: on the offscreen platform, so that they need
// no display, unless QT_QPA_PLATFORM asks for another. Call before the
// application object is made.
inline void runOffscreenUnlessAsked()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
}
