#include "qwk_format/packet_packing.h"

#include "archive/unzip_file.h"
#include "archive/zip_file.h"
#include "ascii.h"
#include "atomic_file.h"
#include "vxutil.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace {

constexpr const char* PackingSuffix = ".new";

std::string UpperCaseFileName(const std::string& path) {
    return ascii::Upper(path.substr(path.find_last_of('/') + 1));
}

// The packet is packed as NAME.new and renamed into place; the zip library
// itself writes NAME.new.XXXXXX first (as earlier versions wrote
// NAME.XXXXXX). A run killed meanwhile leaves those behind for good.
bool IsPackingTemporary(const std::string& name, const std::string& archiveName) {
    const auto randomSuffix = [](std::string_view rest) {
        return rest.size() == 6 && std::all_of(rest.begin(), rest.end(), [](char c) {
                   return (c >= '0' && c <= '9') || ascii::Upper(c) != ascii::Lower(c);
               });
    };
    const std::string packing = archiveName + PackingSuffix;
    if (name == packing)
        return true;
    for (const std::string& prefix : {archiveName + ".", packing + "."}) {
        if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
            randomSuffix(std::string_view(name).substr(prefix.size())))
            return true;
    }
    return false;
}

void RemoveStaleArchiveTemporaries(const std::string& archivePath) {
    namespace fs = std::filesystem;
    const fs::path archive(archivePath);
    const std::string archiveName = archive.filename().string();
    std::error_code error;
    for (fs::directory_iterator it(archive.parent_path(), error), end; !error && it != end;
         it.increment(error)) {
        std::error_code notReported;
        if (IsPackingTemporary(it->path().filename().string(), archiveName) &&
            it->is_regular_file(notReported))
            fs::remove(it->path(), notReported);
    }
}

} // namespace

std::string PacketArchivePath(const Settings& settings) {
    return VxSlashIt(settings.WorkDirectory) + settings.QwkId + ".QWK";
}

std::string PreparePacket(const Settings& settings, const std::string& tempDirectory) {
    VxEmptyDirectory(tempDirectory);
    const std::string archivePath = PacketArchivePath(settings);
    RemoveStaleArchiveTemporaries(archivePath);
    return archivePath;
}

bool UnpackPacket(TUnzipFile& unzip, ProgressView& progress, const std::string& archivePath,
                  const std::string& tempDirectory) {
    progress.SetCaption("Unzipping " + UpperCaseFileName(archivePath));
    progress.SetItem("");
    progress.SetPercent(0);
    progress.Show();
    struct HideProgress {
        ProgressView& view;
        ~HideProgress() { view.Hide(); }
    } hide{progress};
    unzip.lpszDestination.SetText(tempDirectory);
    unzip.lpszFileSpec.SetText("*.*");
    unzip.lpszZipFile.SetText(archivePath);
    return unzip.Execute(UnzipActionExtract);
}

bool PackPacket(TZipFile& zip, ProgressView& progress, const std::string& archivePath,
                const std::string& tempDirectory) {
    progress.SetCaption("Zipping " + UpperCaseFileName(archivePath));
    progress.SetItem("");
    progress.SetPercent(0);
    progress.Show();

    // Packed beside the archive and renamed over it once it is whole and on
    // disk: a run killed at any moment leaves the old archive or the new one.
    const std::string packing = archivePath + PackingSuffix;
    std::error_code notReported;
    std::filesystem::remove(packing, notReported);
    zip.lpszZipFile.SetText(packing);
    std::string items = "\"";
    items += VxSlashIt(tempDirectory);
    items += "*.*\"";
    zip.lpszItemList.SetText(items);
    zip.Options.erase(TZipFlag::AddCommentFlag);
    zip.Options.insert(TZipFlag::NoDirectoryNamesFlag);
    bool packed = zip.Execute(ZipActionAddFiles);
    if (packed)
        packed = MoveFileIntoPlace(packing, archivePath).ok();
    else
        std::filesystem::remove(packing, notReported);

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
