// The update history shared by the wizard and the command-line tool: one JSON
// object per line in $XDG_STATE_HOME/quenlo/history.jsonl, one line per
// printer's outcome. Appending never fails an update; a history that cannot
// be written only costs a line on standard error.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

struct HistoryEntry {
    QDateTime time;  // UTC
    QString program; // "Quenlo" or "quenlo-cli"
    QString model;
    QString address;
    QString name;
    QStringList files;
    QString outcome; // completed, failed, cancelled, ...
    QString cause;   // why it did not complete (reset, stalled, ...); empty when it did
    QString message; // what the user was told; may be empty
    // The SHA-256 of each file sent whole, as it was read while sent.
    QStringList sha256;
};

// The history file's path: $XDG_STATE_HOME when it is set and absolute,
// otherwise ~/.local/state, followed by quenlo/history.jsonl. Empty when
// neither can be formed (no HOME).
QString HistoryFilePath();

// Appends one line, creating the folder (mode 0700) when needed. The line is
// written with one append, so that lines from printers updated at the same
// time, or from two programs, never interleave. False when it could not be
// written; the reason then goes to standard error.
bool AppendHistory(const HistoryEntry& entry);

// The entries of the history file, newest first. Lines that are not a JSON
// object with a time are skipped. Empty when there is no file; *error (when
// given) is set when a file exists but cannot be read.
std::vector<HistoryEntry> ReadHistory(QString* error = nullptr);

// One entry as the JSON object written to the file (and printed by the
// command-line tool).
class QJsonObject;
QJsonObject HistoryEntryToJson(const HistoryEntry& entry);
