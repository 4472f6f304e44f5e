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
    // The controller id a journal's file name holds ("Jrn00025.bin": 25), or -1.
    static int idFromFileName(const QString& fileName);

private:
    QHash<int, QString> m_types;
};
