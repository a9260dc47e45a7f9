#include "details_history.h"

namespace tarvolin {

namespace {

size_t bytesOf(const RequestDetails &details)
{
    return sizeof details + details.url.size() + details.contentType.size() + details.userAgent.size() +
           details.referer.size() + details.cookie.size() + details.origin.size() + details.accept.size() +
           details.acceptLanguage.size() + details.acceptEncoding.size() + details.acceptCharset.size() +
           details.keepAlive.size() + details.connection.size() + details.tcUrl.size() + details.playpath.size() +
           details.swfUrl.size() + details.pageUrl.size();
}

}

uint64_t DetailsHistory::add(RequestDetails details)
{
    held_ += bytesOf(details);
    kept_.push_back(std::move(details));
    while (held_ > budget_ && kept_.size() > 1) {
        held_ -= bytesOf(kept_.front());
        kept_.pop_front();
        ++firstKey_;
    }
    return firstKey_ + kept_.size() - 1;
}

const RequestDetails *DetailsHistory::find(uint64_t key) const
{
    if (key < firstKey_ || key - firstKey_ >= kept_.size())
        return nullptr;
    return &kept_[key - firstKey_];
}

void DetailsHistory::clear()
{
    firstKey_ += kept_.size();
    kept_.clear();
    held_ = 0;
}

}
