// What links a reply to the article it answers: the thread store, the
// References line and the reader's lines for fields longer than 25.
#include "qwk_format/references.h"
#include "reply/reply_kludges.h"
#include "qwk_format/thread_store.h"

#include "ascii.h"

#include <gtest/gtest.h>

#include "support/temp_directory.h"

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

const QDate Today(2026, 3, 1);

std::string MessageIdOf(const ThreadEntry* entry) {
    return entry == nullptr ? "" : entry->MessageId;
}

TEST(ThreadStore, KeepsEachEntryThroughTheFileWithoutLineBreaksOrTabs) {
    TempWorkDirectory dir(false);
    const std::string path = ThreadStore::PathIn(dir.Path());
    {
        ThreadStore store(path);
        store.Load(Today);
        store.Remember(3, 42, " <first@example.org>\r\n", "", Today);
        store.Remember(3, 43, "<second@example.org>", "<first@example.org>\r\n\t<mid@x>  junk",
                       Today.addDays(-2));
        store.Remember(65535, 2147483647, "<last@example.org>", "<a@x><b@x>", Today);
        store.Remember(3, 44, "<has space@example.org>", "", Today); // unusable: not kept
        store.Remember(3, 45, "no-brackets@example.org", "", Today);
        ASSERT_TRUE(store.Save(Today)) << store.Error();
    }
    const std::string text = TempWorkDirectory::Read(path);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_EQ(text, "3\t43\t2026-02-27\t<second@example.org>\t<first@example.org> <mid@x>\n"
                    "3\t42\t2026-03-01\t<first@example.org>\t\n"
                    "65535\t2147483647\t2026-03-01\t<last@example.org>\t<a@x> <b@x>\n");

    ThreadStore loaded(path);
    loaded.Load(Today);
    EXPECT_EQ(loaded.Size(), 3u);
    EXPECT_EQ(loaded.SkippedLines(), 0u);
    EXPECT_TRUE(loaded.LoadError().empty());
    const ThreadEntry* second = loaded.FindParent(3, "43");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->MessageId, "<second@example.org>");
    EXPECT_EQ(second->References, "<first@example.org> <mid@x>");
    EXPECT_EQ(second->Stored, Today.addDays(-2));
}

TEST(ThreadStore, FindsAParentOnlyByWhatTheReaderSawInTheNumberField) {
    TempWorkDirectory dir(false);
    ThreadStore store(ThreadStore::PathIn(dir.Path()));
    store.Remember(1, 42, "<old42@x>", "", Today);
    store.Remember(1, 42, "<c1-42@x>", "", Today); // the number now names another article
    store.Remember(2, 42, "<c2-42@x>", "", Today);
    store.Remember(1, 1234567, "<c1-1234567@x>", "", Today);
    store.Remember(1, 98765432, "<c1-98765432@x>", "", Today);
    // Both showed as 7654321.
    store.Remember(1, 7654321, "<c1-7654321@x>", "", Today);
    store.Remember(1, 76543210, "<c1-76543210@x>", "", Today);
    // One article twice is no doubt.
    store.Remember(1, 55555550, "<same@x>", "", Today);
    store.Remember(1, 55555551, "<same@x>", "", Today);

    struct Lookup {
        std::uint16_t Conference;
        const char* Reference;
        const char* Expected;
    };
    const std::vector<Lookup> lookups{
        {1, "42", "<c1-42@x>"},
        {2, "42", "<c2-42@x>"},
        {3, "42", ""},
        {1, "  42 ", "<c1-42@x>"},
        {1, "4", ""}, // a short number is never a cut one
        {1, "1234567", "<c1-1234567@x>"},
        {1, "9876543", "<c1-98765432@x>"},
        {1, "98765432", "<c1-98765432@x>"},
        {1, "7654321", ""},
        {1, "76543210", "<c1-76543210@x>"},
        {1, "5555555", "<same@x>"},
        {1, "98765", ""},
        {1, "0", ""},
        {1, "", ""},
        {1, "42a", ""},
    };
    for (const Lookup& lookup : lookups) {
        EXPECT_EQ(MessageIdOf(store.FindParent(lookup.Conference, lookup.Reference)),
                  lookup.Expected)
            << lookup.Conference << " '" << lookup.Reference << "'";
    }
}

