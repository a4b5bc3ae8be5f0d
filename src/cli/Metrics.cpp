#include "cli/Metrics.h"

#include <map>
#include <set>
#include <utility>

namespace {

using Labels = std::vector<std::pair<const char*, QString>>;

class Exposition {
public:
    explicit Exposition(const QString& package) : m_package(package) {}

    void Family(const char* name, const char* help) {
        m_text += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + " gauge\n";
        m_name = name;
    }
    void Sample(const Labels& labels, const QByteArray& value) {
        m_text += m_name + "{package=\"" + MetricsLabelValue(m_package) + '"';
        for (const auto& [label, text] : labels)
            m_text += QByteArray(",") + label + "=\"" + MetricsLabelValue(text) + '"';
        m_text += "} " + value + '\n';
    }
    QByteArray Text() const { return m_text; }

private:
    QString m_package;
    QByteArray m_name;
    QByteArray m_text;
};

QByteArray Seconds(qint64 ms) {
    return QByteArray::number(double(ms) / 1000.0, 'f', 3);
}

} // namespace

QByteArray MetricsLabelValue(const QString& value) {
    QByteArray out;
    for (const char c : value.toUtf8()) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

QByteArray MetricsText(const QString& model, const UpdateRun& run,
                       const std::vector<PrinterOutcome>& outcomes) {
    Exposition out(run.packagePath);
    out.Family("quenlo_update_info", "The last update run of the package: model and version.");
    out.Sample({{"model", model}, {"version", run.programVersion}}, "1");
    out.Family("quenlo_update_dry_run", "1 when the last run was a dry run that sent nothing.");
    out.Sample({}, run.dryRun ? "1" : "0");

    std::map<QString, int> counts;
    for (const QString& outcome : UpdateOutcomes())
        counts[outcome] = 0;
    uint64_t bytes = 0;
    for (const PrinterOutcome& outcome : outcomes) {
        ++counts[outcome.outcome];
        bytes += outcome.bytesSent;
    }
    out.Family("quenlo_update_printers", "Printers of the last update run, by outcome.");
    for (const QString& outcome : UpdateOutcomes())
        out.Sample({{"outcome", outcome}}, QByteArray::number(counts[outcome]));
    // An outcome this list does not know yet is still counted.
    for (const auto& [outcome, count] : counts)
        if (!UpdateOutcomes().contains(outcome))
            out.Sample({{"outcome", outcome}}, QByteArray::number(count));

    out.Family("quenlo_update_sent_bytes",
               "Bytes the last run handed to all printers, markers included.");
    out.Sample({}, QByteArray::number(quint64(bytes)));
    out.Family("quenlo_update_duration_seconds",
               "Length of the last run, from the search for printers to the last outcome.");
    out.Sample({}, Seconds(run.started.msecsTo(run.finished)));
    out.Family("quenlo_update_end_timestamp_seconds",
               "When the last run ended, in seconds since the epoch.");
    out.Sample({}, Seconds(run.finished.toMSecsSinceEpoch()));

    // A collector refuses a file that names one series twice: an address
    // given twice that did not answer is one series.
    std::vector<const PrinterOutcome*> printers;
    std::set<QStringList> seen;
    for (const PrinterOutcome& o : outcomes)
        if (seen.insert({o.printer.address, o.printer.serial, o.outcome}).second)
            printers.push_back(&o);
    auto labels = [](const PrinterOutcome& o) -> Labels {
        return {
            {"address", o.printer.address}, {"serial", o.printer.serial}, {"outcome", o.outcome}};
    };
    out.Family("quenlo_update_printer_sent_bytes",
               "Bytes the last run handed to one printer, markers included.");
    for (const PrinterOutcome* o : printers)
        out.Sample(labels(*o), QByteArray::number(quint64(o->bytesSent)));
    out.Family("quenlo_update_printer_duration_seconds",
               "How long the last run served one printer (printers it started only).");
    for (const PrinterOutcome* o : printers)
        if (o->started.isValid() && o->finished.isValid())
            out.Sample(labels(*o), Seconds(o->started.msecsTo(o->finished)));
    return out.Text();
}
