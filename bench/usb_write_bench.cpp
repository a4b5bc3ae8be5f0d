// Writes one file to the USB printer of the given IDs with a single
// Dev_Write (one transfer of the whole file), and prints the time it took and
// the peak memory of this process.
//
//   usb_write_bench FILE VID PID
#include "usb/usbdevice.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/resource.h>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: usb_write_bench FILE VID PID\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary | std::ios::ate);
    if (!in) {
        std::fprintf(stderr, "usb_write_bench: cannot read %s\n", argv[1]);
        return 1;
    }
    std::vector<char> data(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    in.read(data.data(), static_cast<std::streamsize>(data.size()));

    CUsbDevice dev;
    if (dev.Dev_Open(std::strtol(argv[2], nullptr, 0), std::strtol(argv[3], nullptr, 0)) != 0)
        return 1;
    int written = 0;
    auto start = std::chrono::steady_clock::now();
    int rc = dev.Dev_Write(data.data(), static_cast<int>(data.size()), &written);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    dev.Dev_Close();

    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("bench: bytes=%zu writes=1 rc=%d seconds=%.3f MiB/s=%.1f peak_rss_kib=%ld\n",
                data.size(), rc, seconds, data.size() / 1048576.0 / seconds, ru.ru_maxrss);
    return rc == 0 ? 0 : 1;
}