TEST(ThreadStore, PrunesByAgeAndKeepsTheNewestUpToTheCap) {
    TempWorkDirectory dir(false);
    const std::string path = ThreadStore::PathIn(dir.Path());
    {
        ThreadStore store(path);
        store.Remember(1, 1, "<91-days@x>", "", Today.addDays(-91));
        store.Remember(1, 2, "<90-days@x>", "", Today.addDays(-90));
        store.Remember(1, 3, "<ahead@x>", "", Today.addDays(30)); // counts as today
        ASSERT_TRUE(store.Save(Today));
        EXPECT_EQ(store.Size(), 2u);
    }
    ThreadStore aged(path);
    aged.Load(Today.addDays(1));
    EXPECT_EQ(aged.FindParent(1, "1"), nullptr);
    EXPECT_EQ(aged.FindParent(1, "2"), nullptr);
    ASSERT_NE(aged.FindParent(1, "3"), nullptr);
    EXPECT_EQ(aged.FindParent(1, "3")->Stored, Today);

    ThreadStore capped(path, 3);
    capped.Remember(1, 10, "<a-yesterday@x>", "", Today.addDays(-1));
    capped.Remember(1, 11, "<b-today@x>", "", Today);
    capped.Remember(1, 12, "<c-two-days@x>", "", Today.addDays(-2));
    capped.Remember(1, 13, "<d-today@x>", "", Today);
    capped.Remember(1, 14, "<e-today@x>", "", Today);
    ASSERT_TRUE(capped.Save(Today));
    EXPECT_EQ(capped.Size(), 3u);
    for (const char* number : {"11", "13", "14"})
        EXPECT_NE(capped.FindParent(1, number), nullptr) << number;

    // Within a day, the file keeps which came first.
    ThreadStore smaller(path, 1);
    smaller.Load(Today);
    EXPECT_EQ(smaller.Size(), 1u);
    EXPECT_EQ(MessageIdOf(smaller.FindParent(1, "14")), "<e-today@x>");
}

