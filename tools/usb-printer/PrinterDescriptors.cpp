// The emulated printer as the system sees it: its descriptors, its vendor
// replies and the device record umockdev builds it from.
#include "EmulatedPrinter.h"

#include <cstdio>
#include <cstring>

namespace usbemu {

void Put16(std::vector<uint8_t>& v, uint16_t x) {
    v.push_back(static_cast<uint8_t>(x & 0xFF));
    v.push_back(static_cast<uint8_t>(x >> 8));
}

unsigned InterfaceCount(const PrinterSetup& s) {
    return s.printingInterface != 0 ? s.printingInterface + 1u : (s.secondInterface ? 2u : 1u);
}

void Endpoint(std::vector<uint8_t>& v, uint8_t address, uint8_t type) {
    v.insert(v.end(), {7, 5, address, type});
    Put16(v, Emulator::kPacketSize);
    v.push_back(type == 3 ? 4 : 0);
}

void InterfaceDesc(std::vector<uint8_t>& v, uint8_t number, uint8_t alt, uint8_t endpoints,
                   uint8_t cls, uint8_t sub, uint8_t proto) {
    v.insert(v.end(), {9, 4, number, alt, endpoints, cls, sub, proto, 0});
}

std::string Hex(const std::vector<uint8_t>& v) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (uint8_t b : v) {
        s += digits[b >> 4];
        s += digits[b & 0xF];
    }
    return s;
}

std::vector<uint8_t> Utf16Descriptor(const std::string& text) {
    std::vector<uint8_t> d{0, 3};
    for (unsigned char c : text) {
        if (d.size() + 2 > 254)
            break;
        d.push_back(c);
        d.push_back(0);
    }
    d[0] = static_cast<uint8_t>(d.size());
    return d;
}

namespace {

void CopyText(std::vector<uint8_t>& rec, std::size_t offset, const std::string& text) {
    std::memcpy(rec.data() + offset, text.data(), std::min<std::size_t>(text.size(), 32));
}

} // namespace

std::string StatusField(uint8_t code, uint8_t fill) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::vector<uint8_t> rec(108, fill);
    rec[9] = code;
    std::string out = "STS:";
    for (std::size_t i = 0; i < rec.size(); i += 3) { // 108 is a multiple of 3
        uint32_t v = (rec[i] << 16) | (rec[i + 1] << 8) | rec[i + 2];
        for (int shift = 18; shift >= 0; shift -= 6)
            out += alphabet[(v >> shift) & 63];
    }
    return out + ";";
}

std::vector<uint8_t> InfoReply(const std::string& serial, const std::string& firmware) {
    std::vector<uint8_t> rec(1388, 0);
    CopyText(rec, 44, serial);
    CopyText(rec, 204, firmware);
    return rec;
}

std::vector<uint8_t> NameReply(const std::string& name) {
    std::vector<uint8_t> rec(1068, 0);
    CopyText(rec, 12, name);
    return rec;
}

void BuildDescriptors(Printer& p) {
    const PrinterSetup& s = p.setup;
    p.deviceDesc = {18, 1, 0x00, 0x02, 0, 0, 0, 64};
    Put16(p.deviceDesc, s.vendorId);
    Put16(p.deviceDesc, s.productId);
    Put16(p.deviceDesc, 0x0100);
    p.deviceDesc.push_back(s.manufacturer.empty() ? 0 : 1);
    p.deviceDesc.push_back(s.product.empty() ? 0 : 2);
    p.deviceDesc.push_back(s.serial.empty() ? 0 : 3);
    p.deviceDesc.push_back(1);

    std::vector<uint8_t> body;
    if (s.printingInterface == 0) {
        InterfaceDesc(body, 0, 0, 2, 7, 1, 2);
        Endpoint(body, 0x01);
        Endpoint(body, 0x81);
    } else {
        // Something else first, the vendor interface, then the printer.
        InterfaceDesc(body, 0, 0, 0, 0xFF, 0, 0);
    }
    if (s.secondInterface) {
        if (s.noEndpointsAtFirst) {
            InterfaceDesc(body, 1, 0, 0, 0xFF, 0, 0);
            InterfaceDesc(body, 1, 1, 3, 0xFF, 0, 0);
            Endpoint(body, 0x03);
            Endpoint(body, 0x84);
            Endpoint(body, 0x05);
        } else {
            InterfaceDesc(body, 1, 0, 2, 0xFF, 0, 0);
            if (s.inPipeFirst) {
                Endpoint(body, 0x82);
                Endpoint(body, 0x02);
            } else {
                Endpoint(body, 0x02);
                Endpoint(body, 0x82);
            }
        }
    }
    if (s.printingInterface != 0) {
        InterfaceDesc(body, s.printingInterface, 0, 2, 7, 1, 2);
        Endpoint(body, 0x01);
        Endpoint(body, 0x81);
    }
    p.configDesc = {9, 2};
    Put16(p.configDesc, static_cast<uint16_t>(9 + body.size()));
    p.configDesc.insert(p.configDesc.end(),
                        {static_cast<uint8_t>(InterfaceCount(s)), 1, 0, 0xC0, 1});
    p.configDesc.insert(p.configDesc.end(), body.begin(), body.end());
}

namespace {

// An attribute value as the record format wants it: C escapes, octal.
std::string Escaped(const std::string& v) {
    std::string out;
    for (unsigned char c : v) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\%03o", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

} // namespace

std::string DeviceRecord(const Printer& p, int port) {
    char devnum[8];
    std::snprintf(devnum, sizeof devnum, "%03d", p.id);
    std::vector<uint8_t> all = p.deviceDesc;
    all.insert(all.end(), p.configDesc.begin(), p.configDesc.end());
    std::string name = "1-" + std::to_string(port);
    std::string r;
    r += "P: /devices/usb1/" + name + "\n";
    r += std::string("N: bus/usb/001/") + devnum + "\n";
    r += "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n";
    r += "E: BUSNUM=001\n";
    r += std::string("E: DEVNUM=") + devnum + "\n";
    r += std::string("E: DEVNAME=/dev/bus/usb/001/") + devnum + "\n";
    r += "A: busnum=1\\n\n";
    r += "A: devnum=" + std::to_string(p.id) + "\\n\n";
    r += "A: bConfigurationValue=1\\n\n";
    r += "A: speed=480\\n\n";
    r += "H: descriptors=" + Hex(all) + "\n";
    r += "\n";
    // The interfaces, for the udev lookups made by interface name.
    for (int i = 0; i < static_cast<int>(InterfaceCount(p.setup)); ++i) {
        const bool printing = i == p.setup.printingInterface;
        r += "P: /devices/usb1/" + name + "/" + name + ":1." + std::to_string(i) + "\n";
        r += "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n";
        if (printing && !p.setup.classDriverPath.empty())
            r += "E: QUENLO_USB_PRINTING_CLASS=" + p.setup.classDriverPath + "\n";
        r += std::string("A: bInterfaceClass=") + (printing ? "07" : "ff") + "\\n\n";
        r += std::string("A: bInterfaceSubClass=") + (printing ? "01" : "00") + "\\n\n";
        r += "A: bInterfaceNumber=0" + std::to_string(i) + "\\n\n";
        if (printing && p.setup.usblpBound)
            r += "A: ieee1284_id=" + Escaped(p.setup.deviceId) + "\n";
        r += "\n";
    }
    return r;
}

} // namespace usbemu
