// The USB page's window tests: the emulated printer is the only USB device
// libusb sees, and no network is reachable.
#include "PrivateState.h"
#include "UsbPrinterEmulator.h"
#include "toolbox/Toolbox.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <sched.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    UsePrivateStateFolder();
    usbemu::Emulator::EnsurePreloaded(argc, argv);
    if (unshare(CLONE_NEWNET) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
        std::fprintf(stderr, "wizard usb tests: no private network namespace available\n");
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    tb::Shutdown();
    return result;
}
