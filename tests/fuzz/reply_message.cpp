// The message file of a reply packet, as an offline reader hands it back.
// Every reply read must be exactly the bytes stored (they go back into the
// packet when not posted), the file must be read to its end or stop at a
// damaged reply, and each reply must become an article whose headers the
// reader's fields cannot split.
#include "fuzz_check.h"
#include "reply/article_headers.h"
#include "reply/reply_packet_reader.h"
#include "support/temp_directory.h"
#include "wire_check.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const TempWorkDirectory directory(false);
    const std::string bytes = FuzzBytes(data, size);
    const std::string path = directory.File("FUZZ.MSG");
    TempWorkDirectory::Write(path, bytes);

    Settings settings;
    settings.QwkId = "FUZZ";
    settings.WorkDirectory = directory.Path();
    ReplyPacketReader reader(settings, directory.File("FUZZ.REP"), directory.Path());
    if (!reader.OpenMessageFile(path)) {
        FUZZ_CHECK(size < qwk::BlockSize);
        FUZZ_CHECK(!reader.OpenFailure().empty());
        return 0;
    }
    const ArticleIdentity identity{"example.org", "Zandrel fuzzing"};
    std::size_t offset = qwk::BlockSize;
    for (;;) {
        ReplyMessage reply;
        const ReplyRead read = reader.ReadReplyMessage(reply);
        if (read == ReplyRead::End) {
            FUZZ_CHECK(offset == size);
            break;
        }
        if (read == ReplyRead::Damaged) {
            FUZZ_CHECK(offset < size);
            break;
        }
        FUZZ_CHECK(reply.Records.size() >= qwk::BlockSize);
        FUZZ_CHECK(reply.Records.size() % qwk::BlockSize == 0);
        FUZZ_CHECK(bytes.compare(offset, reply.Records.size(), reply.Records) == 0);
        FUZZ_CHECK(std::memcmp(reply.Header.data(), reply.Records.data(), qwk::BlockSize) == 0);
        offset += reply.Records.size();
        FUZZ_CHECK((read == ReplyRead::Empty) == reply.Body.empty());
        if (read == ReplyRead::Empty)
            continue;
        TDocHeaders headers;
        ComposeArticleHeaders(headers, reply.Header, "zandrel.test", identity,
                              "<45000.00.1.2@zandrel.example.org>");
        CheckPostingWireForm(headers, reply.Body);
    }
    return 0;
}
