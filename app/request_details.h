// What a downloader needs of one found URL besides its address: the headers
// of the request as the client sent them, and the parts of an RTMP address.
#pragma once

#include <string>

namespace tarvolin {

struct RequestDetails {
    std::string url; // whole, as the row shows it
    std::string contentType;
    std::string userAgent;
    std::string referer;
    std::string cookie; // a secret of the user's session: never logged nor shown unasked
    std::string origin;
    std::string accept;
    std::string acceptLanguage;
    std::string acceptEncoding;
    std::string acceptCharset;
    std::string keepAlive;
    std::string connection;
    // RTMP rows: the fields of the connect and play commands; empty for others.
    std::string tcUrl;
    std::string playpath;
    std::string swfUrl;
    std::string pageUrl;
};

}
