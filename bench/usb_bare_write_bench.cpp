// The baseline of the USB benchmarks: libusb alone writing a file to the
// printer's vendor out-pipe in 1 MiB bulk transfers, read from the file as it
// goes, with nothing of Quenlo in between.
//
//   usb_bare_write_bench sync|async FILE VID PID
//
// sync: one transfer after the other (libusb_bulk_transfer). async: two in
// flight, the next MiB read while the printer takes the last. Prints the
// time from libusb's start to the last byte taken (opening and claiming
// included, as the sending it is compared with opens the printer too).
#include <libusb.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kPiece = 1024 * 1024;
constexpr int kInFlight = 2;

// The first out-endpoint of interface 1, as the channel takes it.
int OutEndpoint(libusb_device* device) {
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != 0)
        return -1;
    int endpoint = -1;
    for (int i = 0; i < config->bNumInterfaces && endpoint < 0; ++i) {
        const libusb_interface_descriptor& alt = config->interface[i].altsetting[0];
        if (alt.bInterfaceNumber != 1)
            continue;
        for (int e = 0; e < alt.bNumEndpoints && endpoint < 0; ++e)
            if ((alt.endpoint[e].bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) ==
                LIBUSB_ENDPOINT_OUT)
                endpoint = alt.endpoint[e].bEndpointAddress;
    }
    libusb_free_config_descriptor(config);
    return endpoint;
}

struct Slot {
    std::vector<unsigned char> buffer = std::vector<unsigned char>(kPiece);
    libusb_transfer* transfer = nullptr;
    bool busy = false;
    int status = 0;
};

void LIBUSB_CALL Done(libusb_transfer* transfer) {
    auto* slot = static_cast<Slot*>(transfer->user_data);
    slot->busy = false;
    slot->status =
        transfer->status == LIBUSB_TRANSFER_COMPLETED && transfer->actual_length == transfer->length
            ? 0
            : -1;
}

long ReadPiece(int fd, unsigned char* into) {
    long got = 0;
    while (got < kPiece) {
        const ssize_t n = read(fd, into + got, std::size_t(kPiece - got));
        if (n <= 0)
            break;
        got += n;
    }
    return got;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5 || (std::strcmp(argv[1], "sync") != 0 && std::strcmp(argv[1], "async") != 0)) {
        std::fprintf(stderr, "usage: usb_bare_write_bench sync|async FILE VID PID\n");
        return 2;
    }
    const bool async = std::strcmp(argv[1], "async") == 0;
    const int fd = open(argv[2], O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::perror(argv[2]);
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    libusb_context* ctx = nullptr;
    if (libusb_init(&ctx) != 0)
        return 1;
    libusb_device_handle* handle =
        libusb_open_device_with_vid_pid(ctx, uint16_t(std::strtol(argv[3], nullptr, 0)),
                                        uint16_t(std::strtol(argv[4], nullptr, 0)));
    if (handle == nullptr || libusb_claim_interface(handle, 1) != 0) {
        std::fprintf(stderr, "usb_bare_write_bench: no printer\n");
        return 1;
    }
    const int endpoint = OutEndpoint(libusb_get_device(handle));
    if (endpoint < 0)
        return 1;

    long long bytes = 0;
    int rc = 0;
    if (!async) {
        std::vector<unsigned char> buffer(kPiece);
        for (long n = ReadPiece(fd, buffer.data()); n > 0 && rc == 0;
             n = ReadPiece(fd, buffer.data())) {
            int sent = 0;
            rc = libusb_bulk_transfer(handle, uint8_t(endpoint), buffer.data(), int(n), &sent, 0);
            bytes += sent;
        }
    } else {
        Slot slots[kInFlight];
        bool end = false;
        for (;;) {
            for (Slot& slot : slots) {
                if (slot.busy || end || rc != 0)
                    continue;
                const long n = ReadPiece(fd, slot.buffer.data());
                if (n <= 0) {
                    end = true;
                    continue;
                }
                if (slot.transfer == nullptr)
                    slot.transfer = libusb_alloc_transfer(0);
                libusb_fill_bulk_transfer(slot.transfer, handle, uint8_t(endpoint),
                                          slot.buffer.data(), int(n), Done, &slot, 0);
                slot.busy = true;
                if (libusb_submit_transfer(slot.transfer) != 0) {
                    slot.busy = false;
                    rc = -1;
                }
                bytes += n;
            }
            bool busy = false;
            for (const Slot& slot : slots) {
                busy = busy || slot.busy;
                rc = rc != 0 ? rc : slot.status;
            }
            if (!busy && (end || rc != 0))
                break;
            libusb_handle_events(ctx);
        }
        for (Slot& slot : slots)
            if (slot.transfer != nullptr)
                libusb_free_transfer(slot.transfer);
    }
    libusb_release_interface(handle, 1);
    libusb_close(handle);
    libusb_exit(ctx);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    close(fd);
    std::printf("bare: mode=%s bytes=%lld rc=%d seconds=%.4f\n", argv[1], bytes, rc, seconds);
    return rc == 0 ? 0 : 1;
}
