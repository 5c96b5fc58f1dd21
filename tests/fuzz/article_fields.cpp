// An article's Date and From values as posters and their software write them,
// and a reply's sender field: the QWK header fields made from them must fit
// their widths, and a value that cannot be read must still give a message.
#include "fuzz_check.h"
#include "qwk_format/qwk_message_writer.h"
#include "reply/article_headers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string value = FuzzBytes(data, size);

    const qwk::DateAndTime when = qwk::ParseDateHeader(value);
    FUZZ_CHECK(when.Date.size() <= qwk::header::Date.width);
    FUZZ_CHECK(when.Time.size() <= qwk::header::Time.width);

    FUZZ_CHECK(qwk::SenderName(value).size() <= value.size());

    const std::string from = ArticleFrom(value, "example.org");
    FUZZ_CHECK(from.starts_with(value));
    FUZZ_CHECK(ArticleFrom(value, "") == value);
    return 0;
}
