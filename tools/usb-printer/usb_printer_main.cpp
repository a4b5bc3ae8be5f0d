// quenlo-usb-printer: runs a program with an emulated USB printer attached.
//
//   quenlo-usb-printer [options] -- program [args...]
//
// The program runs under umockdev's preload and sees one printer (the
// options set its IDs, strings, device ID and replies); its libusb finds,
// opens and talks to it like a real one. When the program ends, the number
// of bytes written to the printer's out-pipe is printed ("written: N bytes in
// M urbs"), and on standard error how long the program ran, from its start
// to its exit ("ran: S s"); the program's exit status is returned.
//
// Options:
//   --vid N --pid N            USB IDs (hex with 0x, or decimal)
//   --serial S --firmware S --name S --manufacturer S --product S
//   --device-id S              answer to GET_DEVICE_ID
//   --status CODE              status code reported in the device ID's STS: field
//   --record FILE              write every byte of the out-pipe to FILE
//   --record-count             keep no copy in memory, only count the bytes
//   --no-scatter-gather        large writes arrive as 16 KiB pieces
//   --no-usblp                 no kernel printer driver bound to interface 0
//   --printing-interface-2     the printing interface is number 2 (after an
//                              empty interface 0 and the vendor interface 1)
//   --rate N                   the out-pipe takes N bytes per second
//   --silent                   the vendor commands are taken but never answered
#include "UsbPrinterEmulator.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int Usage() {
    std::fprintf(stderr, "usage: quenlo-usb-printer [options] -- program [args...]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    // umockdev allocates a copy of every urb's buffer and frees it once the
    // urb is reaped. Kept on the heap, those megabytes are reused; left to
    // malloc's moving thresholds, each urb would sometimes be a fresh mapping
    // to fault in, and the printer's speed would depend on chance.
    mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
    usbemu::PrinterSetup setup;
    bool scatterGather = true;
    int statusCode = -1;
    int i = 1;
    for (; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (a == "--") {
            ++i;
            break;
        } else if (a == "--vid" && (v = next())) {
            setup.vendorId = static_cast<uint16_t>(std::strtoul(v, nullptr, 0));
        } else if (a == "--pid" && (v = next())) {
            setup.productId = static_cast<uint16_t>(std::strtoul(v, nullptr, 0));
        } else if (a == "--serial" && (v = next())) {
            setup.serial = v;
        } else if (a == "--firmware" && (v = next())) {
            setup.firmwareVersion = v;
        } else if (a == "--name" && (v = next())) {
            setup.printerName = v;
        } else if (a == "--manufacturer" && (v = next())) {
            setup.manufacturer = v;
        } else if (a == "--product" && (v = next())) {
            setup.product = v;
        } else if (a == "--device-id" && (v = next())) {
            setup.deviceId = v;
        } else if (a == "--status" && (v = next())) {
            statusCode = static_cast<int>(std::strtol(v, nullptr, 0));
        } else if (a == "--record" && (v = next())) {
            setup.recordPath = v;
        } else if (a == "--record-count") {
            setup.keepInMemory = false;
        } else if (a == "--no-scatter-gather") {
            scatterGather = false;
        } else if (a == "--no-usblp") {
            setup.usblpBound = false;
        } else if (a == "--printing-interface-2") {
            setup.printingInterface = 2;
        } else if (a == "--rate" && (v = next())) {
            setup.bytesPerSecond = std::strtoull(v, nullptr, 0);
        } else if (a == "--silent") {
            setup.silent = true;
        } else {
            return Usage();
        }
    }
    if (i >= argc)
        return Usage();

    if (statusCode >= 0) {
        // Replace the status field, or add one at the end where it belongs.
        std::string& id = setup.deviceId;
        std::size_t sts = id.find("STS:");
        if (sts != std::string::npos) {
            std::size_t end = id.find(';', sts);
            id.erase(sts, end == std::string::npos ? std::string::npos : end - sts + 1);
        }
        if (!id.empty() && id.back() != ';')
            id += ';';
        id += usbemu::StatusField(static_cast<uint8_t>(statusCode));
    }

    usbemu::Emulator emu(scatterGather);
    int id = emu.AddPrinter(setup);

    const auto started = std::chrono::steady_clock::now();
    pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        return 1;
    }
    if (child == 0) {
        // The child gets the preload; the testbed's directory is already in
        // the environment it inherits.
        const char* old = std::getenv("LD_PRELOAD");
        std::string preload = "libumockdev-preload.so.0";
        if (old && *old)
            preload += std::string(":") + old;
        setenv("LD_PRELOAD", preload.c_str(), 1);
        std::string asan = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
        asan += asan.empty() ? "verify_asan_link_order=0" : ":verify_asan_link_order=0";
        setenv("ASAN_OPTIONS", asan.c_str(), 1);
        execvp(argv[i], argv + i);
        std::fprintf(stderr, "quenlo-usb-printer: %s: %s\n", argv[i], std::strerror(errno));
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    const double ran =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("written: %llu bytes in %d urbs\n",
                static_cast<unsigned long long>(emu.WrittenCount(id)), emu.OutUrbs(id));
    // Standard error: callers parse the program's own output with the line above.
    std::fprintf(stderr, "ran: %.3f s\n", ran);
    std::fflush(stdout);
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}
