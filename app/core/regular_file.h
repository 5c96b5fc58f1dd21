// Reading Zandrel's own files (GROUPS.DAT, QUEUE.LST, ZANDREL.INI and their
// copies) without ever opening anything but a regular file: a named pipe given
// in their place would block the read for ever, a device could be changed by
// the mere opening, and a directory has no bytes to give.
#pragma once

#include <string>

// What kind of special file stands at path (a symbolic link is followed):
// "a named pipe", "a directory", "a device", "a socket" or "a special file";
// empty when path is a regular file or nothing is there.
std::string SpecialFileKind(const std::string& path);

// "<path> is a named pipe, not a regular file; it is not opened": the error for
// a special file where one of the program's files belongs.
std::string NotARegularFileMessage(const std::string& path, const std::string& kind);

struct RegularFileRead {
    enum Outcome {
        Read,       // contents holds the whole file
        Missing,    // nothing (or a dangling link) is at path
        NotRegular, // a special file is there; it was not opened
        Failed,     // a regular file that could not be read
    };
    Outcome outcome = Missing;
    std::string contents;
    std::string error; // NotRegular and Failed: the message, naming path
};

// Reads a regular file whole. A special file is refused before it is opened; a
// file swapped for one between the look and the opening is refused too and
// never waited for.
RegularFileRead ReadRegularFile(const std::string& path);