TEST(ThreadStore, SkipsDamagedLinesAndNeverFailsALoad) {
    TempWorkDirectory dir(false);
    const std::string path = ThreadStore::PathIn(dir.Path());
    const std::vector<std::string> damaged{
        "1\t7\t2026-03-01\t<short@x>",         // a field missing
        "1\t7\t2026-03-01\t<more@x>\t\ts\textra", // a field too many
        "70000\t7\t2026-03-01\t<conf@x>\t",    // conference beyond 16 bits
        "-1\t7\t2026-03-01\t<neg@x>\t",
        "1\t0\t2026-03-01\t<zero@x>\t",   // no article number
        "1\t007\t2026-03-01\t<lead@x>\t", // not as the writer writes it
        "1\t2147483648\t2026-03-01\t<big@x>\t", "1\t7b\t2026-03-01\t<digits@x>\t",
        "1\t7\t2026-02-30\t<date@x>\t",         "1\t7\t01-03-26\t<qwkdate@x>\t",
        "1\t7\t2026-03-01\tno-brackets@x\t",    "1\t7\t2026-03-01\t<a b@x>\t",
        "1\t7\t2026-03-01\t<nul\0@x>\t"s,       "garbage",
    };
    std::string file = "1\t5\t2026-03-01\t<good@x>\t<r@x>\r\n\n";
    for (const std::string& line : damaged)
        file += line + "\n";
    file += "1\t6\t2026-03-01\t<after@x>\t"; // the last line without its LF
    TempWorkDirectory::Write(path, file);

    ThreadStore store(path);
    store.Load(Today);
    EXPECT_EQ(store.SkippedLines(), damaged.size());
    EXPECT_EQ(store.Size(), 2u);
    EXPECT_EQ(MessageIdOf(store.FindParent(1, "5")), "<good@x>");
    EXPECT_EQ(MessageIdOf(store.FindParent(1, "6")), "<after@x>");
    EXPECT_EQ(store.FindParent(1, "7"), nullptr);

    // A directory in the file's place: an empty store, a reason, no throw.
    fs::remove(path);
    fs::create_directory(path);
    ThreadStore blocked(path);
    blocked.Remember(1, 1, "<x@x>", "", Today);
    blocked.Load(Today);
    EXPECT_EQ(blocked.Size(), 0u);
    EXPECT_FALSE(blocked.LoadError().empty());
    EXPECT_FALSE(blocked.Save(Today));
    EXPECT_FALSE(blocked.Error().empty());
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST(ThreadStore, SaveReplacesTheFileAndNeverRewritesItInPlace) {
    TempWorkDirectory dir(false);
    const std::string path = ThreadStore::PathIn(dir.Path());
    const std::string old = "1\t5\t2026-03-01\t<old@x>\t\n";
    TempWorkDirectory::Write(path, old);
    // A second name for the old file sees what a reader that had it open sees.
    fs::create_hard_link(path, dir.File("held-open"));

    ThreadStore store(path);
    store.Load(Today);
    store.Remember(1, 6, "<new@x>", "", Today);
    ASSERT_TRUE(store.Save(Today)) << store.Error();
    EXPECT_EQ(TempWorkDirectory::Read(dir.File("held-open")), old);
    EXPECT_EQ(TempWorkDirectory::Read(path), old + "1\t6\t2026-03-01\t<new@x>\t\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2);
}

std::string Ids(const std::string& prefix, int count) {
    std::string ids;
    for (int i = 0; i < count; ++i)
        ids += (i ? " <" : "<") + prefix + std::to_string(i) + "@news.example.org>";
    return ids;
}

TEST(ReplyReferences, AppendsTheParentAsIdentifiersSeparatedBySingleSpaces) {
    struct Case {
        const char* Name;
        std::string ParentReferences;
        std::string ParentMessageId;
        std::string Expected;
    };
    const std::vector<Case> cases{
        {"FirstReply", "", "<p@x>", "<p@x>"},
        {"Chain", "<a@x> <b@x>", "<p@x>", "<a@x> <b@x> <p@x>"},
        {"FoldedAndDamaged", "<a@x>\r\n\t<b@x> (comment) junk <c@x", " <p@x>\r\n",
         "<a@x> <b@x> <p@x>"},
        {"Glued", "<a@x><b@x>", "<p@x>", "<a@x> <b@x> <p@x>"},
        {"ParentAlreadyLast", "<a@x> <p@x>", "<p@x>", "<a@x> <p@x>"},
        {"NoUsableParentId", "<a@x>", "p@x", "<a@x>"},
        {"TooLongForTheFirstBesideTheParent", "<" + std::string(600, 'f') + ">",
         "<" + std::string(600, 'p') + ">", "<" + std::string(600, 'p') + ">"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReplyReferences(c.ParentReferences, c.ParentMessageId), c.Expected) << c.Name;
}

TEST(ReplyReferences, DropsTheOldestButTheFirstToStayWithin998Octets) {
    const std::string parentReferences = Ids("ancestor-", 60);
    const std::string parentId = "<parent@news.example.org>";
    const std::string references = ReplyReferences(parentReferences, parentId);
    EXPECT_LE(("References: " + references).size(), 998u);
    EXPECT_GT(("References: " + references).size(), 998u - 40);
    EXPECT_TRUE(references.starts_with("<ancestor-0@news.example.org> "));
    // What follows the first is the newest run of the chain, unbroken.
    const std::string rest = references.substr(references.find(' ') + 1);
    const std::string whole = parentReferences + " " + parentId;
    EXPECT_TRUE(whole.ends_with(" " + rest)) << references;
    EXPECT_EQ(LimitReferences(references), references);
}

TEST(ReplyKludges, TakesTheReadersLinesOnlyWhereTheyContinueTheFields) {
    const ReplyFields fields{"Johann Sebastian Bach-Ab", "Wolfgang Amadeus Mozart -",
                             "A subject that is longer"};
    const std::string from = "Johann Sebastian Bach-Abendroth";
    const std::string to = "Wolfgang Amadeus Mozart - Salzburg";
    const std::string subject = "A subject that is longer than the field";
    struct Case {
        const char* Name;
        std::string Body;
        ReplyFields Expected;
        std::string ExpectedBody;
    };
    const std::vector<Case> cases{
        {"Absent", "Hello\r\n", fields, "Hello\r\n"},
        {"SubjectOnly",
         "Subject: " + subject + "\r\n\r\nHello\r\n",
         {fields.From, fields.To, subject},
         "Hello\r\n"},
        {"AnyOrderAnyCase",
         "sUBJECT:  " + subject + " \r\nto: " + to + "\r\nFROM: " + from + "\r\n\r\nHi\r\n",
         {from, to, subject},
         "Hi\r\n"},
        {"OnlyOneEmptyLineGoes",
         "Subject: " + subject + "\r\n\r\n\r\nHi",
         {fields.From, fields.To, subject},
         "\r\nHi"},
        {"EndTheText", "Subject: " + subject + "\r\n", {fields.From, fields.To, subject}, ""},
        {"NoEmptyLineAfter", "Subject: " + subject + "\r\nHello\r\n", fields,
         "Subject: " + subject + "\r\nHello\r\n"},
        {"StaleLineGoesButTheFieldStays",
         "From: " + from + "\r\nSubject: Something else entirely, at length\r\n\r\nHi",
         {from, fields.To, fields.Subject},
         "Hi"},
        {"CaseCounts", "Subject: " + ascii::Upper(subject) + "\r\n\r\nHi", fields,
         "Subject: " + ascii::Upper(subject) + "\r\n\r\nHi"},
        {"TheUsersOwnGreeting", "To: all of you\r\n\r\nHello\r\n", fields,
         "To: all of you\r\n\r\nHello\r\n"},
        {"NameTwice", "Subject: " + subject + "\r\nSubject: " + subject + "\r\n\r\nHi", fields,
         "Subject: " + subject + "\r\nSubject: " + subject + "\r\n\r\nHi"},
        {"NotAtTheTop", "\r\nSubject: " + subject + "\r\n\r\nHi", fields,
         "\r\nSubject: " + subject + "\r\n\r\nHi"},
    };
    for (const Case& c : cases) {
        const KludgedReply reply = ReadReplyKludges(c.Body, fields);
        EXPECT_EQ(reply.Fields.From, c.Expected.From) << c.Name;
        EXPECT_EQ(reply.Fields.To, c.Expected.To) << c.Name;
        EXPECT_EQ(reply.Fields.Subject, c.Expected.Subject) << c.Name;
        EXPECT_EQ(reply.Body, c.ExpectedBody) << c.Name;
    }
}

TEST(ReplySubject, CompletesAFieldCutFromTheParentsSubject) {
    const std::string longSubject = "A subject much longer than twenty-five characters";
    // The 25th character is a space: the field the reader shows is 24 long.
    const std::string spaceAt25 = "Re: abcdefghijklmnopqrst uvw";
    struct Case {
        std::string Field;
        std::string Parent;
        std::string Expected;
    };
    const std::vector<Case> cases{
        {"Re: A subject much longer", longSubject, "Re: " + longSubject},
        {"A subject much longer tha", longSubject, "Re: " + longSubject},
        {longSubject, longSubject, "Re: " + longSubject}, // from a reader's line
        {"Re: abcdefghijklmnopqrst", spaceAt25, spaceAt25},
        {"RE: abcdefghijklmnopqrst", spaceAt25, "RE: abcdefghijklmnopqrst"},
        {"Hello", "Hello", "Re: Hello"},
        {"Re: Hello", "Hello", "Re: Hello"},
        {"Re: Hello", "Re: Hello", "Re: Hello"},
        {"Re: Hi", "History lesson", "Re: Hi"},
        {"Hi", "History lesson", "Hi"},
        {"Something new", longSubject, "Something new"},
        {"Anything", "", "Anything"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReplySubject(c.Field, c.Parent), c.Expected) << c.Field << " / " << c.Parent;
}

} // namespace
