#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

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

    // The journal format the module picks for a controller of this type.
    static int versionForType(const QString& type);
    // The controller id a journal's file name holds, as the module names the
    // files ("Jrn00025.bin": 25, "Jrn1000000000.bin", "Jrn-0005.bin": -5);
    // false when it holds none.
    static bool idFromFileName(const QString& fileName, int* id);

private:
    QHash<int, QString> m_types;
    QSet<int> m_conflicts;
};
