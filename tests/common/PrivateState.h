// Tests run downloads that append to the update history; they keep it in a
// folder of their own, never in the user's.
#pragma once

#include <QTemporaryDir>
#include <QtGlobal>

inline void UsePrivateStateFolder() {
    static QTemporaryDir folder;
    qputenv("XDG_STATE_HOME", folder.path().toLocal8Bit());
}
