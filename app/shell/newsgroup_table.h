// The newsgroup table: every group known from the server, whether it is
// queued as a QWK conference, and how far it has been read.
#pragma once

#include "vxutil.h"

#include <cstdint>
#include <string>

struct NewsGroupRecord : VxListItem {
    std::string Name;
    std::int32_t Conference = -1; // -1: not queued
    std::int32_t LastRead = 0;    // -n: the next run takes the newest n articles
};

// The ordered, owning list of records: the order of GROUPS.DAT and of the grid.
class NewsGroupTable {
public:
    std::size_t Count() const { return list_.size(); }
    bool Empty() const { return list_.empty(); }
    NewsGroupRecord& operator[](std::size_t i) { return static_cast<NewsGroupRecord&>(*list_[i]); }
    const NewsGroupRecord& operator[](std::size_t i) const {
        return static_cast<const NewsGroupRecord&>(*list_[i]);
    }
    NewsGroupRecord& Append(std::string name, std::int32_t conference, std::int32_t lastRead);
    void Clear() { VxClearList(list_); }
    VxList& Items() { return list_; }

    // The table differs from GROUPS.DAT.
    bool GroupsChanged = false;

private:
    VxList list_;
};
