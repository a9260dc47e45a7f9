#include "plain_rtmp_scan.h"

#include <string_view>

namespace testing_support {

using quillnet::RtmpCommand;
using quillnet::RtmpCommandMatch;

std::optional<RtmpCommandMatch> PlainRtmpScan(const std::vector<uint8_t> &frame, size_t start)
{
    const size_t n = frame.size();
    const auto at = [&](size_t p) { return p < n ? int(frame[p]) : -1; };
    const auto text = [&](size_t p, std::string_view s) {
        for (size_t k = 0; k < s.size(); ++k) {
            if (at(p + k) != static_cast<uint8_t>(s[k]))
                return false;
        }
        return true;
    };
    for (size_t i = start; i + 21 <= n; ++i) {
        if (at(i) == 3 && at(i + 12) == 2 && text(i + 15, "connect"))
            return RtmpCommandMatch{RtmpCommand::Connect, i};
        if (at(i) == 0 && at(i + 1) == 0x0C && text(i + 2, "create"))
            return RtmpCommandMatch{RtmpCommand::CreateStream, i};
        if (at(i) == 2 && at(i + 1) == 0 && at(i + 2) == 4 && (at(i + 3) == 'p' || at(i + 3) == 'P') &&
            text(i + 4, "lay"))
            return RtmpCommandMatch{RtmpCommand::Play, i};
    }
    return std::nullopt;
}

}
