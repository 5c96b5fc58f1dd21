#include "qwk_format/packet_packing.h"

#include "archive/zip_file.h"
#include "ascii.h"
#include "vxutil.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {

std::string UpperCaseFileName(const std::string& path) {
    return ascii::Upper(path.substr(path.find_last_of('/') + 1));
}

// The zip library writes an archive as NAME.XXXXXX beside it and renames it
// into place; a run killed meanwhile leaves that file behind for good.
void RemoveStaleArchiveTemporaries(const std::string& archivePath) {
    namespace fs = std::filesystem;
    const fs::path archive(archivePath);
    const std::string prefix = archive.filename().string() + ".";
    std::error_code error;
    for (fs::directory_iterator it(archive.parent_path(), error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        const bool temporary =
            name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0 &&
            std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                        [](char c) {
                            return (c >= '0' && c <= '9') || ascii::Upper(c) != ascii::Lower(c);
                        });
        std::error_code notReported;
        if (temporary && it->is_regular_file(notReported))
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
