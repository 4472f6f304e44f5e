#pragma once

#include <QString>

// What the operator types to go to a time, read without widgets: a time of
// day ("3:10", "03:10:16"), with a day ("14.11 03:10"), with a year
// ("14.11.2026 03:10", "14.11.26 03:10") or in ISO order ("2026-11-14 03:10",
// "2026-11-14T03:10:16").
namespace JournalTimeInput {

// The JournalTime the text names. What it leaves out is the newest such moment
// not after newest (the journal's newest record): a time alone the latest day
// that has it, a day without a year the latest year that has it. Unknown
// when the text cannot be read or names no real date and time.
qint64 parse(const QString& text, qint64 newest);

// How a JournalTime is told back to the operator: "14.11.2026 03:10:00".
QString describe(qint64 when);

} // namespace JournalTimeInput
