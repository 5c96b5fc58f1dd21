// THREADS.DAT, beside GROUPS.DAT: for each message Get Articles writes, the
// article it came from, so that a reply, which names its parent only by
// conference and message number, can carry the parent's Message-ID in its
// References.
//
// One line per message, ended by LF, its fields separated by tabs:
// conference, article number, date stored (yyyy-mm-dd), Message-ID,
// References, and Subject (UTF-8) when there is one.
// The article number is kept in full even where the 7-character message
// number field cut it. The file is read once per run and written whole,
// atomically, once at its end; it is a convenience, so a file that cannot be
// read is an empty store and damaged lines are skipped.
//
// Bounds: an entry goes once it is more than MaxAgeDays old, and beyond
// MaxEntries the oldest go first. A reader seldom answers an older message,
// and at a few hundred bytes a line the file stays within tens of megabytes.
#pragma once

#include <QDate>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>

struct ThreadEntry {
    std::string MessageId;
    std::string References; // message identifiers separated by single spaces
    QDate Stored;
    std::string Subject; // decoded, UTF-8; what a reply's subject continues
};

class ThreadStore {
public:
    static constexpr int MaxAgeDays = 90;
    static constexpr std::size_t MaxEntries = 200'000;
    // Longer subjects are kept cut; a reply's subject field is 25 characters.
    static constexpr std::size_t MaxSubjectBytes = 998;

    // <startDirectory>/THREADS.DAT
    static std::string PathIn(const std::string& startDirectory);

    explicit ThreadStore(std::string path, std::size_t maxEntries = MaxEntries);

    // Replaces what is in memory with the file's entries, less those pruned
    // as of today. Never throws for the file's sake: a missing file is an
    // empty store, one that cannot be read (LoadError() says why) too.
    void Load(const QDate& today);

    // The message for the article was written with this conference and
    // number. An entry for the same conference and number is replaced: the
    // number now names this article. The Message-ID is taken trimmed;
    // nothing is kept when it is no "<...>" or has white space or a control
    // character inside. Of references only the message identifiers are kept,
    // single spaces between, as many as a reply's References line can carry
    // (LimitReferences), so no CR, LF or tab reaches the file.
    void Remember(std::uint16_t conference, std::int32_t articleNumber, std::string_view messageId,
                  std::string_view references, const QDate& stored,
                  std::string_view subject = {});

    // The parent of a reply, from the reply's conference and its reference
    // field (trimmed). A reference is compared with what the reader saw in
    // the message number field: a number of up to 7 digits as it is, a longer
    // one cut to 7. So "1234567" names 1234567 and 12345678 alike, and when
    // the store holds more than one such article the parent is unknown. A
    // longer reference must match a number exactly. Nullptr when unknown.
    const ThreadEntry* FindParent(std::uint16_t conference, std::string_view reference) const;

    // Prunes as of today and replaces the file with what is left. False when
    // writing failed (Error() says why); the old file is then left whole.
    bool Save(const QDate& today);

    std::size_t Size() const { return entries_.size(); }
    const std::string& Path() const { return path_; }
    const std::string& LoadError() const { return loadError_; }
    std::size_t SkippedLines() const { return skippedLines_; }
    const std::string& Error() const { return error_; }

private:
    struct Stored {
        ThreadEntry Entry;
        std::uint64_t Order = 0; // among entries of one day, which came first
    };
    // Conference and the article number as text: the numbers cut to one
    // text sort together.
    using Key = std::pair<std::uint16_t, std::string>;

    void Put(Key key, ThreadEntry entry);
    void Prune(const QDate& today);

    std::string path_;
    std::size_t maxEntries_;
    std::map<Key, Stored> entries_;
    std::uint64_t nextOrder_ = 0;
    std::string loadError_;
    std::size_t skippedLines_ = 0;
    std::string error_;
};
