// The full From, To and Subject of a reply. A QWK header field holds 25
// characters; readers write a longer value as a line at the very top of the
// reply's text ("Subject: ...", likewise "From: " and "To: "), the lines in
// any order, followed by one empty line.
#pragma once

#include <string>
#include <string_view>

struct ReplyFields {
    std::string From;
    std::string To;
    std::string Subject;
};

struct KludgedReply {
    ReplyFields Fields;
    std::string Body;
};

// body: the reply's text as DecodeReplyText gives it (CR LF line ends);
// fields: its header fields as read (trimmed).
//
// The top lines named From, To or Subject (names without regard to case,
// each name once, up to the first other line) are taken as the reader's only
// when they are followed by an empty line or end the text, and when at least
// one of them continues its header field; otherwise they are text the user
// wrote and stay. Taken lines go from the body with the one empty line after
// them. A field becomes its line's value (trimmed) when it is the start of
// that value, letter case counting; a line that does not continue its field
// is stale, and the field as the reader sent it wins.
KludgedReply ReadReplyKludges(std::string_view body, const ReplyFields& fields);

// The Subject of a reply to an article whose full Subject is parentSubject,
// both in the character set the field was cut in (the packet's). The answer
// is "Re: " and the parent's subject ("Re: " left out when the parent's
// already starts with "Re:") when subject is that, whole or as the 25
// characters of the field show it, and also when subject is the parent's own
// subject without "Re:", whole or as the field shows it. Anything else stays
// as it is. A subject from a reader's line goes through the same rule.
std::string ReplySubject(std::string_view subject, std::string_view parentSubject);
