// marrowfetch-receiver: stands in for the download manager and prints one line
// per handed-off record, "<wParam> <URL>", until it is killed.
#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <string>

#include "handoff_receiver.h"

namespace {

constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;
constexpr char kHexDigits[] = "0123456789ABCDEF";

// The URL field's bytes as sent, with control bytes percent-encoded so that a
// record can never break the one-line-per-record output.
std::string PrintableUrl(const tarvolin::HandOffRecord &record)
{
    std::string text;
    for (const char byte : std::string_view(record.url, strnlen(record.url, sizeof record.url))) {
        const auto value = static_cast<unsigned char>(byte);
        if (value >= kFirstPrintable && value != kDelete) {
            text += byte;
            continue;
        }
        text += '%';
        text += kHexDigits[value >> 4];
        text += kHexDigits[value & 0xF];
    }
    return text;
}

}

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    tarvolin::HandOffReceiver receiver;
    QObject::connect(&receiver, &tarvolin::HandOffReceiver::received,
                     [](uint32_t wParam, const tarvolin::HandOffRecord &record) {
                         std::printf("%u %s\n", wParam, PrintableUrl(record).c_str());
                         std::fflush(stdout);
                     });
    const QString name = QString::fromLatin1(tarvolin::kDownloadManagerName);
    if (!receiver.listen(name)) {
        std::fprintf(stderr, "marrowfetch-receiver: cannot listen on %s: %s\n", qPrintable(name),
                     qPrintable(receiver.errorString()));
        return 1;
    }
    return application.exec();
}
