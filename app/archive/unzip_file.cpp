#include "archive/unzip_file.h"

#include "archive/library_binding.h"

#include <cstring>
#include <utility>

namespace {

LibraryBinding& UnzipBinding() {
    static LibraryBinding binding{TUnzipFile::LibraryFileName, TUnzipFile::EntryPointName};
    return binding;
}

} // namespace

TUnzipFile::TUnzipFile() : InfoBuffer(new std::uint8_t[InfoBufferSize]) {
    UnzipBinding().Attach(library_);
}

TUnzipFile::~TUnzipFile() {
    UnzipBinding().Detach();
}

DUnzipEntry TUnzipFile::ExchangeEntryPoint(DUnzipEntry entry) {
    return reinterpret_cast<DUnzipEntry>(
        std::exchange(UnzipBinding().entry, reinterpret_cast<void*>(entry)));
}

void TUnzipFile::FillCommand(UnzipCommand& c) const {
    std::memset(&c, 0, sizeof c);
    c.StructSize = sizeof(UnzipCommand);
    auto* self = const_cast<TUnzipFile*>(this);
    c.MinorProc = MinorStatusCallback;
    c.MinorData = self;
    c.MajorProc = MajorStatusCallback;
    c.MajorData = self;
    c.MessageProc = MessageCallback;
    c.MessageData = self;
    c.RenameProc = RenameCallback;
    c.RenameData = self;

    c.InfoBuffer = InfoBuffer.get();
    c.IndexofItem = IndexofItem;
    c.ReturnCount = ReturnCount;
    c.UnsetField1 = UnsetField1;
    c.UnsetField2 = UnsetField2;
    c.UnsetField3 = UnsetField3;

    const auto in = [this](TUnzipFlag member) -> std::int32_t { return Options.contains(member); };
    c.FreshenFlag = in(TUnzipFlag::FreshenFlag);
    c.UpdateFlag = in(TUnzipFlag::UpdateFlag);
    c.OverWriteFlag = in(TUnzipFlag::OverWriteFlag);
    c.QuietFlag = in(TUnzipFlag::QuietFlag);
    c.TestFlag = in(TUnzipFlag::TestFlag);
    c.NoDirectoryNamesFlag = in(TUnzipFlag::NoDirectoryNamesFlag);
    c.RecurseFlag = in(TUnzipFlag::RecurseFlag);
    c.NoDirectoryItemsFlag = in(TUnzipFlag::NoDirectoryItemsFlag);
    c.bDiagnostic = in(TUnzipFlag::bDiagnostic);
    c.bLF2CRLFFlag = in(TUnzipFlag::bLF2CRLFFlag);
    c.DecryptFlag = in(TUnzipFlag::DecryptFlag);

    c.lpszZipFile = lpszZipFile.Text();
    c.lpszFileSpec = lpszFileSpec.Text();
    c.lpszDestination = lpszDestination.Text();
    c.lpszReturnString = lpszReturnString.Text();
    c.lpszDecryptCode = lpszDecryptCode.Text();
    c.lpszExtProgTitle = lpszExtProgTitle.Text();

    c.wUnzipSubOptions = static_cast<std::uint16_t>(wUnzipSubOptions.bits());
}

bool TUnzipFile::Execute(std::int32_t actionCode) {
    if (!IsActionCode(actionCode))
        return false;
    const auto entry = reinterpret_cast<DUnzipEntry>(UnzipBinding().entry);
    if (entry == nullptr)
        return false;
    // This action hands back a text of at most ReturnCount characters, so the
    // holder is sized for it first (the sum is taken in 16 bits).
    if (actionCode == UnzipActionReadText)
        lpszReturnString.SetSize(static_cast<std::uint16_t>(ReturnCount + 1));
    UnzipCommand command;
    FillCommand(command);
    command.ActionCode = actionCode;
    ResultCode = entry(&command);
    if (ResultCode != 0)
        return false;
    ReturnCount = command.ReturnCount;
    return true;
}
