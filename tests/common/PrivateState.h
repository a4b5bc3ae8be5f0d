// Tests run downloads that append to the update history and open packages
// that the wizard remembers; they keep both in folders of their own, never
// in the user's.
#pragma once

#include <QDir>
#include <QTemporaryDir>
#include <QtGlobal>

inline void UsePrivateStateFolder() {
    static QTemporaryDir folder;
    for (const char* sub : {"state", "config", "home"})
        QDir(folder.path()).mkpath(QString::fromLatin1(sub));
    qputenv("XDG_STATE_HOME", (folder.path() + QStringLiteral("/state")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (folder.path() + QStringLiteral("/config")).toLocal8Bit());
    qputenv("HOME", (folder.path() + QStringLiteral("/home")).toLocal8Bit());
}
