#include "tnntp.h"

#include "ascii.h"

#include <algorithm>

void TDocHeaders::Clear() {
    headers_.clear();
}

void TDocHeaders::Add(const std::string& name, const std::string& value) {
    headers_.push_back({name, value});
}

const TDocHeader* TDocHeaders::Find(const std::string& name) const {
    const auto found = std::find_if(headers_.begin(), headers_.end(), [&](const TDocHeader& h) {
        return ascii::EqualIgnoringCase(h.Name, name);
    });
    return found == headers_.end() ? nullptr : &*found;
}

const TDocHeader& TDocHeaders::Item(const std::string& name) const {
    if (const TDocHeader* header = Find(name))
        return *header;
    throw EControlError("No header named " + name);
}

void TDocument::GetData(std::string& data, int /*type*/) const {
    data = Chunk;
}

void TDocHeaders::AppendToLast(const std::string& continuation) {
    if (!headers_.empty())
        headers_.back().Value += continuation;
}
