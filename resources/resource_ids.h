// The program's resources by number. Icons live in tarvolin.qrc under their numbers.
#pragma once

#include <QString>

namespace tarvolin::resource {

inline constexpr int kIconMain = 128;
inline constexpr int kIconAbout = 146;
inline constexpr int kIconStart = 150;
inline constexpr int kIconStop = 151;
inline constexpr int kIconOptions = 152;
inline constexpr int kIconClear = 154;
inline constexpr int kIconTopmost = 155;
inline constexpr int kIconHelp = 156;
inline constexpr int kIconExit = 157;
inline constexpr int kIconTop = 161;
inline constexpr int kIconCopy = 162;

inline QString IconPath(int id)
{
    return QStringLiteral(":/icons/%1.svg").arg(id);
}

// Row icons for extensions the desktop's icon theme has no icon for.
inline constexpr char kRowIconVideo[] = ":/icons/video.svg";
inline constexpr char kRowIconAudio[] = ":/icons/audio.svg";
inline constexpr char kRowIconPage[] = ":/icons/page.svg";
inline constexpr char kRowIconOther[] = ":/icons/other.svg";

}
