// Tests run downloads that append to the update history and windows that
// remember folders; they keep both in a folder of their own, never in the
// user's.
#pragma once

#include <QTemporaryDir>
#include <QtGlobal>

inline void UsePrivateStateFolder() {
    static QTemporaryDir folder;
    const QByteArray base = folder.path().toLocal8Bit();
    qputenv("XDG_STATE_HOME", base + "/state");
    qputenv("XDG_CONFIG_HOME", base + "/config");
    qputenv("HOME", base);
}
