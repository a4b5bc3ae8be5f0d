// What both downloads share around the transfer engine: the package's files,
// the check of their checksums before the first byte, and a download's end:
// its message, the finished state, its line in the history.
#include "history/History.h"
#include "settings/Checksum.h"
#include "wizard/ListRows.h"
#include "wizard/mainwindow.h"

#include <chrono>
#include <cstdio>
#include <tuple>

using listrows::ClampedCount;

std::vector<QString> MainWindow::FirmwareFileNames() const {
    std::vector<QString> names;
    const int files = ClampedCount(m_Settings.nFWCount, kMaxFirmwareFiles);
    for (int j = 0; j < files; ++j)
        names.push_back(m_Settings.BinfileListdata[j].szFileName);
    return names;
}

void MainWindow::StartChecksumCheck() {
    m_checksumsMatch = true;
    m_checksumMismatch.clear();
    std::vector<ChecksumJob> jobs = ChecksumJobs(PackageFirmware());
    if (jobs.empty())
        return;
    m_checksums = std::async(std::launch::async, [jobs = std::move(jobs)] {
        QString file;
        const bool match = RunChecksums(jobs, &file);
        return std::make_pair(match, file);
    });
}

bool MainWindow::PackageChecksumsMatch() {
    // A second download asked for while the first waits here is the same
    // click twice: it does nothing.
    if (m_waitingForChecksums)
        return false;
    if (m_checksums.valid()) {
        m_waitingForChecksums = true;
        tb::SetWatchCursor();
        while (m_checksums.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready)
            tb::DispatchPendingEvents();
        std::tie(m_checksumsMatch, m_checksumMismatch) = m_checksums.get();
        tb::SetArrowCursor();
        m_waitingForChecksums = false;
    }
    if (m_checksumsMatch)
        return true;
    std::printf("checksum mismatch: %s\n", qPrintable(m_checksumMismatch));
    ShowMessage(7, QLatin1Char('\n') + m_checksumMismatch);
    return false;
}

void MainWindow::EndDownload(const QString& address, const QString& name,
                             const transfer::Result& result, int failMessage,
                             int unreachableMessage) {
    const std::vector<QString> files = FirmwareFileNames();
    const QString file = result.file >= 0 && size_t(result.file) < files.size()
                             ? files[size_t(result.file)]
                             : QString();
    std::printf("download to %s ended: outcome %d, cause %s, file %d (%s), %lld bytes\n",
                qPrintable(address), int(result.outcome), transfer::CauseName(result.cause),
                result.file, qPrintable(file), static_cast<long long>(result.bytes));
    switch (result.outcome) {
    case transfer::Outcome::Completed:
        RecordOutcome(address, name, "completed", 0, &result);
        FinishedContorl();
        ShowMessage(0);
        break;
    case transfer::Outcome::Failed:
    case transfer::Outcome::FileUnusable:
        if (result.cause == transfer::Cause::FileChanged) {
            RecordOutcome(address, name, "failed", 8, &result);
            ShowMessage(8, QLatin1Char('\n') + file);
        } else {
            RecordOutcome(address, name, "failed", failMessage, &result);
            ShowMessage(failMessage);
        }
        break;
    case transfer::Outcome::Cancelled:
        RecordOutcome(address, name, "cancelled", -1, &result);
        break;
    case transfer::Outcome::Unreachable:
        RecordOutcome(address, name, "unreachable", unreachableMessage, &result);
        break;
    }
}

void MainWindow::RecordOutcome(const QString& address, const QString& name, const char* outcome,
                               int message, const transfer::Result* result) {
    HistoryEntry entry;
    entry.time = QDateTime::currentDateTimeUtc();
    entry.program = QStringLiteral("Quenlo");
    entry.model = m_Settings.szModelName;
    entry.address = address;
    entry.name = name;
    for (const QString& file : FirmwareFileNames())
        entry.files.append(file);
    entry.outcome = QString::fromLatin1(outcome);
    if (const char* text = MessageText(message))
        entry.message = QString::fromLatin1(text);
    if (result != nullptr) {
        entry.cause = QString::fromLatin1(transfer::CauseName(result->cause));
        for (const Sha256Digest& digest : result->sent)
            entry.sha256.append(QString::fromStdString(DigestHex(digest)));
    }
    AppendHistory(entry);
}
