#include "archive/zip_file.h"

#include "archive/library_binding.h"

#include <cstring>
#include <utility>

namespace {

LibraryBinding& ZipBinding() {
    static LibraryBinding binding{TZipFile::LibraryFileName, TZipFile::EntryPointName};
    return binding;
}

} // namespace

std::uint16_t MultiVolWord(TMultiVolFlags flags) {
    static constexpr std::pair<TMultiVolFlag, std::uint16_t> values[] = {
        {TMultiVolFlag::MV_USEMULTI, 0x8000}, {TMultiVolFlag::MV_FORMAT, 0x0001},
        {TMultiVolFlag::MV_LOWDENSE, 0x0002}, {TMultiVolFlag::MV_WIPE, 0x0100},
        {TMultiVolFlag::MV_SUBDIR, 0x0200},   {TMultiVolFlag::MV_SYSHIDE, 0x0400},
        {TMultiVolFlag::MV_CDFIRST, 0x1000},
    };
    std::uint16_t word = 0;
    for (const auto& [member, value] : values)
        if (flags.contains(member))
            word = static_cast<std::uint16_t>(word + value);
    return word;
}

TZipFile::TZipFile() {
    ZipBinding().Attach(library_);
}

TZipFile::~TZipFile() {
    ZipBinding().Detach();
}

DZipEntry TZipFile::ExchangeEntryPoint(DZipEntry entry) {
    return reinterpret_cast<DZipEntry>(
        std::exchange(ZipBinding().entry, reinterpret_cast<void*>(entry)));
}

void TZipFile::FillCommand(ZipCommand& c) const {
    std::memset(&c, 0, sizeof c);
    c.StructSize = sizeof(ZipCommand);
    auto* self = const_cast<TZipFile*>(this);
    c.MajorProc = MajorStatusCallback;
    c.MajorData = self;
    c.MinorProc = MinorStatusCallback;
    c.MinorData = self;
    c.MessageProc = MessageCallback;
    c.MessageData = self;
    c.RenameProc = RenameCallback;
    c.RenameData = self;

    c.CompFactor = CompFactor;
    c.UnsetField1 = UnsetField1;
    c.UnsetField2 = UnsetField2;

    const auto in = [](auto set, auto member) -> std::int32_t { return set.contains(member); };
    c.DosifyFlag = in(ZipFormats, TZipFormat::DosifyFlag);
    c.RecurseFlag = in(Options, TZipFlag::RecurseFlag);
    c.QuietFlag = in(ZipFormats, TZipFormat::QuietFlag);
    c.PathForTempFlag = in(Options, TZipFlag::PathForTempFlag);
    c.FixFlag = in(Options, TZipFlag::FixFlag);
    c.FixHarderFlag = in(Options, TZipFlag::FixHarderFlag);
    c.IncludeVolumeFlag = in(Options, TZipFlag::IncludeVolumeFlag);
    c.DeleteOriginalFlag = in(Options, TZipFlag::DeleteOriginalFlag);
    c.GrowExistingFlag = in(Options, TZipFlag::GrowExistingFlag);
    c.NoDirectoryNamesFlag = in(Options, TZipFlag::NoDirectoryNamesFlag);
    c.ConvertLFtoCRLFFlag = in(ZipFormats, TZipFormat::ConvertLFtoCRLFFlag);
    c.AddCommentFlag = in(Options, TZipFlag::AddCommentFlag);
    c.AfterDateFlag = in(Options, TZipFlag::AfterDateFlag);
    c.OldAsLatestFlag = in(Options, TZipFlag::OldAsLatestFlag);
    c.IncludeOnlyFollowingFlag = in(Options, TZipFlag::IncludeOnlyFollowingFlag);
    c.ExcludeFollowingFlag = in(Options, TZipFlag::ExcludeFollowingFlag);
    c.NoDirectoryEntriesFlag = in(Options, TZipFlag::NoDirectoryEntriesFlag);
    c.IncludeSysHiddenFlag = in(Options, TZipFlag::IncludeSysHiddenFlag);
    c.DontCompressTheseSuffixesFlag = in(ZipFormats, TZipFormat::DontCompressTheseSuffixesFlag);
    c.bDiagnostic = in(Options, TZipFlag::bDiagnostic);
    c.EncryptFlag = in(ZipFormats, TZipFormat::EncryptFlag);

    c.lpszZipFile = lpszZipFile.Text();
    c.lpszItemList = lpszItemList.Text();
    c.lpszTempPath = lpszTempPath.Text();
    c.lpszComment = lpszComment.Text();
    c.lpszDate = lpszDate.Text();
    c.lpszIncludeFollowing = lpszIncludeFollowing.Text();
    c.lpszExcludeFollowing = lpszExcludeFollowing.Text();
    c.lpszStoreSuffixes = lpszStoreSuffixes.Text();
    c.lpszEncryptCode = lpszEncryptCode.Text();
    c.lpszExtProgTitle = lpszExtProgTitle.Text();

    c.wMultiVolControl = MultiVolWord(wMultiVolControl);
    c.wZipSubOptions = static_cast<std::uint16_t>(wZipSubOptions.bits());
}

bool TZipFile::Execute(std::int32_t actionCode) {
    if (!IsActionCode(actionCode))
        return false;
    const auto entry = reinterpret_cast<DZipEntry>(ZipBinding().entry);
    if (entry == nullptr)
        return false;
    ZipCommand command;
    FillCommand(command);
    command.ActionCode = actionCode;
    ResultCode = entry(&command);
    return ResultCode == 0;
}
