// Window tests run without a display unless told otherwise.
#include "PrivateState.h"
#include "toolbox/Toolbox.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <sched.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    UsePrivateStateFolder();
    // These tests talk to no printer. A network of their own (loopback only,
    // down) makes sure that a page that searches for printers cannot reach
    // the machine's network by mistake.
    if (unshare(CLONE_NEWNET) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
        std::fprintf(stderr, "wizard tests: no private network namespace available\n");
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    tb::Shutdown();
    return result;
}
