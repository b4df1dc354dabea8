#include "cfgfile/gui/ProfileFile.h"

#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <system_error>

#include "cfgfile/SafeFile.h"
#include "cfgfile/Utf8Path.h"
#include "reader/Profile.h"

namespace zm880::cfgfile_gui {
namespace {

// The context of the texts below.
class ProfileFile {
    Q_DECLARE_TR_FUNCTIONS(zm880::cfgfile_gui::ProfileFile)
};

}  // namespace

std::optional<nlohmann::ordered_json> ReadProfileFile(const QString& path, QString& error) {
    // Only nothing there (or a link to nothing) is missing: a path the system cannot follow, a
    // link loop say, is opened below so that its reason is said.
    std::error_code ec;
    if (std::filesystem::status(cfgfile::Utf8Path(path.toStdString()), ec).type() ==
        std::filesystem::file_type::not_found) {
        error = ProfileFile::tr("file not found: %1").arg(path);
        return std::nullopt;
    }
    const QFileInfo info(path);
    // A FIFO or a device would block the window or never end.
    if (info.exists() && (!info.isFile() || info.size() > static_cast<qint64>(kProfileReadLimit))) {
        error = ProfileFile::tr("unable to open file: %1").arg(path);
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = ProfileFile::tr("unable to open file: %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    const QByteArray text = file.read(static_cast<qint64>(kProfileReadLimit) + 1);
    std::string reason;
    auto profile =
        ParseProfile(std::string_view(text.constData(), static_cast<std::size_t>(text.size())),
                     reason);
    if (!profile)
        error = ProfileFile::tr("not a profile: %1: %2").arg(path, QString::fromStdString(reason));
    return profile;
}

bool SaveProfileFile(const QString& path, const ReportBuffer& record, QString& error) {
    const std::string text = ProfileText(RecordToProfile(record));
    const cfgfile::SafeFileError written = cfgfile::WriteFileSafely(
        cfgfile::Utf8Path(path.toStdString()),
        std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    if (written.ok())
        return true;
    error = ProfileFile::tr("unable to create file: %1").arg(path);
    return false;
}

}  // namespace zm880::cfgfile_gui
