// The network page's window tests send SNMP and firmware: they run only
// inside the private network that tools/netns/run-in-netns.sh makes.
#include "PrivateNetwork.h"
#include "PrivateState.h"
#include "toolbox/Toolbox.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    UsePrivateStateFolder();
    std::string why;
    if (!privnet::Inside(&why)) {
        std::printf("wizard_net_tests: skipped: %s\n", why.c_str());
        return 77;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    tb::Shutdown();
    return result;
}
