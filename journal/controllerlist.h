#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

// A host's controller list, "id;type" a line (UTF-8): it tells a journal's
// format, since a journal file's name holds only its controller's id.
class ControllerList
{
public:
    // Blank lines and lines starting with "#" are passed over; a later line
    // for an id replaces an earlier one. False, with the first wrong line's
    // number and what is wrong with it in error, when a line is no "id;type".
    bool parse(const QByteArray& text, QString* error);

    bool contains(int id) const { return m_types.contains(id); }
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
};
