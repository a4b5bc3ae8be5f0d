// The USB sending alone, timed: the transfer engine sends the package's
// files over the USB channel, as the wizard and quenlo-cli do, with a window
// side that does nothing. Prints the time from the first opening of the
// printer to the last byte of the end marker taken.
//
//   usb_send_bench PACKAGE-DIR VID PID FILE...
#include "settings/BundleUtilities.h"
#include "transfer/Roads.h"
#include "transfer/TransferEngine.h"

#include <QDir>
#include <QString>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

class QuietObserver : public transfer::Observer {
public:
    void Progress(int) override {}
    void KeepAlive() override {}
    bool CancelRequested() override { return false; }
    void Pause(int ms) override {
        const int64_t end = NowMs() + ms;
        while (NowMs() < end) {
        }
    }
    void BeforeEndMarker() override {}
    int64_t NowMs() override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: usb_send_bench PACKAGE-DIR VID PID FILE...\n");
        return 2;
    }
    CBundle bundle;
    bundle.executablePath =
        QDir(QString::fromLocal8Bit(argv[1])).filePath(QStringLiteral("Quenlo"));
    bundle.identifier = QStringLiteral("Quenlo");
    SetMainBundleOverride(&bundle);
    std::vector<FirmwareEntry> files;
    for (int i = 4; i < argc; ++i)
        files.push_back({QString::fromLocal8Bit(argv[i]), QString()});
    transfer::FilePackage package(files);
    transfer::UsbChannel channel(std::strtol(argv[2], nullptr, 0),
                                 std::strtol(argv[3], nullptr, 0));
    QuietObserver observer;
    const auto start = std::chrono::steady_clock::now();
    const transfer::Result result =
        transfer::Send(package, channel, observer, transfer::UsbPolicy(120000));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const bool completed = result.outcome == transfer::Outcome::Completed;
    std::printf("send: seconds=%.4f %s\n", seconds, completed ? "completed" : "NOT completed");
    SetMainBundleOverride(nullptr);
    return completed ? 0 : 1;
}
