#include "qwk_format/packet_packing.h"

#include "archive/zip_file.h"
#include "ascii.h"
#include "vxutil.h"

#include <filesystem>
#include <system_error>

namespace {

std::string UpperCaseFileName(const std::string& path) {
    return ascii::Upper(path.substr(path.find_last_of('/') + 1));
}

} // namespace

std::string PacketArchivePath(const Settings& settings) {
    return VxSlashIt(settings.WorkDirectory) + settings.QwkId + ".QWK";
}

std::string PreparePacket(const Settings& settings, const std::string& tempDirectory) {
    VxEmptyDirectory(tempDirectory);
    const std::string archivePath = PacketArchivePath(settings);
    std::error_code notReported;
    std::filesystem::remove(archivePath, notReported);
    return archivePath;
}

bool PackPacket(TZipFile& zip, ProgressView& progress, const std::string& archivePath,
                const std::string& tempDirectory) {
    progress.SetCaption("Zipping " + UpperCaseFileName(archivePath));
    progress.SetItem("");
    progress.SetPercent(0);
    progress.Show();

    zip.lpszZipFile.SetText(archivePath);
    std::string items = "\"";
    items += VxSlashIt(tempDirectory);
    items += "*.*\"";
    zip.lpszItemList.SetText(items);
    zip.Options.erase(TZipFlag::AddCommentFlag);
    zip.Options.insert(TZipFlag::NoDirectoryNamesFlag);
    const bool packed = zip.Execute(ZipActionAddFiles);

    progress.Hide();
    return packed;
}

void ZipFile1MajorCallback(ProgressView& progress, const char* szItem, std::int32_t percent,
                           bool& doCancel) {
    progress.SetItem(szItem != nullptr ? szItem : "");
    progress.SetPercent(percent);
    doCancel = false;
}

void BindArchiveProgress(TDynaZip& component, ProgressView& progress) {
    const auto handler = [&progress](const char* szItem, std::int32_t percent, bool& doCancel) {
        ZipFile1MajorCallback(progress, szItem, percent, doCancel);
    };
    component.OnMajorCallback = handler;
    component.OnMinorCallback = handler;
}
