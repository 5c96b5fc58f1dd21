// Packing a 50 MB message file through the zip component, against Info-ZIP's
// zip at the same compression level on the same file. Prints both times and
// their ratio; the component should take at most 1.2 times as long.
#include "archive/zip_file.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t TargetBytes = 50u * 1000 * 1000;
constexpr int Rounds = 3;

// 128-byte blocks as a retrieval run writes them: a header block, then text
// blocks of Usenet-looking lines with 0xE3 as the line end.
std::string MessageFileLikeText() {
    static const char* const words[] = {
        "the",      "of",     "and",    "newsgroup", "article", "reply",  "posted",  "server",
        "offline",  "reader", "packet", "message",   "thread",  "wrote:", ">",       "subject",
        "Usenet",   "QWK",    "binary", "compress",  "archive", "linux",  "version", "problem",
        "solution", "thanks", "anyone", "know",      "how",     "to",     "get",     "this",
        "working",  "again",  "after",  "upgrade",   "kernel",  "driver", "patch",   "build"};
    std::mt19937 random(20261209);
    std::uniform_int_distribution<std::size_t> pickWord(0, std::size(words) - 1);
    std::uniform_int_distribution<int> lineWords(3, 12), messageLines(5, 60);
    std::string data;
    data.reserve(TargetBytes + 4096);
    data.append(128, ' ');
    int number = 1;
    while (data.size() < TargetBytes) {
        char line[160];
        std::snprintf(line, sizeof line,
                      " %-7d12-09-2612:00ALL                     "
                      "someone@example.org     A discussion of offline reading %d",
                      number, number);
        ++number;
        std::string header(line);
        header.resize(128, ' ');
        data += header;
        std::string text;
        for (int line = messageLines(random); line > 0; --line) {
            for (int word = lineWords(random); word > 0; --word) {
                text += words[pickWord(random)];
                text += ' ';
            }
            text.back() = static_cast<char>(0xE3);
        }
        text.resize((text.size() + 127) / 128 * 128, ' ');
        data += text;
    }
    return data;
}

double Seconds(std::chrono::steady_clock::duration elapsed) {
    return std::chrono::duration<double>(elapsed).count();
}

} // namespace

int main() {
    const fs::path place =
        fs::temp_directory_path() / ("zip_pack_bench." + std::to_string(::getpid()));
    const fs::path temp = place / "TEMP";
    fs::create_directories(temp);
    {
        const std::string data = MessageFileLikeText();
        std::ofstream(temp / "MESSAGES.DAT", std::ios::binary).write(data.data(), data.size());
    }
    const auto size = fs::file_size(temp / "MESSAGES.DAT");

    TZipFile zip;
    zip.Options.insert(TZipFlag::NoDirectoryNamesFlag);
    zip.lpszItemList.SetText("\"" + temp.string() + "/*.*\"");

    std::vector<double> ours, theirs;
    for (int round = 0; round < Rounds; ++round) {
        const fs::path ourArchive = place / "OURS.QWK";
        const fs::path theirArchive = place / "THEIRS.QWK";
        fs::remove(ourArchive);
        fs::remove(theirArchive);

        zip.lpszZipFile.SetText(ourArchive.string());
        auto start = std::chrono::steady_clock::now();
        const bool packed = zip.Execute(4);
        ours.push_back(Seconds(std::chrono::steady_clock::now() - start));
        if (!packed) {
            std::fprintf(stderr, "the zip component failed: %d\n", zip.ResultCode);
            return 1;
        }

        const std::string command = "zip -q -" + std::to_string(zip.CompFactor) + " -j '" +
                                    theirArchive.string() + "' '" +
                                    (temp / "MESSAGES.DAT").string() + "'";
        start = std::chrono::steady_clock::now();
        const int status = std::system(command.c_str());
        theirs.push_back(Seconds(std::chrono::steady_clock::now() - start));
        if (status != 0) {
            std::fprintf(stderr, "zip failed: %d\n", status);
            return 1;
        }
        if (round == Rounds - 1)
            std::printf("archive sizes: component %ju bytes, zip %ju bytes\n",
                        static_cast<std::uintmax_t>(fs::file_size(ourArchive)),
                        static_cast<std::uintmax_t>(fs::file_size(theirArchive)));
    }
    fs::remove_all(place);

    const double best = *std::min_element(ours.begin(), ours.end());
    const double reference = *std::min_element(theirs.begin(), theirs.end());
    const double ratio = best / reference;
    std::printf("MESSAGES.DAT: %ju bytes, level %d, best of %d\n",
                static_cast<std::uintmax_t>(size), zip.CompFactor, Rounds);
    std::printf("zip component: %.3f s\n", best);
    std::printf("Info-ZIP zip:  %.3f s\n", reference);
    std::printf("ratio: %.2f (at most 1.20: %s)\n", ratio, ratio <= 1.2 ? "yes" : "NO");
    return ratio <= 1.2 ? 0 : 2;
}
