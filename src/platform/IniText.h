#pragma once
// The text of an INI settings file as Qt's QSettings writes and reads it, made
// in memory so that it can be written whole through OutputFile: sections from
// the first part of each key, values with QSettings' escapes and type tags
// (@ByteArray, @Invalid, @Variant...), lists as comma-separated values.
#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVariant>

namespace velkin::IniText {

// The file's text for these values; keys with no "/" go in [General].
QByteArray text(const QMap<QString, QVariant>& values);

} // namespace velkin::IniText
