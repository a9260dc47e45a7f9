#include "connection_ids.h"

#include <functional>
#include <string_view>

namespace quillnet::quic {

std::optional<ConnectionId> ConnectionId::of(ByteView id)
{
    ConnectionId made;
    if (id.size() > made.bytes.size())
        return std::nullopt;
    made.length = static_cast<uint8_t>(copyBytes(made.bytes, id));
    return made;
}

size_t ConnectionIdHash::operator()(const ConnectionId &id) const
{
    return std::hash<std::string_view>()(id.view().text());
}

std::optional<IdRoute> ConnectionIdTable::find(ByteView id) const
{
    const auto key = ConnectionId::of(id);
    if (!key)
        return std::nullopt;
    const auto found = routes_.find(*key);
    if (found == routes_.end())
        return std::nullopt;
    return IdRoute{found->second.slot, found->second.toServer, key->length};
}

std::optional<IdRoute> ConnectionIdTable::findPrefix(ByteView bytes) const
{
    for (size_t length = 1; length < lengthCounts_.size() && length <= bytes.size(); ++length) {
        if (lengthCounts_[length] == 0)
            continue;
        if (auto route = find(bytes.sub(0, length)))
            return route;
    }
    return std::nullopt;
}

void ConnectionIdTable::insert(const ConnectionId &id, uint32_t slot, bool toServer)
{
    const auto [entry, inserted] = routes_.insert_or_assign(id, Entry{slot, toServer});
    if (inserted)
        ++lengthCounts_[id.length];
}

void ConnectionIdTable::erase(const ConnectionId &id, uint32_t slot)
{
    const auto found = routes_.find(id);
    if (found == routes_.end() || found->second.slot != slot)
        return;
    routes_.erase(found);
    --lengthCounts_[id.length];
}

}
