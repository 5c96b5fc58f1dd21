// Packing the QWK packet: where it is assembled, what its archive is called,
// and compressing it with the zip component.
#pragma once

#include "core/run_views.h"
#include "core/settings.h"

#include <cstdint>
#include <string>

class TDynaZip;
class TUnzipFile;
class TZipFile;

// VxSlashIt(WorkDirectory) + QwkId + ".QWK".
std::string PacketArchivePath(const Settings& settings);

// Before the first newsgroup: empties tempDirectory, removes what an
// interrupted packing left beside the archive and returns the archive's path.
// An archive still there was not collected; the run adds to it.
std::string PreparePacket(const Settings& settings, const std::string& tempDirectory);

// Unpacks every file of an archive (a packet, or a reader's reply packet)
// into tempDirectory while the progress window shows "Unzipping NAME". False
// when the unzip library failed; otherwise unzip.ReturnCount is the number of
// entries written.
bool UnpackPacket(TUnzipFile& unzip, ProgressView& progress, const std::string& archivePath,
                  const std::string& tempDirectory);

// Compresses every file of tempDirectory into archivePath, stored under their
// bare names, while the progress window shows "Zipping NAME". The archive is
// replaced only once the new one is whole and flushed to disk. False when
// that failed; the archive is then as it was.
bool PackPacket(TZipFile& zip, ProgressView& progress, const std::string& archivePath,
                const std::string& tempDirectory);

// The handler of both components' major and minor status callbacks: the item
// above the bar, the bar at percent; never cancels.
void ZipFile1MajorCallback(ProgressView& progress, const char* szItem, std::int32_t percent,
                           bool& doCancel);

// Binds the component's major and minor status callbacks to
// ZipFile1MajorCallback over this progress window.
void BindArchiveProgress(TDynaZip& component, ProgressView& progress);
