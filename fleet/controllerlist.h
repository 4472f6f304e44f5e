#pragma once

#include <QByteArray>
#include <QHash>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

// A host's controller list, "id;type" a line (UTF-8): it tells a journal's
// format, since a journal file's name holds only its controller's id.
class ControllerList
{
public:
    // Reads "id;type" lines; blank lines and lines starting with "#" are
    // passed over. What cannot be taken is told, each with its line number,
    // and the rest is read: a line that is no "id;type" is skipped; an id
    // listed with two different types is known for neither (conflicting()).
    // A list that is no UTF-8 is read as Windows-1251, the journals' own
    // codec, with a warning. Returns the errors.
    QStringList parse(const QByteArray& text, QStringList* warnings = nullptr);

    bool contains(int id) const { return m_types.contains(id); }
    // Listed with two different types: its format is not known.
    bool conflicting(int id) const { return m_conflicts.contains(id); }
    QString type(int id) const { return m_types.value(id); }
    int size() const { return m_types.size(); }

    // The list as the workstation keeps it beside its journals: the lines
    // parse() reads, replacing the file as a whole; false with the reason in
    // error.
    using Entries = QVector<QPair<int, QString>>;
    static QByteArray text(const Entries& controllers);
    static bool write(const QString& path, const Entries& controllers, QString* error);

private:
    QHash<int, QString> m_types;
    QSet<int> m_conflicts;
};
