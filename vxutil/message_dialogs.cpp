// The library's message boxes: a Yes/No question, an information notice and a
// confirmed file deletion. Boxes have no parent window.
#include "delete_file_question.h"
#include "unattended.h"
#include "vxutil.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>
#include <dlfcn.h>
#include <unistd.h>

namespace {

// A batch run, or a process without a window system, must never wait for a
// person: its boxes go to standard error and answer at once.
bool MustNotWaitForAPerson() {
    const QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr || !application->inherits("QApplication"))
        return true;
    if (Unattended())
        return true;
    // A box can only be shown from the thread that runs the windows.
    return QThread::currentThread() != application->thread();
}

// The texts reach the box as zero-terminated strings, so they end at their
// first zero byte.
std::string UpToFirstZero(const std::string& text) {
    return text.substr(0, text.find('\0'));
}

void WriteToStandardError(const std::string& message, const std::string& caption) {
    const std::string line = UpToFirstZero(caption) + ": " + UpToFirstZero(message) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

enum class BoxKind { Information = 0, YesNo = 1 };
using ShowBoxEntry = int (*)(int kind, const char* message, const char* caption);

// The boxes live in a companion library beside this one (message_box.cpp),
// loaded on the first box, so only a process that shows one loads the window
// library.
ShowBoxEntry BoxEntry() {
    static const ShowBoxEntry entry = []() -> ShowBoxEntry {
        constexpr const char* Companion = "libvxutil_boxes.so";
        std::string path = Companion;
        Dl_info self{};
        if (::dladdr(reinterpret_cast<void*>(&VxInfoDialog), &self) != 0 && self.dli_fname) {
            const std::string library = self.dli_fname;
            const std::size_t slash = library.rfind('/');
            if (slash != std::string::npos)
                path = library.substr(0, slash + 1) + Companion;
        }
        void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr)
            handle = ::dlopen(Companion, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr)
            return nullptr;
        return reinterpret_cast<ShowBoxEntry>(::dlsym(handle, "VxShowMessageBox"));
    }();
    return entry;
}

// true for Yes. Without the companion library the box goes to standard
// error and is answered No, as in a batch run.
bool ShowBox(BoxKind kind, const std::string& message, const std::string& caption) {
    const ShowBoxEntry entry = BoxEntry();
    if (entry == nullptr) {
        WriteToStandardError(message, caption);
        return false;
    }
    return entry(static_cast<int>(kind), UpToFirstZero(message).c_str(),
                 UpToFirstZero(caption).c_str()) == 1;
}

} // namespace

extern "C" {

bool VxYesNoDialog(const std::string& message, const std::string& caption) {
    if (MustNotWaitForAPerson()) {
        WriteToStandardError(message, caption);
        return false;
    }
    return ShowBox(BoxKind::YesNo, message, caption);
}

void VxInfoDialog(const std::string& message, const std::string& caption) {
    if (MustNotWaitForAPerson()) {
        WriteToStandardError(message, caption);
        return;
    }
    ShowBox(BoxKind::Information, message, caption);
}

void VxDeleteFileDialog(const std::string& path, const std::string& caption) {
    if (!VxYesNoDialog(DeleteFileQuestion(path), caption))
        return;
    // unlink() leaves directories alone; a failed deletion is not reported.
    ::unlink(path.c_str());
}

} // extern "C"
