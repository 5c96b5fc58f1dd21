// The archive half of reply_packet_builder.h. That header reaches into the
// program's QWK layout, which the support library is built without, so it is
// not included here; a signature that drifted would fail to link.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

bool RunTool(const QString& program, const QStringList& arguments) {
    QProcess tool;
    tool.start(program, arguments);
    return tool.waitForFinished(60000) && tool.exitStatus() == QProcess::NormalExit &&
           tool.exitCode() == 0;
}

} // namespace

bool WriteZipArchive(const std::string& archivePath,
                     const std::vector<std::pair<std::string, std::string>>& files) {
    QTemporaryDir staging;
    if (!staging.isValid())
        return false;
    QStringList arguments{"-j", "-q", "-X", QString::fromStdString(archivePath)};
    for (const auto& [name, bytes] : files) {
        const std::string path = staging.filePath(QString::fromStdString(name)).toStdString();
        std::ofstream(path, std::ios::binary) << bytes;
        arguments << QString::fromStdString(path);
    }
    std::error_code ignored;
    std::filesystem::remove(archivePath, ignored); // zip would add to an existing archive
    return RunTool("zip", arguments);
}

std::vector<std::pair<std::string, std::string>> ReadZipArchive(const std::string& archivePath) {
    std::vector<std::pair<std::string, std::string>> files;
    QTemporaryDir staging;
    if (!staging.isValid() ||
        !RunTool("unzip", {"-q", "-o", QString::fromStdString(archivePath), "-d", staging.path()}))
        return files;
    for (const auto& entry : std::filesystem::directory_iterator(staging.path().toStdString())) {
        std::ifstream in(entry.path(), std::ios::binary);
        files.emplace_back(entry.path().filename().string(),
                           std::string(std::istreambuf_iterator<char>(in), {}));
    }
    return files;
}
