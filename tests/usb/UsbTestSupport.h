// Shared set-up of the USB tests: a fresh emulator per test, the settings'
// IDs pointed at its printers, and the process-wide USB texts cleared.
#pragma once

#include "TestBytes.h"
#include "UsbPrinterEmulator.h"
#include "settings/SettingsData.h"
#include "usb/OstrelRecords.h"
#include "usb/UsbEnumeration.h"

#include <gtest/gtest.h>
#include <libusb.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

constexpr uint16_t kVid = 0x5A5A;
constexpr uint16_t kPid = 0x0310;

class UsbTest : public testing::Test {
protected:
    void SetUp() override {
        m_Settings.nVID = kVid;
        m_Settings.nPID = kPid;
        std::memset(szSERN, 0, sizeof szSERN);
        std::memset(szDES, 0, sizeof szDES);
        std::memset(pDeviceIdText, 0, sizeof pDeviceIdText);
        emu = std::make_unique<usbemu::Emulator>(ScatterGather());
    }
    void TearDown() override { emu.reset(); }
    virtual bool ScatterGather() const { return true; }

    static usbemu::PrinterSetup DefaultPrinter() { return usbemu::PrinterSetup{}; }
    // The default printer as `change` alters it, attached; its emulator id.
    template <typename Change> int AddPrinter(Change change) {
        usbemu::PrinterSetup setup = DefaultPrinter();
        change(setup);
        return emu->AddPrinter(setup);
    }

    std::unique_ptr<usbemu::Emulator> emu;
};

inline std::vector<char> Pattern(std::size_t n, unsigned seed = 1) {
    return PatternOf<std::vector<char>>(n, seed);
}

inline bool SameBytes(const std::vector<uint8_t>& got, const std::vector<char>& want) {
    return got.size() == want.size() && std::memcmp(got.data(), want.data(), got.size()) == 0;
}

// The "STS:" field for a status record with this code.
inline std::string StatusField(uint8_t code) {
    return usbemu::StatusField(code, 0x11);
}

// Runs f with standard output (or error) captured; returns what it wrote.
template <typename F> std::string CapturedStdout(F f) {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    f();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

template <typename F> std::string CapturedStderr(F f) {
    std::fflush(stderr);
    testing::internal::CaptureStderr();
    f();
    std::fflush(stderr);
    return testing::internal::GetCapturedStderr();
}

inline bool Contains(const std::string& hay, const std::string& needle) {
    return hay.find(needle) != std::string::npos;
}

// Device numbers of the attached devices in the order libusb lists them,
// which is the order in which the code under test meets them.
inline std::vector<int> ListedDevices() {
    std::vector<int> out;
    libusb_context* ctx = nullptr;
    if (libusb_init(&ctx) != 0)
        return out;
    libusb_device** list = nullptr;
    ssize_t n = libusb_get_device_list(ctx, &list);
    for (ssize_t i = 0; i < n; ++i)
        out.push_back(libusb_get_device_address(list[i]));
    if (n >= 0)
        libusb_free_device_list(list, 1);
    libusb_exit(ctx);
    return out;
}

// Which of two attached printers libusb lists first.
inline std::pair<int, int> InListedOrder(int a, int b) {
    for (int d : ListedDevices()) {
        if (d == a)
            return {a, b};
        if (d == b)
            return {b, a};
    }
    return {a, b};
}
