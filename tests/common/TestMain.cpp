// The one main of the test programs. Each keeps the update history and the
// remembered package in folders of its own; what else it needs its target
// says: QUENLO_TEST_USB (libusb meets the emulated printers only),
// QUENLO_TEST_WIDGETS (offscreen windows), QUENLO_TEST_NO_NETWORK (a network
// of its own, loopback only and down, so that nothing can reach the
// machine's by mistake) or QUENLO_TEST_NETNS (runs only inside the private
// network that tools/netns/run-in-netns.sh makes; skipped, 77, elsewhere).
#include "PrivateState.h"

#include <gtest/gtest.h>

#include <sched.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef QUENLO_TEST_USB
#include "UsbPrinterEmulator.h"
#endif
#ifdef QUENLO_TEST_NETNS
#include "PrivateNetwork.h"
#endif
#ifdef QUENLO_TEST_WIDGETS
#include "toolbox/Toolbox.h"

#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv) {
#ifdef QUENLO_TEST_USB
    // Before anything else: the program starts again under the preload.
    usbemu::Emulator::EnsurePreloaded(argc, argv);
#endif
#ifdef QUENLO_TEST_NETNS
    std::string why;
    if (!privnet::Inside(&why)) {
        std::printf("%s: skipped: %s\n", argv[0], why.c_str());
        return 77;
    }
#endif
#ifdef QUENLO_TEST_NO_NETWORK
    if (unshare(CLONE_NEWNET) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
        std::fprintf(stderr, "%s: no private network namespace available\n", argv[0]);
#endif
    UsePrivateStateFolder();
#ifdef QUENLO_TEST_WIDGETS
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
#endif
    TestApplication application(argc, argv);
#ifdef QUENLO_TEST_WIDGETS
    QApplication::setQuitOnLastWindowClosed(false);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
#ifdef QUENLO_TEST_WIDGETS
    tb::Shutdown();
#endif
    return result;
}
