#pragma once

#include <QByteArray>

class QObject;

// Removing many rows of a large journal queue at once, as the operator
// removes them (rows selected, then Remove) and as the host's clearJournal
// does: every other row of the queue, so that no two removed rows are
// neighbours, as a filter and Ctrl+A select them. Prints the times; false
// when a removal left the wrong rows.
namespace RemovalBench {

bool run(QObject* module, const QByteArray& layout, bool shown, int rows);

} // namespace RemovalBench
