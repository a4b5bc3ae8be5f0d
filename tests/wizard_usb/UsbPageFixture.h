// The wizard on a package of the emulated printer's model, with a fresh
// emulator and the process-wide USB texts cleared for every test.
#pragma once

#include "UsbPrinterEmulator.h"
#include "WizardFixture.h"
#include "usb/OstrelRecords.h"
#include "usb/UsbEnumeration.h"
#include "usb/usbdevice.h"

#include <cstring>

class UsbWizardTest : public WizardTest {
protected:
    void SetUp() override {
        WizardTest::SetUp();
        std::memset(szSERN, 0, sizeof szSERN);
        std::memset(szDES, 0, sizeof szDES);
        std::memset(pDeviceIdText, 0, sizeof pDeviceIdText);
        emu = std::make_unique<usbemu::Emulator>();
    }
    void TearDown() override {
        WizardTest::TearDown();
        emu.reset();
    }

    // A package of the emulated model (0x5A5A:0x0310) with these firmware files.
    void OpenWith(const std::vector<QByteArray>& files, bool withSysOID = true) {
        WizardTest::OpenWith(files, [withSysOID](Settings& settings) {
            settings["General"]["VID"] = "0x5A5A";
            settings["General"]["PID"] = "0x0310";
            if (!withSysOID)
                settings["General"].erase("SysOID");
        });
    }

    // What the printer's out-pipe received after its first `before` bytes.
    QByteArray WrittenSince(int id, uint64_t before) const {
        const std::vector<uint8_t> all = emu->Written(id);
        return QByteArray(reinterpret_cast<const char*>(all.data()) + before,
                          qsizetype(all.size() - before));
    }

    std::unique_ptr<usbemu::Emulator> emu;
};
