// The printer's vendor command protocol on the USB bulk pipes: the 10-byte
// command record and the two reply records, laid out byte for byte as they
// travel.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little,
              "the command's size field travels little-endian as stored");

#pragma pack(push, 1)
struct DEV_COMMAND {
    uint8_t cmd_mark;      // 0x1B
    uint8_t utility_mark1; // 'M'
    uint8_t cmd_mark2;     // 'S'
    uint8_t utility_mark3; // 'U'
    uint8_t cmd_code;
    uint8_t cmd_subcode;
    uint32_t size; // bytes of data after the record; always 0 here
};

struct DEV_PSR_PRINTERINFORMATION {
    uint8_t Reserved0[44];
    char cSerialNumber[32];
    uint8_t Reserved1[128];
    char cFirmwareVersion[32];
    uint8_t Reserved2[1152];
};

struct DEV_PL_PRINTER_NAME {
    uint8_t Reserved0[12];
    char cPrinterName[32];
    uint8_t Reserved1[1024];
};
#pragma pack(pop)

static_assert(sizeof(DEV_COMMAND) == 10);
static_assert(sizeof(DEV_PSR_PRINTERINFORMATION) == 1388);
static_assert(offsetof(DEV_PSR_PRINTERINFORMATION, cSerialNumber) == 44);
static_assert(offsetof(DEV_PSR_PRINTERINFORMATION, cFirmwareVersion) == 204);
static_assert(sizeof(DEV_PL_PRINTER_NAME) == 1068);
static_assert(offsetof(DEV_PL_PRINTER_NAME, cPrinterName) == 12);

constexpr uint8_t kCmdMark = 0x1B;
constexpr uint8_t kUtilityMark1 = 0x4D;
constexpr uint8_t kCmdMark2 = 0x53;
constexpr uint8_t kUtilityMark3 = 0x55;
constexpr uint8_t kPrinterInfoCode = 0x01;
constexpr uint8_t kPrinterInfoSubcode = 0x01;
constexpr uint8_t kPrinterNameCode = 0xE0;
constexpr uint8_t kPrinterNameSubcode = 0x0B;

// The device ID kept by the last USB enumeration that found one; starts
// empty and is only ever overwritten.
constexpr std::size_t kDeviceIdTextSize = 1024;
extern char pDeviceIdText[kDeviceIdTextSize];
