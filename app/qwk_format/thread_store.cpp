#include "qwk_format/thread_store.h"

#include "ascii.h"
#include "atomic_file.h"
#include "core/regular_file.h"
#include "qwk_format/qwk_header.h"
#include "qwk_format/references.h"
#include "vxutil.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <tuple>
#include <vector>

namespace {

// What the reader saw of a number longer than the message number field.
constexpr std::size_t NumberFieldWidth = qwk::header::MessageNumber.width;

std::string_view Trimmed(std::string_view text) {
    return ascii::Trimmed(text, " \t\r\n");
}

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// An article number as the writer writes it: digits, no leading zero, within
// 32 bits.
bool IsArticleNumber(std::string_view text) {
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return AllDigits(text) && text.front() != '0' && error == std::errc() &&
           end == text.data() + text.size();
}

// Anything that could not stand in a References line, or in one field of
// THREADS.DAT, makes the identifier unusable.
bool IsUsableMessageId(std::string_view id) {
    if (id.size() < 3 || id.front() != '<' || id.back() != '>')
        return false;
    return std::none_of(id.begin(), id.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= ' ' || byte == 0x7F;
    });
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string_view::npos)
            return fields;
        start = tab + 1;
    }
}

QDate ParseDate(std::string_view text) {
    if (text.size() != 10)
        return {};
    return QDate::fromString(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())),
                             QStringLiteral("yyyy-MM-dd"));
}

} // namespace

std::string ThreadStore::PathIn(const std::string& startDirectory) {
    return VxSlashIt(startDirectory) + "THREADS.DAT";
}

ThreadStore::ThreadStore(std::string path, std::size_t maxEntries)
    : path_(std::move(path)), maxEntries_(maxEntries) {}

void ThreadStore::Load(const QDate& today) {
    entries_.clear();
    nextOrder_ = 0;
    loadError_.clear();
    skippedLines_ = 0;

    const RegularFileRead file = ReadRegularFile(path_);
    if (file.outcome != RegularFileRead::Read) {
        loadError_ = file.error;
        return;
    }
    const std::string_view text = file.contents;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            continue;

        const std::vector<std::string_view> fields = Fields(line);
        std::uint16_t conference = 0;
        const std::string_view conferenceText = fields[0];
        const auto parsed = std::from_chars(
            conferenceText.data(), conferenceText.data() + conferenceText.size(), conference);
        const bool shaped = fields.size() == 5 || fields.size() == 6;
        const QDate stored = shaped ? ParseDate(fields[2]) : QDate();
        if (!shaped || !AllDigits(conferenceText) || parsed.ec != std::errc() ||
            parsed.ptr != conferenceText.data() + conferenceText.size() ||
            !IsArticleNumber(fields[1]) || !stored.isValid() || !IsUsableMessageId(fields[3])) {
            ++skippedLines_;
            continue;
        }
        // A later line for the same number is the newer one.
        Put({conference, std::string(fields[1])},
            {std::string(fields[3]), LimitReferences(fields[4]), stored,
             fields.size() == 6 ? std::string(fields[5]) : std::string()});
        // A file grown far beyond the bounds is not held whole in memory.
        if (entries_.size() > 2 * maxEntries_)
            Prune(today);
    }
    Prune(today);
}

void ThreadStore::Remember(std::uint16_t conference, std::int32_t articleNumber,
                           std::string_view messageId, std::string_view references,
                           const QDate& stored, std::string_view subject) {
    const std::string_view id = Trimmed(messageId);
    if (articleNumber <= 0 || !IsUsableMessageId(id) || !stored.isValid())
        return;
    // Only identifiers are kept, separated by single spaces, and no more of
    // them than a reply's References line could carry.
    std::string oneLineSubject(subject.substr(0, MaxSubjectBytes));
    std::replace_if(
        oneLineSubject.begin(), oneLineSubject.end(),
        [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
    Put({conference, std::to_string(articleNumber)},
        {std::string(id), LimitReferences(references), stored, std::move(oneLineSubject)});
}

void ThreadStore::Put(Key key, ThreadEntry entry) {
    Stored& slot = entries_[std::move(key)];
    slot.Entry = std::move(entry);
    slot.Order = nextOrder_++;
}

const ThreadEntry* ThreadStore::FindParent(std::uint16_t conference,
                                           std::string_view reference) const {
    reference = Trimmed(reference);
    if (!AllDigits(reference))
        return nullptr;
    const Key key{conference, std::string(reference)};
    if (reference.size() != NumberFieldWidth) {
        const auto found = entries_.find(key);
        return found == entries_.end() ? nullptr : &found->second.Entry;
    }
    // Every number the field showed as this text: the number itself and the
    // longer ones it was cut from. They sort together.
    const Stored* match = nullptr;
    for (auto it = entries_.lower_bound(key);
         it != entries_.end() && it->first.first == conference &&
         it->first.second.starts_with(reference);
         ++it) {
        if (match != nullptr && match->Entry.MessageId != it->second.Entry.MessageId)
            return nullptr;
        if (match == nullptr || match->Order < it->second.Order)
            match = &it->second;
    }
    return match == nullptr ? nullptr : &match->Entry;
}

void ThreadStore::Prune(const QDate& today) {
    const QDate oldest = today.addDays(-MaxAgeDays);
    for (auto it = entries_.begin(); it != entries_.end();) {
        ThreadEntry& entry = it->second.Entry;
        // A date ahead of the clock (it was set wrong once) would otherwise
        // outlive every bound.
        if (entry.Stored > today)
            entry.Stored = today;
        if (entry.Stored < oldest)
            it = entries_.erase(it);
        else
            ++it;
    }
    if (entries_.size() <= maxEntries_)
        return;
    std::vector<std::tuple<QDate, std::uint64_t, Key>> byAge;
    byAge.reserve(entries_.size());
    for (const auto& [key, stored] : entries_)
        byAge.emplace_back(stored.Entry.Stored, stored.Order, key);
    const auto cut = byAge.begin() + static_cast<std::ptrdiff_t>(entries_.size() - maxEntries_);
    std::nth_element(byAge.begin(), cut, byAge.end());
    for (auto it = byAge.begin(); it != cut; ++it)
        entries_.erase(std::get<2>(*it));
}

bool ThreadStore::Save(const QDate& today) {
    error_.clear();
    Prune(today);
    // Oldest first, so that the next load gives entries of one day their
    // order again.
    std::vector<std::pair<const Key*, const Stored*>> lines;
    lines.reserve(entries_.size());
    for (const auto& [key, stored] : entries_)
        lines.emplace_back(&key, &stored);
    std::sort(lines.begin(), lines.end(), [](const auto& a, const auto& b) {
        return std::tie(a.second->Entry.Stored, a.second->Order) <
               std::tie(b.second->Entry.Stored, b.second->Order);
    });
    std::string text;
    for (const auto& [key, stored] : lines) {
        const ThreadEntry& entry = stored->Entry;
        text += std::to_string(key->first);
        text += '\t';
        text += key->second;
        text += '\t';
        text += entry.Stored.toString(Qt::ISODate).toStdString();
        text += '\t';
        text += entry.MessageId;
        text += '\t';
        text += entry.References;
        if (!entry.Subject.empty()) {
            text += '\t';
            text += entry.Subject;
        }
        text += '\n';
    }
    const AtomicWriteResult written = WriteFileAtomically(path_, text);
    if (!written.ok())
        error_ = "Unable to save " + path_ + ": " + written.error;
    return written.ok();
}
