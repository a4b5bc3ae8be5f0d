#include "cli/FleetReport.h"

#include "cli/Metrics.h"
#include "cli/OutputFile.h"
#include "history/History.h"
#include "settings/BundleUtilities.h"
#include "settings/SettingsData.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSysInfo>

#include <cstdio>

std::function<void(const PrinterOutcome&)>
HistoryRecorder(const std::vector<FirmwareEntry>& files) {
    const QString model = m_Settings.szModelName;
    QStringList names;
    for (const FirmwareEntry& file : files)
        names.append(file.name);
    return [model, names](const PrinterOutcome& outcome) {
        HistoryEntry entry;
        entry.time = outcome.finished;
        entry.program = QStringLiteral("quenlo-cli");
        entry.model = model;
        entry.address = outcome.printer.address;
        entry.name = outcome.printer.name;
        entry.files = names;
        entry.outcome = outcome.outcome;
        entry.cause = outcome.cause;
        entry.message = outcome.message;
        entry.sha256 = outcome.sha256;
        AppendHistory(entry);
    };
}

UpdateRun FinishedRun(const QDateTime& started, bool dryRun) {
    UpdateRun run;
    run.programVersion = QCoreApplication::applicationVersion();
    run.host = QSysInfo::machineHostName();
    if (const CBundle* bundle = GetMainBundle())
        run.packagePath = QFileInfo(bundle->executablePath).path();
    run.dryRun = dryRun;
    run.started = started;
    run.finished = QDateTime::currentDateTimeUtc();
    return run;
}

namespace {

// The package's files for the report, with the SHA-256 that the check before
// sending read, or else the one a printer's transfer read.
std::vector<PackageFile> PackageFiles(const QStringList& checked,
                                      const std::vector<PrinterOutcome>& printers) {
    std::vector<PackageFile> files;
    for (int i = 0; i < m_Settings.FirmwareCount(); ++i) {
        const BINFILE_LIST_DATA& entry = m_Settings.BinfileListdata[i];
        PackageFile file;
        file.name = entry.szFileName;
        file.size = entry.szFileSize.toLongLong();
        if (i < checked.size())
            file.sha256 = checked[i];
        for (const PrinterOutcome& printer : printers)
            if (file.sha256.isEmpty() && i < printer.sha256.size())
                file.sha256 = printer.sha256[i];
        files.push_back(file);
    }
    return files;
}

bool WriteOrTell(const QString& path, const QByteArray& bytes, const char* what) {
    QString why;
    if (WriteFileAtomically(path, bytes, &why))
        return true;
    std::fprintf(stderr, "quenlo-cli: %s not written: %s\n", what, why.toLocal8Bit().constData());
    return false;
}

} // namespace

bool WriteRunFiles(const QString& report, const QString& metrics, const QStringList& checked,
                   const std::vector<PrinterOutcome>& printers, const UpdateRun& run) {
    const QString model = m_Settings.szModelName;
    bool written = true;
    if (!report.isEmpty()) {
        const QByteArray bytes =
            report.endsWith(QLatin1String(".json"))
                ? ReportJson(model, PackageFiles(checked, printers), printers, run)
                : ReportCsv(printers);
        written = WriteOrTell(report, bytes, "report") && written;
    }
    if (!metrics.isEmpty())
        written = WriteOrTell(metrics, MetricsText(model, run, printers), "metrics") && written;
    return written;
}
