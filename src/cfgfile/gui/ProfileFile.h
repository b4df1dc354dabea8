#pragma once

#include <QCoreApplication>
#include <QString>

#include <optional>

#include <nlohmann/json.hpp>

#include "reader/ReportBuffer.h"

namespace zm880::cfgfile_gui {

// Reads the profile (a JSON object of settings fields) in `path`. A missing file, one that is
// not a regular file or is too large, and text that is not a JSON object give nothing, with
// `error` saying why, the path included.
std::optional<nlohmann::ordered_json> ReadProfileFile(const QString& path, QString& error);

// Writes the complete profile of the settings record `record` (byte 0 must be 3) to `path`, as
// the command line's save does, replacing a regular file atomically. False with `error` saying
// why, the path included.
bool SaveProfileFile(const QString& path, const ReportBuffer& record, QString& error);

}  // namespace zm880::cfgfile_gui
