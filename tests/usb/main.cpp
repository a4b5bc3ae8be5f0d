#include "UsbPrinterEmulator.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // libusb must meet the emulated printers, never the machine's own.
    usbemu::Emulator::EnsurePreloaded(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
