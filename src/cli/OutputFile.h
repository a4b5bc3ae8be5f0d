// Files quenlo-cli leaves for others to read (reports, metrics): checked
// before any printer is asked, so that a long update never ends in "could not
// write", and replaced whole, so that a reader never sees half a file.
#pragma once

#include <QByteArray>
#include <QString>

// True when WriteFileAtomically(path, ...) can succeed later: path is no
// folder, an existing file there may be replaced, and its folder exists and
// takes a new file (tried for real). Otherwise false with the reason in *why.
bool CanReplaceFile(const QString& path, QString* why);

// Writes bytes to a temporary file in path's folder, flushes it to disk and
// renames it over path. A file there before keeps its permissions; a new one
// gets 0666 less the umask, so that a collector running as another user can
// read it. False with the reason in *why when anything fails; path is then
// left as it was.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* why);
