#include "transfer/Roads.h"

#include "net/NetIO.h"
#include "usb/usbdevice.h"

#include <libusb.h>

#include <time.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>

namespace transfer {

Policy NetworkPolicy(int stallTimeoutMs) {
    Policy policy;
    policy.progress = ProgressStep::PerBlock;
    policy.checkDelivery = true;
    policy.stallTimeoutMs = stallTimeoutMs;
    return policy;
}

Policy UsbPolicy(int stallTimeoutMs) {
    Policy policy;
    policy.progress = ProgressStep::PerFile;
    policy.stallTimeoutMs = stallTimeoutMs;
    return policy;
}
namespace {

class FileSource : public Source {
public:
    bool Open(const FirmwareEntry& file) {
        m_expected.reset();
        if (!file.sha256.isNull())
            m_expected = ExpectedDigest(file.sha256);
        return m_reader.Open(file.name);
    }
    int64_t Size() const override { return m_reader.Size(); }
    long Read(unsigned char* into, std::size_t length) override {
        return m_reader.Read(into, length);
    }
    Cause ReadFailure() const override {
        return m_reader.EndedEarly() ? Cause::FileChanged : Cause::FileUnreadable;
    }
    std::optional<Sha256Digest> Expected() const override { return m_expected; }
    bool Unchanged() override { return m_reader.Unchanged(); }
    const std::string& Path() const { return m_reader.Path(); }

private:
    // A key that is no SHA-256 vouches for no file: no file hashes to all
    // zeros.
    static Sha256Digest ExpectedDigest(const QString& text) {
        return ParseDigestHex(text.toStdString()).value_or(Sha256Digest{});
    }

    FirmwareReader m_reader;
    std::optional<Sha256Digest> m_expected;
};

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SleepMs(int ms) {
    timespec t{ms / 1000, long(ms % 1000) * 1000000L};
    nanosleep(&t, nullptr);
}

} // namespace

std::unique_ptr<Source> FilePackage::Open(int index) {
    if (index < 0 || index >= FileCount())
        return nullptr;
    auto source = std::make_unique<FileSource>();
    const FirmwareEntry& file = m_files[std::size_t(index)];
    if (!source->Open(file)) {
        std::printf("firmware file %d cannot be sent: %s\n", index, qPrintable(file.name));
        return nullptr;
    }
    std::printf("szFileName=%s\n", source->Path().c_str());
    return source;
}

// ---- network ---------------------------------------------------------------------

NetChannel::NetChannel(std::string address, int port, int scopeId)
    : m_address(std::move(address)), m_port(port), m_scopeId(scopeId) {}

NetChannel::~NetChannel() = default;

OpenResult NetChannel::Open(int waitMs) {
    int sd = 0;
    if (!m_net) {
        m_net = std::make_unique<CNetIO>(m_scopeId);
        sd = m_net->NetworkConnectStart(m_address.c_str(), m_port);
    }
    if (sd == EINPROGRESS || sd == 0)
        sd = m_net->NetworkConnectWait(waitMs);
    if (sd == EINPROGRESS)
        return OpenResult::Pending;
    std::printf("NetworkConnect sd=%d\n", sd);
    if (sd == 0)
        return OpenResult::Open;
    m_net.reset();
    m_failure = Cause::Refused;
    return sd < 0 ? OpenResult::Unreachable : OpenResult::Refused;
}

namespace {

// What the socket's error says about the printer: one that never answered
// the retransmissions never acknowledged; anything else ended it.
Cause ConnectionCause(int error) {
    return error == ETIMEDOUT ? Cause::NotAcknowledged : Cause::Reset;
}

} // namespace

long NetChannel::Write(const unsigned char* data, std::size_t length, int waitMs) {
    if (!m_net)
        return -1;
    unsigned long written = 0;
    const int error = m_net->NetworkWriteSome(data, length, waitMs, &written);
    if (error != 0) {
        m_failure = ConnectionCause(error);
        return -1;
    }
    return written > (unsigned long)LONG_MAX ? LONG_MAX : long(written);
}

Delivery NetChannel::Delivered(int waitMs, int64_t* outstanding) {
    if (!m_net)
        return Delivery::Lost;
    // Acknowledgements wake nothing we could wait on: look often.
    const int64_t end = SteadyMs() + waitMs;
    for (;;) {
        long pending = 0;
        const int error = m_net->NetworkUnacknowledged(&pending);
        if (error != 0) {
            m_failure = ConnectionCause(error);
            return Delivery::Lost;
        }
        if (outstanding != nullptr)
            *outstanding = pending;
        if (pending == 0)
            return Delivery::Delivered;
        if (SteadyMs() >= end)
            return Delivery::Pending;
        SleepMs(2);
    }
}

void NetChannel::Close() {
    if (m_net)
        m_net->NetworkClose(0);
    m_net.reset();
}

void NetChannel::Abort() {
    if (m_net)
        m_net->NetworkAbort();
    m_net.reset();
}

Cause NetChannel::Failure() const {
    return m_failure;
}

// ---- USB -------------------------------------------------------------------------

UsbChannel::UsbChannel(long vendorId, long productId)
    : m_vendorId(vendorId), m_productId(productId) {}

UsbChannel::~UsbChannel() = default;

OpenResult UsbChannel::Open(int) {
    m_lastError = 0;
    m_failed = false;
    m_device = std::make_unique<CUsbDevice>();
    if (m_device->Dev_Open(m_vendorId, m_productId) == 0)
        return OpenResult::Open;
    m_lastError = m_device->LastError() != 0 ? m_device->LastError() : LIBUSB_ERROR_NO_DEVICE;
    m_device.reset();
    return OpenResult::Unreachable;
}

long UsbChannel::Write(const unsigned char* data, std::size_t length, int waitMs) {
    if (!m_device || m_failed || length > std::size_t(INT_MAX))
        return -1;
    int written = 0;
    const int kr = m_device->Dev_WriteSome(reinterpret_cast<const char*>(data), int(length),
                                           &written, unsigned(waitMs > 0 ? waitMs : 1));
    if (kr < 0) {
        // A device found whose pipe was never opened says nothing of its own.
        m_lastError = m_device->LastError() != 0 ? m_device->LastError() : LIBUSB_ERROR_NOT_FOUND;
        m_failed = true;
        // The bytes the printer took before the failure count; then -1.
        return written > 0 ? written : -1;
    }
    return written;
}

Delivery UsbChannel::Delivered(int, int64_t* outstanding) {
    // A transfer completes only once the printer took every packet of it.
    const int queued = m_device ? m_device->QueuedBytes() : 0;
    if (outstanding != nullptr)
        *outstanding = queued;
    if (!m_device || m_failed)
        return Delivery::Lost;
    return queued == 0 ? Delivery::Delivered : Delivery::Pending;
}

void UsbChannel::Close() {
    if (m_device)
        m_device->Dev_Close();
    m_device.reset();
}

void UsbChannel::Abort() {
    Close();
}

Cause UsbChannel::Failure() const {
    // A halted pipe or a protocol error is the printer ending the transfer.
    return m_lastError == LIBUSB_ERROR_NO_DEVICE ? Cause::Unplugged : Cause::Reset;
}

} // namespace transfer
