// A fresh directory for one test, made current while the test runs when asked.
#pragma once

#include <QDir>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class TempWorkDirectory {
public:
    explicit TempWorkDirectory(bool makeCurrent = true) {
        path_ = dir_.path().toStdString();
        if (makeCurrent) {
            previous_ = QDir::currentPath();
            QDir::setCurrent(dir_.path());
        }
    }
    ~TempWorkDirectory() {
        if (!previous_.isEmpty())
            QDir::setCurrent(previous_);
    }
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void Write(const std::string& path, const std::string& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << bytes;
    }

private:
    QTemporaryDir dir_;
    std::string path_;
    QString previous_;
};
